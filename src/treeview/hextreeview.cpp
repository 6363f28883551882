#include "treeview/hextreeview.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "treeview/treeviewdelegate.h"

#include <QMenu>
#include <QModelIndex>
#include <QMouseEvent>
#include <QHelpEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <utility>
#include <vector>

HexTreeView::HexTreeView(QWidget *parent)
    : QTreeView(parent)
{
    exec_menu = [](QMenu *menu, const QPoint &global_pos) { return menu->exec(global_pos); };
    // Connected before anyone else can connect, so whoever reacts to these
    // signals (the main window refills the colour mask) already finds the
    // flag stored.
    connect(this, &QTreeView::expanded, this, &HexTreeView::store_expanded);
    connect(this, &QTreeView::collapsed, this, &HexTreeView::store_collapsed);
}

void HexTreeView::setModel(QAbstractItemModel *model)
{
    if (m_markup_model) {
        disconnect(m_markup_model, &MarkupModel::expanded_changed, this, &QTreeView::setExpanded);
        disconnect(m_markup_model, &MarkupModel::all_expanded, this, &HexTreeView::show_all_expanded);
        disconnect(m_markup_model, &MarkupModel::shown_opened, this, &HexTreeView::show_opened);
    }
    QTreeView::setModel(model);
    m_markup_model = qobject_cast<MarkupModel *>(model);
    if (m_markup_model) {
        connect(m_markup_model, &MarkupModel::expanded_changed, this, &QTreeView::setExpanded);
        connect(m_markup_model, &MarkupModel::all_expanded, this, &HexTreeView::show_all_expanded);
        connect(m_markup_model, &MarkupModel::shown_opened, this, &HexTreeView::show_opened);
    }
}

void HexTreeView::store_expanded(const QModelIndex &index)
{
    if (m_markup_model && index.model() == m_markup_model)
        m_markup_model->set_expanded(index, true);
}

void HexTreeView::store_collapsed(const QModelIndex &index)
{
    if (m_markup_model && index.model() == m_markup_model)
        m_markup_model->set_expanded(index, false);
}

void HexTreeView::show_all_expanded()
{
    // The model holds every flag already. Quietly: an expanded() signal per
    // markup would make each listener react once per markup (the main
    // window would refill the colour mask as often).
    const QSignalBlocker quiet(this);
    expand_all();
}

void HexTreeView::show_opened(const QModelIndex &index)
{
    // The flag is stored already; quietly, as show_all_expanded.
    const QSignalBlocker quiet(this);
    expand(index);
}

void HexTreeView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::RightButton) {
        QMenu menu(this);
        const QAction *foreground = menu.addAction(tr("Foreground Color"));
        const QAction *background = menu.addAction(tr("Background Color"));
        const QAction *random = menu.addAction(tr("Pick Random Colors"));
        const QAction *remove = menu.addAction(tr("Delete"));
        const QAction *prune = menu.addAction(tr("Prune"));
        // The choice is dispatched here rather than through triggered(), so a
        // replaced exec_menu needs to return the action only.
        const QAction *chosen = exec_menu(&menu, event->globalPosition().toPoint());
        if (chosen == foreground)
            emit foreground_color_requested();
        else if (chosen == background)
            emit background_color_requested();
        else if (chosen == random)
            emit pick_random_colors_requested();
        else if (chosen == remove)
            emit delete_requested();
        else if (chosen == prune)
            emit prune_requested();
        // Delete and Prune move the rows below the markup: passed on, the
        // press would select whichever markup moved under the cursor, and the
        // next command would act on a markup the user never chose.
        if (chosen == remove || chosen == prune)
            return;
    }
    QTreeView::mousePressEvent(event);
}

QString HexTreeView::description_tip(const QModelIndex &index) const
{
    if (!index.isValid() || index.column() != MarkupColumn::Description)
        return QString();
    const QString text = index.data(Qt::DisplayRole).toString();
    // The item delegate leaves a margin on both sides of the text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    if (fontMetrics().horizontalAdvance(text) + 2 * margin <= visualRect(index).width())
        return QString();
    return text.size() > max_tip_length ? text.left(max_tip_length) + QChar(0x2026) : text;
}

QString HexTreeView::row_tip(const QModelIndex &index) const
{
    QString tip = description_tip(index);
    const MarkupNode *node = m_markup_model && index.isValid() && index.model() == m_markup_model
        ? m_markup_model->node_from_index(index)
        : nullptr;
    const QString doc = node ? node->doc() : QString();
    if (doc.isEmpty())
        return tip;
    if (!tip.isEmpty())
        tip += QStringLiteral("\n\n");
    return tip + (doc.size() > max_tip_length ? doc.left(max_tip_length) + QChar(0x2026) : doc);
}

bool HexTreeView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = row_tip(index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    return true;
}

void HexTreeView::fit_position_columns(qint64 largest)
{
    largest = qMax<qint64>(0, largest);
    const int width = TreeViewDelegate::position_cell_width(largest, fontMetrics());
    const QList<int> columns = {MarkupColumn::Start, MarkupColumn::End, MarkupColumn::Length};
    if (m_least_widths.isEmpty()) {
        for (const int column : columns)
            m_least_widths.append(columnWidth(column));
    }
    const bool smaller = largest < m_fitted_largest;
    m_fitted_largest = largest;
    for (int i = 0; i < columns.size(); ++i) {
        const int column = columns[i];
        if (smaller)
            setColumnWidth(column, qMax(m_least_widths[i], width));
        else if (columnWidth(column) < width)
            setColumnWidth(column, width);
    }
}

void HexTreeView::expand_all()
{
    QAbstractItemModel *m = model();
    if (!m)
        return;
    // The markups that have children, parents first, walked without recursion
    // and given up as soon as the tree is deeper than the limit.
    std::vector<QModelIndex> parents;
    std::vector<std::pair<QModelIndex, int>> pending { { QModelIndex(), 0 } };
    while (!pending.empty()) {
        const auto [index, level] = pending.back();
        pending.pop_back();
        const int rows = m->rowCount(index);
        if (rows == 0)
            continue;
        if (level >= max_expanded_depth) {
            expandToDepth(max_expanded_depth - 1);
            return;
        }
        if (index.isValid())
            parents.push_back(index);
        for (int row = rows - 1; row >= 0; --row)
            pending.emplace_back(m->index(row, 0, index), level + 1);
    }
    // Only markups with children are stored as expanded. expandAll() keeps a
    // persistent index for every row, leaves included, and the model walks
    // all persistent indexes on every row removal (a prune): that doubled the
    // work of each prune on a large tree. With a layout pending, expand()
    // only records the index; the one layout runs at the end.
    scheduleDelayedItemsLayout();
    for (const QModelIndex &index : parents)
        expand(index);
    executeDelayedItemsLayout();
}
