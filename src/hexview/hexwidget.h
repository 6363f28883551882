#pragma once

#include "editedfile/byteeditcommand.h"
#include "hexview/substrs.h"
#include "hexview/rowlayout.h"

#include <QFont>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

class EditedFile;
class HexDocument;
class HexScrollBar;
class MarkupMask;
class QMenu;
class QScrollBar;
class QStatusBar;
class QToolBox;

// The central hex view: for every visible row of 16 bytes the row offset, the
// bytes as hexadecimal pairs and the same bytes as characters, with the
// selection, markup colours (from the MarkupMask) and unsaved byte edits.
//
// Layout, in units of char_width() (cw): offset from x 0, hexadecimal pairs
// from 10 cw to 57 cw, characters from 60 cw to 76 cw; a row is 76 cw wide,
// which is the widget's size hint. A file whose last offset needs more than
// eight hexadecimal digits moves the columns right by the extra digits
// (RowLayout). A widget narrower than a row shows it from
// horizontal_offset() pixels on, scrolled by a horizontal scroll bar. Row r
// of the widget spans line_height() pixels from r * line_height(); its
// characters' cells are the font's ascent plus descent high, with the
// baseline one ascent below the row's top. With no file open the view shows
// placeholder_text() centred instead of rows.
//
// All byte positions are 64-bit. The view shows an EditedFile and follows its
// signals; it makes one of its own until another is handed in. Collaborators
// are handed in by setters and may be null (no mask: no colours; no status
// bar: messages are dropped).
class HexWidget : public QWidget
{
    Q_OBJECT

public:
    // Asks the user a modal question or shows a warning. `icon` is
    // QMessageBox::Question or QMessageBox::Warning. The default shows a real
    // QMessageBox; tests install one that answers.
    using MessageBoxFunction = std::function<QMessageBox::StandardButton(
        QMessageBox::Icon icon, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button)>;

    explicit HexWidget(QWidget *parent = nullptr);
    ~HexWidget() override;

    HexDocument *document();
    EditedFile *edited_file() const { return m_file; }
    // Shows `file` from now on (its bytes, edits and markups); the file must
    // outlive the view or be its child.
    void set_edited_file(EditedFile *file);

    // Measures the font (width of "M", ascent, descent, line spacing), makes
    // the row width (76 character widths up to 4 GiB) the widget's size hint
    // and sets the minimum height to 100. The font is made
    // fixed-pitch (TypeWriter hint); a family that still resolves to a
    // proportional face is replaced by the system's fixed font of that size.
    void set_font(const QFont &font);
    QFont hex_font() const;
    int char_width() const;
    int line_height() const;

    // Widget height / line height; a partly visible bottom row does not count.
    int visible_rows() const;
    // The byte under a point of the widget: -1 in the offset column, the gap
    // or outside, and with no file open; clamped to the last byte of the file
    // when below it. The horizontal offset is added to x first.
    qint64 offset_at(int x, int y) const;
    // Whether widget x (plus the horizontal offset) lies in the hexadecimal
    // (10 cw .. 57 cw) or character (60 cw .. 76 cw) column, both ends included.
    bool in_hex_column(int x) const;
    bool in_char_column(int x) const;
    // Where the characters of visible row `row` are drawn, in widget pixels:
    // the cells of `count` characters from index `first` of the row's
    // hexadecimal or character text (a fill covers exactly these), and the
    // baseline of their text.
    QRect cell_rect(int row, bool hex_segment, int first, int count) const;
    int baseline(int row) const;

    // A row's full width in pixels, the widget's width when nothing scrolls.
    int row_width() const;
    // Pixels of the row scrolled off to the left: 0 .. row_width() - width(),
    // 0 when the widget is wide enough. Setting clamps into that range.
    int horizontal_offset() const;
    void set_horizontal_offset(int offset);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The columns of the open file (eight offset digits with no file).
    const RowLayout &row_layout() const;

    // What the view shows, centred, while no file is open: how to open one.
    void set_placeholder_text(const QString &text);
    QString placeholder_text() const;
    // Index of the row painted first (offset / 16).
    qint64 top_row() const;

    // The painting runs of one row segment whose first byte is `first_byte`,
    // as paintEvent draws them (selection over markup over plain).
    QList<substrS> segment_runs(const QByteArray &text, qint64 first_byte, bool hex_segment) const;

    // Selection: two unordered ends, -1 = none. selection_start is also the
    // keyboard cursor and may lie past the last byte.
    void clear_selection();
    // Scrolls the row of `start` to the top (clamped to the scroll range) and
    // sets both ends. (-1, -1) clears the selection and shows the top.
    void set_selection(qint64 start, qint64 end);
    qint64 selection_start() const;
    qint64 selection_end() const;
    // Both ends := offset (clamped to 0), scrolling as little as needed to
    // show it, as the keys move the cursor.
    void set_cursor(qint64 offset);
    // The selected bytes of the file (lesser to greater end) as lowercase
    // two-digit hex without separators, unsaved edits included. With no
    // selection: "Select some bytes first" and the empty text.
    QString selection_text();

    // Where the view stands: its top row, sideways scroll and selection.
    // Save As reopens the same bytes under another name; the view keeps
    // its place across that.
    struct Place {
        qint64 top_row = 0;
        int horizontal_offset = 0;
        qint64 selection_start = -1;
        qint64 selection_end = -1;
    };
    Place place() const;
    void restore_place(const Place &place);

    // Opens the file in the edited file, which drops all edits. Whenever the
    // edited file opens another file (also from elsewhere) the view starts it
    // clean: at its first row and column, nothing selected, edit mode off, no
    // pending nibble, and the scroll bar's row range set to size / 16. The
    // empty name is ignored.
    void open_file(const QString &name);

    bool edit_mode() const;
    // While locked (the edited file is busy: a search runs over it), byte
    // keys and the Edit toggle are refused with a status message; moving the
    // cursor still works. Locking makes the edited file busy.
    void set_edit_locked(bool locked);
    bool edit_locked() const;
    bool hex_column_active() const;
    bool has_edits() const;
    // Unsaved byte values by offset, ascending: the edited file's.
    const QMap<qint64, quint8> &edits() const;
    // The unsaved value of the byte at `offset`, or -1 when it is not edited.
    int edited_value(qint64 offset) const;

    // Saves the edits through the edited file. An empty name, or a name of
    // the open file itself, writes into the open file in place; another name
    // asks "File Exists" when it exists (No: returns false, nothing written)
    // unless `overwrite` is confirmed (the caller's save dialog asked), then
    // writes a complete copy. Failure keeps every edit and shows a "File
    // Write Error" warning saying why. With no file open nothing is written
    // and the result is false.
    enum class Overwrite { ask, confirmed };
    bool save_edits(const QString &name, Overwrite overwrite = Overwrite::ask);

    // The context menu in its entries' order, connected; the caller owns it.
    QMenu *create_context_menu();

    void set_markup_mask(MarkupMask *mask);
    void set_status_bar(QStatusBar *status_bar);
    // Also connects the scroll bar's valueChanged(int) to scroll_event(int)
    // (one connection however often it is called).
    void set_scroll_bar(HexScrollBar *scroll_bar);
    // The bar below the view that scrolls a row wider than the widget; the
    // view sets its range and shows it only while there is something to scroll.
    void set_horizontal_scroll_bar(QScrollBar *scroll_bar);
    void set_message_box_function(MessageBoxFunction function);
    // The main window's side toolbox and its two panels: Goto and Search of
    // the context menu turn the toolbox to them.
    void set_goto_panel(QToolBox *box, QWidget *panel);
    void set_search_panel(QToolBox *box, QWidget *panel);

signals:
    // An edit key changed a byte (also when the typed value equals the old one).
    void content_changed();
    void send_selection(const QString &text);
    // "Copy to Clipboard" of the context menu.
    void copy_action();
    // "Mark" of the context menu.
    void mark_requested();
    // "Pick Random Colors" of the context menu, with a selection.
    void pick_random_colors_requested();
    // Either end of the selection moved (both -1: no selection). Emitted once
    // per user action or call, and only when an end really changed.
    void selection_changed(qint64 start, qint64 end);
    // Goto and Search of the context menu: the window shows their panels.
    void goto_requested();
    void search_requested();

public slots:
    // The scroll bar moved to value `l`.
    void scroll_event(int l);
    void little_endian_jump();
    void big_endian_jump();
    void go_to_triggered();
    void edit_triggered();
    void search_triggered();
    void reload_mask();

private slots:
    void pick_random_color_action();
    // The edited file opened another file (or none).
    void follow_file();
    // Undo or redo of a byte step put the cursor back.
    void restore_cursor(const ByteEditCommand::Cursor &cursor);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void show_status(const QString &text);
    void notify_selection();
    // Where a navigation key moves a position `from` (-1: none yet) to,
    // before clamping. Home/End: the row's first/last byte; with Ctrl the
    // file's.
    qint64 navigation_target(int key, Qt::KeyboardModifiers modifiers, qint64 from) const;
    // Scrolls as little as needed to show the row of `offset`.
    void show_offset(qint64 offset);
    // Home/End (with or without Ctrl) and the navigation keys with Shift,
    // which extend the selection; false for every other key.
    bool extra_navigation_key(QKeyEvent *event);
    void set_top_row(qint64 row);
    qint64 max_top_row() const;
    qint64 file_size() const;
    void endian_jump(bool little);
    bool read_bytes(qint64 pos, int len, QByteArray &out);
    bool edit_key(QKeyEvent *event);
    void finish_key();
    void drag_to(qint64 v);
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString &title, const QString &text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton default_button);
    void paint_segment(class QPainter &painter, const QByteArray &text, qint64 first_byte,
                       bool hex_segment, int row) const;

    // Follows a new layout or font: size hint and horizontal range.
    void apply_layout();
    void update_horizontal_range();
    bool file_open() const;
    // The keys move from the end the user moved last (the one the status bar
    // and the inspector show): the selection collapses to it first.
    void collapse_to_active_end();

    EditedFile *m_file = nullptr;
    RowLayout m_layout;
    QString m_placeholder;
    qint64 m_top_row = 0;
    int m_char_width = 0;
    int m_line_height = 0;
    int m_ascent = 0;
    int m_descent = 0;
    int m_horizontal_offset = 0;
    QFont m_font;
    qint64 m_selection_start = -1;
    qint64 m_selection_end = -1;
    // The ends last announced by selection_changed().
    qint64 m_notified_start = -1;
    qint64 m_notified_end = -1;
    bool mouse_down = false;
    // The byte under a plain left press: a drag starts there, however far the
    // pointer travelled before the first move was reported. -1 = none.
    qint64 m_press_offset = -1;
    bool m_edit_mode = false;
    bool m_hex_column_active = true;
    qint16 m_pending_nibble = -1;

    QPointer<QToolBox> toolbox;
    QPointer<QWidget> goto_panel;
    QPointer<QWidget> search_panel;
    QPointer<MarkupMask> m_mask;
    QPointer<QStatusBar> m_status_bar;
    QPointer<HexScrollBar> m_scroll_bar;
    QPointer<QScrollBar> m_horizontal_bar;
    MessageBoxFunction m_message_box;

    Q_DISABLE_COPY(HexWidget)
};
