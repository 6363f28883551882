#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Turns the bytes of a markup file into text piece by piece, so a large file
// is never held whole. The encoding rules: a byte-order mark names UTF-8,
// UTF-16 or UTF-32 (the mark itself is dropped); without one the file is
// UTF-8, and a file that turns out not to be valid UTF-8 is read again as
// Windows-1252 (Latin-1 with printable 0x80..0x9F), which only the caller can
// do: the UTF-8 decoder reports it through has_error().
class MarkupFileDecoder
{
public:
    enum class Encoding { utf8, utf16le, utf16be, utf32le, utf32be, windows_1252 };

    explicit MarkupFileDecoder(Encoding encoding);

    // The encoding the first bytes of a file name (at least four when the
    // file has them); UTF-8 without a byte-order mark.
    static Encoding encoding_of(QByteArrayView head);

    Encoding encoding() const { return m_encoding; }
    // The text of the next piece of the file; `last` for the final piece.
    // A character split between pieces comes out whole with the later one.
    QString decode(QByteArrayView piece, bool last);
    // UTF-8 only: the bytes so far (with `last`, the whole file) are not
    // valid UTF-8.
    bool has_error() const { return m_error; }

private:
    Encoding m_encoding;
    QStringDecoder m_decoder;
    // The start of a UTF-8 sequence that the previous piece cut off.
    QByteArray m_held;
    bool m_error = false;
};
