#pragma once

#include <QString>
#include <QtGlobal>

// Horizontal layout of one hex view row, in character widths. Up to 4 GiB the
// offset column holds eight hexadecimal digits: offset from 0, pairs from 10
// to 57, characters from 60 to 76. A file whose last offset needs more digits
// widens the offset column by the extra digits, and every later column moves
// right with it, so the offset never touches the first pair.
//
// Hit testing and painting both ask this class; nothing here knows about
// pixels except through the character width handed in.
class RowLayout
{
public:
    static constexpr int bytes_per_row = 16;
    static constexpr int min_offset_digits = 8;

    // Digits the offset column needs for a file of `size` bytes: those of its
    // last offset, at least eight (also for an empty file or no file).
    static int offset_digits_for(qint64 size);

    explicit RowLayout(int offset_digits = min_offset_digits);

    int offset_digits() const { return m_offset_digits; }
    // Column edges in character widths; char_end() is the row's full width.
    int hex_start() const { return 10 + extra(); }
    int hex_end() const { return 57 + extra(); }
    int char_start() const { return 60 + extra(); }
    int char_end() const { return 76 + extra(); }

    // Whether pixel x lies in the hexadecimal or character column (both
    // edges included) for characters `cw` pixels wide.
    bool in_hex_column(int x, int cw) const;
    bool in_char_column(int x, int cw) const;
    // The byte of the row (0..15) under pixel x, or -1 off both columns. The
    // right edge of a column belongs to its last byte.
    int byte_at(int x, int cw) const;

    // The row offset as the offset column shows it: uppercase, zero-padded to
    // offset_digits(); the empty text when it needs more digits than the
    // column holds (a row past the end of a file of exactly 4 GiB).
    QString offset_text(qint64 offset) const;

    bool operator==(const RowLayout &other) const { return m_offset_digits == other.m_offset_digits; }
    bool operator!=(const RowLayout &other) const { return !(*this == other); }

private:
    int extra() const { return m_offset_digits - min_offset_digits; }

    int m_offset_digits;
};
