#pragma once

#include "kaitai/ksybytesource.h"

// Bytes in memory as a source: decoded data, small files and tests.
class KsyBufferSource : public KsyByteSource
{
public:
    explicit KsyBufferSource(const QByteArray &bytes) : m_bytes(bytes) { }

    qint64 size() const override { return m_bytes.size(); }
    QByteArray read(qint64 offset, qint64 length) const override
    {
        if (offset < 0 || offset >= m_bytes.size() || length <= 0)
            return QByteArray();
        return m_bytes.mid(offset, qMin<qint64>(length, m_bytes.size() - offset));
    }

private:
    QByteArray m_bytes;
};
