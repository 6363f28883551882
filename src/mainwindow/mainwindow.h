#pragma once

#include "markup/markupvaluetype.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>

#include <functional>

class EditHistory;
class EditedFile;
class FileOverview;
class OverviewStrip;
class FileActions;
class HelpActions;
class HexScrollBar;
class HexTreeView;
class HelpClient;
class HexWidget;
class InspectorWidget;
class JumpWidget;
class ManualMarkupDialog;
class TemplateGalleryDialog;
class MarkupActions;
class MarkupFileActions;
class TemplateActions;
class MarkupMask;
class MarkupModel;
class MarkupNode;
class MarkupTree;
class QAction;
class QDockWidget;
class QItemSelectionModel;
class QModelIndex;
class QToolBar;
class QToolBox;
class SearchResultsWidget;
class SearchWidget;
class TreeViewDelegate;
class ViewActions;

// The program's only top-level window. It owns the hex view, the markup tree
// and its views and the side panels, lays them out and wires them together;
// the user commands are run by action classes, one per concern (FileActions,
// MarkupFileActions, MarkupActions, ViewActions, HelpActions), which reach
// the window's parts through the public functions below. The commands'
// names here forward to them. Other code reaches the window through
// instance(), but the lower layers receive what they need by setters instead.
//
// Every modal dialog the commands open goes through one of the public hooks
// below; they default to the real dialogs, and a caller (a test, a scripted
// run) may replace them to answer without a person at the screen.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    // The one window, built (hidden) on the first call.
    static MainWindow *instance();
    ~MainWindow() override;

    // The file being edited: bytes, markups and their one history. The views
    // follow it; the commands change it.
    EditedFile *edited_file() const { return m_file; }
    HexWidget *hex_widget() const { return m_hex_widget; }
    HexScrollBar *scroll_bar() const { return m_scroll_bar; }
    OverviewStrip *overview_strip() const { return m_overview_strip; }
    // Shows or hides the overview strip as the setting "Overview Strip" says
    // (shown unless "no"), and checks its View menu entry.
    void apply_overview_setting();
    static bool overview_setting();
    HexTreeView *markup_tree_view() const { return m_markup_tree_view; }
    MarkupModel *markup_model() const { return m_markup_model; }
    MarkupTree *markup_tree() const { return m_markup_tree; }
    MarkupMask *markup_mask() const { return m_markup_mask; }

    // The undo history of markups and byte edits; the flags follow its states.
    EditHistory *edit_history() const { return m_history; }
    // Markups, or bytes of the open file, changed since they were last
    // saved; the name of the current markup file, empty when there is none.
    bool markup_modified() const;
    bool document_modified() const;
    QString current_markup_file() const;

    // The markups count as changed until they are next saved, whatever is undone.
    void set_markup_modified();
    // A Qt::ToolButtonStyle value, 0..3.
    void set_toolbar_style(int style);
    // The hex view measures the font first, then the window and its docks take it.
    void apply_font(const QFont &font);
    void update_page_step();
    // The title is exactly `title` while nothing is unsaved; while bytes or
    // markups are, " *" follows it.
    void set_title(const QString &title);

    // The window's position and size and its docks' arrangement, kept in
    // "Window Geometry" and "Window State" beside "width" and "height".
    // Saved when the window closes and when it is resized; restoring is for
    // start-up, before the window is shown, and returns whether an
    // arrangement was found. Without one, the first show places the toolbox
    // beside the hex view when it fits there and beside the markup tree when
    // it does not.
    void save_window_layout();
    bool restore_window_layout();

    // A search keeps the event loop alive while it runs and makes the edited
    // file busy, which refuses every change itself; a command that asks a
    // question first asks this before: true (with a status message) while a
    // search runs, and the command must then do nothing.
    bool refuse_while_searching();
    // Replaces the status bar's message; a detail, when given, is its tool tip
    // while it stays.
    void show_status(const QString &text, const QString &detail = QString());
    // A warning that stays on the status bar, beside its messages, until
    // replaced; the empty text removes it.
    void show_lasting_warning(const QString &text);
    // Widens the tree's position columns to the largest offset they can show:
    // the file's last byte or the end of the last top-level markup.
    void fit_markup_columns();
    // Expands every markup (the model's flags, which the tree view follows
    // without an expanded() signal per markup), then refills the mask once.
    void expand_markup_view();
    // Selects the bytes of the markup at `index` in the hex view, scrolled to
    // its start; the status bar and the inspector follow the hex view.
    void show_markup_bytes(const QModelIndex &index);
    // Opens the toolbox dock at `page`.
    void show_toolbox_page(QWidget *page);

    // Opens a data file in the hex view and loads its linked markup. A name that
    // does not exist leaves the view as it was and empties the title.
    void load_file(const QString &name);
    // Opens a data file named outside the Open dialog (the command line, a
    // drop, Recent Files) as Open does: refused while a search runs, the
    // questions about unsaved changes first. A name that is not an existing
    // file is reported on the status bar. True when the file was opened.
    bool open_named_file(const QString &name);
    // Loads a markup file as Load Markup does once the file is chosen.
    void load_markup_file(const QString &name);
    // Applies a Kaitai Struct template to the open file, as Markup > Apply
    // Template does once the file is chosen; true when markups were added.
    // `max_fields` above 0 overrides the field limit of Preferences.
    bool apply_template_file(const QString &path, qint64 max_fields = 0);
    // The last data files opened, newest first (setting "Recent Files").
    static QStringList recent_files();
    static constexpr int max_recent_files = 8;

    // What a question about unsaved changes leaves the command that asked:
    // proceed (No, or Yes and the save happened); cancelled (the user backed
    // out: the command stops and changes nothing); not_saved (Yes, but the
    // save failed or its file dialog was cancelled: the command stops, as
    // going on would discard what the user asked to keep).
    enum class Unsaved { proceed, cancelled, not_saved };
    // "File Has Changed", answered Yes, No or Cancel; Yes saves.
    Unsaved ask_save_changes();
    // "Markup Has Changed", answered Yes, No or Cancel; Yes saves the markup
    // (to a name asked for when there is no markup file).
    Unsaved ask_save_markup();

    // Random foreground (red, green, blue drawn in that order), and the
    // background contrast_colour() pairs with it.
    void assign_random_colours(MarkupNode *node);
    // The foreground shifted by 128 in every component, modulo 256.
    static QColor contrast_colour(const QColor &foreground);

    // The name a save dialog's answer stands for: unchanged when it matches
    // a pattern of any entry of `filter` (or has nothing to match), else with
    // the selected entry's suffix added, so that the entry chooses the format.
    static QString name_for_filter(const QString &name, const QString &filter,
                                   const QString &selected_filter);

    // Markup linking: one "Link/<n>" entry per data file, when "Link Markup" is "yes".
    void link_markup_file(const QString &markup_path);
    void load_linked_markup(const QString &data_path);
    // "Link/" followed by the djb2 hash of the Latin-1 path (bytes taken as
    // signed), masked to 31 bits.
    static QString link_key(const QString &data_path);

    // Dialog hooks. Each defaults to the real modal dialog.
    // `buttons` are the answers offered; Escape gives Cancel where it is
    // offered, else No.
    std::function<QMessageBox::StandardButton(const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton default_button)>
        ask_question;
    // A question with answers of its own: the index of the one chosen, -1
    // when the box was closed without one.
    std::function<int(const QString &title, const QString &text, const QStringList &answers)>
        ask_choice;
    std::function<void(const QString &title, const QString &text)> show_warning;
    std::function<void(const QString &title, const QString &text)> show_about;
    std::function<QString(const QString &caption, const QString &dir, const QString &filter)>
        get_open_file_name;
    // dialog_asks_overwrite: the dialog asks before an existing file is
    // chosen; false where the command asks itself, so nobody asks twice.
    std::function<QString(const QString &caption, const QString &dir, const QString &filter,
                          bool dialog_asks_overwrite)>
        get_save_file_name;
    // Returns an invalid colour when the user cancels.
    std::function<QColor(const QColor &initial)> get_color;
    // Sets *ok to false when the user cancels.
    std::function<QFont(bool *ok, const QFont &initial)> get_font;
    // Runs the manual markup dialog; returns QDialog::Accepted or Rejected.
    std::function<int(ManualMarkupDialog *dialog)> exec_manual_dialog;
    // Runs the template gallery; returns QDialog::Accepted, Rejected or
    // TemplateGalleryDialog::other_file.
    std::function<int(TemplateGalleryDialog *dialog)> exec_template_dialog;
    // Runs the preferences dialog.
    std::function<int(QDialog *dialog)> exec_preferences_dialog;
    // One draw from the C library's generator (seeded at start-up).
    std::function<int()> random_number;

public slots:
    void exit_action();
    void open_action();
    void save_action();
    void save_as_action();
    void save_markup_action();
    void save_markup_as_action();
    void load_markup_action();
    void manual_selection_action();
    void font_action();
    void prefs_action();
    void mark_action();
    void mark_color_action();
    void mark_background_color_action();
    void delete_markup_action();
    void prune_markup_action();
    void clear_marks_action();
    void about_action();
    void help_topics_action();
    void dock_toplevel(bool toplevel);
    void dock_tree_action(bool visible);
    void dock_search_action(bool visible);
    void copy_action();
    void pick_random_color_action();
    void editor_content_changed();
    // Markup > Export...: the tree as JSON, CSV or a .ksy skeleton; only reads it.
    void export_markup_action();
    void undo_action();
    void redo_action();
    // Edit menu: the search expression takes the keyboard; the last search
    // runs again from its last hit; the goto address takes the keyboard.
    void find_action();
    void find_next_action();
    void goto_action();
    // "Mark as <type>" of the inspector: marks first..last as Mark does,
    // described by the type's name and made for that type, and moves the
    // cursor past the value so that the next field can be marked from there.
    void mark_as(qint64 first, qint64 last, const QString &description,
                 const MarkupValueType &type = MarkupValueType());

    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    MainWindow();

    void build_central_widget();
    void build_docks();
    void build_inspector_dock();
    void build_markup_objects();
    void install_default_hooks();
    void show_unsaved_mark(bool unsaved);

    // mainwindow_menus.cpp: which command each menu entry, key and signal runs.
    // Hands the window's objects to the collaborators that need them.
    void wire_collaborators();
    void build_menus();
    void build_toolbar();
    void connect_signals();
    // A user command: clears the status bar, then runs `command` of `actions`.
    template <class Actions>
    std::function<void()> as_command(Actions *actions, void (Actions::*command)());
    template <class Actions>
    void connect_command(QAction *action, Actions *actions, void (Actions::*command)());

    // mainwindow_layout.cpp: where the toolbox goes.
    // Holds each toolbox page's scroll area at the page's minimum width.
    void fit_toolbox_to_pages();
    bool toolbox_fits_beside_hex_view() const;
    // The toolbox dock's height that shows its tallest page whole.
    int toolbox_height() const;
    // initial: choose the toolbox's place (left of the hex view, or top
    // beside the tree); otherwise only move it off a side where it no longer
    // fits (after a larger font).
    void place_toolbox(bool initial);
    // Lays the toolbox's pages out for the dock area it is now in.
    void follow_toolbox_area(Qt::DockWidgetArea area);
    // The first arrangement, and again after a resize until the user moves
    // the separator: the hex view keeps min_hex_rows rows, the tree strip
    // above takes the rest up to max_tree_share of the height.
    void share_height_with_tree();
    // The tree beside the inspector gets the width its columns need.
    void give_tree_its_columns();
    static constexpr int min_hex_rows = 20;
    static constexpr double max_tree_share = 0.45;

    EditedFile *m_file = nullptr;
    HexWidget *m_hex_widget = nullptr;
    HexScrollBar *m_scroll_bar = nullptr;
    FileOverview *m_overview = nullptr;
    OverviewStrip *m_overview_strip = nullptr;
    QAction *m_overview_action = nullptr;
    HexTreeView *m_markup_tree_view = nullptr;
    MarkupModel *m_markup_model = nullptr;
    MarkupTree *m_markup_tree = nullptr;
    MarkupMask *m_markup_mask = nullptr;
    TreeViewDelegate *m_tree_delegate = nullptr;
    // The markup tree view's; the commands on one markup read it.
    QItemSelectionModel *selection_model = nullptr;
    // The external help viewer's client, ended as the window closes.
    HelpClient *help_client = nullptr;
    EditHistory *m_history = nullptr;

    QDockWidget *markup_dock = nullptr;
    QDockWidget *toolbox_dock = nullptr;
    QToolBox *toolbox = nullptr;
    SearchWidget *search_panel = nullptr;
    JumpWidget *goto_panel = nullptr;
    QDockWidget *m_inspector_dock = nullptr;
    QDockWidget *m_results_dock = nullptr;
    SearchResultsWidget *m_search_results = nullptr;
    InspectorWidget *m_inspector = nullptr;
    QToolBar *markup_toolbar = nullptr;

    FileActions *m_file_actions = nullptr;
    MarkupFileActions *m_markup_file_actions = nullptr;
    TemplateActions *m_template_actions = nullptr;
    MarkupActions *m_markup_actions = nullptr;
    ViewActions *m_view_actions = nullptr;
    HelpActions *m_help_actions = nullptr;

    // Exit or a window close came while a search ran.
    bool m_close_after_search = false;
    bool m_layout_restored = false;
    bool m_shown_before = false;
    // The strip height share_height_with_tree() set last; -1 before it ran.
    int m_tree_strip = -1;
    // What set_title was given, before the unsaved mark.
    QString m_title;
};
