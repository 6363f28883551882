#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "hexview/overviewstrip.h"
#include "mainwindow/fileactions.h"
#include "mainwindow/helpactions.h"
#include "mainwindow/helpclient.h"
#include "mainwindow/markupactions.h"
#include "mainwindow/markupfileactions.h"
#include "mainwindow/templateactions.h"
#include "panels/formatbar.h"
#include "mainwindow/viewactions.h"
#include "mask/markupmask.h"
#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "mainwindow/statusfields.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "markup/markuptree.h"
#include "overview/fileoverview.h"
#include "panels/inspectorwidget.h"
#include "panels/jumpwidget.h"
#include "panels/searchresultswidget.h"
#include "panels/searchwidget.h"
#include "panels/statusdetail.h"
#include "treeview/hextreeview.h"
#include "treeview/treeviewdelegate.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QIcon>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTimer>
#include <QToolBox>

MainWindow *MainWindow::instance()
{
    static MainWindow *window = new MainWindow;
    return window;
}

MainWindow::MainWindow()
    : QMainWindow(nullptr)
{
    // Made first, so it is deleted first among the window's children: the
    // views it feeds are detached from it in the destructor.
    m_file = new EditedFile(this);
    m_history = m_file->history();
    install_default_hooks();

    // The help viewer is looked for beside the program, with its profile.
    const QString app_dir = QCoreApplication::applicationDirPath();
    help_client = new HelpClient(app_dir, this);
    help_client->setArguments(
        {QStringLiteral("-profile"), app_dir + QStringLiteral("/html_help/help_contents.adp")});

    // The commands only keep the window; they reach its parts when they run.
    m_file_actions = new FileActions(this);
    m_help_actions = new HelpActions(this, help_client);
    m_markup_actions = new MarkupActions(this);
    m_markup_file_actions = new MarkupFileActions(this, m_file);
    m_template_actions = new TemplateActions(this, m_file);

    set_title(tr("No File"));

    build_central_widget();
    build_docks();
    build_inspector_dock();
    m_view_actions = new ViewActions(this, search_panel, goto_panel, m_inspector);

    build_markup_objects();

    m_hex_widget->show();
    m_scroll_bar->show();
    m_markup_tree_view->show();

    build_menus();
    build_toolbar();

    show_status(tr("Pellow Quarnby Status"));
    m_view_actions->build_status_fields();

    setCentralWidget(m_hex_widget->parentWidget());
    fit_toolbox_to_pages();
    // A file dropped anywhere on the window is opened.
    setAcceptDrops(true);

    connect_signals();
}

MainWindow::~MainWindow()
{
    // The views hold plain pointers to these; detach them before they go, and
    // stop the mask's worker (its destructor waits) before the tree it reads.
    if (m_markup_tree_view)
        m_markup_tree_view->setModel(nullptr);
    m_hex_widget->set_markup_mask(nullptr);
    delete m_markup_mask;
}

void MainWindow::build_central_widget()
{
    auto *central = new QWidget(this);
    auto *layout = new QGridLayout(central);
    // No side margins: every pixel beside the fixed-width hex view is room
    // for the toolbox dock.
    layout->setContentsMargins(0, layout->contentsMargins().top(), 0,
                               layout->contentsMargins().bottom());

    // Above the view, shown only while it offers a template for the file.
    auto *format_bar = new FormatBar;
    layout->addWidget(format_bar, 0, 0, 1, 3);
    m_template_actions->set_format_bar(format_bar);

    m_hex_widget = new HexWidget;
    m_hex_widget->set_edited_file(m_file);
    layout->addWidget(m_hex_widget, 1, 0);
    layout->setColumnStretch(0, 0);
    layout->setRowStretch(1, 1);

    m_scroll_bar = new HexScrollBar;
    // Nothing to scroll until a file is opened.
    m_scroll_bar->set_row_range(0);
    layout->addWidget(m_scroll_bar, 1, 2);
    layout->setColumnStretch(2, 0);

    // The whole file at a glance, between the view and its scroll bar.
    m_overview = new FileOverview(m_file, this);
    m_overview_strip = new OverviewStrip(m_overview, m_hex_widget, m_scroll_bar);
    layout->addWidget(m_overview_strip, 1, 1);
    layout->setColumnStretch(1, 0);
    apply_overview_setting();

    // A window narrower than a row scrolls the view sideways; the view shows
    // this bar only then.
    auto *horizontal = new QScrollBar(Qt::Horizontal);
    layout->addWidget(horizontal, 2, 0);
    m_hex_widget->set_horizontal_scroll_bar(horizontal);

    // The hex view takes no more than a row's width; extra width goes to this empty column.
    layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), 1, 3, 1, 1);
    layout->setColumnStretch(3, 1);
}

bool MainWindow::overview_setting()
{
    // On unless switched off, as the preferences read it.
    return Config::instance()->value(QStringLiteral("Overview Strip")).toString() != QLatin1String("no");
}

void MainWindow::apply_overview_setting()
{
    const bool shown = overview_setting();
    m_overview_strip->set_strip_visible(shown);
    if (m_overview_action)
        m_overview_action->setChecked(shown);
}

void MainWindow::build_docks()
{
    markup_dock = new QDockWidget(tr("Markup Tree"), this);
    markup_dock->setObjectName(QStringLiteral("MarkupTreeDockWidget"));
    markup_dock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    m_markup_tree_view = new HexTreeView(this);
    m_markup_tree_view->setMaximumSize(32767, 32767);
    m_markup_tree_view->setSizePolicy(QSizePolicy::MinimumExpanding,
                                      QSizePolicy::MinimumExpanding);
    // The policy would hold the tree at its size hint, taller than a small
    // screen can spare above the hex view; a few rows are its least.
    m_markup_tree_view->setMinimumHeight(6 * m_markup_tree_view->fontMetrics().height());
    markup_dock->setWidget(m_markup_tree_view);
    addDockWidget(Qt::TopDockWidgetArea, markup_dock);

    toolbox_dock = new QDockWidget(tr("Toolbox"), this);
    toolbox_dock->setObjectName(QStringLiteral("Toolboxdockwidget"));
    toolbox_dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    toolbox = new QToolBox(this);

    search_panel = new SearchWidget(this);
    search_panel->setMaximumSize(32767, 32767);
    search_panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    toolbox->insertItem(0, search_panel, QIcon(), tr("Search"));

    goto_panel = new JumpWidget(this);
    goto_panel->setMaximumSize(32767, 32767);
    goto_panel->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);
    // Inserted before "Search", which stays the open page.
    toolbox->insertItem(0, goto_panel, QIcon(), tr("Goto"));

    toolbox_dock->setWidget(toolbox);
    addDockWidget(Qt::LeftDockWidgetArea, toolbox_dock);

    // Find All's list wants the window's width for its four columns, which
    // the narrow toolbox page has not; it appears when Find All first runs.
    m_results_dock = new QDockWidget(tr("Search Results"), this);
    m_results_dock->setObjectName(QStringLiteral("SearchResultsDockWidget"));
    m_results_dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_search_results = new SearchResultsWidget(m_results_dock);
    m_results_dock->setWidget(m_search_results);
    // Below the hex view only: the toolbox keeps the window's height.
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, m_results_dock);
    m_results_dock->hide();
}

void MainWindow::build_inspector_dock()
{
    m_inspector_dock = new QDockWidget(tr("Inspector"), this);
    m_inspector_dock->setObjectName(QStringLiteral("InspectorDockWidget"));
    m_inspector_dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_inspector = new InspectorWidget(m_inspector_dock);
    m_inspector->set_edited_file(m_file);
    m_inspector_dock->setWidget(m_inspector);
    // Beside the markup tree, where the window has width to spare.
    addDockWidget(Qt::TopDockWidgetArea, m_inspector_dock, Qt::Horizontal);
    connect(m_inspector, &InspectorWidget::mark_requested, m_markup_actions,
            &MarkupActions::mark_as);
}

void MainWindow::build_markup_objects()
{
    m_markup_model = m_file->markup_model();
    m_markup_tree = m_file->markup_tree();
    m_markup_mask = new MarkupMask(m_markup_tree);

    m_markup_tree_view->setModel(m_markup_model);
    // The commands reach the selection through the view.
    selection_model = new QItemSelectionModel(m_markup_model, this);
    m_markup_tree_view->setSelectionModel(selection_model);
    m_markup_tree_view->setColumnWidth(0, 200);
    m_markup_tree_view->setColumnWidth(1, 75);
    m_markup_tree_view->setColumnWidth(2, 75);
    m_markup_tree_view->setColumnWidth(3, 75);

    m_tree_delegate = new TreeViewDelegate(this);
    m_markup_tree_view->setItemDelegate(m_tree_delegate);
    connect(m_tree_delegate, &TreeViewDelegate::commitData, m_markup_mask,
            &MarkupMask::reload_mask);

    wire_collaborators();
}

bool MainWindow::markup_modified() const
{
    return m_history->is_modified(EditHistory::markup);
}

bool MainWindow::document_modified() const
{
    return m_history->is_modified(EditHistory::bytes);
}

void MainWindow::set_markup_modified()
{
    m_history->mark_modified(EditHistory::markup);
}

void MainWindow::editor_content_changed()
{
    // An edit key's change is a step of the history already, which sets the
    // flag and lets undo clear it; a change from elsewhere counts until saved.
    if (!m_history->is_modified(EditHistory::bytes))
        m_history->mark_modified(EditHistory::bytes);
}

void MainWindow::set_title(const QString &title)
{
    m_title = title;
    show_unsaved_mark(m_file->is_modified());
}

void MainWindow::show_unsaved_mark(bool unsaved)
{
    // Nothing to mark on the empty title of a file that did not open.
    setWindowTitle(unsaved && !m_title.isEmpty() ? m_title + QStringLiteral(" *") : m_title);
}

bool MainWindow::refuse_while_searching()
{
    return m_file->refuse_if_busy();
}

void MainWindow::show_status(const QString &text, const QString &detail)
{
    StatusDetail::show(statusBar(), text, detail);
}

void MainWindow::show_lasting_warning(const QString &text)
{
    m_view_actions->status_fields()->show_warning(text);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Config *config = Config::instance();
    config->setValue(QStringLiteral("width"), width());
    config->setValue(QStringLiteral("height"), height());
    // Before the first show the arrangement is still the one being restored.
    if (m_shown_before)
        save_window_layout();
    // A larger window gives the tree and the hex view more rows, as long as
    // the user has not set the strip's height by hand.
    if (m_tree_strip >= 0 && markup_dock->height() == m_tree_strip
        && event->size().height() != event->oldSize().height())
        QTimer::singleShot(0, this, [this] {
            if (markup_dock->height() == m_tree_strip)
                share_height_with_tree();
        });
    statusBar()->clearMessage();
}

void MainWindow::setVisible(bool visible)
{
    if (visible && !m_shown_before) {
        // Size and font are final now, and the layout has not yet grown the
        // window to hold its docks: choose where the toolbox goes, or only
        // make sure a restored arrangement still fits the font.
        place_toolbox(!m_layout_restored);
        m_shown_before = true;
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    update_page_step();
    const QString notice = m_file_actions->take_startup_notice();
    if (!notice.isEmpty())
        show_status(notice);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The search runs inside this call's caller: cancel it, and close once it
    // has returned, so that the save questions below act on a still document.
    if (search_panel->searching()) {
        event->ignore();
        m_close_after_search = true;
        search_panel->cancel();
        return;
    }
    if (!m_file_actions->may_close()) {
        event->ignore();
        return;
    }
    event->accept();
    // The questions are answered: the journal and its lock go (a journal
    // left for later stays).
    m_file->journal()->release();
    save_window_layout();
    m_help_actions->close_help();
    // Nothing is painted any more; the worker must not outlive the event loop.
    m_markup_mask->stop_and_clear();
}

void MainWindow::exit_action()
{
    close();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!FileActions::dropped_file(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString name = FileActions::dropped_file(event->mimeData());
    if (name.isEmpty())
        return;
    event->acceptProposedAction();
    m_file_actions->open_dropped_file(name);
}
