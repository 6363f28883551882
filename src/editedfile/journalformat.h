#pragma once

#include <QByteArray>
#include <QList>

// The journal file's framing. The file starts with the four bytes "PQJ1";
// every record after them is
//
//   u32 length of the payload (little-endian, at most max_payload)
//   u8  type
//   payload (QDataStream, see Journal for each type's fields)
//   u32 CRC-32 (zlib's) of the type byte and the payload, little-endian
//
// Records are only ever appended, so a crash leaves a valid prefix and
// perhaps the start of one record; parse() keeps the longest valid prefix.
class JournalFormat
{
public:
    enum class Type : quint8 {
        header = 1,
        snapshot = 2,
        step = 3,
        move = 4,
        saving_bytes = 5,
        saved_bytes = 6,
        saved_markup = 7,
        // A snapshot whose markups are those of a markup file on disk.
        markup_file_snapshot = 8,
    };
    struct Record
    {
        Type type;
        QByteArray payload;
    };
    struct Parsed
    {
        QList<Record> records;
        // Records lost after the valid prefix: the frames the length fields
        // still chain through (each failing its check or after one that
        // did), and one for a frame cut short. 0 for an intact file.
        int dropped = 0;
        // The valid prefix's size in bytes, magic included.
        qint64 valid_length = 0;
        // False when the file does not start with the magic: nothing is read.
        bool recognised = false;
    };

    // A bound on the length field that still lets the largest snapshot
    // through (a template's markups make documents of many hundred MB);
    // a length past the file's end is refused whatever it says.
    static constexpr quint32 max_payload = 0xfffffff0u;

    static QByteArray magic();
    static QByteArray frame(Type type, const QByteArray &payload);
    // A record written in place, for payloads too large to copy: leave
    // head_size bytes at the end of *bytes, append the payload, then
    // close_frame() with where the head is.
    static constexpr int head_size = 5;
    static void close_frame(Type type, QByteArray *bytes, qsizetype head);
    // The record of `payload` followed by `suffix`, as frame() makes it,
    // without copying the payload: written as *head, payload, suffix, *tail.
    static void frame_around(Type type, const QByteArray &payload, const QByteArray &suffix, QByteArray *head,
                             QByteArray *tail);
    static Parsed parse(const QByteArray &bytes);
};
