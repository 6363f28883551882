#include "markup/markupmodel.h"

#include "markup/markupcolumn.h"
#include "markup/markupnode.h"

#include <cstdio>

namespace {

MarkupNode *make_root()
{
    auto *root = new MarkupNode(QStringLiteral("Description"), nullptr);
    root->set_data(MarkupColumn::Start, QStringLiteral("Start"));
    root->set_data(MarkupColumn::End, QStringLiteral("End"));
    root->set_data(MarkupColumn::Length, QStringLiteral("Length"));
    root->set_data(MarkupColumn::Repeat, QStringLiteral("Repeat"));
    return root;
}

// An index carries its node's address divided by 16, not the address. Qt
// keys its table of persistent indexes (one per expanded row of a tree view)
// by row times 16 plus column plus internal id, unmixed, and probes it
// linearly. With the address itself the keys of rows next to each other lie
// hundreds of buckets apart, so a layout of a large expanded tree reads the
// table in random order once it outgrows the cache, and every key is a
// multiple of 16, so a sixteenth of the buckets take all the keys. Divided,
// neighbouring rows land a few dozen buckets apart and keys use every bucket.
// Nodes come from operator new, whose alignment leaves the low four bits free.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16, "node ids drop the low four address bits");

// A top-level markup's id is instead the top bit, above any address divided
// by 16, plus its row. The row identifies a top-level markup by itself (the
// node is the root's child at that row), and Qt asks index() again for every
// persistent index a row change moves, so the id is never older than the row.
// Neighbouring top-level rows then get keys 17 apart whatever the heap looks
// like: Qt's tables of persistent indexes and of expanded rows are read in
// order and use every bucket, and a removal, which makes Qt ask the parent of
// every persistent index, learns that a markup is top-level without reading
// its node.
constexpr quintptr top_level_bit = quintptr(1) << (sizeof(quintptr) * 8 - 1);

quintptr top_level_id(int row)
{
    return top_level_bit | quintptr(row);
}

// The id of node, listed at row under the root (top_level) or a markup.
quintptr id_of(const MarkupNode *node, int row, bool top_level)
{
    if (top_level)
        return top_level_id(row);
    Q_ASSERT((quintptr(node) & 15) == 0);
    return quintptr(node) >> 4;
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
    const quintptr id = index.internalId();
    if (id & top_level_bit) {
        Q_ASSERT(id == top_level_id(index.row()) && m_root->child(index.row()));
        return m_root->child(index.row());
    }
    MarkupNode *node = reinterpret_cast<MarkupNode *>(id << 4);
    Q_ASSERT(node->parent_node() != m_root);
    return node;
}

QModelIndex MarkupModel::index_of(MarkupNode *node) const
{
    if (!node || node == m_root || !node->parent_node())
        return QModelIndex();
    const int row = node->row();
    return createIndex(row, 0, id_of(node, row, node->parent_node() == m_root));
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
    // A view asks for the node's data or children next, after a few lookups
    // of its own; fetching the node now lets those misses overlap.
    __builtin_prefetch(child);
    return createIndex(row, column, id_of(child, row, parent_node == m_root));
}

QModelIndex MarkupModel::parent(const QModelIndex &index) const
{
    if (!index.isValid() || (index.internalId() & top_level_bit))
        return QModelIndex();
    return index_of(node_from_index(index)->parent_node());
}

int MarkupModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    MarkupNode *node = node_from_index(parent);
    return node ? node->child_count() : 0;
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

void MarkupModel::begin_change()
{
    if (m_change_depth++ == 0)
        emit about_to_change();
}

void MarkupModel::end_change()
{
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
    MarkupNode *old = m_root;
    m_root = root ? root : make_root();
    return old;
}
