#include "overview/byteclassifier.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void ByteClassifier::add(const char *data, qint64 length)
{
    // Runs of one value (padding, erased flash) fill whole blocks of many
    // images. Every byte equals its successor exactly when the block equals
    // itself shifted by one, which memcmp tells at a small part of the cost
    // of counting, and at the first differing byte otherwise.
    if (length > 0 && std::memcmp(data, data + 1, size_t(length - 1)) == 0) {
        add_repeated(quint8(data[0]), length);
        return;
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    // Four tables, so that runs of one value do not wait on one counter, fed
    // from eight bytes loaded at once: about twice the speed of one table.
    std::array<std::array<quint32, 256>, 4> counts {};
    qint64 i = 0;
    while (i < length) {
        // Flush before a 32-bit counter could overflow.
        const qint64 stop = std::min(length, i + (qint64(1) << 30));
        for (; i + 8 <= stop; i += 8) {
            quint64 w;
            std::memcpy(&w, bytes + i, sizeof w);
            ++counts[0][w & 0xff];
            ++counts[1][(w >> 8) & 0xff];
            ++counts[2][(w >> 16) & 0xff];
            ++counts[3][(w >> 24) & 0xff];
            ++counts[0][(w >> 32) & 0xff];
            ++counts[1][(w >> 40) & 0xff];
            ++counts[2][(w >> 48) & 0xff];
            ++counts[3][w >> 56];
        }
        for (; i < stop; ++i)
            ++counts[0][bytes[i]];
        for (int v = 0; v < 256; ++v) {
            m_counts[v] += qint64(counts[0][v]) + counts[1][v] + counts[2][v] + counts[3][v];
            counts[0][v] = counts[1][v] = counts[2][v] = counts[3][v] = 0;
        }
    }
    m_total += length;
}

void ByteClassifier::add_repeated(quint8 value, qint64 count)
{
    m_counts[value] += count;
    m_total += count;
}

void ByteClassifier::clear()
{
    m_counts.fill(0);
    m_total = 0;
}

double ByteClassifier::entropy() const
{
    if (m_total == 0)
        return 0;
    const double total = double(m_total);
    double bits = 0;
    for (const qint64 c : m_counts) {
        if (c == 0)
            continue;
        const double p = double(c) / total;
        bits -= p * std::log2(p);
    }
    // Rounding can leave a hair below zero for one value.
    return std::max(0.0, bits);
}

ByteClass ByteClassifier::byte_class(double bits) const
{
    if (m_total == 0)
        return ByteClass::unknown;
    qint64 most = 0;
    qint64 printable = m_counts['\t'] + m_counts['\n'] + m_counts['\r'];
    for (int v = 0; v < 256; ++v) {
        most = std::max(most, m_counts[v]);
        if (v >= 0x20 && v <= 0x7e)
            printable += m_counts[v];
    }
    if (most == m_total)
        return ByteClass::repeated;
    if (double(printable) >= text_share * double(m_total))
        return ByteClass::text;
    if (bits >= random_entropy)
        return ByteClass::random;
    return ByteClass::binary;
}
