#pragma once

#include <QAbstractItemModel>

class MarkupNode;

// Item model over the markup tree: one row per markup, five columns, each row
// in the markup's own colours. Owns the root node, whose five values are the
// column titles.
//
// Change bracket: every change of the tree's shape or of a column value runs
// between begin_change() and end_change() (nestable). The outermost
// begin_change() emits about_to_change() before anything is touched, and the
// outermost end_change() emits change_finished() once the tree is consistent
// again. The colour mask connects to both: it stops its worker and blanks its
// entries before the change, and refills after it, so its worker never reads a
// node that is being changed or deleted. insertRow(), setData() and every
// MarkupTree operation bracket themselves, so callers need do nothing. Code that
// changes a node's column values directly (MarkupNode::set_data) must either
// go through setData() or bracket the write itself; colours may be written
// directly, the worker never reads them.
class MarkupModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit MarkupModel(QObject *parent = nullptr);
    ~MarkupModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // Whether the markup has children, answered for the children of a
    // markup without grandchildren (see has_grandchildren) without visiting
    // each one: a view laying out a large list asks it of every row.
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // DisplayRole: the stored value unchanged; ForegroundRole/BackgroundRole:
    // the markup's colours in every column; every other role: empty.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // EditRole on a valid index only: stores the value unconverted, emits
    // dataChanged for the cell and returns true.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Markups are never removed through the model's row removal: refuses.
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Inserts a new node "newnode" as child row of parent (appended when the
    // parent has no children; row clamped otherwise). Always true.
    bool insertRow(int row, const QModelIndex &parent = QModelIndex());
    // Refuses, like removeRows.
    bool removeRow(int row, const QModelIndex &parent = QModelIndex());

    MarkupNode *root() const { return m_root; }
    // The node an index refers to (its internal pointer); the root for the
    // invalid index.
    MarkupNode *node_from_index(const QModelIndex &index) const;
    // Column-0 index of a node; invalid for the root or null. Constant time:
    // the node keeps its row.
    QModelIndex index_of(MarkupNode *node) const;

    // Which markups are shown expanded is part of the data: lookups and the
    // colour mask's snapshots read it here, and a tree view mirrors it (see
    // HexTreeView). GUI thread only; a worker reads a snapshot instead.
    // The invalid index (the root) always counts as expanded.
    bool is_expanded(const QModelIndex &index) const;
    // Stores the flag of the markup at index (any column) and emits
    // expanded_changed for its column-0 index when the flag changes.
    void set_expanded(const QModelIndex &index, bool expanded);
    // Expands every markup and emits all_expanded(), also when every one was
    // expanded already (a view that was reset shows it all again). True when
    // a markup was collapsed before, so lookups now reach further.
    bool expand_all();
    // The same after `inserted` (null for none) went in or markups moved,
    // announced row by row rather than by a reset. Views are told by
    // shown_opened() of the markups that now show children (the new one
    // when it took some in, its parent when it is the parent's first, and
    // any the user had collapsed), not by all_expanded(), unless the model
    // was reset since the last expand_all. While nothing has been collapsed
    // since, only the new markup needs opening: a walk over every markup on
    // each mark would make marking n markups one by one take n * n steps.
    bool expand_all_after_insert(MarkupNode *inserted);

    void begin_change();
    void end_change();
    bool is_changing() const { return m_change_depth > 0; }

signals:
    void about_to_change();
    void change_finished();
    void expanded_changed(const QModelIndex &index, bool expanded);
    void all_expanded();
    // A markup marked expanded now has children to show; a view shows it so
    // without a signal of its own, as for all_expanded().
    void shown_opened(const QModelIndex &index);

private:
    friend class MarkupTree;
    friend class MarkupXMLHandler;

    // Deletes every markup and makes a fresh root; the caller resets the model.
    void replace_root();
    // Puts root (a fresh empty one when null) in place and hands back the old
    // root with every markup under it; the caller resets the model.
    MarkupNode *swap_root(MarkupNode *root);

    MarkupNode *m_root = nullptr;
    int m_change_depth = 0;
    // Every markup is expanded, as the last expand_all left them.
    bool m_all_expanded = false;
    // No reset since the last all_expanded(): views still show what they
    // were told.
    bool m_all_shown = false;
    // The markup whose children index() handed out last, and whether none
    // of them has children; filled only outside a change and forgotten when
    // one begins or ends, so it never outlives the markup.
    mutable const MarkupNode *m_listed = nullptr;
    mutable bool m_listed_leaves = false;
};
