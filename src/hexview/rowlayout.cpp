#include "hexview/rowlayout.h"

int RowLayout::offset_digits_for(qint64 size)
{
    int digits = 1;
    for (quint64 last = quint64(qMax<qint64>(1, size) - 1); last > 15; last >>= 4)
        ++digits;
    return qMax(min_offset_digits, digits);
}

RowLayout::RowLayout(int offset_digits)
    : m_offset_digits(qBound(min_offset_digits, offset_digits, 16))
{
}

bool RowLayout::in_hex_column(int x, int cw) const
{
    return x >= hex_start() * cw && x <= hex_end() * cw;
}

bool RowLayout::in_char_column(int x, int cw) const
{
    return x >= char_start() * cw && x <= char_end() * cw;
}

int RowLayout::byte_at(int x, int cw) const
{
    if (cw <= 0)
        return -1;
    if (in_hex_column(x, cw))
        return qMin((x - hex_start() * cw) / (3 * cw), bytes_per_row - 1);
    if (in_char_column(x, cw))
        return qMin((x - char_start() * cw) / cw, bytes_per_row - 1);
    return -1;
}

QString RowLayout::offset_text(qint64 offset) const
{
    const QString text = QString::number(quint64(offset), 16).toUpper();
    if (text.size() > m_offset_digits)
        return QString();
    return text.rightJustified(m_offset_digits, QLatin1Char('0'));
}
