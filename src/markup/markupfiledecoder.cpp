#include "markup/markupfiledecoder.h"

namespace {

QStringConverter::Encoding converter_encoding(MarkupFileDecoder::Encoding encoding)
{
    switch (encoding) {
    case MarkupFileDecoder::Encoding::utf16le: return QStringConverter::Utf16LE;
    case MarkupFileDecoder::Encoding::utf16be: return QStringConverter::Utf16BE;
    case MarkupFileDecoder::Encoding::utf32le: return QStringConverter::Utf32LE;
    case MarkupFileDecoder::Encoding::utf32be: return QStringConverter::Utf32BE;
    case MarkupFileDecoder::Encoding::utf8:
    case MarkupFileDecoder::Encoding::windows_1252:
        break;
    }
    return QStringConverter::Utf8;
}

// How many bytes at the end of `bytes` start a UTF-8 sequence that is cut
// off there (0 when the bytes end on a whole character or on a byte that
// starts no sequence, which the decoder reports itself).
qsizetype cut_off_tail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const quint8 byte = quint8(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// Windows-1252 for 0x80..0x9F: curly quotes, dashes and the euro sign where
// Latin-1 has control characters (which would then be saved back for good).
// The five bytes Windows-1252 leaves undefined read as Latin-1.
constexpr char16_t windows_1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

MarkupFileDecoder::MarkupFileDecoder(Encoding encoding)
    : m_encoding(encoding)
    // Stateful: a character split between pieces is kept for the next one,
    // and the byte-order mark is dropped at the start of the file only.
    , m_decoder(converter_encoding(encoding))
{
}

MarkupFileDecoder::Encoding MarkupFileDecoder::encoding_of(QByteArrayView head)
{
    // UTF-32 first: its little-endian mark begins like UTF-16's.
    if (head.startsWith(QByteArrayView("\xFF\xFE\x00\x00", 4)))
        return Encoding::utf32le;
    if (head.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4)))
        return Encoding::utf32be;
    if (head.startsWith(QByteArrayView("\xFF\xFE", 2)))
        return Encoding::utf16le;
    if (head.startsWith(QByteArrayView("\xFE\xFF", 2)))
        return Encoding::utf16be;
    return Encoding::utf8;
}

QString MarkupFileDecoder::decode(QByteArrayView piece, bool last)
{
    if (m_encoding == Encoding::windows_1252) {
        QString text = QString::fromLatin1(piece);
        for (QChar &c : text) {
            const char16_t u = c.unicode();
            if (u >= 0x80 && u <= 0x9F)
                c = QChar(windows_1252[u - 0x80]);
        }
        return text;
    }
    if (m_encoding != Encoding::utf8)
        return m_decoder.decode(piece);

    // UTF-8 is split by hand so that the decoder never holds part of a
    // character: a sequence cut off by the end of the file is then an error
    // like any other.
    QByteArrayView bytes = piece;
    QByteArray joined;
    if (!m_held.isEmpty()) {
        joined = m_held;
        joined.append(piece);
        bytes = joined;
    }
    const qsizetype tail = cut_off_tail(bytes);
    if (last && tail > 0)
        m_error = true;
    const qsizetype whole = last ? bytes.size() : bytes.size() - tail;
    QString text = m_decoder.decode(bytes.first(whole));
    m_held = bytes.sliced(whole).toByteArray();
    if (m_decoder.hasError())
        m_error = true;
    return text;
}
