#pragma once

#include "document/file_iterator.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <string>

class BufferedDocument;

// The open file as the views see it: a short run of bytes (one display row)
// copied out and formatted as hexadecimal and printable text, plus iterators
// over the whole file. Never throws from open() or load(); a missing file or
// a range past the end gives an empty or shorter row.
class HexDocument
{
    Q_DISABLE_COPY(HexDocument)

public:
    HexDocument();
    virtual ~HexDocument();

    // An empty path does nothing. Any failure leaves the document closed.
    void open(const QString &path);

    // Replaces the row with up to `len` bytes from `pos`: cut at the end of
    // the file, empty when `pos` is at or past the end, negative or when no
    // file is open.
    void load(qint64 pos, int len);

    // "00 4A FF": upper-case pairs, one space between, none after the last.
    std::string to_hex() const;
    // One character per byte; bytes outside 0x20..0x7E become '.'.
    std::string to_ascii() const;
    // The row's first byte as 0..255; -1 when the row is empty.
    int first_byte() const;
    int row_size() const { return row_length; }
    qint64 row_offset() const { return row_position; }

    // Throws "file is not open" when no file is open.
    qint64 size() const;
    bool is_open() const;
    // Empty when no file is open.
    QString absolute_path() const;
    // Whether `path` still names the file that is open (not a replacement).
    bool is_open_file(const QString &path) const;

    // begin() and iterator_at() throw "file is not open" when no file is
    // open; end() then logs and yields position 0.
    file_iterator begin() const;
    file_iterator end() const;
    file_iterator iterator_at(qint64 pos) const;

    BufferedDocument *buffered_document() const { return document.get(); }

private:
    std::unique_ptr<BufferedDocument> document;
    std::unique_ptr<char[]> row_data;
    qint64 row_position = 0;
    int row_length = 0;
};
