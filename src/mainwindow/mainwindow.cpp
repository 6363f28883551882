#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "mainwindow/helpclient.h"
#include "hexview/hexscrollbar.h"
#include "treeview/hextreeview.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "panels/jumpwidget.h"
#include "mask/markupmask.h"
#include "markup/edithistory.h"
#include "markup/editcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "panels/searchwidget.h"
#include "treeview/treeviewdelegate.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QGridLayout>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QShowEvent>
#include <QSpacerItem>
#include <QStatusBar>
#include <QToolBar>
#include <QToolBox>

MainWindow *MainWindow::instance()
{
    static MainWindow *window = new MainWindow;
    return window;
}

MainWindow::MainWindow()
    : QMainWindow(nullptr)
{
    current_markup_file.clear();
    history = new EditHistory(this);
    install_default_hooks();

    const QString app_dir = QCoreApplication::applicationDirPath();
    help_client = new HelpClient(app_dir, this);
    help_client->setArguments(
        {QStringLiteral("-profile"), app_dir + QStringLiteral("/html_help/help_contents.adp")});

    set_title(QStringLiteral("No File"));

    build_central_widget();
    build_docks();
    build_inspector_dock();

    hex_widget_->set_goto_panel(toolbox, goto_panel);
    hex_widget_->set_search_panel(toolbox, search_panel);

    build_markup_objects();

    hex_widget_->show();
    scroll_bar_->show();
    markup_tree_view_->show();

    build_menus();
    build_toolbar();

    show_status(QStringLiteral("Pellow Quarnby Status"));
    build_status_fields();

    setCentralWidget(hex_widget_->parentWidget());
    fit_toolbox_to_pages();
    // A file dropped anywhere on the window is opened.
    setAcceptDrops(true);

    connect_signals();
}

MainWindow::~MainWindow()
{
    // The views hold plain pointers to these; detach them before they go, and
    // stop the mask's worker (its destructor waits) before the tree it reads.
    if (markup_tree_view_)
        markup_tree_view_->setModel(nullptr);
    hex_widget_->set_markup_mask(nullptr);
    delete markup_mask_;
    delete markup_tree_;
    delete markup_model_;
}

void MainWindow::build_central_widget()
{
    auto *central = new QWidget(this);
    auto *layout = new QGridLayout(central);
    // No side margins: every pixel beside the fixed-width hex view is room
    // for the toolbox dock.
    layout->setContentsMargins(0, layout->contentsMargins().top(), 0,
                               layout->contentsMargins().bottom());

    hex_widget_ = new HexWidget;
    layout->addWidget(hex_widget_, 0, 0);
    layout->setColumnStretch(0, 0);

    scroll_bar_ = new HexScrollBar;
    // Nothing to scroll until a file is opened.
    scroll_bar_->set_row_range(0);
    layout->addWidget(scroll_bar_, 0, 1);
    layout->setColumnStretch(1, 0);

    // The hex view has a fixed width; extra width goes to this empty column.
    spacer = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
    layout->addItem(spacer, 0, 2, 1, 1);
    layout->setColumnStretch(2, 1);
}

void MainWindow::build_docks()
{
    markup_dock = new QDockWidget(QStringLiteral("Markup Tree"), this);
    markup_dock->setObjectName(QStringLiteral("MarkupTreeDockWidget"));
    markup_dock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    markup_tree_view_ = new HexTreeView(this);
    markup_tree_view_->setMaximumSize(32767, 32767);
    markup_tree_view_->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    markup_dock->setWidget(markup_tree_view_);
    addDockWidget(Qt::TopDockWidgetArea, markup_dock);

    toolbox_dock = new QDockWidget(QStringLiteral("Toolbox"), this);
    toolbox_dock->setObjectName(QStringLiteral("Toolboxdockwidget"));
    toolbox_dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    toolbox = new QToolBox(this);

    search_panel = new SearchWidget(this);
    search_panel->setMaximumSize(32767, 32767);
    search_panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    toolbox->insertItem(0, search_panel, QIcon(), QStringLiteral("Search"));

    goto_panel = new JumpWidget(this);
    goto_panel->setMaximumSize(32767, 32767);
    goto_panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    // Inserted before "Search", which stays the open page.
    toolbox->insertItem(0, goto_panel, QIcon(), QStringLiteral("Goto"));

    toolbox_dock->setWidget(toolbox);
    addDockWidget(Qt::LeftDockWidgetArea, toolbox_dock);
}

void MainWindow::build_markup_objects()
{
    markup_model_ = new MarkupModel;
    markup_tree_ = new MarkupTree(markup_model_);
    markup_mask_ = new MarkupMask(markup_tree_);

    markup_tree_view_->setModel(markup_model_);
    selection_model = new QItemSelectionModel(markup_model_, this);
    markup_tree_view_->setSelectionModel(selection_model);
    markup_tree_view_->setColumnWidth(0, 200);
    markup_tree_view_->setColumnWidth(1, 75);
    markup_tree_view_->setColumnWidth(2, 75);
    markup_tree_view_->setColumnWidth(3, 75);

    tree_delegate = new TreeViewDelegate(this);
    markup_tree_view_->setItemDelegate(tree_delegate);
    connect(tree_delegate, &TreeViewDelegate::commitData, markup_mask_, &MarkupMask::reload_mask);

    wire_collaborators();
}

void MainWindow::wire_collaborators()
{
    connect(markup_tree_, &MarkupTree::status_message, this, &MainWindow::show_status);

    HexWidget *hex = hex_widget_;
    MarkupMask *mask = markup_mask_;
    tree_delegate->set_document_size([hex] { return hex->document()->size(); });
    tree_delegate->set_reload_mask([mask] { mask->reload_mask(); });
    tree_delegate->set_edit_refused([this] { return refuse_while_searching(); });
    // Opening an editor is no change by itself; a committed edit is a step.
    tree_delegate->set_commit_edit(
        [this](const QModelIndex &index, const TreeViewDelegate::Values &before,
               const TreeViewDelegate::Values &after) { commit_markup_edit(index, before, after); });
    hex_widget_->set_history(history);

    hex_widget_->set_markup_mask(markup_mask_);
    hex_widget_->set_status_bar(statusBar());
    search_panel->set_hex_widget(hex_widget_);
    search_panel->set_status_bar(statusBar());
    goto_panel->set_hex_widget(hex_widget_);
    goto_panel->set_status_bar(statusBar());
    // The hex view's own questions and warnings go through the window's hooks.
    hex_widget_->set_message_box_function(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text,
               QMessageBox::StandardButtons, QMessageBox::StandardButton default_button) {
            if (icon == QMessageBox::Question)
                return ask_question(title, text, default_button);
            show_warning(title, text);
            return QMessageBox::Ok;
        });
}

std::function<void()> MainWindow::as_command(void (MainWindow::*command)())
{
    // The old message goes first, so the status bar only ever shows the
    // outcome of the last command: its own message, or none.
    return [this, command] {
        statusBar()->clearMessage();
        (this->*command)();
    };
}

void MainWindow::connect_command(QAction *action, void (MainWindow::*command)())
{
    connect(action, &QAction::triggered, this, as_command(command));
}

void MainWindow::build_menus()
{
    auto *bar = new QMenuBar(this);

    auto *file_menu = new QMenu(QStringLiteral("File"), bar);
    QAction *open = file_menu->addAction(QStringLiteral("Open"));
    open->setShortcut(QKeySequence::Open);
    connect_command(open, &MainWindow::open_action);
    // What the hex view shows until a file is open.
    hex_widget_->set_placeholder_text(
        QStringLiteral("No file is open.\n\nOpen one with File \u203A Open (%1)\n"
                       "or drop a file on this window.")
            .arg(open->shortcut().toString(QKeySequence::NativeText)));
    recent_menu = file_menu->addMenu(QStringLiteral("Recent Files"));
    connect(recent_menu, &QMenu::aboutToShow, this, &MainWindow::fill_recent_menu);
    QAction *save = file_menu->addAction(QStringLiteral("Save"));
    save->setShortcut(QKeySequence::Save);
    connect_command(save, &MainWindow::save_action);
    QAction *save_as = file_menu->addAction(QStringLiteral("Save As"));
    save_as->setShortcuts(QKeySequence::SaveAs);
    // Some platforms define no Save As key; this is the common one.
    if (save_as->shortcuts().isEmpty())
        save_as->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    connect_command(save_as, &MainWindow::save_as_action);
    QAction *load_markup = file_menu->addAction(QStringLiteral("Load Markup"));
    load_markup->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    connect_command(load_markup, &MainWindow::load_markup_action);
    QAction *save_markup = file_menu->addAction(QStringLiteral("Save Markup"));
    save_markup->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+M")));
    connect_command(save_markup, &MainWindow::save_markup_action);
    connect_command(file_menu->addAction(QStringLiteral("Save Markup As")),
                    &MainWindow::save_markup_as_action);
    connect_command(file_menu->addAction(QStringLiteral("Exit")), &MainWindow::exit_action);
    bar->addMenu(file_menu);

    auto *edit_menu = new QMenu(QStringLiteral("Edit"), bar);
    undo_entry = edit_menu->addAction(QStringLiteral("Undo"));
    undo_entry->setShortcut(QKeySequence::Undo);
    connect(undo_entry, &QAction::triggered, this, &MainWindow::undo_action);
    redo_entry = edit_menu->addAction(QStringLiteral("Redo"));
    redo_entry->setShortcut(QKeySequence::Redo);
    connect(redo_entry, &QAction::triggered, this, &MainWindow::redo_action);
    edit_menu->addSeparator();
    QAction *copy = edit_menu->addAction(QStringLiteral("Copy to Clipboard"));
    copy->setShortcut(QKeySequence(QStringLiteral("CTRL+C")));
    connect_command(copy, &MainWindow::copy_action);
    add_find_entries(edit_menu);
    bar->addMenu(edit_menu);
    bar->addMenu(build_view_menu(bar));

    auto *options_menu = new QMenu(QStringLiteral("Options"), bar);
    connect_command(options_menu->addAction(QStringLiteral("Choose Fonts")),
                    &MainWindow::font_action);
    QAction *tree_toggle = markup_dock->toggleViewAction();
    tree_toggle->setText(QStringLiteral("Markup Tree"));
    options_menu->addAction(tree_toggle);
    QAction *toolbox_toggle = toolbox_dock->toggleViewAction();
    toolbox_toggle->setText(QStringLiteral("Toolbox"));
    options_menu->addAction(toolbox_toggle);
    connect_command(options_menu->addAction(QStringLiteral("Preferences")),
                    &MainWindow::prefs_action);
    bar->addMenu(options_menu);

    auto *markup_menu = new QMenu(QStringLiteral("Markup"), bar);
    connect_command(markup_menu->addAction(QStringLiteral("Mark")), &MainWindow::mark_action);
    connect_command(markup_menu->addAction(QStringLiteral("Clear Marks")),
                    &MainWindow::clear_marks_action);
    connect_command(markup_menu->addAction(QStringLiteral("Foreground Color")),
                    &MainWindow::mark_color_action);
    connect_command(markup_menu->addAction(QStringLiteral("Background Color")),
                    &MainWindow::mark_background_color_action);
    connect_command(markup_menu->addAction(QStringLiteral("Pick Random Colors")),
                    &MainWindow::pick_random_color_action);
    QAction *remove = markup_menu->addAction(QStringLiteral("Delete"));
    // Delete acts only in the markup tree: the hex view and the editors
    // keep the key for themselves.
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    markup_tree_view_->addAction(remove);
    connect_command(remove, &MainWindow::delete_markup_action);
    connect_command(markup_menu->addAction(QStringLiteral("Prune")),
                    &MainWindow::prune_markup_action);
    connect_command(markup_menu->addAction(QStringLiteral("Manual Selection")),
                    &MainWindow::manual_selection_action);
    add_export_entry(markup_menu);
    bar->addMenu(markup_menu);

    auto *help_menu = new QMenu(QStringLiteral("Help"), bar);
    connect_command(help_menu->addAction(QStringLiteral("Help Topics")),
                    &MainWindow::help_topics_action);
    connect_command(help_menu->addAction(QStringLiteral("About Pellow Quarnby")),
                    &MainWindow::about_action);
    bar->addMenu(help_menu);

    setMenuBar(bar);
}

void MainWindow::build_toolbar()
{
    markup_toolbar = new QToolBar(QStringLiteral("Markup Toolbar"));
    const auto add = [this](const char *icon, const char *text, void (MainWindow::*command)()) {
        connect_command(markup_toolbar->addAction(QIcon(QString::fromLatin1(icon)),
                                                  QString::fromLatin1(text)),
                        command);
    };
    add(":/images/open_file.png", "Open File", &MainWindow::open_action);
    add(":/images/open_markup.png", "Open Markup", &MainWindow::load_markup_action);
    add(":/images/save_markup.png", "Save Markup", &MainWindow::save_markup_action);
    add(":/images/colorize.png", "Mark", &MainWindow::mark_action);
    add(":/images/pick_color.png", "Foreground", &MainWindow::mark_color_action);
    add(":/images/pick_background_color.png", "Background", &MainWindow::mark_background_color_action);
    add(":/images/pick_random_color.png", "Random", &MainWindow::pick_random_color_action);

    Config *config = Config::instance();
    if (config->contains(QStringLiteral("Toolbar Style")))
        set_toolbar_style(config->value(QStringLiteral("Toolbar Style")).toInt());

    markup_toolbar->setObjectName(QStringLiteral("QuarnbyToolbar"));
    addToolBar(markup_toolbar);
}

void MainWindow::connect_signals()
{
    // The hex widget connects the scroll bar to its scroll_event() itself,
    // converting the value for files with more rows than an int holds.
    hex_widget_->set_scroll_bar(scroll_bar_);

    auto *quit = new QShortcut(QKeySequence(tr("Ctrl+Q", "File|Exit")), this);
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, &MainWindow::exit_action);
    auto *help = new QShortcut(QKeySequence(tr("F1", "Help|Help Topics")), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &MainWindow::help_topics_action);

    connect(markup_tree_view_, &QTreeView::expanded, markup_mask_, &MarkupMask::reload_mask);
    connect(markup_tree_view_, &QTreeView::collapsed, markup_mask_, &MarkupMask::reload_mask);
    connect(markup_dock, &QDockWidget::topLevelChanged, this, &MainWindow::dock_toplevel);
    connect(toolbox_dock, &QDockWidget::dockLocationChanged, this,
            &MainWindow::follow_toolbox_area);
    connect(toolbox_dock, &QDockWidget::topLevelChanged, this,
            [this] { follow_toolbox_area(dockWidgetArea(toolbox_dock)); });
    connect(hex_widget_, &HexWidget::content_changed, this, &MainWindow::editor_content_changed);
    connect(hex_widget_, &HexWidget::send_selection, search_panel, &SearchWidget::perform_search);
    connect(hex_widget_, &HexWidget::copy_action, this, as_command(&MainWindow::copy_action));
    // A close asked for during a search waited for the search to return.
    connect(search_panel, &SearchWidget::running_changed, this, [this](bool running) {
        if (running || !close_after_search)
            return;
        close_after_search = false;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    });
    connect(markup_mask_, &MarkupMask::update_completed, hex_widget_,
            qOverload<>(&QWidget::update));

    // The hex view's context menu runs these markup commands.
    connect(hex_widget_, &HexWidget::mark_requested, this, as_command(&MainWindow::mark_action));
    connect(hex_widget_, &HexWidget::pick_random_colors_requested, this,
            as_command(&MainWindow::random_colours_for_selection));

    // The tree view's context menu runs the commands on the selected markup.
    connect(markup_tree_view_, &HexTreeView::foreground_color_requested, this,
            as_command(&MainWindow::mark_color_action));
    connect(markup_tree_view_, &HexTreeView::background_color_requested, this,
            as_command(&MainWindow::mark_background_color_action));
    connect(markup_tree_view_, &HexTreeView::pick_random_colors_requested, this,
            as_command(&MainWindow::pick_random_color_action));
    connect(markup_tree_view_, &HexTreeView::delete_requested, this,
            as_command(&MainWindow::delete_markup_action));
    connect(markup_tree_view_, &HexTreeView::prune_requested, this,
            as_command(&MainWindow::prune_markup_action));

    connect(history, &EditHistory::changed, this, &MainWindow::update_edit_actions);
    update_edit_actions();

    // A missing viewer or missing pages are told on the status bar.
    connect(help_client, &HelpClient::error, this, &MainWindow::show_status);
}

bool MainWindow::is_markup_modified() const
{
    return history->is_modified(EditHistory::markup);
}

bool MainWindow::is_document_modified() const
{
    return history->is_modified(EditHistory::bytes);
}

void MainWindow::set_markup_modified()
{
    history->mark_modified(EditHistory::markup);
}

void MainWindow::update_edit_actions()
{
    const QString undo = history->undo_step_text();
    const QString redo = history->redo_step_text();
    undo_entry->setEnabled(!undo.isEmpty());
    undo_entry->setText(undo.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + undo);
    redo_entry->setEnabled(!redo.isEmpty());
    redo_entry->setText(redo.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + redo);
}

void MainWindow::undo_action()
{
    if (refuse_while_searching() || !history->can_undo_step())
        return;
    // Rows the selection refers to may go.
    selection_model->clearSelection();
    history->undo_step();
    focus_after_step(true);
}

void MainWindow::redo_action()
{
    if (refuse_while_searching() || !history->can_redo_step())
        return;
    selection_model->clearSelection();
    history->redo_step();
    focus_after_step(false);
}

void MainWindow::focus_after_step(bool undone)
{
    const int at = undone ? history->index() : history->index() - 1;
    const auto *step = dynamic_cast<const EditCommand *>(history->command(at));
    if (!step || step->part() != EditHistory::markup)
        return;
    const QModelIndex index =
        markup_model_->index_of(markup_tree_->node_at_path(step->markup_focus(undone)));
    if (!index.isValid())
        return;
    selection_model->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    markup_tree_view_->scrollTo(index);
}

void MainWindow::set_toolbar_style(int style)
{
    // The value comes from a hand-editable settings file; anything but the
    // four styles is ignored rather than handed to the toolbar.
    if (style < Qt::ToolButtonIconOnly || style > Qt::ToolButtonTextUnderIcon)
        return;
    markup_toolbar->setToolButtonStyle(static_cast<Qt::ToolButtonStyle>(style));
}

void MainWindow::set_title(const QString &title)
{
    setWindowTitle(title);
}

bool MainWindow::refuse_while_searching()
{
    if (!search_panel || !search_panel->searching())
        return false;
    show_status(tr("A search is running: cancel it first."));
    return true;
}

void MainWindow::show_status(const QString &text)
{
    statusBar()->showMessage(text);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Config *config = Config::instance();
    config->setValue(QStringLiteral("width"), width());
    config->setValue(QStringLiteral("height"), height());
    // Before the first show the arrangement is still the one being restored.
    if (shown_before)
        save_window_layout();
    statusBar()->clearMessage();
}

void MainWindow::setVisible(bool visible)
{
    if (visible && !shown_before) {
        // Size and font are final now, and the layout has not yet grown the
        // window to hold its docks: choose where the toolbox goes, or only
        // make sure a restored arrangement still fits the font.
        place_toolbox(!layout_restored);
        shown_before = true;
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    update_page_step();
    if (!startup_notice.isEmpty()) {
        show_status(startup_notice);
        startup_notice.clear();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The search runs inside this call's caller: cancel it, and close once it
    // has returned, so that the save questions below act on a still document.
    if (search_panel->searching()) {
        event->ignore();
        close_after_search = true;
        search_panel->cancel();
        return;
    }
    // A save the user asked for that did not happen keeps the window open,
    // so that nothing is lost; answering No closes without saving.
    if (is_document_modified() && !ask_save_changes()) {
        event->ignore();
        show_status(QStringLiteral("Not closed: the file could not be saved"));
        return;
    }
    if (is_markup_modified() && !ask_save_markup()) {
        event->ignore();
        show_status(QStringLiteral("Not closed: the markup was not saved"));
        return;
    }
    event->accept();
    save_window_layout();
    help_client->closeAssistant();
    // Nothing is painted any more; the worker must not outlive the event loop.
    markup_mask_->stop_and_clear();
}

void MainWindow::exit_action()
{
    close();
}

void MainWindow::dock_toplevel(bool)
{
    update();
}

void MainWindow::dock_tree_action(bool visible)
{
    Config::instance()->setValue(QStringLiteral("Show Dock Tree"),
                                 visible ? QStringLiteral("yes") : QStringLiteral("no"));
}

void MainWindow::dock_search_action(bool visible)
{
    Config::instance()->setValue(QStringLiteral("Show Dock Search"),
                                 visible ? QStringLiteral("yes") : QStringLiteral("no"));
}

void MainWindow::editor_content_changed()
{
    // An edit key's change is a step of the history already, which sets the
    // flag and lets undo clear it; a change from elsewhere counts until saved.
    if (!history->is_modified(EditHistory::bytes))
        history->mark_modified(EditHistory::bytes);
}
