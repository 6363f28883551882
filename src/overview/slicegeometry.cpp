#include "overview/slicegeometry.h"

#include <algorithm>

SliceGeometry::SliceGeometry(qint64 size, int wanted)
    : m_size(std::max<qint64>(0, size))
    , m_count(int(std::min<qint64>(std::max(1, wanted), m_size)))
{
}

qint64 SliceGeometry::first(int slice) const
{
    if (m_count == 0 || slice <= 0)
        return 0;
    if (slice >= m_count)
        return m_size;
    // floor(slice * size / count) without forming slice * size, which
    // overflows for large files: the remainder's product stays below 2^62.
    const qint64 whole = m_size / m_count;
    const qint64 rest = m_size % m_count;
    return whole * slice + rest * slice / m_count;
}

int SliceGeometry::slice_of(qint64 offset) const
{
    if (m_count == 0)
        return -1;
    // The last slice whose first offset is at or before `offset`.
    int low = 0;
    int high = m_count - 1;
    while (low < high) {
        const int mid = low + (high - low + 1) / 2;
        if (first(mid) <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}
