#pragma once

#include <QtGlobal>

// Cuts a file of `size` bytes into consecutive slices, as many as asked for
// but never more than there are bytes, so that a file smaller than the strip
// gets one slice per byte. Slice i covers first(i) .. first(i + 1) - 1; the
// slices differ in length by at most one byte and the last ends at the end
// of the file. All offsets are 64-bit and the arithmetic does not overflow
// for any file size.
class SliceGeometry
{
public:
    SliceGeometry() = default;
    // `wanted` below 1 counts as 1; an empty file has no slices.
    SliceGeometry(qint64 size, int wanted);

    qint64 size() const { return m_size; }
    int count() const { return m_count; }
    // The first offset of slice i; first(count()) is size().
    qint64 first(int slice) const;
    qint64 length(int slice) const { return first(slice + 1) - first(slice); }
    // The slice holding `offset`, clamped to 0 .. count() - 1; -1 with no slices.
    int slice_of(qint64 offset) const;

    bool operator==(const SliceGeometry &other) const
    {
        return m_size == other.m_size && m_count == other.m_count;
    }
    bool operator!=(const SliceGeometry &other) const { return !(*this == other); }

private:
    qint64 m_size = 0;
    int m_count = 0;
};
