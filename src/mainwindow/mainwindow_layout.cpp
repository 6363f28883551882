// Where the docks go and how the views fit their contents.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "document/documentfailure.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "panels/searchwidget.h"
#include "treeview/hextreeview.h"

#include <QHeaderView>

#include <QDockWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolBox>

#include <string>

namespace {

const QString geometry_key = QStringLiteral("Window Geometry");
const QString state_key = QStringLiteral("Window State");

} // namespace

void MainWindow::fit_toolbox_to_pages()
{
    // The toolbox wraps each page in a scroll area whose own minimum is tiny,
    // so the dock could be dragged (or squeezed by a wide hex view) narrower
    // than a page and the page would scroll sideways. Every scroll area is
    // held at the widest page's width instead (the pages are laid out to be
    // narrow, and grow but never shrink below their size hint), so that
    // switching pages needs no wider dock; pages only scroll up and down.
    int widest = 0;
    for (int i = 0; i < toolbox->count(); ++i) {
        const QWidget *page = toolbox->widget(i);
        widest = qMax(widest, qMax(page->sizeHint().width(), page->minimumSizeHint().width()));
    }
    for (int i = 0; i < toolbox->count(); ++i) {
        QWidget *viewport = toolbox->widget(i)->parentWidget();
        auto *area = viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr;
        if (!area)
            continue;
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        const int scroll_bar = area->verticalScrollBar()->sizeHint().width();
        area->setMinimumWidth(widest + scroll_bar + 2 * area->frameWidth());
    }
    toolbox->updateGeometry();
}

bool MainWindow::toolbox_fits_beside_hex_view() const
{
    const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    // The hex view whole: it can scroll sideways, but only as a last resort.
    const int needed = centralWidget()->sizeHint().width()
                       + toolbox_dock->minimumSizeHint().width() + separator;
    return needed <= width();
}

void MainWindow::place_toolbox(bool initial)
{
    if (toolbox_dock->isFloating())
        return;
    const Qt::DockWidgetArea area = dockWidgetArea(toolbox_dock);
    const bool beside = area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea;
    if (!initial && !beside)
        return;
    if (toolbox_fits_beside_hex_view()) {
        if (initial) {
            addDockWidget(Qt::LeftDockWidgetArea, toolbox_dock);
            // Once shown: the desktop may still maximize or frame the window.
            QTimer::singleShot(0, this, [this] {
                share_height_with_tree();
                give_tree_its_columns();
            });
        }
        return;
    }
    // No room beside the fixed-width hex view (a large font, a small
    // window): the toolbox shares the top strip with the markup tree, and
    // the strip is made tall enough for the open page.
    addDockWidget(Qt::TopDockWidgetArea, toolbox_dock);
    if (!markup_dock->isFloating() && dockWidgetArea(markup_dock) == Qt::TopDockWidgetArea)
        splitDockWidget(markup_dock, toolbox_dock, Qt::Horizontal);
    follow_toolbox_area(Qt::TopDockWidgetArea);
    resizeDocks({toolbox_dock}, {toolbox_height()}, Qt::Vertical);
    // The tree takes the rest of the strip; the dock keeps to its minimum.
    if (QWidget *page = toolbox->currentWidget())
        if (QWidget *area = page->parentWidget() ? page->parentWidget()->parentWidget() : nullptr)
            resizeDocks({markup_dock, toolbox_dock},
                        {width() - area->minimumWidth(), area->minimumWidth()}, Qt::Horizontal);
}

void MainWindow::share_height_with_tree()
{
    if (markup_dock->isFloating() || !markup_dock->isVisible() || toolbox_dock->isFloating()
        || dockWidgetArea(markup_dock) != Qt::TopDockWidgetArea
        || dockWidgetArea(toolbox_dock) != Qt::LeftDockWidgetArea)
        return;
    // The tree strip and the hex view below it share this height; the
    // toolbox beside the hex view has what the strip leaves.
    const int shared = markup_dock->height() + centralWidget()->height();
    const int hex_frame = centralWidget()->height() - m_hex_widget->height();
    // A line to spare: the separator and the frames round differently.
    const int hex_least = (min_hex_rows + 1) * m_hex_widget->line_height() + hex_frame;
    // The hex view keeps its rows (the toolbox page beside it scrolls when
    // it must); the tree takes the rest, up to a share that leaves the hex
    // view more rows than the tree on a taller window.
    const int strip = qMin(shared - hex_least, int(shared * max_tree_share));
    const int least = markup_dock->minimumSizeHint().height();
    if (qMax(strip, least) != markup_dock->height())
        resizeDocks({markup_dock}, {qMax(strip, least)}, Qt::Vertical);
    // The docks take their sizes at the next layout pass.
    QTimer::singleShot(0, this, [this] { m_tree_strip = markup_dock->height(); });
}

void MainWindow::give_tree_its_columns()
{
    if (markup_dock->isFloating() || m_inspector_dock->isFloating()
        || dockWidgetArea(m_inspector_dock) != dockWidgetArea(markup_dock))
        return;
    // Every column of the tree without scrolling sideways, and more of the
    // width than the inspector's short values need.
    const int columns = m_markup_tree_view->header()->length()
                        + m_markup_tree_view->verticalScrollBar()->sizeHint().width()
                        + 2 * m_markup_tree_view->frameWidth();
    const int both = markup_dock->width() + m_inspector_dock->width();
    const int tree = qMin(qMax(columns, int(both * 0.6)),
                          both - m_inspector_dock->minimumSizeHint().width());
    if (tree > markup_dock->width())
        resizeDocks({markup_dock, m_inspector_dock}, {tree, both - tree}, Qt::Horizontal);
}

int MainWindow::toolbox_height() const
{
    // Counted from the parts: the page headers, the tallest page as it now
    // wants to be laid out and the dock's title bar. (The scroll areas keep
    // their page's size from before a font or layout change.)
    int height = 0;
    for (const QWidget *header : toolbox->findChildren<QWidget *>(
             QStringLiteral("qt_toolbox_toolboxbutton"), Qt::FindDirectChildrenOnly))
        height += header->sizeHint().height();
    int page = 0;
    for (int i = 0; i < toolbox->count(); ++i)
        page = qMax(page, toolbox->widget(i)->sizeHint().height());
    const int title = toolbox_dock->fontMetrics().height()
                      + 2 * style()->pixelMetric(QStyle::PM_DockWidgetTitleMargin, nullptr,
                                                 toolbox_dock)
                      + 2 * style()->pixelMetric(QStyle::PM_DockWidgetFrameWidth, nullptr,
                                                 toolbox_dock);
    // Frames and spacings the style adds around the pages: a line's worth.
    return height + page + title + toolbox_dock->fontMetrics().height();
}

void MainWindow::follow_toolbox_area(Qt::DockWidgetArea area)
{
    // A strip above or below the hex view is wide and short; a side is narrow.
    search_panel->set_groups_side_by_side(!toolbox_dock->isFloating()
                                            && (area == Qt::TopDockWidgetArea
                                                || area == Qt::BottomDockWidgetArea));
    fit_toolbox_to_pages();
}

void MainWindow::save_window_layout()
{
    Config *config = Config::instance();
    config->setValue(geometry_key, saveGeometry());
    config->setValue(state_key, saveState());
}

bool MainWindow::restore_window_layout()
{
    Config *config = Config::instance();
    if (config->contains(geometry_key))
        restoreGeometry(config->value(geometry_key).toByteArray());
    m_layout_restored = config->contains(state_key)
                        && restoreState(config->value(state_key).toByteArray());
    return m_layout_restored;
}

void MainWindow::fit_markup_columns()
{
    qint64 largest = 0;
    if (m_hex_widget->document()->is_open()) {
        try {
            largest = m_hex_widget->document()->size() - 1;
        } catch (const std::string &) {
            // Unreadable size: the markups alone set the width.
        }
    }
    // Siblings are ordered and children lie inside their parents, so the
    // last top-level markup ends furthest.
    const MarkupNode *root = m_markup_model->root();
    if (root && root->child_count() > 0)
        largest = qMax(largest, root->child(root->child_count() - 1)->end());
    m_markup_tree_view->fit_position_columns(largest);
}

void MainWindow::expand_markup_view()
{
    m_markup_model->expand_all();
    m_markup_mask->reload_mask();
}

void MainWindow::apply_font(const QFont &font)
{
    m_hex_widget->set_font(font);
    // Menus, docks and dialogs stay upright whatever face the hex view uses.
    QFont interface_font = font;
    interface_font.setStyle(QFont::StyleNormal);
    interface_font.setStyleName(QString());
    setFont(interface_font);
    fit_markup_columns();
    fit_toolbox_to_pages();
    // A larger font widens the hex view; a toolbox beside it that no longer
    // fits moves up beside the tree rather than stretch the window.
    if (m_shown_before)
        place_toolbox(false);
}

void MainWindow::update_page_step()
{
    m_scroll_bar->set_page_rows(m_hex_widget->visible_rows());
}

void MainWindow::show_markup_bytes(const QModelIndex &index)
{
    const MarkupNode *node = m_markup_model->node_from_index(index);
    if (!node || node == m_markup_model->root() || !m_hex_widget->document()->is_open())
        return;
    m_hex_widget->set_selection(node->start(), node->end());
}

void MainWindow::show_toolbox_page(QWidget *page)
{
    toolbox_dock->show();
    toolbox_dock->raise();
    toolbox->setCurrentWidget(page);
}
