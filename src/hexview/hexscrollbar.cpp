#include "hexview/hexscrollbar.h"

#include <QtGlobal>

#include <climits>

HexScrollBar::HexScrollBar(QWidget *parent)
    : QScrollBar(parent)
    , max_row(maximum())
{
}

void HexScrollBar::set_row_range(qint64 rows)
{
    rows = qMax<qint64>(rows, 0);
    // The smallest step that fits the rows into the int range; 1 for any file
    // up to (2^31 - 1) * 16 bytes, so small files behave as a plain range.
    const qint64 new_step = rows <= INT_MAX ? 1 : rows / INT_MAX + 1;
    const int maximum_value = int((rows + new_step - 1) / new_step);
    setting_rows = true;
    max_row = rows;
    step = new_step;
    setRange(0, maximum_value);
    setting_rows = false;
}

qint64 HexScrollBar::maximum_row() const
{
    return max_row;
}

qint64 HexScrollBar::rows_per_step() const
{
    return step;
}

qint64 HexScrollBar::row_at(int value) const
{
    if (value <= 0)
        return 0;
    if (value >= maximum())
        return max_row;
    return qMin<qint64>(qint64(value) * step, max_row);
}

int HexScrollBar::value_for_row(qint64 row) const
{
    if (row <= 0)
        return 0;
    if (row >= max_row)
        return maximum();
    return int(row / step);
}

void HexScrollBar::set_page_rows(int rows)
{
    setPageStep(int(qMax<qint64>(1, (rows - 1) / step)));
}

void HexScrollBar::sliderChange(SliderChange change)
{
    // A range set directly (setRange/setMaximum) means one row per step.
    if (change == SliderRangeChange && !setting_rows) {
        step = 1;
        max_row = maximum();
    }
    QScrollBar::sliderChange(change);
}
