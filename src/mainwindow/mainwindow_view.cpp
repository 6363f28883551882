// The Inspector dock, the View menu, the find and goto entries and the
// toolbox pages they open.

#include "mainwindow/mainwindow.h"

#include "hexview/hexwidget.h"
#include "panels/inspectorwidget.h"
#include "panels/jumpwidget.h"
#include "panels/searchwidget.h"

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBox>

void MainWindow::build_inspector_dock()
{
    inspector_dock = new QDockWidget(QStringLiteral("Inspector"), this);
    inspector_dock->setObjectName(QStringLiteral("InspectorDockWidget"));
    inspector_dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    inspector = new InspectorWidget(inspector_dock);
    inspector->set_hex_widget(hex_widget_);
    inspector_dock->setWidget(inspector);
    // Beside the markup tree, where the window has width to spare.
    addDockWidget(Qt::TopDockWidgetArea, inspector_dock, Qt::Horizontal);
    connect(inspector, &InspectorWidget::mark_requested, this, &MainWindow::mark_as);
}

void MainWindow::mark_as(qint64 first, qint64 last, const QString &description)
{
    if (refuse_while_searching())
        return;
    if (insert_markup(first, last, description))
        hex_widget_->set_cursor(last + 1);
}

void MainWindow::add_find_entries(QMenu *edit_menu)
{
    QAction *find = edit_menu->addAction(QStringLiteral("Find"));
    find->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    connect_command(find, &MainWindow::find_action);
    QAction *next = edit_menu->addAction(QStringLiteral("Find Next"));
    next->setShortcut(QKeySequence(QStringLiteral("F3")));
    connect_command(next, &MainWindow::find_next_action);
    QAction *go = edit_menu->addAction(QStringLiteral("Go to Address"));
    go->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    connect_command(go, &MainWindow::goto_action);
}

QMenu *MainWindow::build_view_menu(QMenuBar *bar)
{
    auto *view_menu = new QMenu(QStringLiteral("View"), bar);
    // The same toggle actions as in the Options menu, so both stay in step.
    view_menu->addAction(markup_dock->toggleViewAction());
    view_menu->addAction(toolbox_dock->toggleViewAction());
    view_menu->addAction(inspector_dock->toggleViewAction());
    return view_menu;
}

void MainWindow::show_toolbox_page(QWidget *page)
{
    toolbox_dock->show();
    toolbox_dock->raise();
    toolbox->setCurrentWidget(page);
}
