#pragma once

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>

#include <functional>

class EditHistory;
class HelpClient;
class QAction;
class HexScrollBar;
class HexTreeView;
class HexWidget;
class InspectorWidget;
class JumpWidget;
class ManualMarkupDialog;
class MarkupMask;
class MarkupModel;
class MarkupNode;
class MarkupTree;
class QDockWidget;
class QItemSelectionModel;
class QLabel;
class QMenu;
class QMenuBar;
class QSpacerItem;
class QToolBar;
class QToolBox;
class SearchWidget;
class TreeViewDelegate;

// The program's only top-level window. It owns the hex view, the markup tree
// and its views, the side panels and the help client, wires them together and
// runs every user command. Other code reaches it through instance(), but the
// lower layers receive what they need by setters instead.
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

    HexWidget *hex_widget() const { return hex_widget_; }
    HexScrollBar *scroll_bar() const { return scroll_bar_; }
    HexTreeView *markup_tree_view() const { return markup_tree_view_; }
    MarkupModel *markup_model() const { return markup_model_; }
    MarkupTree *markup_tree() const { return markup_tree_; }
    MarkupMask *markup_mask() const { return markup_mask_; }

    // The undo history of markups and byte edits; the flags follow its states.
    EditHistory *edit_history() const { return history; }
    bool is_markup_modified() const;
    bool is_document_modified() const;
    QString current_markup_file_name() const { return current_markup_file; }

    // The markups count as changed until they are next saved, whatever is undone.
    void set_markup_modified();
    // A Qt::ToolButtonStyle value, 0..3.
    void set_toolbar_style(int style);
    // The hex view measures the font first, then the window and its docks take it.
    void apply_font(const QFont &font);
    void update_page_step();
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

    // A search keeps the event loop alive while it runs, so every command that
    // changes the document, the markup tree or the window asks this first:
    // true (with a status message) while a search runs, and the command must
    // then do nothing.
    bool refuse_while_searching();

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
    // The last data files opened, newest first (setting "Recent Files").
    static QStringList recent_files();
    static constexpr int max_recent_files = 8;

    // "File Has Changed": any answer but No saves. False when the user chose
    // to save and the save failed, so the caller must not discard the edits.
    bool ask_save_changes();
    // "Markup Has Changed": any answer but No saves the markup. False when the
    // user chose to save and the markup is still unsaved (failure or a
    // cancelled file dialog), so the caller must not discard it.
    bool ask_save_markup();

    // Random foreground, and a background 128 away from it in every component.
    void assign_random_colours(MarkupNode *node);
    // The background assign_random_colours pairs with a foreground.
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
    std::function<QMessageBox::StandardButton(const QString &title, const QString &text,
                                              QMessageBox::StandardButton default_button)>
        ask_question;
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
    // described by the type's name, and moves the cursor past the value so
    // that the next field can be marked from there.
    void mark_as(qint64 first, qint64 last, const QString &description);

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
    // Hands the window's objects to the collaborators that need them.
    void wire_collaborators();
    void build_menus();
    void add_export_entry(QMenu *markup_menu);
    void build_toolbar();
    void connect_signals();
    void install_default_hooks();
    // A user command: clears the status bar, then runs `command`.
    std::function<void()> as_command(void (MainWindow::*command)());
    void connect_command(QAction *action, void (MainWindow::*command)());
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

    // What opening a data file does with the markups: load the linked markup
    // file; leave that to the caller (Open); or keep the markups in memory,
    // their file and their modified flag (Save As: the data was only copied).
    enum class DataFileMarkup { load_linked, link_later, keep };
    void show_data_file(const QString &name, DataFileMarkup markup);
    // The status text refusing an existing `name` as a data file (a folder,
    // pipe, socket, device, or a file that cannot be read); empty when it
    // can be shown.
    QString data_file_refusal(const QString &name);
    // The markup under the hex view's selection, asked for from its context menu.
    void random_colours_for_selection();
    // The node of the first selected row in the tree, or null after telling the user.
    MarkupNode *selected_markup();
    // Marks first..last, described as `description` (empty: the default), as
    // one undoable step; reports a refusal. True when the range was marked.
    // Every way of marking goes through here.
    bool insert_markup(qint64 first, qint64 last, const QString &description = QString());
    // Stores a finished tree-view edit as one undoable step.
    void commit_markup_edit(const QModelIndex &index, const QList<QPair<int, QVariant>> &before,
                            const QList<QPair<int, QVariant>> &after);
    // After Undo or Redo: the tree selects the markup the step concerned.
    void focus_after_step(bool undone);
    void update_edit_actions();
    // Writes the tree to `name` completely or not at all; false for anything
    // but a regular file or a new name.
    bool write_markup_file(const QString &name);
    // Overwrites the existing file's own inode (hard links, owner and a
    // folder that refuses new files all stay), restoring the old bytes when a
    // write fails.
    bool write_markup_in_place(const QString &name);
    enum class MarkupRead { unreadable, failed, loaded };
    // Reads `name` into the tree. unreadable (after a warning): the tree is
    // unchanged; failed: the tree holds what was read before the error.
    MarkupRead read_markup_file(const QString &name);
    // Leaves no markup selected and none current in the tree view.
    void clear_tree_selection();
    void set_colour(bool foreground);
    // Expands every markup (the model's flags, which the tree view follows
    // without an expanded() signal per markup), then refills the mask once.
    void expand_markup_view();
    // Widens the tree's position columns to the largest offset they can show:
    // the file's last byte or the end of the last top-level markup.
    void fit_markup_columns();
    void show_status(const QString &text);

    // The permanent status bar fields (mainwindow_view.cpp): cursor, selection, size.
    void build_status_fields();
    void update_status_fields();
    // The cursor or the file changed: status fields and inspector follow.
    void follow_cursor();
    void add_find_entries(QMenu *edit_menu);
    // Open after the dialog: markups dropped, the file shown, its linked markup.
    void open_chosen_file(const QString &name);
    void add_recent_file(const QString &name);
    // Fills File > Recent Files each time it opens.
    void fill_recent_menu();
    void open_recent_file(const QString &name);
    // Shows, hides and check-marks every dock.
    QMenu *build_view_menu(QMenuBar *bar);
    // Opens the toolbox dock at `page`.
    void show_toolbox_page(QWidget *page);

    HexWidget *hex_widget_ = nullptr;
    HexScrollBar *scroll_bar_ = nullptr;
    HexTreeView *markup_tree_view_ = nullptr;
    MarkupModel *markup_model_ = nullptr;
    MarkupTree *markup_tree_ = nullptr;
    MarkupMask *markup_mask_ = nullptr;
    QItemSelectionModel *selection_model = nullptr;
    // Held as text, not 8-bit, so that paths outside Latin-1 survive.
    QString current_markup_file;
    // Shown by the first showEvent (load_file at start-up, before the window is up).
    QString startup_notice;
    // Exit or a window close came while a search ran.
    bool close_after_search = false;
    bool layout_restored = false;
    bool shown_before = false;
    EditHistory *history = nullptr;
    QAction *undo_entry = nullptr;
    QAction *redo_entry = nullptr;
    HelpClient *help_client = nullptr;
    QDockWidget *markup_dock = nullptr;
    QDockWidget *toolbox_dock = nullptr;
    QToolBox *toolbox = nullptr;
    SearchWidget *search_panel = nullptr;
    JumpWidget *goto_panel = nullptr;
    QSpacerItem *spacer = nullptr;
    QToolBar *markup_toolbar = nullptr;

    TreeViewDelegate *tree_delegate = nullptr;

    QLabel *offset_field = nullptr;
    QLabel *selection_field = nullptr;
    QLabel *size_field = nullptr;
    QMenu *recent_menu = nullptr;
    QDockWidget *inspector_dock = nullptr;
    InspectorWidget *inspector = nullptr;
};
