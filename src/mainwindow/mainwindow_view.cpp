// What the window shows about the view and how the keyboard reaches it:
// the permanent status bar fields, the Inspector dock, the View menu and the
// find and goto entries.

#include "mainwindow/mainwindow.h"

#include "document/documenterror.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "panels/inspectorwidget.h"
#include "panels/jumpwidget.h"
#include "panels/searchwidget.h"

#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBox>

namespace {

// 0x1A (26): hexadecimal as the hex view shows offsets, then decimal.
QString both_bases(qint64 value)
{
    return QStringLiteral("0x%1 (%2)").arg(QString::number(value, 16).toUpper()).arg(value);
}

QLabel *new_field(const QString &name, QStatusBar *bar)
{
    auto *field = new QLabel(bar);
    field->setObjectName(name);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A sunken panel each, so the fields read apart.
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setContentsMargins(4, 0, 4, 0);
    bar->addPermanentWidget(field);
    return field;
}

} // namespace

void MainWindow::build_status_fields()
{
    // Permanent widgets sit on the right; showMessage() keeps the left.
    QStatusBar *bar = statusBar();
    offset_field = new_field(QStringLiteral("offset_field"), bar);
    selection_field = new_field(QStringLiteral("selection_field"), bar);
    size_field = new_field(QStringLiteral("size_field"), bar);
    connect(hex_widget_, &HexWidget::selection_changed, this, &MainWindow::follow_cursor);
    // An edit changes the bytes under the cursor.
    connect(hex_widget_, &HexWidget::content_changed, this, &MainWindow::follow_cursor);
    follow_cursor();
}

void MainWindow::follow_cursor()
{
    update_status_fields();
    const qint64 start = hex_widget_->selection_start();
    const qint64 end = hex_widget_->selection_end();
    inspector->set_offset(start < 0 || end < 0 ? -1 : end);
}

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

void MainWindow::update_status_fields()
{
    const qint64 start = hex_widget_->selection_start();
    const qint64 end = hex_widget_->selection_end();
    // The end moved last (a click, a drag, Shift with a key) is where the
    // user is; with no selection there is no cursor to show.
    if (start < 0 || end < 0) {
        offset_field->setText(QStringLiteral("Offset: -"));
        selection_field->clear();
        selection_field->hide();
    } else {
        const qint64 first = qMin(start, end);
        const qint64 last = qMax(start, end);
        offset_field->setText(QStringLiteral("Offset: ") + both_bases(end));
        const quint64 length = quint64(last) - quint64(first) + 1;
        selection_field->setText(QStringLiteral("Selection: 0x%1-0x%2, %3 %4")
                                     .arg(QString::number(first, 16).toUpper(),
                                          QString::number(last, 16).toUpper(), QString::number(length),
                                          length == 1 ? QStringLiteral("byte") : QStringLiteral("bytes")));
        selection_field->show();
    }

    HexDocument *document = hex_widget_->document();
    qint64 size = -1;
    if (document->is_open()) {
        try {
            size = document->size();
        } catch (const DocumentError &) {
            size = -1;
        }
    }
    size_field->setText(size < 0 ? QStringLiteral("Size: -")
                                 : QStringLiteral("Size: ") + both_bases(size));
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

void MainWindow::find_action()
{
    show_toolbox_page(search_panel);
    search_panel->focus_expression();
}

void MainWindow::find_next_action()
{
    if (refuse_while_searching())
        return;
    search_panel->search();
}

void MainWindow::goto_action()
{
    show_toolbox_page(goto_panel);
    goto_panel->focus_address();
}
