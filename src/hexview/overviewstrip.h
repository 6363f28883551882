#pragma once

#include "overview/byteclassifier.h"

#include <QPointer>
#include <QRgb>
#include <QTimer>
#include <QVector>
#include <QWidget>

class FileOverview;
class HexScrollBar;
class HexWidget;

// The whole file at a glance, beside the hex view: from offset 0 at the top
// to the end at the bottom, one band per slice of the FileOverview coloured
// by its ByteClass (binary lighter the lower its entropy), the markups as
// thin bars in their background colours along the right edge, and a frame
// around the rows the hex view shows. A click or drag scrolls the view to
// that place; the tooltip names the slice's offsets, entropy and class.
//
// Paints from what the overview and the markup bands hold; the counting
// happens in the overview's worker. Hidden, it lets the overview rest.
class OverviewStrip : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(OverviewStrip)

public:
    static constexpr int strip_width = 22;
    static constexpr int markup_width = 5;

    OverviewStrip(FileOverview *overview, HexWidget *view, HexScrollBar *scroll_bar,
                  QWidget *parent = nullptr);

    // Shows or hides the strip and starts or stops the counting with it.
    void set_strip_visible(bool visible);

    static QColor class_colour(ByteClass byte_class, double entropy);
    // The slice drawn at pixel row y; -1 with no slices.
    int slice_at(int y) const;
    // The tooltip of the slice at pixel row y; empty with no slices.
    QString slice_text(int y) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void follow_slices();
    void follow_markups();
    void jump_to(int y);
    // The pixel rows of the strip that offsets first..last take.
    QPair<int, int> rows_of(qint64 first, qint64 last) const;

    FileOverview *m_overview;
    QPointer<HexWidget> m_view;
    QPointer<HexScrollBar> m_scroll_bar;
    QVector<QRgb> m_markup_bands;
    QTimer m_markup_timer;
    // The view's top row at the last paint of the marker.
    qint64 m_marked_top = -1;
};
