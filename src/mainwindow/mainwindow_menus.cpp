// Which command each menu entry, toolbar button, key and signal runs, and
// what the window hands its collaborators.

#include "mainwindow/mainwindow.h"

#include "editedfile/editedfile.h"

#include "settings/config.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mainwindow/fileactions.h"
#include "mainwindow/helpactions.h"
#include "mainwindow/markupactions.h"
#include "mainwindow/markupfileactions.h"
#include "mainwindow/templateactions.h"
#include "mainwindow/viewactions.h"
#include "mask/markupmask.h"
#include "markup/markuptree.h"
#include "panels/jumpwidget.h"
#include "panels/searchresultswidget.h"
#include "panels/searchwidget.h"
#include "treeview/hextreeview.h"
#include "treeview/treeviewdelegate.h"

#include <QDockWidget>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

template <class Actions>
std::function<void()> MainWindow::as_command(Actions *actions, void (Actions::*command)())
{
    // The old message goes first, so the status bar only ever shows the
    // outcome of the last command: its own message, or none.
    return [this, actions, command] {
        statusBar()->clearMessage();
        (actions->*command)();
    };
}

template <class Actions>
void MainWindow::connect_command(QAction *action, Actions *actions, void (Actions::*command)())
{
    connect(action, &QAction::triggered, this, as_command(actions, command));
}

void MainWindow::wire_collaborators()
{
    connect(m_file, &EditedFile::status_message, this, &MainWindow::show_status);
    connect(m_file, &EditedFile::modification_changed, this, &MainWindow::show_unsaved_mark);

    HexWidget *hex = m_hex_widget;
    MarkupMask *mask = m_markup_mask;
    m_tree_delegate->set_document_size([hex] { return hex->document()->size(); });
    m_tree_delegate->set_reload_mask([mask] { mask->reload_mask(); });
    m_tree_delegate->set_edit_refused([this] { return refuse_while_searching(); });
    m_tree_delegate->set_show_message([this](const QString &text) { show_status(text); });
    // Opening an editor is no change by itself; a committed edit is a step.
    m_tree_delegate->set_commit_edit(
        [this](const QModelIndex &index, const TreeViewDelegate::Values &before,
               const TreeViewDelegate::Values &after) {
            m_markup_actions->commit_markup_edit(index, before, after);
        });

    m_hex_widget->set_markup_mask(m_markup_mask);
    m_hex_widget->set_status_bar(statusBar());
    m_hex_widget->set_goto_panel(toolbox, goto_panel);
    m_hex_widget->set_search_panel(toolbox, search_panel);
    search_panel->set_hex_widget(m_hex_widget);
    search_panel->set_status_bar(statusBar());
    m_search_results->set_tool(search_panel->find_all_tool());
    m_search_results->set_hex_widget(m_hex_widget);
    connect(search_panel, &SearchWidget::find_all_started, this, [this] {
        if (m_results_dock->isVisible())
            return;
        m_results_dock->show();
        // A quarter of the window, half of it from a tall tree strip, so
        // that the hex view keeps most of its rows.
        if (m_results_dock->isFloating())
            return;
        const int results = height() / 4;
        const int strip = markup_dock->height();
        // The tree keeps the rows the hex view's share left it on a small screen.
        const int row = qMax(m_markup_tree_view->sizeHintForRow(0),
                             m_markup_tree_view->fontMetrics().height());
        const int from_tree = qBound(0, m_markup_tree_view->viewport()->height() - 7 * row,
                                     results / 2);
        if (from_tree > 0 && !markup_dock->isFloating()
            && dockWidgetArea(markup_dock) == Qt::TopDockWidgetArea)
            resizeDocks({m_results_dock, markup_dock}, {results, strip - from_tree}, Qt::Vertical);
        else
            resizeDocks({m_results_dock}, {results}, Qt::Vertical);
    });
    connect(m_search_results, &SearchResultsWidget::mark_all_requested, this,
            [this] { m_markup_actions->mark_all_hits(search_panel->find_all_tool()); });
    goto_panel->set_hex_widget(m_hex_widget);
    goto_panel->set_status_bar(statusBar());
    // The hex view's own questions and warnings go through the window's hooks.
    m_hex_widget->set_message_box_function(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button) {
            if (icon == QMessageBox::Question)
                return ask_question(title, text, buttons, default_button);
            show_warning(title, text);
            return QMessageBox::Ok;
        });
}

void MainWindow::build_menus()
{
    auto *bar = new QMenuBar(this);

    auto *file_menu = new QMenu(tr("File"), bar);
    QAction *open = file_menu->addAction(tr("Open"));
    open->setShortcut(QKeySequence::Open);
    connect_command(open, m_file_actions, &FileActions::open_action);
    // What the hex view shows until a file is open.
    m_hex_widget->set_placeholder_text(
        tr("No file is open.\n\nOpen one with File \u203A Open (%1)\n"
           "or drop a file on this window.")
            .arg(open->shortcut().toString(QKeySequence::NativeText)));
    m_file_actions->add_recent_menu(file_menu);
    QAction *save = file_menu->addAction(tr("Save"));
    save->setShortcut(QKeySequence::Save);
    connect_command(save, m_file_actions, &FileActions::save_action);
    QAction *save_as = file_menu->addAction(tr("Save As"));
    save_as->setShortcuts(QKeySequence::SaveAs);
    // Some platforms define no Save As key; this is the common one.
    if (save_as->shortcuts().isEmpty())
        save_as->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    connect_command(save_as, m_file_actions, &FileActions::save_as_action);
    QAction *load_markup = file_menu->addAction(tr("Load Markup"));
    load_markup->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    connect_command(load_markup, m_markup_file_actions, &MarkupFileActions::load_markup_action);
    QAction *save_markup = file_menu->addAction(tr("Save Markup"));
    save_markup->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+M")));
    connect_command(save_markup, m_markup_file_actions, &MarkupFileActions::save_markup_action);
    connect_command(file_menu->addAction(tr("Save Markup As")), m_markup_file_actions,
                    &MarkupFileActions::save_markup_as_action);
    QAction *exit = file_menu->addAction(tr("Exit"));
    exit->setShortcut(QKeySequence(tr("Ctrl+Q", "File|Exit")));
    connect_command(exit, this, &MainWindow::exit_action);
    bar->addMenu(file_menu);

    auto *edit_menu = new QMenu(tr("Edit"), bar);
    m_markup_actions->add_undo_entries(edit_menu);
    edit_menu->addSeparator();
    QAction *copy = edit_menu->addAction(tr("Copy to Clipboard"));
    copy->setShortcut(QKeySequence(QStringLiteral("CTRL+C")));
    connect_command(copy, m_view_actions, &ViewActions::copy_action);
    QAction *find = edit_menu->addAction(tr("Find"));
    find->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    connect_command(find, m_view_actions, &ViewActions::find_action);
    QAction *next = edit_menu->addAction(tr("Find Next"));
    next->setShortcut(QKeySequence(QStringLiteral("F3")));
    connect_command(next, m_view_actions, &ViewActions::find_next_action);
    QAction *go = edit_menu->addAction(tr("Go to Address"));
    go->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    connect_command(go, m_view_actions, &ViewActions::goto_action);
    bar->addMenu(edit_menu);

    auto *view_menu = new QMenu(tr("View"), bar);
    // The same toggle actions as in the Options menu, so both stay in step.
    view_menu->addAction(markup_dock->toggleViewAction());
    view_menu->addAction(toolbox_dock->toggleViewAction());
    view_menu->addAction(m_inspector_dock->toggleViewAction());
    m_overview_action = view_menu->addAction(tr("Overview Strip"));
    m_overview_action->setCheckable(true);
    m_overview_action->setChecked(overview_setting());
    // Stored at once, in the same setting the preferences show.
    connect(m_overview_action, &QAction::toggled, this, [this](bool shown) {
        Config::instance()->setValue(QStringLiteral("Overview Strip"),
                                     shown ? QStringLiteral("yes") : QStringLiteral("no"));
        apply_overview_setting();
    });
    bar->addMenu(view_menu);

    auto *options_menu = new QMenu(tr("Options"), bar);
    connect_command(options_menu->addAction(tr("Choose Fonts")), m_view_actions,
                    &ViewActions::font_action);
    QAction *tree_toggle = markup_dock->toggleViewAction();
    tree_toggle->setText(tr("Markup Tree"));
    options_menu->addAction(tree_toggle);
    QAction *toolbox_toggle = toolbox_dock->toggleViewAction();
    toolbox_toggle->setText(tr("Toolbox"));
    options_menu->addAction(toolbox_toggle);
    connect_command(options_menu->addAction(tr("Preferences")), m_view_actions,
                    &ViewActions::prefs_action);
    bar->addMenu(options_menu);

    auto *markup_menu = new QMenu(tr("Markup"), bar);
    MarkupActions *markup = m_markup_actions;
    QAction *mark = markup_menu->addAction(tr("Mark"));
    mark->setShortcut(QKeySequence(tr("Ctrl+M", "Markup|Mark")));
    connect_command(mark, markup, &MarkupActions::mark_action);
    connect_command(markup_menu->addAction(tr("Clear Marks")), markup,
                    &MarkupActions::clear_marks_action);
    connect_command(markup_menu->addAction(tr("Foreground Color")), markup,
                    &MarkupActions::mark_color_action);
    connect_command(markup_menu->addAction(tr("Background Color")), markup,
                    &MarkupActions::mark_background_color_action);
    connect_command(markup_menu->addAction(tr("Pick Random Colors")), markup,
                    &MarkupActions::pick_random_color_action);
    QAction *remove = markup_menu->addAction(tr("Delete"));
    // Delete acts only in the markup tree: the hex view and the editors
    // keep the key for themselves.
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    m_markup_tree_view->addAction(remove);
    connect_command(remove, markup, &MarkupActions::delete_markup_action);
    connect_command(markup_menu->addAction(tr("Prune")), markup,
                    &MarkupActions::prune_markup_action);
    connect_command(markup_menu->addAction(tr("Manual Selection")), markup,
                    &MarkupActions::manual_selection_action);
    QAction *apply_template = markup_menu->addAction(tr("Apply Template\u2026"));
    connect_command(apply_template, m_template_actions, &TemplateActions::apply_template_action);
    QAction *export_markup = markup_menu->addAction(tr("Export\u2026"));
    connect(export_markup, &QAction::triggered, m_markup_file_actions,
            &MarkupFileActions::export_markup_action);
    // Both work on the open file; without one there is nothing to offer.
    const auto follow_file = [this, apply_template, export_markup] {
        apply_template->setEnabled(m_file->is_open());
        export_markup->setEnabled(m_file->is_open());
    };
    connect(m_file, &EditedFile::file_changed, this, follow_file);
    follow_file();
    bar->addMenu(markup_menu);

    auto *help_menu = new QMenu(tr("Help"), bar);
    QAction *help = help_menu->addAction(tr("Help Topics"));
    help->setShortcut(QKeySequence(tr("F1", "Help|Help Topics")));
    connect_command(help, m_help_actions, &HelpActions::help_topics_action);
    connect_command(help_menu->addAction(tr("About Pellow Quarnby")), m_help_actions,
                    &HelpActions::about_action);
    bar->addMenu(help_menu);

    setMenuBar(bar);
}

void MainWindow::build_toolbar()
{
    markup_toolbar = new QToolBar(tr("Markup Toolbar"));
    const auto add = [this](const char *icon, const char *text, auto *actions, auto command) {
        connect_command(markup_toolbar->addAction(QIcon(QString::fromLatin1(icon)),
                                                    tr(text)),
                        actions, command);
    };
    add(":/images/open_file.png", QT_TR_NOOP("Open File"), m_file_actions,
        &FileActions::open_action);
    add(":/images/open_markup.png", QT_TR_NOOP("Open Markup"), m_markup_file_actions,
        &MarkupFileActions::load_markup_action);
    add(":/images/save_markup.png", QT_TR_NOOP("Save Markup"), m_markup_file_actions,
        &MarkupFileActions::save_markup_action);
    add(":/images/colorize.png", QT_TR_NOOP("Mark"), m_markup_actions, &MarkupActions::mark_action);
    add(":/images/pick_color.png", QT_TR_NOOP("Foreground"), m_markup_actions,
        &MarkupActions::mark_color_action);
    add(":/images/pick_background_color.png", QT_TR_NOOP("Background"), m_markup_actions,
        &MarkupActions::mark_background_color_action);
    add(":/images/pick_random_color.png", QT_TR_NOOP("Random"), m_markup_actions,
        &MarkupActions::pick_random_color_action);

    Config *config = Config::instance();
    if (config->contains(QStringLiteral("Toolbar Style")))
        set_toolbar_style(config->value(QStringLiteral("Toolbar Style")).toInt());

    markup_toolbar->setObjectName(QStringLiteral("QuarnbyToolbar"));
    addToolBar(markup_toolbar);
}

void MainWindow::set_toolbar_style(int style)
{
    // The value comes from a hand-editable settings file; anything but the
    // four styles is ignored rather than handed to the toolbar.
    if (style < Qt::ToolButtonIconOnly || style > Qt::ToolButtonTextUnderIcon)
        return;
    markup_toolbar->setToolButtonStyle(static_cast<Qt::ToolButtonStyle>(style));
}

void MainWindow::connect_signals()
{
    // The hex widget connects the scroll bar to its scroll_event() itself,
    // converting the value for files with more rows than an int holds.
    m_hex_widget->set_scroll_bar(m_scroll_bar);

    connect(m_markup_tree_view, &QTreeView::expanded, m_markup_mask, &MarkupMask::reload_mask);
    connect(m_markup_tree_view, &QTreeView::collapsed, m_markup_mask, &MarkupMask::reload_mask);
    connect(markup_dock, &QDockWidget::topLevelChanged, m_view_actions,
            &ViewActions::dock_toplevel);
    connect(toolbox_dock, &QDockWidget::dockLocationChanged, this,
            &MainWindow::follow_toolbox_area);
    connect(toolbox_dock, &QDockWidget::topLevelChanged, this,
            [this] { follow_toolbox_area(dockWidgetArea(toolbox_dock)); });
    connect(m_hex_widget, &HexWidget::content_changed, this, &MainWindow::editor_content_changed);
    // Queued: the journal changes state inside an edit, where no box may
    // open.
    connect(m_file, &EditedFile::journal_changed, m_file_actions, &FileActions::follow_journal,
            Qt::QueuedConnection);
    connect(m_hex_widget, &HexWidget::goto_requested, this,
            [this] { show_toolbox_page(goto_panel); });
    connect(m_hex_widget, &HexWidget::search_requested, this,
            [this] { show_toolbox_page(search_panel); });
    connect(m_hex_widget, &HexWidget::send_selection, search_panel,
            &SearchWidget::perform_search);
    connect(m_hex_widget, &HexWidget::copy_action, this,
            as_command(m_view_actions, &ViewActions::copy_action));
    // A close asked for during a search waited for the search to return.
    connect(search_panel, &SearchWidget::running_changed, this, [this](bool running) {
        if (running || !m_close_after_search)
            return;
        m_close_after_search = false;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    });
    connect(m_file_actions, &FileActions::file_shown, m_view_actions, &ViewActions::follow_cursor);
    connect(m_markup_mask, &MarkupMask::update_completed, m_hex_widget,
            qOverload<>(&QWidget::update));

    // The hex view's context menu runs these markup commands.
    MarkupActions *markup = m_markup_actions;
    connect(m_hex_widget, &HexWidget::mark_requested, this,
            as_command(markup, &MarkupActions::mark_action));
    connect(m_hex_widget, &HexWidget::pick_random_colors_requested, this,
            as_command(markup, &MarkupActions::random_colours_for_selection));

    // A markup chosen in the tree (a click, the keys, Undo choosing it) shows
    // its bytes; clicking the chosen one again shows them again after the hex
    // view moved on.
    HexTreeView *view = m_markup_tree_view;
    connect(selection_model, &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected) {
                if (!selected.indexes().isEmpty())
                    show_markup_bytes(selected.indexes().constFirst());
            });
    connect(view, &QAbstractItemView::clicked, this, &MainWindow::show_markup_bytes);

    // The tree view's context menu runs the commands on the selected markup.
    connect(view, &HexTreeView::foreground_color_requested, this,
            as_command(markup, &MarkupActions::mark_color_action));
    connect(view, &HexTreeView::background_color_requested, this,
            as_command(markup, &MarkupActions::mark_background_color_action));
    connect(view, &HexTreeView::pick_random_colors_requested, this,
            as_command(markup, &MarkupActions::pick_random_color_action));
    connect(view, &HexTreeView::delete_requested, this,
            as_command(markup, &MarkupActions::delete_markup_action));
    connect(view, &HexTreeView::prune_requested, this,
            as_command(markup, &MarkupActions::prune_markup_action));
}
