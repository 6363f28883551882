#include "hexview/hexscrollbar.h"

#include <QtGlobal>

#include <climits>

HexScrollBar::HexScrollBar(QWidget *parent)
    : QScrollBar(parent)
    , m_max_row(maximum())
{
}

void HexScrollBar::set_row_range(qint64 rows)
{
    rows = qMax<qint64>(rows, 0);
    // The smallest step that fits the rows into the int range; 1 for any file
    // up to (2^31 - 1) * 16 bytes, so small files behave as a plain range.
    const qint64 new_step = rows <= INT_MAX ? 1 : rows / INT_MAX + 1;
    const int maximum_value = int((rows + new_step - 1) / new_step);
    m_setting_rows = true;
    m_max_row = rows;
    m_step = new_step;
    setRange(0, maximum_value);
    m_setting_rows = false;
}

qint64 HexScrollBar::maximum_row() const
{
    return m_max_row;
}

qint64 HexScrollBar::rows_per_step() const
{
    return m_step;
}

qint64 HexScrollBar::row_at(int value) const
{
    if (value <= 0)
        return 0;
    if (value >= maximum())
        return m_max_row;
    return qMin<qint64>(qint64(value) * m_step, m_max_row);
}

int HexScrollBar::value_for_row(qint64 row) const
{
    if (row <= 0)
        return 0;
    if (row >= m_max_row)
        return maximum();
    return int(row / m_step);
}

void HexScrollBar::set_page_rows(int rows)
{
    setPageStep(int(qMax<qint64>(1, (rows - 1) / m_step)));
}

void HexScrollBar::sliderChange(SliderChange change)
{
    // A range set directly (setRange/setMaximum) means one row per step.
    if (change == SliderRangeChange && !m_setting_rows) {
        m_step = 1;
        m_max_row = maximum();
    }
    QScrollBar::sliderChange(change);
}
