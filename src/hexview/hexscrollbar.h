#pragma once

#include <QScrollBar>

// The vertical scroll bar beside the hex widget. Its value stands for the
// widget's top row (16 bytes per row).
//
// Up to INT_MAX rows (files up to (2^31 - 1) * 16 bytes) one step is one row
// and the value is the row index, exactly as a plain QScrollBar with range
// 0 .. size / 16. Larger files get a scaled range: one step covers
// rows_per_step() rows, and the maximum value stands for the last row exactly,
// so the end of the file stays reachable. Convert with row_at() and
// value_for_row(); the hex widget keeps its own 64-bit top row and uses the
// value only for the user's dragging and clicking.
class HexScrollBar : public QScrollBar
{
    Q_OBJECT

public:
    explicit HexScrollBar(QWidget *parent = nullptr);

    // Range 0 .. max_row, normally file size / 16. Negative counts as 0.
    // A plain setRange/setMaximum call also works and means one row per step.
    void set_row_range(qint64 max_row);
    qint64 maximum_row() const;
    qint64 rows_per_step() const;

    // The row a value stands for, clamped to 0 .. maximum_row().
    qint64 row_at(int value) const;
    // The value that shows a row, clamped to the range.
    int value_for_row(qint64 row) const;

    // Page step for a view of `rows` visible rows (visible rows - 1, at least 1 step).
    void set_page_rows(int rows);

    // The hex widget's drag autoscroll drives these.
    using QScrollBar::setRepeatAction;
    using QScrollBar::repeatAction;

protected:
    void sliderChange(SliderChange change) override;

private:
    qint64 m_max_row = 0;
    qint64 m_step = 1;
    bool m_setting_rows = false;
};
