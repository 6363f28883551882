#include "document/hexdocument.h"

#include "document/buffereddocument.h"
#include "document/documentfailure.h"

#include <QByteArray>

HexDocument::HexDocument()
    : document(new BufferedDocument)
{
}

HexDocument::~HexDocument()
{
    if (document->is_open())
        document->close();
}

void HexDocument::open(const QString &path)
{
    if (path.isEmpty())
        return;
    const QByteArray bytes = path.toUtf8();
    try {
        document->open(std::string(bytes.constData(), size_t(bytes.size())));
    } catch (const std::string &) {
        // Closed now; the caller sees that through an empty row or size().
    }
}

void HexDocument::load(qint64 pos, int len)
{
    if (len < 0)
        len = 0;
    row_data.reset(new char[size_t(len) + 1]);
    row_length = len;
    row_position = pos;
    try {
        document->read(len, pos, row_data.get());
    } catch (const std::string &failure) {
        row_length = 0;
        if (failure != document_failure::beyond_eof)
            return;
        try {
            const qint64 available = document->size() - pos;
            if (pos < 0 || available <= 0)
                return;
            const int n = int(qMin<qint64>(available, len));
            document->read(n, pos, row_data.get());
            row_length = n;
        } catch (const std::string &) {
            row_length = 0;
        }
    }
}

std::string HexDocument::to_hex() const
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    if (row_length <= 0)
        return text;
    text.reserve(size_t(row_length) * 3);
    for (int i = 0; i < row_length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(row_data[i]);
        if (i > 0)
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string HexDocument::to_ascii() const
{
    std::string text;
    text.reserve(size_t(qMax(row_length, 0)));
    for (int i = 0; i < row_length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(row_data[i]);
        // The C locale's isprint, without depending on the process locale.
        text += (byte >= 0x20 && byte <= 0x7E) ? char(byte) : '.';
    }
    return text;
}

int HexDocument::first_byte() const
{
    if (row_length <= 0)
        return -1;
    return static_cast<unsigned char>(row_data[0]);
}

qint64 HexDocument::size() const
{
    return document->size();
}

bool HexDocument::is_open() const
{
    return document->is_open();
}

QString HexDocument::absolute_path() const
{
    return document->absolute_path();
}

bool HexDocument::is_open_file(const QString &path) const
{
    return document->is_open_file(path);
}

file_iterator HexDocument::begin() const
{
    return file_iterator(document.get());
}

file_iterator HexDocument::end() const
{
    // Not through the checked constructor: a closed document gives the
    // logged position 0 rather than a throw.
    return file_iterator::end_of(document.get());
}

file_iterator HexDocument::iterator_at(qint64 pos) const
{
    file_iterator it(document.get());
    it.set_position(pos);
    return it;
}
