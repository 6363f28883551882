#include "kaitai/ksystream.h"

#include "kaitai/ksybytesource.h"

KsyStream::KsyStream(const KsyByteSource *source)
    : m_source(source)
    , m_size(source->size())
    , m_window(std::make_shared<Window>())
{
}

KsyStream::KsyStream(const QByteArray &data)
    : m_data(data)
    , m_size(data.size())
{
}

bool KsyStream::seek(qint64 pos)
{
    if (pos < 0 || pos > m_size)
        return false;
    m_pos = pos;
    align_to_byte();
    return true;
}

int KsyStream::byte_at(qint64 pos)
{
    if (pos < 0 || pos >= m_size)
        return -1;
    if (!m_source)
        return quint8(m_data[pos]);
    const qint64 at = m_base + pos;
    Window &w = *m_window;
    if (w.at < 0 || at < w.at || at >= w.at + w.bytes.size()) {
        w.at = at;
        w.bytes = m_source->read(at, window_size);
        if (w.bytes.isEmpty()) {
            w.at = -1;
            return -1;
        }
    }
    return quint8(w.bytes[at - w.at]);
}

QByteArray KsyStream::peek(qint64 pos, qint64 length)
{
    if (length <= 0)
        return QByteArray();
    if (!m_source)
        return m_data.mid(pos, length);
    const qint64 at = m_base + pos;
    const Window &w = *m_window;
    if (w.at >= 0 && at >= w.at && at + length <= w.at + w.bytes.size())
        return w.bytes.mid(at - w.at, length);
    if (length > window_size)
        return m_source->read(at, length);
    byte_at(pos);
    if (w.at >= 0 && at + length <= w.at + w.bytes.size())
        return w.bytes.mid(at - w.at, length);
    return m_source->read(at, length);
}

bool KsyStream::read(qint64 length, QByteArray *out)
{
    align_to_byte();
    if (length < 0 || length > remaining())
        return false;
    *out = peek(m_pos, length);
    if (out->size() != length)
        return false;
    m_pos += length;
    return true;
}

bool KsyStream::read_uint(int size, bool little, quint64 *out)
{
    align_to_byte();
    if (size > remaining())
        return false;
    // In the order of the bytes, so that the window moves forward only.
    quint64 u = 0;
    for (int i = 0; i < size; ++i) {
        const int b = byte_at(m_pos + i);
        if (b < 0)
            return false;
        if (little)
            u |= quint64(b) << (8 * i);
        else
            u = (u << 8) | quint64(b);
    }
    m_pos += size;
    *out = u;
    return true;
}

qint64 KsyStream::find(qint64 pos, char byte)
{
    if (!m_source) {
        const qint64 i = m_data.indexOf(byte, pos);
        return i;
    }
    // Searched in the window, moved along as needed, without copying it.
    while (pos < m_size) {
        if (byte_at(pos) < 0)
            return -1;
        const Window &w = *m_window;
        const qint64 from = m_base + pos - w.at;
        const qint64 length = qMin<qint64>(w.bytes.size() - from, m_size - pos);
        const qint64 i = QByteArrayView(w.bytes).sliced(from, length).indexOf(byte);
        if (i >= 0)
            return pos + i;
        pos += length;
    }
    return -1;
}

qint64 KsyStream::find(qint64 pos, const QByteArray &unit)
{
    if (unit.size() == 1)
        return find(pos, unit.front());
    for (qint64 at = pos; at + unit.size() <= m_size; at += unit.size()) {
        bool match = true;
        for (qsizetype k = 0; match && k < unit.size(); ++k) {
            const int b = byte_at(at + k);
            if (b < 0)
                return -1;
            match = b == quint8(unit.at(k));
        }
        if (match)
            return at;
    }
    return -1;
}

std::shared_ptr<KsyStream> KsyStream::substream(qint64 length)
{
    align_to_byte();
    if (length < 0 || length > remaining())
        return nullptr;
    std::shared_ptr<KsyStream> sub(new KsyStream);
    sub->m_source = m_source;
    sub->m_window = m_window;
    sub->m_size = length;
    sub->m_origin = place(m_pos);
    if (m_source)
        sub->m_base = m_base + m_pos;
    else
        sub->m_data = m_data.mid(m_pos, length);
    m_pos += length;
    return sub;
}

bool KsyStream::read_bits(int count, bool big_endian, quint64 *out)
{
    quint64 result = 0;
    for (int i = 0; i < count; ++i) {
        if (m_bits_left == 0) {
            const int b = byte_at(m_pos);
            if (b < 0)
                return false;
            ++m_pos;
            m_bits = quint64(b);
            m_bits_left = 8;
        }
        quint64 bit;
        if (big_endian) {
            bit = (m_bits >> (m_bits_left - 1)) & 1;
            result = (result << 1) | bit;
        } else {
            bit = (m_bits >> (8 - m_bits_left)) & 1;
            result |= bit << i;
        }
        --m_bits_left;
    }
    *out = result;
    return true;
}
