#include "hexview/hexwidget.h"

#include "document/buffereddocument.h"
#include "document/documentfailure.h"
#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "hexview/hexscrollbar.h"
#include "mask/markupmask.h"

#include <QAction>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBox>
#include <QWheelEvent>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int bytes_per_row = RowLayout::bytes_per_row;

// More than this many selected bytes are not turned into text (copy, search):
// the text would take gigabytes.
constexpr qint64 max_text_bytes = qint64(64) * 1024 * 1024;

const char select_first[] = QT_TRANSLATE_NOOP("HexWidget", "Select some bytes first");

// Whether every character the view draws advances by the same width. Asked of
// the metrics: some monospaced faces do not report themselves fixed-pitch.
bool advances_evenly(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QLatin1Char('M'));
    for (const char c : {'i', 'W', '.', '0', ' ', 'f'}) {
        if (qAbs(metrics.horizontalAdvance(QLatin1Char(c)) - width) > 0.01)
            return false;
    }
    return width > 0;
}

// The font asked for when its face is monospaced, else a monospaced face of
// the same size: the columns only line up when every character is one cell.
QFont monospaced_font(const QFont &font)
{
    const auto fixed_pitch = [&font](QFont candidate) {
        if (font.pointSizeF() > 0)
            candidate.setPointSizeF(font.pointSizeF());
        else if (font.pixelSize() > 0)
            candidate.setPixelSize(font.pixelSize());
        candidate.setWeight(font.weight());
        candidate.setStyleHint(QFont::TypeWriter);
        candidate.setFixedPitch(true);
        return candidate;
    };
    QFont chosen = fixed_pitch(font);
    if (advances_evenly(chosen))
        return chosen;
    QFont system = fixed_pitch(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (advances_evenly(system))
        return system;
    const QStringList families = QFontDatabase::families();
    for (const QString &family : families) {
        if (!QFontDatabase::isFixedPitch(family))
            continue;
        const QFont candidate = fixed_pitch(QFont(family));
        if (advances_evenly(candidate))
            return candidate;
    }
    return chosen;
}

} // namespace

HexWidget::HexWidget(QWidget *parent)
    : QWidget(parent)
{
    m_message_box = [this](QMessageBox::Icon icon, const QString &title, const QString &text,
                           QMessageBox::StandardButtons buttons,
                           QMessageBox::StandardButton default_button) {
        if (icon == QMessageBox::Question)
            return QMessageBox::question(this, title, text, buttons, default_button);
        return QMessageBox::warning(this, title, text, buttons, default_button);
    };
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFocusPolicy(Qt::StrongFocus);
    // Never wider than a row; narrower only when the window has no more room.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    // Measured once here so that geometry never divides by zero; the main
    // window hands in the user's font before the widget is shown.
    set_font(QFont(QStringLiteral("Courier"), 12));
    set_edited_file(new EditedFile(this));
}

HexWidget::~HexWidget() = default;

HexDocument *HexWidget::document()
{
    return m_file->document();
}

void HexWidget::set_edited_file(EditedFile *file)
{
    if (!file || file == m_file)
        return;
    if (m_file) {
        disconnect(m_file, nullptr, this, nullptr);
        // The view's own file goes with the view it was made for.
        if (m_file->parent() == this)
            m_file->deleteLater();
    }
    m_file = file;
    connect(file, &EditedFile::file_changed, this, &HexWidget::follow_file);
    connect(file, &EditedFile::bytes_changed, this, [this] { update(); });
    // Colours are read from the markups at paint time: a recolouring needs
    // only a paint.
    connect(file, &EditedFile::markups_changed, this, [this] { update(); });
    connect(file, &EditedFile::cursor_restored, this, &HexWidget::restore_cursor);
    follow_file();
}

void HexWidget::set_font(const QFont &font)
{
    QFont fixed = monospaced_font(font);
    // Scalable faces often advance by fractions of a pixel (9.6 px), while
    // the layout places every run at a whole multiple of the character width.
    // Letter spacing rounds the advance up to whole pixels so that text drawn
    // as one run lands on the same cells as text drawn character by character.
    const qreal advance = QFontMetricsF(fixed).horizontalAdvance(QLatin1Char('M'));
    const qreal whole = qMax<qreal>(1, std::ceil(advance - 0.01));
    if (whole != advance)
        fixed.setLetterSpacing(QFont::AbsoluteSpacing, whole - advance);
    // Measured over a run, as the text is drawn: the width of a single
    // character leaves the letter spacing out.
    const QFontMetrics metrics(fixed);
    m_char_width = qMax(1, qRound(metrics.horizontalAdvance(QString(16, QLatin1Char('M'))) / 16.0));
    // The cells reach as far as the font says and as far as any character
    // the view draws really reaches ('_' and '|' go a pixel below the
    // descent in some faces), so a fill always lies behind whole glyphs.
    QString printable;
    for (char c = 0x20; c < 0x7F; ++c)
        printable.append(QLatin1Char(c));
    const QRect glyphs = metrics.boundingRect(printable);
    m_ascent = qMax(metrics.ascent(), -glyphs.top());
    m_descent = qMax(metrics.descent(), glyphs.bottom() + 1);
    // Rows never closer than their cells: neighbouring fills must not overlap.
    m_line_height = qMax(1, qMax(metrics.lineSpacing(), m_ascent + m_descent));
    m_font = fixed;
    setMinimumHeight(100);
    apply_layout();
    if (m_scroll_bar)
        m_scroll_bar->set_page_rows(visible_rows());
    update();
}

void HexWidget::apply_layout()
{
    updateGeometry();
    update_horizontal_range();
}

int HexWidget::row_width() const
{
    return m_layout.char_end() * m_char_width;
}

QSize HexWidget::sizeHint() const
{
    return QSize(row_width(), minimumHeight());
}

QSize HexWidget::minimumSizeHint() const
{
    // The offsets and a few pairs; the rest of a row is scrolled to.
    return QSize((m_layout.hex_start() + 12) * m_char_width, minimumHeight());
}

int HexWidget::horizontal_offset() const
{
    return m_horizontal_offset;
}

void HexWidget::set_horizontal_offset(int offset)
{
    const int bounded = qBound(0, offset, qMax(0, row_width() - width()));
    if (m_horizontal_bar && m_horizontal_bar->value() != bounded)
        m_horizontal_bar->setValue(bounded); // echoed back through valueChanged
    if (bounded == m_horizontal_offset)
        return;
    m_horizontal_offset = bounded;
    update();
}

void HexWidget::update_horizontal_range()
{
    const int hidden = qMax(0, row_width() - width());
    if (m_horizontal_bar) {
        m_horizontal_bar->setRange(0, hidden);
        m_horizontal_bar->setPageStep(qMax(1, width()));
        m_horizontal_bar->setSingleStep(m_char_width);
        m_horizontal_bar->setVisible(hidden > 0);
    }
    set_horizontal_offset(m_horizontal_offset);
}

const RowLayout &HexWidget::row_layout() const
{
    return m_layout;
}

void HexWidget::set_placeholder_text(const QString &text)
{
    m_placeholder = text;
    update();
}

QString HexWidget::placeholder_text() const
{
    return m_placeholder;
}

QFont HexWidget::hex_font() const
{
    return m_font;
}

int HexWidget::char_width() const
{
    return m_char_width;
}

int HexWidget::line_height() const
{
    return m_line_height;
}

int HexWidget::visible_rows() const
{
    return height() / m_line_height;
}

bool HexWidget::in_hex_column(int x) const
{
    return m_layout.in_hex_column(x + m_horizontal_offset, m_char_width);
}

bool HexWidget::in_char_column(int x) const
{
    return m_layout.in_char_column(x + m_horizontal_offset, m_char_width);
}

qint64 HexWidget::offset_at(int x, int y) const
{
    // No file, no bytes: a click selects nothing.
    if (!file_open())
        return -1;
    const int byte = m_layout.byte_at(x + m_horizontal_offset, m_char_width);
    if (byte < 0)
        return -1;
    const qint64 row = y / m_line_height + m_top_row;
    qint64 result = row * bytes_per_row + byte;
    const qint64 size = file_size();
    if (size >= 0 && result > size - 1)
        result = size - 1;
    return result;
}

qint64 HexWidget::top_row() const
{
    return m_top_row;
}

bool HexWidget::file_open() const
{
    return m_file->is_open();
}

qint64 HexWidget::file_size() const
{
    return m_file->is_open() ? m_file->size() : -1;
}

qint64 HexWidget::max_top_row() const
{
    if (m_scroll_bar)
        return m_scroll_bar->maximum_row();
    return qMax<qint64>(0, file_size()) / bytes_per_row;
}

void HexWidget::set_top_row(qint64 row)
{
    m_top_row = qBound<qint64>(0, row, max_top_row());
    // The scroll bar echoes the value back through scroll_event, which keeps
    // this exact row because the value already stands for it.
    if (m_scroll_bar)
        m_scroll_bar->setValue(m_scroll_bar->value_for_row(m_top_row));
    update();
}

void HexWidget::scroll_event(int l)
{
    if (m_scroll_bar) {
        if (m_scroll_bar->value_for_row(m_top_row) != l)
            m_top_row = m_scroll_bar->row_at(l);
    } else {
        m_top_row = qMax(0, l);
    }
    update();
}

void HexWidget::show_status(const QString &text)
{
    if (m_status_bar)
        m_status_bar->showMessage(text, 0);
}

void HexWidget::notify_selection()
{
    if (m_selection_start == m_notified_start && m_selection_end == m_notified_end)
        return;
    m_notified_start = m_selection_start;
    m_notified_end = m_selection_end;
    emit selection_changed(m_selection_start, m_selection_end);
}

void HexWidget::clear_selection()
{
    m_selection_start = -1;
    m_selection_end = -1;
    update();
    notify_selection();
}

HexWidget::Place HexWidget::place() const
{
    return {m_top_row, m_horizontal_offset, m_selection_start, m_selection_end};
}

void HexWidget::restore_place(const Place &place)
{
    m_selection_start = place.selection_start;
    m_selection_end = place.selection_end;
    set_top_row(place.top_row);
    set_horizontal_offset(place.horizontal_offset);
    notify_selection();
}

void HexWidget::set_selection(qint64 start, qint64 end)
{
    set_top_row(start / bytes_per_row);
    if (start < 0 || end < 0) {
        start = -1;
        end = -1;
    }
    m_selection_start = start;
    m_selection_end = end;
    update();
    notify_selection();
}

void HexWidget::set_cursor(qint64 offset)
{
    m_pending_nibble = -1;
    m_selection_start = qMax<qint64>(0, offset);
    m_selection_end = m_selection_start;
    show_offset(m_selection_end);
    update();
    notify_selection();
}

qint64 HexWidget::selection_start() const
{
    return m_selection_start;
}

qint64 HexWidget::selection_end() const
{
    return m_selection_end;
}

bool HexWidget::read_bytes(qint64 pos, int len, QByteArray &out)
{
    // As the view shows them: unsaved edits over the stored bytes.
    out = m_file->read(pos, len);
    return out.size() == len;
}

QString HexWidget::selection_text()
{
    if (m_selection_start < 0) {
        show_status(tr(select_first));
        return QString();
    }
    const qint64 lo = qMin(m_selection_start, m_selection_end);
    qint64 hi = qMax(m_selection_start, m_selection_end);
    const qint64 size = file_size();
    // Only bytes of the file are copied; a cursor past the end holds none.
    hi = qMin(hi, size - 1);
    if (lo < 0 || lo > hi)
        return QString();
    if (hi - lo + 1 > max_text_bytes) {
        show_status(tr("Selection too large: at most 64 MiB can be copied"));
        return QString();
    }
    static const char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(int((hi - lo + 1) * 2));
    QByteArray chunk;
    for (qint64 pos = lo; pos <= hi;) {
        const int len = int(qMin<qint64>(hi - pos + 1, BufferedDocument::centring_distance));
        if (!read_bytes(pos, len, chunk))
            return QString();
        for (const char c : chunk) {
            const uchar b = uchar(c);
            text.append(QLatin1Char(digits[b >> 4]));
            text.append(QLatin1Char(digits[b & 15]));
        }
        pos += len;
    }
    return text;
}

void HexWidget::little_endian_jump()
{
    endian_jump(true);
}

void HexWidget::big_endian_jump()
{
    endian_jump(false);
}

void HexWidget::endian_jump(bool little)
{
    if (m_selection_start < 0) {
        show_status(tr(select_first));
        return;
    }
    const qint64 lo = qMin(m_selection_start, m_selection_end);
    const qint64 hi = qMax(m_selection_start, m_selection_end);
    if (hi - lo + 1 > 8) {
        show_status(tr("Jump selection maximum length is 8 bytes"));
        return;
    }
    if (m_status_bar)
        m_status_bar->clearMessage();
    QByteArray bytes;
    if (lo < 0 || !read_bytes(lo, int(hi - lo + 1), bytes)) {
        // The selection lies past the end of the file: no bytes to read.
        show_status(tr(select_first));
        return;
    }
    quint64 value = 0;
    if (little) {
        for (int i = bytes.size() - 1; i >= 0; --i)
            value = value * 256 + uchar(bytes[i]);
    } else {
        for (const char c : bytes)
            value = value * 256 + uchar(c);
    }
    const qint64 target = qint64(value);
    if (target == -1) {
        // All FF: no byte to select; the view goes to the top.
        set_selection(-1, -1);
        return;
    }
    const qint64 size = file_size();
    if (target < 0 || target >= size) {
        show_status(tr("Jump target 0x%1 lies beyond the end of the file")
                        .arg(QString::number(value, 16).toUpper()));
        return;
    }
    set_selection(target, target);
}

void HexWidget::set_goto_panel(QToolBox *box, QWidget *panel)
{
    toolbox = box;
    goto_panel = panel;
}

void HexWidget::set_search_panel(QToolBox *box, QWidget *panel)
{
    toolbox = box;
    search_panel = panel;
}

const QMap<qint64, quint8> &HexWidget::edits() const
{
    return m_file->edits();
}

void HexWidget::go_to_triggered()
{
    if (toolbox && goto_panel)
        toolbox->setCurrentWidget(goto_panel);
    emit goto_requested();
}

void HexWidget::edit_triggered()
{
    if (edit_locked()) {
        show_status(EditedFile::busy_message());
        return;
    }
    m_edit_mode = !m_edit_mode;
    setBackgroundRole(m_edit_mode ? QPalette::Base : QPalette::Window);
    update();
}

void HexWidget::search_triggered()
{
    const QString text = selection_text();
    if (toolbox && search_panel)
        toolbox->setCurrentWidget(search_panel);
    emit search_requested();
    emit send_selection(text);
}

void HexWidget::reload_mask()
{
    std::fputs("hexwidget :: reload mask\n", stdout);
    std::fflush(stdout);
    if (m_mask)
        m_mask->reload_mask();
}

void HexWidget::pick_random_color_action()
{
    if (m_selection_start < 0) {
        show_status(tr(select_first));
        return;
    }
    emit pick_random_colors_requested();
}

void HexWidget::open_file(const QString &name)
{
    if (!name.isEmpty())
        m_file->open(name);
}

void HexWidget::follow_file()
{
    // Another file starts clean: where the last one was scrolled to, what was
    // selected in it and its edit mode mean nothing here.
    m_pending_nibble = -1;
    mouse_down = false;
    m_press_offset = -1;
    m_selection_start = -1;
    m_selection_end = -1;
    if (m_edit_mode) {
        m_edit_mode = false;
        setBackgroundRole(QPalette::Window);
    }
    const RowLayout layout(RowLayout::offset_digits_for(qMax<qint64>(0, file_size())));
    if (layout != m_layout) {
        m_layout = layout;
        apply_layout();
    }
    if (m_scroll_bar && m_file->is_open())
        m_scroll_bar->set_row_range(file_size() / bytes_per_row);
    set_top_row(0);
    set_horizontal_offset(0);
    notify_selection();
}

bool HexWidget::edit_mode() const
{
    return m_edit_mode;
}

void HexWidget::set_edit_locked(bool locked)
{
    m_file->set_busy(locked);
    // A half-typed byte must not be finished by a key after the lock.
    m_pending_nibble = -1;
}

bool HexWidget::hex_column_active() const
{
    return m_hex_column_active;
}

bool HexWidget::edit_locked() const
{
    return m_file->is_busy();
}

bool HexWidget::has_edits() const
{
    return m_file->has_edits();
}

int HexWidget::edited_value(qint64 offset) const
{
    return m_file->edited_value(offset);
}

QMenu *HexWidget::create_context_menu()
{
    auto *menu = new QMenu;
    connect(menu->addAction(tr("Mark")), &QAction::triggered, this,
            &HexWidget::mark_requested);
    connect(menu->addAction(tr("Pick Random Colors")), &QAction::triggered, this,
            &HexWidget::pick_random_color_action);
    connect(menu->addAction(tr("Little Endian Jump")), &QAction::triggered, this,
            &HexWidget::little_endian_jump);
    connect(menu->addAction(tr("Big Endian Jump")), &QAction::triggered, this,
            &HexWidget::big_endian_jump);
    connect(menu->addAction(tr("Goto")), &QAction::triggered, this,
            &HexWidget::go_to_triggered);
    connect(menu->addAction(tr("Search")), &QAction::triggered, this,
            &HexWidget::search_triggered);
    connect(menu->addAction(tr("Copy to Clipboard")), &QAction::triggered, this,
            &HexWidget::copy_action);
    QAction *edit = menu->addAction(tr("Edit"));
    edit->setCheckable(true);
    edit->setChecked(m_edit_mode);
    connect(edit, &QAction::triggered, this, &HexWidget::edit_triggered);
    return menu;
}

void HexWidget::set_markup_mask(MarkupMask *mask)
{
    m_mask = mask;
    update();
}

void HexWidget::set_status_bar(QStatusBar *status_bar)
{
    m_status_bar = status_bar;
}

void HexWidget::set_scroll_bar(HexScrollBar *scroll_bar)
{
    if (m_scroll_bar == scroll_bar)
        return;
    if (m_scroll_bar)
        disconnect(m_scroll_bar, nullptr, this, nullptr);
    m_scroll_bar = scroll_bar;
    if (scroll_bar) {
        connect(scroll_bar, &QAbstractSlider::valueChanged, this, &HexWidget::scroll_event);
        scroll_bar->set_page_rows(visible_rows());
    }
}

void HexWidget::set_horizontal_scroll_bar(QScrollBar *scroll_bar)
{
    if (m_horizontal_bar == scroll_bar)
        return;
    if (m_horizontal_bar)
        disconnect(m_horizontal_bar, nullptr, this, nullptr);
    m_horizontal_bar = scroll_bar;
    if (scroll_bar) {
        connect(scroll_bar, &QAbstractSlider::valueChanged, this,
                &HexWidget::set_horizontal_offset);
        update_horizontal_range();
    }
}

void HexWidget::set_message_box_function(MessageBoxFunction function)
{
    m_message_box = std::move(function);
}

QMessageBox::StandardButton HexWidget::ask(QMessageBox::Icon icon, const QString &title,
                                           const QString &text, QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton default_button)
{
    if (!m_message_box)
        return default_button;
    return m_message_box(icon, title, text, buttons, default_button);
}

// ---------------------------------------------------------------- input

bool HexWidget::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key_event = static_cast<QKeyEvent *>(event);
        // Tab switches the edited column; focus never leaves the view by it.
        // Shift+Tab (Backtab) is left to the base class, which moves focus to
        // the previous widget, so keyboard users can still leave the view.
        if (key_event->key() == Qt::Key_Tab && !(key_event->modifiers() & Qt::ShiftModifier)) {
            m_hex_column_active = !m_hex_column_active;
            update();
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void HexWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_scroll_bar)
        m_scroll_bar->set_page_rows(visible_rows());
    update_horizontal_range();
}

void HexWidget::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (m_scroll_bar)
        m_scroll_bar->setRepeatAction(QAbstractSlider::SliderNoAction, 0, 0);
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (event->modifiers() == Qt::NoModifier) {
            clear_selection();
            m_press_offset = offset_at(pos.x(), pos.y());
        } else if (m_selection_start >= 0) {
            // Extends the selection (Shift+click); a point off the bytes keeps it.
            const qint64 v = offset_at(pos.x(), pos.y());
            if (v >= 0)
                m_selection_end = v;
            update();
            notify_selection();
        }
        mouse_down = true;
    } else if (event->button() == Qt::RightButton) {
        QMenu *menu = create_context_menu();
        menu->exec(event->globalPosition().toPoint());
        delete menu;
    }
}

void HexWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!mouse_down)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_scroll_bar) {
        if (pos.y() > height())
            m_scroll_bar->setRepeatAction(QAbstractSlider::SliderSingleStepAdd, 5, 5);
        else if (pos.y() < 0)
            m_scroll_bar->setRepeatAction(QAbstractSlider::SliderSingleStepSub, 5, 5);
        else
            m_scroll_bar->setRepeatAction(QAbstractSlider::SliderNoAction, 0, 0);
    }
    drag_to(offset_at(pos.x(), pos.y()));
    update();
    notify_selection();
}

void HexWidget::drag_to(qint64 v)
{
    if (m_edit_mode) {
        // In edit mode a drag only moves the one-byte cursor.
        m_selection_start = v;
        m_selection_end = v;
        return;
    }
    if (m_selection_start < 0)
        m_selection_start = m_press_offset >= 0 ? m_press_offset : v;
    // Passing over the offset column or the gap keeps the dragged range.
    if (v >= 0)
        m_selection_end = v;
    else if (m_selection_end < 0)
        m_selection_end = m_selection_start;
}

void HexWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (mouse_down && event->modifiers() == Qt::NoModifier) {
        drag_to(offset_at(pos.x(), pos.y()));
        if (in_hex_column(pos.x()))
            m_hex_column_active = true;
        else if (in_char_column(pos.x()))
            m_hex_column_active = false;
    }
    mouse_down = false;
    m_press_offset = -1;
    if (m_scroll_bar)
        m_scroll_bar->setRepeatAction(QAbstractSlider::SliderNoAction, 0, 0);
    update();
    notify_selection();
}

void HexWidget::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        // A sideways wheel or swipe scrolls a row wider than the view.
        const int sideways = event->angleDelta().x();
        if (sideways == 0 || row_width() <= width()) {
            event->ignore();
            return;
        }
        set_horizontal_offset(m_horizontal_offset + (sideways < 0 ? 3 : -3) * m_char_width);
        event->accept();
        return;
    }
    const bool down = delta < 0;
    for (int i = 0; i < 3; ++i) {
        if (m_scroll_bar && m_scroll_bar->rows_per_step() == 1)
            m_scroll_bar->triggerAction(down ? QAbstractSlider::SliderSingleStepAdd
                                             : QAbstractSlider::SliderSingleStepSub);
        else
            // A scaled scroll bar steps many rows; the wheel still moves by rows.
            set_top_row(m_top_row + (down ? 1 : -1));
    }
    event->accept();
}

qint64 HexWidget::navigation_target(int key, Qt::KeyboardModifiers modifiers, qint64 from) const
{
    const qint64 page = qint64(visible_rows()) * bytes_per_row;
    const bool control = modifiers & Qt::ControlModifier;
    // A position before the first byte (no selection) counts as -1, as the
    // plain arrows do.
    const qint64 row_start = from < 0 ? 0 : from - from % bytes_per_row;
    switch (key) {
    case Qt::Key_Left:
        return from - 1;
    case Qt::Key_Right:
        return from + 1;
    case Qt::Key_Up:
        return from - bytes_per_row;
    case Qt::Key_Down:
        return from + bytes_per_row;
    case Qt::Key_PageUp:
        return from - page;
    case Qt::Key_PageDown:
        return from + page;
    case Qt::Key_Home:
        return control ? 0 : row_start;
    case Qt::Key_End: {
        const qint64 last = qMax<qint64>(0, file_size() - 1);
        if (control)
            return last;
        // The last row of the file ends at its last byte.
        const qint64 row_end = row_start + bytes_per_row - 1;
        return row_start <= last ? qMin(row_end, last) : row_end;
    }
    default:
        return from;
    }
}

void HexWidget::show_offset(qint64 offset)
{
    const qint64 row = offset / bytes_per_row;
    if (row < m_top_row)
        set_top_row(row);
    else if (row >= m_top_row + visible_rows())
        set_top_row(row - qMax(1, visible_rows()) + 1);
}

bool HexWidget::extra_navigation_key(QKeyEvent *event)
{
    const int key = event->key();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool home_end = key == Qt::Key_Home || key == Qt::Key_End;
    const bool movement = home_end || key == Qt::Key_Left || key == Qt::Key_Right
                          || key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
                          || key == Qt::Key_PageDown;
    // Without Shift only Home and End are new here; in edit mode the
    // selection is a one-byte cursor, so Shift does not extend it.
    if (!movement || (!home_end && (!shift || m_edit_mode)))
        return false;
    if (!file_open()) {
        // No bytes to move over: nothing is selected and no offset shown.
        event->ignore();
        return true;
    }

    m_pending_nibble = -1;
    if (shift && !m_edit_mode) {
        // Shift moves the end the user extends; selection_start stays the anchor.
        const qint64 from = m_selection_start < 0 ? -1 : m_selection_end;
        qint64 target = qMax<qint64>(0, navigation_target(key, event->modifiers(), from));
        const qint64 size = file_size();
        if (size > 0)
            target = qMin(target, size - 1);
        if (m_selection_start < 0)
            m_selection_start = target;
        m_selection_end = target;
    } else {
        collapse_to_active_end();
        const qint64 target =
            qMax<qint64>(0, navigation_target(key, event->modifiers(), m_selection_start));
        m_selection_start = target;
        m_selection_end = target;
    }
    show_offset(m_selection_end);
    update();
    notify_selection();
    event->accept();
    return true;
}

void HexWidget::keyPressEvent(QKeyEvent *event)
{
    if (extra_navigation_key(event))
        return;
    qint64 &cursor = m_selection_start;
    const qint64 page = qint64(visible_rows()) * bytes_per_row;
    const int key = event->key();
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down
        || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        if (!file_open()) {
            event->ignore();
            return;
        }
        collapse_to_active_end();
    }
    switch (key) {
    case Qt::Key_Left:
        cursor -= 1;
        break;
    case Qt::Key_Right:
        cursor += 1;
        break;
    case Qt::Key_Up:
        cursor -= bytes_per_row;
        break;
    case Qt::Key_Down:
        cursor += bytes_per_row;
        break;
    case Qt::Key_PageUp:
        cursor -= page;
        set_selection(cursor, cursor);
        break;
    case Qt::Key_PageDown:
        cursor += page;
        set_selection(cursor, cursor);
        break;
    default:
        if (m_edit_mode && edit_locked() && !event->text().isEmpty()) {
            show_status(EditedFile::busy_message());
            event->accept();
            return;
        }
        if (!m_edit_mode || !edit_key(event)) {
            event->ignore();
            return;
        }
        finish_key();
        event->accept();
        return;
    }
    m_pending_nibble = -1;
    finish_key();
    event->accept();
}

void HexWidget::collapse_to_active_end()
{
    if (m_selection_start >= 0 && m_selection_end >= 0)
        m_selection_start = m_selection_end;
}

void HexWidget::finish_key()
{
    if (m_selection_start < 0)
        m_selection_start = 0;
    const qint64 row = m_selection_start / bytes_per_row;
    if (row < m_top_row)
        set_top_row(m_top_row - 1);
    else if (row >= m_top_row + visible_rows())
        set_top_row(m_top_row + 1);
    m_selection_end = m_selection_start;
    update();
    notify_selection();
}
