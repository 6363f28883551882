#include "markup/markupmodel.h"

#include "markup/markupcolumn.h"
#include "markup/markupnode.h"

#include <cstdio>
#include <vector>

namespace {

MarkupNode *make_root()
{
    // The root's columns are the header titles the views show.
    auto *root = new MarkupNode(MarkupModel::tr("Description"), nullptr);
    root->set_data(MarkupColumn::Start, MarkupModel::tr("Start"));
    root->set_data(MarkupColumn::End, MarkupModel::tr("End"));
    root->set_data(MarkupColumn::Length, MarkupModel::tr("Length"));
    root->set_data(MarkupColumn::Repeat, MarkupModel::tr("Repeat"));
    return root;
}

void diagnostic(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

MarkupModel::MarkupModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(make_root())
{
    // A view forgets what it showed expanded on a reset.
    connect(this, &QAbstractItemModel::modelReset, this, [this] { m_all_shown = false; });
}

MarkupModel::~MarkupModel()
{
    // Lets a colour mask that outlives the model stop its worker first.
    begin_change();
    delete m_root;
    m_root = nullptr;
}

MarkupNode *MarkupModel::node_from_index(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_root;
    return static_cast<MarkupNode *>(index.internalPointer());
}

QModelIndex MarkupModel::index_of(MarkupNode *node) const
{
    if (!node || node == m_root || !node->parent_node())
        return QModelIndex();
    return createIndex(node->row(), 0, node);
}

QModelIndex MarkupModel::index(int row, int column, const QModelIndex &parent) const
{
    // Only column 0 carries children, as Qt's views and model contract expect.
    if (parent.isValid() && parent.column() != 0)
        return QModelIndex();
    MarkupNode *parent_node = node_from_index(parent);
    MarkupNode *child = parent_node ? parent_node->child(row) : nullptr;
    if (!child)
        return QModelIndex();
    // A view asks for the rows of one markup after the other, then whether
    // each has children.
    if (parent_node != m_listed && !is_changing()) {
        m_listed = parent_node;
        m_listed_leaves = !parent_node->has_grandchildren();
    }
    return createIndex(row, column, child);
}

QModelIndex MarkupModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return QModelIndex();
    // The node keeps its own row, so this needs no search among siblings.
    return index_of(node_from_index(index)->parent_node());
}

int MarkupModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    MarkupNode *node = node_from_index(parent);
    return node ? node->child_count() : 0;
}

bool MarkupModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const MarkupNode *node = node_from_index(parent);
    if (m_listed && m_listed_leaves && !is_changing() && parent.isValid()
        && m_listed->child(parent.row()) == node)
        return false;
    return node && node->child_count() > 0;
}

int MarkupModel::columnCount(const QModelIndex &) const
{
    return MarkupColumn::count;
}

QVariant MarkupModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const MarkupNode *node = node_from_index(index);
    switch (role) {
    case Qt::ForegroundRole:
        return node->foreground();
    case Qt::BackgroundRole:
        return node->background();
    case Qt::DisplayRole:
        return node->data(index.column());
    default:
        return QVariant();
    }
}

bool MarkupModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid())
        return false;
    begin_change();
    node_from_index(index)->set_data(index.column(), value);
    end_change();
    emit dataChanged(index, index);
    return true;
}

QVariant MarkupModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_root->data(section);
    return QVariant();
}

bool MarkupModel::removeRows(int, int, const QModelIndex &)
{
    diagnostic("remove rows should not be called");
    return false;
}

Qt::ItemFlags MarkupModel::flags(const QModelIndex &index) const
{
    // The invalid index stands for the hidden root: Qt's model contract wants
    // no flags there (the views never show or select it).
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
}

bool MarkupModel::insertRow(int row, const QModelIndex &parent)
{
    MarkupNode *parent_node = node_from_index(parent);
    // Announce the row where it really lands, so views stay consistent.
    const int count = parent_node->child_count();
    const int at = count == 0 ? 0 : qBound(0, row, count);
    begin_change();
    beginInsertRows(parent, at, at);
    parent_node->insert_child(at, new MarkupNode(QStringLiteral("newnode"), parent_node));
    endInsertRows();
    end_change();
    return true;
}

bool MarkupModel::removeRow(int, const QModelIndex &)
{
    diagnostic("remove row should not be called");
    return false;
}

bool MarkupModel::is_expanded(const QModelIndex &index) const
{
    return !index.isValid() || node_from_index(index)->is_expanded();
}

void MarkupModel::set_expanded(const QModelIndex &index, bool expanded)
{
    if (!index.isValid())
        return;
    MarkupNode *node = node_from_index(index);
    if (node->is_expanded() == expanded)
        return;
    if (!expanded)
        m_all_expanded = false;
    node->set_expanded(expanded);
    emit expanded_changed(index_of(node), expanded);
}

bool MarkupModel::expand_all()
{
    bool opened = false;
    // Without recursion: files may nest very deep.
    std::vector<MarkupNode *> pending(m_root->children().cbegin(), m_root->children().cend());
    while (!pending.empty()) {
        MarkupNode *node = pending.back();
        pending.pop_back();
        opened = opened || !node->is_expanded();
        node->set_expanded(true);
        pending.insert(pending.end(), node->children().cbegin(), node->children().cend());
    }
    m_all_expanded = true;
    m_all_shown = true;
    emit all_expanded();
    return opened;
}

bool MarkupModel::expand_all_after_insert(MarkupNode *inserted)
{
    if (!m_all_shown)
        return expand_all();
    // Views still show what they were told: they hear only of the markups
    // that now show children, not of every markup again, which would make
    // them walk and lay out the whole tree.
    bool opened = false;
    std::vector<MarkupNode *> shown;
    const auto open = [&](MarkupNode *node) {
        if (node->is_expanded())
            return;
        opened = true;
        node->set_expanded(true);
        // A view stores only markups with children as expanded.
        if (node->child_count() > 0)
            shown.push_back(node);
    };
    if (!m_all_expanded) {
        // What the user collapsed since; without recursion.
        std::vector<MarkupNode *> pending(m_root->children().cbegin(), m_root->children().cend());
        while (!pending.empty()) {
            MarkupNode *node = pending.back();
            pending.pop_back();
            open(node);
            pending.insert(pending.end(), node->children().cbegin(), node->children().cend());
        }
        m_all_expanded = true;
    } else if (inserted) {
        open(inserted);
    }
    // A parent that had no children had nothing to show expanded.
    MarkupNode *parent = inserted ? inserted->parent_node() : nullptr;
    if (parent && parent != m_root && parent->child_count() == 1)
        shown.push_back(parent);
    for (MarkupNode *node : shown)
        emit shown_opened(index_of(node));
    return opened;
}

void MarkupModel::begin_change()
{
    m_listed = nullptr;
    if (m_change_depth++ == 0)
        emit about_to_change();
}

void MarkupModel::end_change()
{
    m_listed = nullptr;
    if (m_change_depth == 0)
        return;
    if (--m_change_depth == 0)
        emit change_finished();
}

void MarkupModel::replace_root()
{
    delete swap_root(nullptr);
}

MarkupNode *MarkupModel::swap_root(MarkupNode *root)
{
    m_listed = nullptr;
    MarkupNode *old = m_root;
    m_root = root ? root : make_root();
    // The new markups bring their own flags.
    m_all_expanded = false;
    return old;
}
