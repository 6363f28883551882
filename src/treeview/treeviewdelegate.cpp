#include "treeview/treeviewdelegate.h"

#include "settings/config.h"
#include "document/documentfailure.h"
#include "treeview/hexoptionspinbox.h"
#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QTreeView>

#include <iostream>
#include <limits>
#include <string>

namespace {

const MarkupModel *markup_model(const QModelIndex &index)
{
    return qobject_cast<const MarkupModel *>(index.model());
}

bool is_position_column(int column)
{
    return column == MarkupColumn::Start || column == MarkupColumn::End;
}

// The offsets next to v, held at the ends of the 64-bit range: a markup file
// from elsewhere may hold the extreme values.
qint64 one_after(qint64 v)
{
    return v == std::numeric_limits<qint64>::max() ? v : v + 1;
}

qint64 one_before(qint64 v)
{
    return v == std::numeric_limits<qint64>::min() ? v : v - 1;
}

} // namespace

TreeViewDelegate::TreeViewDelegate(QObject *parent)
    : QItemDelegate(parent)
{
}

TreeViewDelegate::~TreeViewDelegate() = default;

void TreeViewDelegate::set_document_size(std::function<qint64()> size)
{
    m_document_size = std::move(size);
}

void TreeViewDelegate::set_reload_mask(std::function<void()> reload)
{
    m_reload_mask = std::move(reload);
}

void TreeViewDelegate::set_markup_modified(std::function<void()> modified)
{
    m_markup_modified = std::move(modified);
}

void TreeViewDelegate::set_edit_refused(std::function<bool()> refused)
{
    m_edit_refused = std::move(refused);
}

void TreeViewDelegate::set_show_message(std::function<void(const QString &)> show_message)
{
    m_show_message = std::move(show_message);
}

void TreeViewDelegate::set_commit_edit(CommitEdit commit)
{
    m_commit_edit = std::move(commit);
}

QString TreeViewDelegate::position_text(const QVariant &display)
{
    if (!HexOptionSpinBox::hex_display())
        return display.toString();
    return QLatin1String("0x") + QString::number(MarkupNode::to_offset(display), 16);
}

QString TreeViewDelegate::fitted_position_text(const QVariant &display,
                                               const QFontMetrics &metrics, int width)
{
    return metrics.elidedText(position_text(display), Qt::ElideRight, width);
}

int TreeViewDelegate::position_cell_width(qint64 value, const QFontMetrics &metrics)
{
    // The text, one character of slack for the style's cell margins.
    const QString text = position_text(QVariant(value));
    return metrics.horizontalAdvance(text) + metrics.horizontalAdvance(QLatin1Char('M'));
}

QString TreeViewDelegate::shown_description(const QString &text)
{
    if (text.size() <= max_shown_description)
        return text;
    return text.left(max_shown_description) + QChar(0x2026);
}

namespace {

// Whether a cell holds a description too long to show whole.
bool is_long_description(const QModelIndex &index)
{
    return index.column() == MarkupColumn::Description
           && index.data(Qt::DisplayRole).toString().size() > TreeViewDelegate::max_shown_description;
}

// The bounds QItemDelegate lays a single line of text out in: as wide as it needs.
QRect unbounded_line(const QRect &rect)
{
    return QRect(rect.topLeft(), QSize(std::numeric_limits<int>::max() / 256, rect.height()));
}

} // namespace

void TreeViewDelegate::paint_text(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index, const QString &text) const
{
    const QStyleOptionViewItem opt = setOptions(index, option);
    painter->save();
    painter->setClipRect(opt.rect);
    QRect check;
    QRect decoration;
    QRect display = textRectangle(painter, unbounded_line(opt.rect), opt.font, text);
    doLayout(opt, &check, &decoration, &display, false);
    drawBackground(painter, opt, index);
    drawDisplay(painter, opt, display, text);
    drawFocus(painter, opt, display);
    painter->restore();
}

QSize TreeViewDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (is_long_description(index)) {
        const QStyleOptionViewItem opt = setOptions(index, option);
        QRect check;
        QRect decoration;
        QRect display = textRectangle(nullptr, unbounded_line(opt.rect), opt.font,
                                      shown_description(index.data(Qt::DisplayRole).toString()));
        doLayout(opt, &check, &decoration, &display, true);
        return display.size();
    }
    QSize size = QItemDelegate::sizeHint(option, index);
    const int column = index.column();
    if (markup_model(index)
        && (is_position_column(column) || column == MarkupColumn::Length))
        size.setWidth(position_cell_width(MarkupNode::to_offset(index.data(Qt::DisplayRole)),
                                          option.fontMetrics));
    return size;
}

void TreeViewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const int column = index.column();
    if (is_long_description(index)) {
        paint_text(painter, option, index, shown_description(index.data(Qt::DisplayRole).toString()));
        return;
    }
    const MarkupModel *model = markup_model(index);
    if (!model || (column != MarkupColumn::Start && column != MarkupColumn::End
                   && column != MarkupColumn::Length)) {
        QItemDelegate::paint(painter, option, index);
        return;
    }
    const MarkupNode *node = model->node_from_index(index);
    painter->save();
    if (option.state & QStyle::State_Selected) {
        painter->setPen(QColor(255, 255, 255));
        painter->fillRect(option.rect, option.palette.brush(QPalette::Active, QPalette::Highlight));
    } else {
        painter->setPen(node->foreground());
        painter->fillRect(option.rect, QBrush(node->background()));
    }
    painter->drawText(option.rect, Qt::AlignLeft | Qt::TextSingleLine,
                      fitted_position_text(index.data(Qt::DisplayRole), option.fontMetrics,
                                           option.rect.width()));
    painter->restore();
}

QWidget *TreeViewDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                        const QModelIndex &index) const
{
    if (m_edit_refused && m_edit_refused())
        return nullptr;
    QWidget *editor = nullptr;
    switch (index.column()) {
    case MarkupColumn::Description: {
        auto *line = new QLineEdit(parent);
        line->setFrame(false);
        // A description has no length limit; a line edit's default one would
        // cut a long description (from a markup file) when it is committed.
        line->setMaxLength(std::numeric_limits<int>::max());
        editor = line;
        break;
    }
    case MarkupColumn::Start:
    case MarkupColumn::End: {
        auto *spin = new HexOptionSpinBox(parent);
        spin->setFrame(false);
        spin->setReadOnly(false);
        editor = spin;
        break;
    }
    case MarkupColumn::Repeat: {
        auto *combo = new QComboBox(parent);
        combo->setFrame(false);
        combo->addItem(QStringLiteral("true"));
        combo->addItem(QStringLiteral("false"));
        editor = combo;
        break;
    }
    default:
        // Length follows from Start and End and is not edited.
        return nullptr;
    }
    // Opening an editor counts as a change even when it closes unchanged.
    if (m_markup_modified)
        m_markup_modified();
    return editor;
}

QPair<qint64, qint64> TreeViewDelegate::editor_range(const QModelIndex &index) const
{
    const Bounds range = bounds(index);
    return {range.minimum, range.maximum};
}

QString TreeViewDelegate::refusal_reason(const QModelIndex &index, qint64 value) const
{
    const Bounds range = bounds(index);
    if (range.maximum < range.minimum || (value >= range.minimum && value <= range.maximum))
        return QString();
    const bool start = index.column() == MarkupColumn::Start;
    switch (value < range.minimum ? range.below : range.above) {
    case Limit::previous_sibling:
        return tr("Start must lie after the end of the markup before it");
    case Limit::parent:
        return start ? tr("Start must not be before the start of the markup it lies in")
                     : tr("End must not be after the end of the markup it lies in");
    case Limit::first_child:
        return tr("Start must not be after the start of the first markup inside it");
    case Limit::own_end:
        return tr("Start must not be after End");
    case Limit::own_start:
        return tr("End must not be before Start");
    case Limit::last_child:
        return tr("End must not be before the end of the last markup inside it");
    case Limit::next_sibling:
        return tr("End must lie before the start of the markup after it");
    case Limit::file_end:
        return start ? tr("Start lies beyond the end of the file")
                     : tr("End lies beyond the end of the file");
    case Limit::none:
        break;
    }
    return start ? tr("Start must not be negative") : tr("End must not be negative");
}

TreeViewDelegate::Bounds TreeViewDelegate::bounds(const QModelIndex &index) const
{
    const MarkupModel *model = markup_model(index);
    if (!model || !index.isValid() || !is_position_column(index.column()))
        return Bounds();
    const MarkupNode *node = model->node_from_index(index);
    const MarkupNode *parent = node->parent_node();
    const bool top_level = !parent || parent == model->root();
    const int row = node->row();
    const int siblings = parent ? parent->child_count() : 1;
    const bool leaf = node->child_count() == 0;

    // Siblings never share a byte, so a bound stops one short of a neighbour;
    // a child may share its first or last byte with its parent.
    Bounds range;
    if (index.column() == MarkupColumn::Start) {
        if (row > 0) {
            range.minimum = one_after(parent->child(row - 1)->end());
            range.below = Limit::previous_sibling;
        } else if (top_level) {
            range.minimum = 0;
        } else {
            range.minimum = parent->start();
            range.below = Limit::parent;
        }
        range.maximum = leaf ? node->end() : node->child(0)->start();
        range.above = leaf ? Limit::own_end : Limit::first_child;
    } else {
        range.minimum = leaf ? node->start() : node->child(node->child_count() - 1)->end();
        range.below = leaf ? Limit::own_start : Limit::last_child;
        if (row < siblings - 1) {
            range.maximum = one_before(parent->child(row + 1)->start());
            range.above = Limit::next_sibling;
        } else if (!top_level) {
            range.maximum = parent->end();
            range.above = Limit::parent;
        } else {
            range.maximum = std::numeric_limits<qint64>::max();
            try {
                if (m_document_size) {
                    range.maximum = one_before(m_document_size());
                    range.above = Limit::file_end;
                }
            } catch (const std::string &) {
                // No file open: nothing bounds the last markup from above.
            }
        }
    }
    const qint64 current = MarkupNode::to_offset(index.data(Qt::DisplayRole));
    range.minimum = qMin(range.minimum, current);
    range.maximum = qMax(range.maximum, current);
    return range;
}

void TreeViewDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    switch (index.column()) {
    case MarkupColumn::Description:
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setText(index.data(Qt::DisplayRole).toString());
        return;
    case MarkupColumn::Repeat:
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            combo->setCurrentIndex(index.data(Qt::DisplayRole).toString() == QLatin1String("true") ? 0 : 1);
        return;
    case MarkupColumn::Start:
    case MarkupColumn::End:
        break;
    default:
        return;
    }
    auto *spin = qobject_cast<HexOptionSpinBox *>(editor);
    if (!spin)
        return;
    // Refilling an open editor (the view does so when its cell changes) must
    // not feed the value back into the markup.
    disconnect(spin, &HexOptionSpinBox::valueChanged, this, &TreeViewDelegate::update_hexwidget);
    const QPair<qint64, qint64> range = editor_range(index);
    spin->setRange(range.first, range.second);
    // A refill of the same open editor keeps the values it opened with.
    if (m_edited_editor != editor || edited_index != index) {
        const MarkupNode *node = markup_model(index)->node_from_index(index);
        m_edited_before = {{MarkupColumn::Start, node->data(MarkupColumn::Start)},
                         {MarkupColumn::End, node->data(MarkupColumn::End)},
                         {MarkupColumn::Length, node->data(MarkupColumn::Length)}};
        m_edited_editor = editor;
        m_edited_committed = false;
    }
    spin->setValue(MarkupNode::to_offset(index.data(Qt::DisplayRole)));
    // The geometry was set before the range was known: widen to show it whole.
    if (spin->width() < spin->sizeHint().width())
        place_editor(spin, index, spin->geometry());
    edited_index = index;
    connect(spin, &HexOptionSpinBox::valueChanged, this, &TreeViewDelegate::update_hexwidget,
            Qt::UniqueConnection);
}

void TreeViewDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                    const QModelIndex &index) const
{
    if (m_edit_refused && m_edit_refused())
        return;
    const int column = index.column();
    QVariant value;
    switch (column) {
    case MarkupColumn::Description:
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            value = line->text();
        break;
    case MarkupColumn::Start:
    case MarkupColumn::End:
        // Stored as a 64-bit integer: bounds beyond 4 GiB survive the edit.
        if (auto *spin = qobject_cast<HexOptionSpinBox *>(editor)) {
            // A typed number that cannot stand is not silently dropped: the
            // last good value is committed and the user told why.
            qint64 typed = 0;
            if (spin->typed_out_of_range(&typed) && m_show_message)
                m_show_message(refusal_reason(index, typed));
            value = spin->value();
        }
        break;
    case MarkupColumn::Repeat:
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            value = combo->currentText();
        break;
    default:
        break;
    }
    if (!value.isValid())
        return;
    if (editor == m_edited_editor)
        m_edited_committed = true;
    const MarkupModel *markups = markup_model(index);
    if (!m_commit_edit || !markups) {
        model->setData(index, value, Qt::EditRole);
        return;
    }
    const MarkupNode *node = markups->node_from_index(index);
    // An editor closed unchanged is no edit (a value read from a markup file
    // is text, the editor's is not: compared as the user sees them).
    if (!is_position_column(column)) {
        if (node->data(column).toString() != value.toString())
            m_commit_edit(index, {{column, node->data(column)}}, {{column, value}});
        return;
    }
    Values before = m_edited_before;
    if (m_edited_editor != editor || edited_index != index)
        before = {{MarkupColumn::Start, node->data(MarkupColumn::Start)},
                  {MarkupColumn::End, node->data(MarkupColumn::End)},
                  {MarkupColumn::Length, node->data(MarkupColumn::Length)}};
    const qint64 bound = value.toLongLong();
    const qint64 start = column == MarkupColumn::Start ? bound : MarkupNode::to_offset(before.at(0).second);
    const qint64 end = column == MarkupColumn::End ? bound : MarkupNode::to_offset(before.at(1).second);
    const QVariant &old_bound = before.at(column == MarkupColumn::Start ? 0 : 1).second;
    if (MarkupNode::to_offset(old_bound) == bound)
        return;
    // Only the edited bound and the Length that follows from it change; the
    // other bound keeps its stored value.
    m_commit_edit(index, {before.at(column == MarkupColumn::Start ? 0 : 1), before.at(2)},
                {{column, value}, {MarkupColumn::Length, qint64(end - start + 1)}});
}

void TreeViewDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &index) const
{
    place_editor(editor, index, option.rect);
}

void TreeViewDelegate::place_editor(QWidget *editor, const QModelIndex &index, QRect rect) const
{
    // A narrow column would cut a long offset down to its last digits, and
    // an editor spread over the next column puts its arrows in the wrong
    // cell: the column widens to hold the whole editor instead.
    const int needed = qobject_cast<HexOptionSpinBox *>(editor) ? editor->sizeHint().width() : 0;
    if (rect.width() < needed) {
        QWidget *viewport = editor->parentWidget();
        if (auto *view = qobject_cast<QTreeView *>(viewport ? viewport->parentWidget() : nullptr))
            view->header()->resizeSection(index.column(),
                                          view->header()->sectionSize(index.column())
                                              + needed - rect.width());
        rect.setWidth(needed);
    }
    editor->setGeometry(rect);
}

void TreeViewDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    auto *model = const_cast<MarkupModel *>(markup_model(edited_index));
    if (editor == m_edited_editor && !m_edited_committed && model && edited_index.isValid()) {
        MarkupNode *node = model->node_from_index(edited_index);
        bool changed = false;
        for (const auto &[column, value] : std::as_const(m_edited_before))
            changed = changed || node->data(column) != value;
        if (changed) {
            model->begin_change();
            for (const auto &[column, value] : std::as_const(m_edited_before))
                node->set_data(column, value);
            model->end_change();
            if (m_reload_mask)
                m_reload_mask();
        }
    }
    if (editor == m_edited_editor)
        m_edited_editor = nullptr;
    QItemDelegate::destroyEditor(editor, index);
}

void TreeViewDelegate::update_hexwidget(qint64 value)
{
    std::cout << "updating hex widget" << std::endl;
    auto *model = const_cast<MarkupModel *>(markup_model(edited_index));
    if (!model || !edited_index.isValid() || (m_edit_refused && m_edit_refused()))
        return;
    MarkupNode *node = model->node_from_index(edited_index);
    const int column = edited_index.column();
    // Written straight into the markup, not through setData, so the view keeps
    // its editor; the bracket keeps the mask's worker off the node meanwhile.
    model->begin_change();
    node->set_data(column, value);
    if (column != MarkupColumn::Length)
        // Wraps as the loader computes it; never overflows.
        node->set_data(MarkupColumn::Length,
                       qint64(quint64(node->end()) - quint64(node->start()) + 1));
    model->end_change();
    // The Length cell shows the new value without waiting for the commit.
    if (auto *spin = qobject_cast<QWidget *>(sender())) {
        if (spin->parentWidget())
            spin->parentWidget()->update();
    }
    if (m_reload_mask)
        m_reload_mask();
}
