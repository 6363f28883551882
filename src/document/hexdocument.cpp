#include "document/hexdocument.h"

#include "document/buffereddocument.h"
#include "document/documenterror.h"

#include <QByteArray>

HexDocument::HexDocument()
    : m_document(new BufferedDocument)
{
}

HexDocument::~HexDocument()
{
    if (m_document->is_open())
        m_document->close();
}

void HexDocument::open(const QString &path)
{
    if (path.isEmpty())
        return;
    const QByteArray bytes = path.toUtf8();
    try {
        m_document->open(std::string(bytes.constData(), size_t(bytes.size())));
    } catch (const DocumentError &) {
        // Closed now; the caller sees that through an empty row or size().
    }
}

void HexDocument::load(qint64 pos, int len)
{
    if (len < 0)
        len = 0;
    m_row_data.reset(new char[size_t(len) + 1]);
    m_row_length = len;
    m_row_position = pos;
    try {
        m_document->read(len, pos, m_row_data.get());
    } catch (const DocumentError &error) {
        m_row_length = 0;
        if (error.kind() != DocumentError::Kind::BeyondEof)
            return;
        try {
            const qint64 available = m_document->size() - pos;
            if (pos < 0 || available <= 0)
                return;
            const int n = int(qMin<qint64>(available, len));
            m_document->read(n, pos, m_row_data.get());
            m_row_length = n;
        } catch (const DocumentError &) {
            m_row_length = 0;
        }
    }
}

std::string HexDocument::to_hex() const
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    if (m_row_length <= 0)
        return text;
    text.reserve(size_t(m_row_length) * 3);
    for (int i = 0; i < m_row_length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(m_row_data[i]);
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
    text.reserve(size_t(qMax(m_row_length, 0)));
    for (int i = 0; i < m_row_length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(m_row_data[i]);
        // The C locale's isprint, without depending on the process locale.
        text += (byte >= 0x20 && byte <= 0x7E) ? char(byte) : '.';
    }
    return text;
}

int HexDocument::first_byte() const
{
    if (m_row_length <= 0)
        return -1;
    return static_cast<unsigned char>(m_row_data[0]);
}

qint64 HexDocument::size() const
{
    return m_document->size();
}

bool HexDocument::is_open() const
{
    return m_document->is_open();
}

QString HexDocument::absolute_path() const
{
    return m_document->absolute_path();
}

bool HexDocument::is_open_file(const QString &path) const
{
    return m_document->is_open_file(path);
}

FileIterator HexDocument::begin() const
{
    return FileIterator(m_document.get());
}

FileIterator HexDocument::end() const
{
    // Not through the checked constructor: a closed document gives the
    // logged position 0 rather than a throw.
    return FileIterator::end_of(m_document.get());
}

FileIterator HexDocument::iterator_at(qint64 pos) const
{
    FileIterator it(m_document.get());
    it.set_position(pos);
    return it;
}
