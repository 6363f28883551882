#include "hexview/overviewstrip.h"

#include "editedfile/editedfile.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "overview/fileoverview.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <functional>

OverviewStrip::OverviewStrip(FileOverview *overview, HexWidget *view, HexScrollBar *scroll_bar,
                             QWidget *parent)
    : QWidget(parent)
    , m_overview(overview)
    , m_view(view)
    , m_scroll_bar(scroll_bar)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    // A step over many markups announces each one: the bars follow once, after it.
    m_markup_timer.setSingleShot(true);
    m_markup_timer.setInterval(0);
    connect(&m_markup_timer, &QTimer::timeout, this, &OverviewStrip::follow_markups);
    connect(overview, &FileOverview::slices_changed, this, &OverviewStrip::follow_slices);
    if (view) {
        view->installEventFilter(this);
        connect(view->edited_file(), &EditedFile::markups_changed, &m_markup_timer,
                qOverload<>(&QTimer::start));
    }
}

void OverviewStrip::set_strip_visible(bool visible)
{
    setVisible(visible);
    m_overview->set_active(visible);
}

QColor OverviewStrip::class_colour(ByteClass byte_class, double entropy)
{
    switch (byte_class) {
    case ByteClass::repeated:
        return QColor(0x30, 0x30, 0x30);
    case ByteClass::text:
        return QColor(0x3b, 0x7d, 0xd8);
    case ByteClass::binary: {
        // From pale green (little information) to deep green near the
        // threshold of compressed data.
        const double share = std::clamp(entropy / ByteClassifier::random_entropy, 0.0, 1.0);
        return QColor::fromHsvF(0.33, 0.25 + 0.6 * share, 0.95 - 0.35 * share);
    }
    case ByteClass::random:
        return QColor(0xd8, 0x40, 0x30);
    case ByteClass::unknown:
        break;
    }
    return QColor(0xe0, 0xe0, 0xe0);
}

int OverviewStrip::slice_at(int y) const
{
    const int count = m_overview->geometry().count();
    if (count == 0 || height() <= 0)
        return -1;
    return int(qint64(std::clamp(y, 0, height() - 1)) * count / height());
}

QString OverviewStrip::slice_text(int y) const
{
    const int i = slice_at(y);
    if (i < 0)
        return QString();
    const SliceGeometry &geometry = m_overview->geometry();
    const FileOverview::Slice slice = m_overview->slice(i);
    const auto hex = [](qint64 offset) { return QStringLiteral("0x") + QString::number(offset, 16).toUpper(); };
    QString text = tr("Offsets %1 to %2").arg(hex(geometry.first(i)), hex(geometry.first(i + 1) - 1));
    if (slice.byte_class == ByteClass::unknown)
        return text + QLatin1Char('\n') + FileOverview::class_name(slice.byte_class);
    text += QLatin1Char('\n') + tr("%1 bits per byte").arg(slice.entropy, 0, 'f', 2);
    text += QLatin1Char('\n') + FileOverview::class_name(slice.byte_class);
    if (!slice.exact)
        text += QLatin1Char('\n') + tr("(from a sample; counting every byte)");
    return text;
}

QSize OverviewStrip::sizeHint() const
{
    return QSize(strip_width, 100);
}

bool OverviewStrip::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = slice_text(help->pos().y());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

bool OverviewStrip::eventFilter(QObject *watched, QEvent *event)
{
    // The view scrolled (it repaints) or changed height: move the frame.
    if (watched == m_view && m_view
        && ((event->type() == QEvent::Paint && m_view->top_row() != m_marked_top)
            || event->type() == QEvent::Resize))
        update();
    return QWidget::eventFilter(watched, event);
}

QPair<int, int> OverviewStrip::rows_of(qint64 first, qint64 last) const
{
    const double size = double(std::max<qint64>(1, m_overview->geometry().size()));
    const int top = int(double(first) / size * height());
    const int bottom = int(double(last + 1) / size * height());
    return { std::clamp(top, 0, height() - 1), std::clamp(bottom, 0, height()) };
}

void OverviewStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int bands_width = width() - markup_width;
    painter.fillRect(rect(), palette().window());
    const int count = m_overview->geometry().count();
    if (count == 0)
        return;
    // Runs of one colour are filled at once.
    const auto fill_runs = [&](int x, int w, const std::function<QRgb(int)> &colour_at) {
        int run_start = 0;
        QRgb run_colour = colour_at(0);
        for (int y = 1; y <= height(); ++y) {
            const QRgb colour = y < height() ? colour_at(y) : ~run_colour;
            if (colour == run_colour)
                continue;
            if (qAlpha(run_colour) != 0)
                painter.fillRect(x, run_start, w, y - run_start, QColor::fromRgba(run_colour));
            run_start = y;
            run_colour = colour;
        }
    };
    fill_runs(0, bands_width, [&](int y) {
        const FileOverview::Slice slice = m_overview->slice(slice_at(y));
        return class_colour(slice.byte_class, slice.entropy).rgba();
    });
    if (m_markup_bands.size() == count)
        fill_runs(bands_width + 1, markup_width - 1, [&](int y) {
            const QRgb colour = m_markup_bands.at(slice_at(y));
            return colour == 0 ? QRgb(0) : colour | 0xff000000;
        });

    if (!m_view)
        return;
    m_marked_top = m_view->top_row();
    const qint64 first = m_marked_top * 16;
    const QPair<int, int> rows = rows_of(first, first + qint64(m_view->visible_rows()) * 16 - 1);
    // At least a few pixels, so that the view's place shows on any file.
    const int top = std::min(rows.first, height() - 4);
    const int frame_height = std::max(rows.second - top, 4);
    // Black outside, white inside: seen on every class colour.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.drawRect(QRect(0, top, width() - 1, frame_height - 1));
    painter.setPen(Qt::white);
    painter.drawRect(QRect(1, top + 1, width() - 3, frame_height - 3));
}

void OverviewStrip::resizeEvent(QResizeEvent *event)
{
    m_overview->set_slice_count(height());
    QWidget::resizeEvent(event);
}

void OverviewStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        jump_to(event->position().toPoint().y());
}

void OverviewStrip::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        jump_to(event->position().toPoint().y());
}

void OverviewStrip::follow_slices()
{
    if (m_markup_bands.size() != m_overview->geometry().count())
        follow_markups();
    else
        update();
}

void OverviewStrip::follow_markups()
{
    m_markup_bands = m_overview->markup_bands();
    update();
}

void OverviewStrip::jump_to(int y)
{
    const int i = slice_at(y);
    if (i < 0 || !m_view || !m_scroll_bar)
        return;
    // The slice's place in the middle of the view.
    const qint64 row = m_overview->geometry().first(i) / 16 - m_view->visible_rows() / 2;
    m_scroll_bar->setValue(m_scroll_bar->value_for_row(std::max<qint64>(0, row)));
}
