#pragma once

#include "markup/markupcolumn.h"
#include "markup/markupdoctable.h"
#include "markup/markupvaluetype.h"

#include "markup/markupcolourtable.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QVariant>

#include <array>
#include <memory>

// One markup: five column values, two colours, a non-owning parent pointer and
// an ordered list of owned children.
//
// The column values are variants because their writers store different types
// (64-bit integers when marking, texts when loading XML, 32-bit integers and
// "true"/"false" texts from the tree view's editor). Readers convert:
// start()/end()/length() read the offsets as signed 64-bit integers (a text
// that is not a number reads as 0) and is_repeat() is on for a boolean true or
// the exact text "true".
//
// A template or a markup file makes millions of markups, so a node keeps its
// values compactly: the description as a text, the offsets and Length as
// integers, Repeat as a flag, and with each the form it was given in (the
// plain type, or a text that the number or flag gives back exactly, as the
// XML loader stores them). Only a value in any other form (an editor's
// 32-bit integer, a text that is not the number's own spelling) is kept as
// the variant given, so data() always returns exactly what set_data()
// stored. Colours are numbers in MarkupColourTable.
//
// The converted Start, End and Repeat are therefore at hand without
// converting variants. Lookups may run on the colour mask's worker thread;
// see MarkupTree for how changes are kept apart from them.
class MarkupNode
{
public:
    // Start = -1, End = -2, Length = 0, Repeat = false, black on white.
    MarkupNode(const QVariant &description, MarkupNode *parent);
    // Copies the five values and both colours, not the children; the copy has
    // no parent until the caller sets one.
    MarkupNode(const MarkupNode &other);
    MarkupNode &operator=(const MarkupNode &) = delete;
    // Deletes the whole subtree, without recursion (files may nest very deep).
    ~MarkupNode();

    int child_count() const { return int(m_children.size()); }
    // Null when row is out of range.
    MarkupNode *child(int row) const;
    const QList<MarkupNode *> &children() const { return m_children; }
    // Index among the parent's children; 0 for the root, -1 for a node not
    // (yet) in its parent's list. Constant time: the row is stored and kept
    // up to date by the child-list operations below, since the model asks for
    // it once per parent() call and views call that for every row they touch.
    int row() const;

    MarkupNode *parent_node() const { return m_parent; }
    void set_parent_node(MarkupNode *node) { m_parent = node; }

    // A copy of the value; an empty variant for a column out of range.
    QVariant data(int column) const;
    // The same as data(), for readers that only look (saving a large tree).
    QVariant stored_data(int column) const { return data(column); }
    void set_data(int column, const QVariant &value);
    // Start and End as 64-bit integers and Length = End - Start + 1, as
    // marking stores them; for makers of many markups at once.
    void set_range(qint64 start, qint64 end);
    // Whether every column holds its plain type (column 0 a text, the
    // offsets and Length 64-bit integers, Repeat a boolean), so that
    // description(), start(), end(), length() and is_repeat() say it all.
    bool values_plain() const;
    // Column 0 as a text, without a variant (its text form when a writer
    // stored something else).
    QString description() const;

    QColor foreground() const { return MarkupColourTable::colour(m_foreground); }
    void set_foreground(const QColor &color) { m_foreground = MarkupColourTable::intern(color); }
    QColor background() const { return MarkupColourTable::colour(m_background); }
    void set_background(const QColor &color) { m_background = MarkupColourTable::intern(color); }

    // Whether the markup is shown expanded (its children visible). Part of
    // the data so that lookups need no view; MarkupModel keeps it. New
    // markups start collapsed.
    bool is_expanded() const { return m_expanded; }
    void set_expanded(bool expanded) { m_expanded = expanded; }

    // The value the markup was made for (none for most); not a column:
    // neither lookups nor the views read it.
    const MarkupValueType &value_type() const { return m_value_type; }
    void set_value_type(const MarkupValueType &type) { m_value_type = type; }

    // What the markup documents (a template field's `doc:`), shown as its
    // tool tip; empty for most. Not a column, not saved with the markups.
    QString doc() const { return MarkupDocTable::text(m_doc); }
    void set_doc(const QString &doc) { m_doc = MarkupDocTable::intern(doc); }

    qint64 start() const { return m_start; }
    qint64 end() const { return m_end; }
    // Length column converted to a signed 64-bit integer (not recomputed).
    qint64 length() const { return m_length; }
    bool is_repeat() const { return m_repeat; }

    // Inserts at row (clamped to the list); appended when the list is empty.
    // Renumbers the children after it (linear in those).
    void insert_child(int row, MarkupNode *node);
    void append_child(MarkupNode *node);
    // Takes the entry out of the list without deleting it; ignores a bad row.
    // Renumbers the children after it.
    void remove_child(int row);
    // Empties the list without deleting the children.
    void clear_children();

    // Whether the children are sorted by Start, each with Start <= End, and
    // disjoint; and whether any child has children of its own. Each is cached
    // and recomputed on first use after a change that can alter it; taking a
    // child out of an ordered list keeps it ordered, so a removal from a
    // large list costs no walk over it. GUI thread only (the caches are
    // written on first use).
    bool children_ordered() const;
    bool has_grandchildren() const;

    // Conversions every reader uses.
    static qint64 to_offset(const QVariant &value);
    static bool to_repeat(const QVariant &value);

private:
    // What a tree view reads for every row it lays out (the child count, the
    // first child, the parent and the row) comes first, so a layout of a
    // large expanded tree touches one cache line of most nodes; the first
    // child is kept beside the list because the view asks for row 0 of
    // every expanded markup, and most markups have few children.
    QList<MarkupNode *> m_children;
    MarkupNode *m_first_child = nullptr;
    MarkupNode *m_parent = nullptr;
    // Index in m_parent->m_children when the node is listed there; checked
    // before use, so a node taken out of one list and not yet added to
    // another never reports a wrong row.
    int m_row = -1;
    mutable bool m_order_dirty = true;
    mutable bool m_grandchildren_dirty = true;
    mutable bool m_children_ordered = true;
    mutable bool m_has_grandchildren = false;
    bool m_repeat = false;
    bool m_expanded = false;
    // In MarkupDocTable; fits beside the flags, so a markup grows by nothing.
    quint32 m_doc = 0;
    qint64 m_start = -1;
    qint64 m_end = -2;
    qint64 m_length = 0;
    QString m_description;
    quint32 m_foreground = MarkupColourTable::black;
    quint32 m_background = MarkupColourTable::white;
    // How each column's value was given; see the class comment.
    enum class Form : quint8 { plain, text, stored };
    std::array<Form, MarkupColumn::count> m_forms {};
    MarkupValueType m_value_type;
    // The values given in no compact form, indexed by MarkupColumn; only
    // allocated for a node that has one.
    std::unique_ptr<std::array<QVariant, MarkupColumn::count>> column_values;

    // The compact value of a column, as data() returns it in that form.
    QVariant compact_data(int column) const;

    void renumber_from(int row);
    void children_changed();
    void first_child_changed() { m_first_child = m_children.isEmpty() ? nullptr : m_children.first(); }
};
