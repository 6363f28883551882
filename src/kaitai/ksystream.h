#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

class KsyByteSource;

// An `_io` of the interpreter: a range of the source file (its bytes read
// through a window of at most window_size bytes that moves along), or bytes
// decoded in memory (processed data), which have no place in the file.
// Positions are relative to the stream's start. Bit fields read from a
// partly used byte; any byte-aligned read drops the rest of that byte.
class KsyStream
{
public:
    static constexpr qint64 window_size = 64 * 1024;

    // The whole source.
    explicit KsyStream(const KsyByteSource *source);
    // Decoded bytes.
    explicit KsyStream(const QByteArray &data);

    qint64 pos() const { return m_pos; }
    qint64 size() const { return m_size; }
    bool is_eof() const { return m_pos >= m_size && m_bits_left == 0; }
    qint64 remaining() const { return m_size - m_pos; }
    // False when pos is outside 0..size.
    bool seek(qint64 pos);

    // The file offset of a stream position, or -1 for decoded bytes.
    qint64 file_offset(qint64 pos) const { return m_source ? m_base + pos : -1; }
    bool in_file() const { return m_source != nullptr; }
    // For messages: the file offset of pos, or for decoded bytes the offset
    // of the processed field they came from.
    qint64 place(qint64 pos) const { return m_source ? m_base + pos : m_origin; }
    void set_origin(qint64 offset) { m_origin = offset; }
    // Whether a bit field left part of the byte before pos unread.
    bool bits_pending() const { return m_bits_left > 0; }

    // Reads `length` bytes (false, position unchanged, when fewer remain).
    bool read(qint64 length, QByteArray *out);
    // An unsigned integer of `size` bytes (1..8) in the byte order given,
    // read without copying (false, position unchanged, when fewer remain).
    bool read_uint(int size, bool little, quint64 *out);
    // The bytes at pos..pos+length without moving; the caller checks the range.
    QByteArray peek(qint64 pos, qint64 length);
    // The first position at or after pos holding `byte`, or -1.
    qint64 find(qint64 pos, char byte);
    // The first position at pos, pos + n, pos + 2n... holding the n bytes of
    // `unit` (a string's terminator in a two- or four-byte encoding), or -1.
    qint64 find(qint64 pos, const QByteArray &unit);
    // The next `length` bytes as a stream of their own (the position moves
    // past them); null when fewer remain.
    std::shared_ptr<KsyStream> substream(qint64 length);

    // Bit fields of 1..64 bits; false when the stream ends first.
    bool read_bits(int count, bool big_endian, quint64 *out);
    void align_to_byte() { m_bits_left = 0; m_bits = 0; }

private:
    KsyStream() = default;
    int byte_at(qint64 pos);

    const KsyByteSource *m_source = nullptr;
    qint64 m_base = 0;
    qint64 m_origin = 0;
    QByteArray m_data;
    qint64 m_size = 0;
    qint64 m_pos = 0;
    int m_bits_left = 0;
    quint64 m_bits = 0;
    // The window last read from the source, shared with the substreams so
    // that many small records in one window cost one read.
    struct Window
    {
        qint64 at = -1;
        QByteArray bytes;
    };
    std::shared_ptr<Window> m_window;
};
