// The Inspector dock, the View menu and the toolbox pages Find and Go to open.

#include "mainwindow/mainwindow.h"

#include "mainwindow/markupactions.h"
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
    connect(inspector, &InspectorWidget::mark_requested, markup_actions, &MarkupActions::mark_as);
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
