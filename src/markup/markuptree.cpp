#include "markup/markuptree.h"

#include "markup/markupcolumn.h"
#include "markup/markupfiledecoder.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupxmlhandler.h"

#include <QFile>
#include <QIODevice>
#include <QXmlStreamWriter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Indentation grows one space per level up to this depth and then stays put,
// so a file nesting thousands of levels does not save as gigabytes of blanks.
constexpr int max_indent = 100;

using Children = QList<MarkupNode *>;

// Keeps a change bracket open for the lifetime of the scope.
class ChangeScope
{
public:
    explicit ChangeScope(MarkupModel *model) : m_model(model) { m_model->begin_change(); }
    ~ChangeScope() { m_model->end_change(); }
    ChangeScope(const ChangeScope &) = delete;
    ChangeScope &operator=(const ChangeScope &) = delete;

private:
    MarkupModel *m_model;
};

bool children_ordered(const Children &kids)
{
    for (qsizetype i = 0; i < kids.size(); ++i) {
        const MarkupNode *c = kids.at(i);
        if (c->start() > c->end())
            return false;
        if (i > 0 && kids.at(i - 1)->end() >= c->start())
            return false;
    }
    return true;
}

// The children to search by Start, or null when they must be scanned in order.
const Children *ordered_children(const MarkupNode *node, const MarkupTree::LookupSnapshot &snapshot)
{
    if (!snapshot.unordered.contains(node))
        return &node->children();
    auto it = snapshot.sorted.constFind(node);
    return it == snapshot.sorted.cend() ? nullptr : &it.value();
}

// Index of the last child whose Start is at or before offset, or -1.
qsizetype last_starting_at_or_before(const Children &kids, qint64 offset)
{
    auto it = std::upper_bound(kids.cbegin(), kids.cend(), offset,
                               [](qint64 o, const MarkupNode *c) { return o < c->start(); });
    return (it - kids.cbegin()) - 1;
}

// The record length of a well-formed repeat markup, or 0 when the markup cannot
// repeat (End before Start, or a range too long to count).
quint64 record_length(const MarkupNode *c)
{
    if (!c->is_repeat() || c->start() > c->end())
        return 0;
    return quint64(c->end()) - quint64(c->start()) + 1;
}

// A repeat markup's records follow it: offset o (past its End) is answered as
// Start + ((o - Start) mod L) when the whole record holding o ends inside the
// parent and before the next sibling starts. Returns that record's last offset
// in *record_end, or false when o is not mapped.
bool repetition_end(const MarkupNode *c, quint64 length, qint64 o, qint64 *record_end)
{
    const quint64 d = (quint64(o) - quint64(c->start())) % length;
    const quint64 rest = length - 1 - d;
    if (rest > quint64(std::numeric_limits<qint64>::max() - o))
        return false;
    *record_end = o + qint64(rest);
    return true;
}

bool maps_into(const MarkupNode *node, bool is_root, const Children &kids, qsizetype i, qint64 o,
               qint64 *mapped)
{
    const MarkupNode *c = kids.at(i);
    const quint64 length = record_length(c);
    if (length == 0 || o <= c->end())
        return false;
    qint64 bound = 0;
    if (!repetition_end(c, length, o, &bound))
        return false;
    if (!is_root && bound > node->end())
        return false;
    if (i + 1 < kids.size() && bound >= kids.at(i + 1)->start())
        return false;
    *mapped = c->start() + qint64((quint64(o) - quint64(c->start())) % length);
    return true;
}

// Innermost visible markup under node covering o; o lies within node's range
// unless node is the root. A loop, because each step commits to one child.
// Gives up (answering null) once *stop is set; the caller checks it.
MarkupNode *lookup_from(MarkupNode *node, const MarkupNode *root, qint64 o,
                        const MarkupTree::LookupSnapshot &snapshot,
                        const std::atomic_bool *stop = nullptr)
{
    for (;;) {
        const bool is_root = node == root;
        MarkupNode *fallback = is_root ? nullptr : node;
        const Children &kids = node->children();
        if (kids.isEmpty() || !(is_root || snapshot.expanded.contains(node)))
            return fallback;

        MarkupNode *next = nullptr;
        qint64 next_o = o;
        const Children *ordered = ordered_children(node, snapshot);
        if (!ordered) {
            for (qsizetype i = 0; i < kids.size() && !next; ++i) {
                // Children in file order are scanned one by one, and a file
                // may hold millions: the worker must still see a stop soon.
                if (stop && (i & 4095) == 4095 && stop->load(std::memory_order_relaxed))
                    return nullptr;
                MarkupNode *c = kids.at(i);
                if (c->start() <= o && o <= c->end())
                    next = c;
                else if (maps_into(node, is_root, kids, i, o, &next_o))
                    next = c;
            }
        } else {
            const qsizetype j = last_starting_at_or_before(*ordered, o);
            if (j >= 0) {
                MarkupNode *c = ordered->at(j);
                if (o <= c->end() || maps_into(node, is_root, *ordered, j, o, &next_o))
                    next = c;
            }
        }
        if (!next)
            return fallback;
        node = next;
        o = next_o;
    }
}

void store(std::atomic<MarkupNode *> *out, qint64 from, qint64 to, MarkupNode *value)
{
    for (qint64 i = from; i <= to; ++i)
        out[i].store(value, std::memory_order_relaxed);
}

// Characters XML cannot carry at all (control characters other than tab,
// line feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF)
// would make the file unreadable: they are written as the replacement
// character. Everything else is escaped by QXmlStreamWriter.
QString writable_text(const QString &text)
{
    QString out = text;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || QChar::isSurrogate(u)
            || u == 0xFFFE || u == 0xFFFF)
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

QString writable_text(const QVariant &value)
{
    return writable_text(value.toString());
}

void write_node_start(QXmlStreamWriter &writer, const MarkupNode *node)
{
    writer.writeStartElement(QStringLiteral("node"));
    writer.writeAttribute(QStringLiteral("description"),
                          writable_text(node->stored_data(MarkupColumn::Description)));
    writer.writeAttribute(QStringLiteral("start"), QString::number(node->start()));
    writer.writeAttribute(QStringLiteral("end"), QString::number(node->end()));
    // A boolean reads "true" or "false"; a text (from a file or the editor)
    // is written as it is.
    writer.writeAttribute(QStringLiteral("repeat"),
                          writable_text(node->stored_data(MarkupColumn::Repeat)));
    // Only for a markup made for a typed value: files without it stay as
    // they were.
    if (!node->value_type().is_none())
        writer.writeAttribute(QStringLiteral("type"), node->value_type().to_text());
    // An invalid colour is written as black.
    const QRgb foreground = node->foreground().isValid() ? node->foreground().rgb() : 0;
    const QRgb background = node->background().isValid() ? node->background().rgb() : 0;
    writer.writeAttribute(QStringLiteral("foreground_red"), QString::number(qRed(foreground)));
    writer.writeAttribute(QStringLiteral("foreground_green"), QString::number(qGreen(foreground)));
    writer.writeAttribute(QStringLiteral("foreground_blue"), QString::number(qBlue(foreground)));
    writer.writeAttribute(QStringLiteral("background_red"), QString::number(qRed(background)));
    writer.writeAttribute(QStringLiteral("background_green"), QString::number(qGreen(background)));
    writer.writeAttribute(QStringLiteral("background_blue"), QString::number(qBlue(background)));
}

// Past max_indent the writer's own indentation (one space per level) would
// keep growing, so the line breaks there are written as text, which
// auto-formatting leaves alone.
void write_capped_indent(QXmlStreamWriter &writer, int depth)
{
    if (depth > max_indent)
        writer.writeCharacters(QLatin1Char('\n') + QString(max_indent, QLatin1Char(' ')));
}

// The markup document: the doctype line, the root element and one node
// element per markup, each on its own line indented one space per level.
// Stops early once the writer has failed (a device that takes no more).
void write_markup_document(QXmlStreamWriter &writer, const MarkupNode *root)
{
    // Written before auto-formatting is on, which would put a line break
    // before it.
    writer.writeDTD(QStringLiteral("<!DOCTYPE PQML>\n"));
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(1);
    writer.writeStartElement(QStringLiteral("pellowquarnbybook"));
    // Depth-first with an explicit stack: markup files may nest very deep.
    std::vector<std::pair<const MarkupNode *, int>> open;
    if (root)
        open.emplace_back(root, 0);
    while (!open.empty() && !writer.hasError()) {
        auto &[node, next] = open.back();
        const int depth = int(open.size());
        if (next < node->child_count()) {
            const MarkupNode *c = node->child(next++);
            write_capped_indent(writer, depth);
            write_node_start(writer, c);
            if (c->child_count() > 0)
                open.emplace_back(c, 0);
            else
                writer.writeEndElement();
            continue;
        }
        open.pop_back();
        if (!open.empty()) {
            write_capped_indent(writer, depth - 1);
            writer.writeEndElement();
        }
    }
    writer.writeEndDocument();
}

} // namespace

MarkupTree::MarkupTree(MarkupModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
}

MarkupModel *MarkupTree::model() const
{
    return m_model.data();
}

MarkupNode *MarkupTree::node_of(const QModelIndex &index) const
{
    if (!m_model || !index.isValid() || index.model() != m_model)
        return nullptr;
    return m_model->node_from_index(index);
}

MarkupNode *MarkupTree::holder_of(qint64 first, qint64 last) const
{
    MarkupNode *root = m_model->root();
    MarkupNode *node = root;
    for (;;) {
        if (node != root && first == node->start() && last == node->end())
            return nullptr;
        MarkupNode *inside = nullptr;
        for (MarkupNode *c : node->children()) {
            if (c->start() <= first && last <= c->end()) {
                inside = c;
                break;
            }
        }
        if (!inside)
            return node;
        node = inside;
    }
}

MarkupNode *MarkupTree::place_range(qint64 first, qint64 last)
{
    // Walks down to the markup that must hold the new range; only returns the
    // parent the range belongs under (the caller inserts), or null to refuse.
    exact_match_found = false;
    MarkupNode *node = holder_of(first, last);
    if (!node) {
        // A markup with exactly this range ends the whole search.
        exact_match_found = true;
        return nullptr;
    }

    for (MarkupNode *c : node->children()) {
        const qint64 w = c->start();
        const qint64 s = c->end();
        if (s < first)
            continue;
        if (w > last)
            break;
        if (w >= first && s <= last)
            continue; // adopted after insertion
        return nullptr; // partial overlap (or an enclosing child that refused)
    }
    return node;
}

bool MarkupTree::insert_range(qint64 a, qint64 b, const QString &description)
{
    return mark_range(a, b, nullptr, description) != nullptr;
}

MarkupNode *MarkupTree::mark_range(qint64 a, qint64 b, QList<int> *adopted_rows,
                                   const QString &description, const MarkupValueType &type)
{
    if (!m_model)
        return nullptr;
    const qint64 first = std::min(a, b);
    const qint64 last = std::max(a, b);
    MarkupNode *parent = place_range(first, last);
    if (!parent)
        return nullptr;

    const Children &kids = parent->children();
    int row = int(kids.size());
    for (int r = 0; r < kids.size(); ++r) {
        if (kids.at(r)->start() > last) {
            row = r;
            break;
        }
    }

    ChangeScope change(m_model);
    const QModelIndex parent_index = m_model->index_of(parent);
    m_model->insertRow(row, parent_index);
    MarkupNode *node = parent->child(row);
    node->set_value_type(type);
    m_model->setData(m_model->index(row, MarkupColumn::Description, parent_index), description);
    m_model->setData(m_model->index(row, MarkupColumn::Start, parent_index), first);
    m_model->setData(m_model->index(row, MarkupColumn::End, parent_index), last);
    m_model->setData(m_model->index(row, MarkupColumn::Length, parent_index),
                     qint64(quint64(last) - quint64(first) + 1));
    m_model->setData(m_model->index(row, MarkupColumn::Repeat, parent_index), false);

    adopt_contained(node, row, adopted_rows);
    m_model->expand_all_after_insert(node);
    return node;
}

void MarkupTree::adopt_contained(MarkupNode *node, int node_row, QList<int> *adopted_rows)
{
    if (adopted_rows)
        adopted_rows->clear();
    MarkupNode *parent = node->parent_node();
    if (!parent)
        return;
    const Children siblings = parent->children();
    std::vector<int> rows;
    for (int r = 0; r < siblings.size(); ++r) {
        MarkupNode *c = siblings.at(r);
        if (c != node && c->start() >= node->start() && c->end() <= node->end())
            rows.push_back(r);
    }
    if (rows.empty())
        return;
    // The markups taken in are one run of rows in a sorted list: announced
    // as a move, which views follow keeping what they show expanded; a
    // reset would make them lay out every markup again. Anything else (only
    // a loaded file's unsorted list) is announced by a reset.
    const bool run = rows.back() - rows.front() + 1 == int(rows.size());
    if (run)
        m_model->beginMoveRows(m_model->index_of(parent), rows.front(), rows.back(),
                               m_model->index_of(node), 0);
    else
        m_model->beginResetModel();
    Children kept;
    kept.reserve(siblings.size() - qsizetype(rows.size()));
    auto next = rows.cbegin();
    for (int r = 0; r < siblings.size(); ++r) {
        MarkupNode *c = siblings.at(r);
        if (next != rows.cend() && *next == r) {
            ++next;
            node->append_child(c);
            c->set_parent_node(node);
            // The row it had before the new markup was inserted.
            if (adopted_rows)
                adopted_rows->append(r < node_row ? r : r - 1);
        } else {
            kept.append(c);
        }
    }
    parent->clear_children();
    for (MarkupNode *c : std::as_const(kept))
        parent->append_child(c);
    if (run)
        m_model->endMoveRows();
    else
        m_model->endResetModel();
}

void MarkupTree::unmark(MarkupNode *node, const QList<int> &adopted_rows)
{
    if (!node || !node->parent_node())
        return;
    ChangeScope change(m_model);
    MarkupNode *parent = node->parent_node();
    const QModelIndex parent_index = m_model->index_of(parent);
    const Children adopted = node->children();
    const int count = int(adopted.size());
    // As mark_range announced it: the children it took in go back as one
    // run of rows, then the markup goes; otherwise by a reset.
    const bool run = adopted_rows.size() == count
                     && (count == 0 || adopted_rows.last() - adopted_rows.first() + 1 == count);
    if (!run)
        m_model->beginResetModel();
    if (run && count > 0) {
        // The row among the siblings and the markup itself, which is still
        // one of them.
        const int first = adopted_rows.first();
        const int to = first <= node->row() ? first : first + 1;
        m_model->beginMoveRows(m_model->index_of(node), 0, count - 1, parent_index, to);
        node->clear_children();
        // One pass over the siblings, not one per child put back.
        const Children before = parent->children();
        parent->clear_children();
        for (int r = 0; r <= before.size(); ++r) {
            if (r == to) {
                for (MarkupNode *c : adopted) {
                    c->set_parent_node(parent);
                    parent->append_child(c);
                }
            }
            if (r < before.size())
                parent->append_child(before.at(r));
        }
        m_model->endMoveRows();
    }
    if (run)
        m_model->beginRemoveRows(parent_index, node->row(), node->row());
    parent->remove_child(node->row());
    if (!run) {
        node->clear_children();
        // Ascending rows: each lands where it was, the earlier ones already back.
        for (int i = 0; i < count; ++i) {
            MarkupNode *c = adopted.at(i);
            c->set_parent_node(parent);
            parent->insert_child(i < adopted_rows.size() ? adopted_rows.at(i) : parent->child_count(),
                                 c);
        }
    }
    node->set_parent_node(nullptr);
    if (run)
        m_model->endRemoveRows();
    delete node;
    if (!run)
        m_model->endResetModel();
    m_model->expand_all_after_insert(nullptr);
}

bool MarkupTree::prune(const QModelIndex &index)
{
    delete take_subtree(node_of(index));
    return true;
}

MarkupNode *MarkupTree::take_subtree(MarkupNode *node)
{
    if (!node || !node->parent_node())
        return nullptr;
    ChangeScope change(m_model);
    MarkupNode *parent = node->parent_node();
    const int row = node->row();
    m_model->beginRemoveRows(m_model->index_of(parent), row, row);
    parent->remove_child(row);
    node->set_parent_node(nullptr);
    m_model->endRemoveRows();
    return node;
}

void MarkupTree::put_subtree(MarkupNode *parent, int row, MarkupNode *node)
{
    if (!parent || !node)
        return;
    ChangeScope change(m_model);
    const int at = qBound(0, row, parent->child_count());
    m_model->beginInsertRows(m_model->index_of(parent), at, at);
    node->set_parent_node(parent);
    parent->insert_child(at, node);
    m_model->endInsertRows();
    // Shown as before it was taken out, with the rest of the tree.
    m_model->expand_all();
}

bool MarkupTree::delete_markup(const QModelIndex &index)
{
    int moved = 0;
    delete lift_children(node_of(index), &moved);
    return true;
}

MarkupNode *MarkupTree::lift_children(MarkupNode *node, int *moved)
{
    *moved = 0;
    if (!node || !node->parent_node())
        return nullptr;
    ChangeScope change(m_model);
    m_model->beginResetModel();
    MarkupNode *parent = node->parent_node();
    const int row = node->row();
    const Children children = node->children();
    node->clear_children();

    const Children before = parent->children();
    parent->clear_children();
    for (int r = 0; r < before.size(); ++r) {
        if (r != row) {
            parent->append_child(before.at(r));
            continue;
        }
        for (MarkupNode *c : children) {
            c->set_parent_node(parent);
            parent->append_child(c);
        }
    }
    node->set_parent_node(nullptr);
    *moved = int(children.size());
    m_model->endResetModel();
    m_model->expand_all();
    return node;
}

void MarkupTree::lower_children(MarkupNode *parent, int row, MarkupNode *node, int moved)
{
    if (!parent || !node)
        return;
    ChangeScope change(m_model);
    m_model->beginResetModel();
    const Children before = parent->children();
    const int at = qBound(0, row, int(before.size()));
    const int last = std::min(int(before.size()), at + moved);
    parent->clear_children();
    for (int r = 0; r < at; ++r)
        parent->append_child(before.at(r));
    for (int r = at; r < last; ++r) {
        before.at(r)->set_parent_node(node);
        node->append_child(before.at(r));
    }
    node->set_parent_node(parent);
    parent->append_child(node);
    for (int r = last; r < before.size(); ++r)
        parent->append_child(before.at(r));
    m_model->endResetModel();
    m_model->expand_all();
}

void MarkupTree::clear()
{
    delete take_all();
}

MarkupNode *MarkupTree::take_all()
{
    if (!m_model)
        return nullptr;
    ChangeScope change(m_model);
    m_model->beginResetModel();
    MarkupNode *old = m_model->swap_root(nullptr);
    m_model->endResetModel();
    return old;
}

void MarkupTree::restore_all(MarkupNode *root)
{
    if (!m_model || !root)
        return;
    ChangeScope change(m_model);
    m_model->beginResetModel();
    delete m_model->swap_root(root);
    m_model->endResetModel();
    m_model->expand_all();
}

void MarkupTree::set_colours(MarkupNode *node, const QColor &foreground, const QColor &background)
{
    if (!m_model || !node || !node->parent_node())
        return;
    // No change bracket: the tree keeps its shape, the mask's entries stay
    // valid and the worker never reads colours. The views repaint on
    // dataChanged.
    node->set_foreground(foreground);
    node->set_background(background);
    const QModelIndex first = m_model->index_of(node);
    emit m_model->dataChanged(first, first.siblingAtColumn(MarkupColumn::count - 1));
}

QList<int> MarkupTree::path_of(const MarkupNode *node)
{
    QList<int> path;
    for (; node && node->parent_node(); node = node->parent_node())
        path.prepend(node->row());
    return path;
}

MarkupNode *MarkupTree::node_at_path(const QList<int> &path) const
{
    if (!m_model)
        return nullptr;
    MarkupNode *node = m_model->root();
    for (int row : path) {
        node = node->child(row);
        if (!node)
            return nullptr;
    }
    return node;
}

MarkupTree::LookupSnapshot MarkupTree::lookup_snapshot(qint64 first, qint64 last) const
{
    LookupSnapshot snapshot;
    if (!m_model)
        return snapshot;
    snapshot.root = m_model->root();
    // Only nodes a lookup of an offset in first..last can reach matter: the
    // root's children and the children of markups shown expanded, each asked
    // about the offsets that can reach it. A pass over every expanded markup
    // would cost each prune of a large expanded tree a walk of the whole tree.
    struct Pending
    {
        MarkupNode *node;
        qint64 lo;
        qint64 hi;
    };
    std::vector<Pending> pending;
    pending.push_back({ m_model->root(), first, last });
    while (!pending.empty()) {
        const Pending at = pending.back();
        pending.pop_back();
        MarkupNode *node = at.node;
        const Children &kids = node->children();
        const Children *ordered = &kids;
        if (!node->children_ordered()) {
            snapshot.unordered.insert(node);
            Children copy = kids;
            std::stable_sort(copy.begin(), copy.end(), [](const MarkupNode *a, const MarkupNode *b) {
                return a->start() < b->start();
            });
            const bool repeats = std::any_of(copy.cbegin(), copy.cend(),
                                             [](const MarkupNode *c) { return c->is_repeat(); });
            ordered = nullptr;
            if (!repeats && children_ordered(copy))
                ordered = &snapshot.sorted.insert(node, copy).value();
        }
        // Asking whether any child has children costs a walk over them; worth
        // it only before a scan of every child.
        if (!ordered && !node->has_grandchildren())
            continue;
        // The children a lookup may pick: with ordered children, those from
        // the last one starting at or before lo to the last one starting at
        // or before hi; otherwise every child is scanned.
        const Children &list = ordered ? *ordered : kids;
        qsizetype from = 0;
        qsizetype to = list.size() - 1;
        if (ordered) {
            from = std::max<qsizetype>(0, last_starting_at_or_before(list, at.lo));
            to = last_starting_at_or_before(list, at.hi);
        }
        for (qsizetype i = from; i <= to; ++i) {
            MarkupNode *c = list.at(i);
            if (c->child_count() == 0 || c->start() > at.hi)
                continue;
            // A repeat markup answers offsets past its End through its own
            // range: any of its offsets may then be asked.
            const bool maps = record_length(c) != 0 && at.hi > c->end();
            if (!maps && c->end() < at.lo)
                continue;
            if (c->is_expanded()) {
                snapshot.expanded.insert(c);
                pending.push_back({ c, maps ? c->start() : std::max(at.lo, c->start()),
                                    maps ? c->end() : std::min(at.hi, c->end()) });
            }
        }
    }
    return snapshot;
}

MarkupNode *MarkupTree::node_at(qint64 offset) const
{
    return node_at(offset, lookup_snapshot(offset, offset));
}

MarkupNode *MarkupTree::node_at(qint64 offset, const LookupSnapshot &snapshot)
{
    if (!snapshot.root)
        return nullptr;
    return lookup_from(snapshot.root, snapshot.root, offset, snapshot);
}

bool MarkupTree::fill(qint64 first, int count, std::atomic<MarkupNode *> *out,
                      const LookupSnapshot &snapshot, const std::atomic_bool *stop)
{
    if (count <= 0)
        return true;
    if (!snapshot.root || first > std::numeric_limits<qint64>::max() - (count - 1)) {
        store(out, 0, count - 1, nullptr);
        return true;
    }
    MarkupNode *root = snapshot.root;
    // Each piece asks: for every offset lo..hi inside node's range, which
    // markup answers? Pieces are disjoint, so the order of work is free, and
    // every offset is written once, by the deepest piece that covers it.
    struct Piece
    {
        MarkupNode *node;
        qint64 lo;
        qint64 hi;
        qint64 at; // index in out of lo
    };
    std::vector<Piece> pending;
    pending.push_back({ root, first, first + (count - 1), 0 });
    while (!pending.empty()) {
        if (stop && stop->load(std::memory_order_relaxed))
            return false;
        const Piece piece = pending.back();
        pending.pop_back();
        MarkupNode *node = piece.node;
        const bool is_root = node == root;
        MarkupNode *fallback = is_root ? nullptr : node;
        auto out_at = [&](qint64 offset) { return piece.at + (offset - piece.lo); };

        if (node->children().isEmpty() || !(is_root || snapshot.expanded.contains(node))) {
            store(out, piece.at, out_at(piece.hi), fallback);
            continue;
        }
        const Children *ordered = ordered_children(node, snapshot);
        if (!ordered) {
            // Each offset may scan every child: checked after each one, so
            // painting never waits on this for more than a frame.
            // Ends on piece.hi itself: it may be the largest offset there is.
            for (qint64 o = piece.lo;; ++o) {
                MarkupNode *found = lookup_from(node, root, o, snapshot, stop);
                if (stop && stop->load(std::memory_order_relaxed))
                    return false;
                out[out_at(o)].store(found, std::memory_order_relaxed);
                if (o == piece.hi)
                    break;
            }
            continue;
        }
        const Children &kids = *ordered;

        qint64 pos = piece.lo; // next offset without an answer
        bool done = false;
        for (qsizetype i = std::max<qsizetype>(0, last_starting_at_or_before(kids, piece.lo));
             i < kids.size() && !done; ++i) {
            MarkupNode *c = kids.at(i);
            if (c->start() > piece.hi)
                break;
            if (c->start() > pos) {
                store(out, out_at(pos), out_at(c->start() - 1), fallback);
                pos = c->start();
            }
            if (pos <= c->end()) {
                const qint64 seg_hi = std::min(c->end(), piece.hi);
                pending.push_back({ c, pos, seg_hi, out_at(pos) });
                if (seg_hi == piece.hi) {
                    done = true;
                    break;
                }
                pos = seg_hi + 1;
            }
            const quint64 length = record_length(c);
            if (length == 0)
                continue;
            // The run of records after a repeat markup: a record is answered
            // through the markup when it ends before the next sibling and
            // within the parent; a cut-off last record falls to the parent.
            qint64 limit = std::numeric_limits<qint64>::max();
            if (i + 1 < kids.size())
                limit = kids.at(i + 1)->start() - 1;
            if (!is_root)
                limit = std::min(limit, node->end());
            const qint64 region_hi = std::min(piece.hi, limit);
            qint64 o = pos;
            while (o <= region_hi) {
                const quint64 d = (quint64(o) - quint64(c->start())) % length;
                qint64 record_end = 0;
                const bool whole = repetition_end(c, length, o, &record_end)
                                   && record_end <= limit;
                const qint64 seg_end = whole ? std::min(record_end, region_hi) : region_hi;
                if (whole) {
                    const qint64 mapped = c->start() + qint64(d);
                    pending.push_back({ c, mapped, mapped + (seg_end - o), out_at(o) });
                } else {
                    store(out, out_at(o), out_at(seg_end), fallback);
                }
                if (seg_end == piece.hi) {
                    done = true;
                    break;
                }
                o = seg_end + 1;
            }
            pos = std::max(pos, o);
        }
        if (!done && pos <= piece.hi)
            store(out, out_at(pos), out_at(piece.hi), fallback);
    }
    return true;
}

QString MarkupTree::to_xml() const
{
    QString text;
    QXmlStreamWriter writer(&text);
    write_markup_document(writer, m_model ? m_model->root() : nullptr);
    return text;
}

QByteArray MarkupTree::to_markup_file() const
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    write_markup_document(writer, m_model ? m_model->root() : nullptr);
    return bytes;
}

bool MarkupTree::write_markup_file(QIODevice &device) const
{
    QXmlStreamWriter writer(&device);
    write_markup_document(writer, m_model ? m_model->root() : nullptr);
    return !writer.hasError();
}

void MarkupTree::take_loaded(MarkupNode *loaded, const MarkupXMLHandler &handler, bool ok)
{
    {
        ChangeScope change(m_model);
        m_model->beginResetModel();
        MarkupNode *old = m_model->swap_root(nullptr);
        MarkupNode *root = m_model->root();
        for (MarkupNode *node : loaded->children()) {
            node->set_parent_node(root);
            root->append_child(node);
        }
        loaded->clear_children();
        m_model->endResetModel();
        delete old;
        // Whatever was read shows expanded, inside the change so that the
        // colour mask's refill already sees it.
        m_model->expand_all();
    }
    if (ok) {
        emit status_message(tr("Markup loaded successfully"));
        return;
    }
    // How much of the file the tree holds, and where to look for the fault.
    // (One pass over the placeholders: the reason may hold a '%'.)
    const qint64 read = handler.nodes_read();
    const QString detail =
        read == 1 ? tr("Read %1 markup, stopped at line %2, column %3: %4")
                  : tr("Read %1 markups, stopped at line %2, column %3: %4");
    emit status_message(tr("Markup load failed"),
                        detail.arg(QString::number(read), QString::number(handler.error_line()),
                                   QString::number(handler.error_column()),
                                   handler.error_string()));
}

bool MarkupTree::load_xml(const QString &text)
{
    if (!m_model)
        return false;
    MarkupNode loaded(QVariant(), nullptr);
    MarkupXMLHandler handler(&loaded);
    const bool ok = handler.parse(text);
    take_loaded(&loaded, handler, ok);
    return ok;
}

MarkupTree::LoadResult MarkupTree::load_markup_file(QIODevice &device, qint64 size,
                                                    const LoadProgress &progress)
{
    if (!m_model)
        return LoadResult::failed;
    // Judged by the first piece, which the reading then starts with again.
    const qint64 needed = MarkupXMLHandler::memory_needed(device.peek(qint64(1) << 20), size);
    const qint64 available = available_memory();
    if (available >= 0 && needed > available) {
        const qint64 mib = qint64(1) << 20;
        emit status_message(tr("Markup file too large for the memory available"),
                            tr("Loading it needs about %1 MiB, %2 MiB are available")
                                .arg(QString::number((needed + mib - 1) / mib),
                                     QString::number(available / mib)));
        return LoadResult::too_large;
    }
    MarkupNode loaded(QVariant(), nullptr);
    MarkupXMLHandler handler(&loaded);
    const LoadResult result = handler.parse(device, size, progress);
    if (result == LoadResult::cancelled) {
        emit status_message(tr("Markup load cancelled"));
        return result;
    }
    take_loaded(&loaded, handler, result == LoadResult::loaded);
    return result;
}

qint64 MarkupTree::available_memory()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        // "MemAvailable:   23352512 kB"
        for (QByteArray line = meminfo.readLine(); !line.isEmpty(); line = meminfo.readLine()) {
            if (!line.startsWith("MemAvailable:"))
                continue;
            bool ok = false;
            const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
            if (ok)
                return kib * 1024;
        }
    }
    // Without /proc: the free pages, which leaves out the reclaimable cache.
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long page_size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? qint64(pages) * page_size : -1;
}

bool MarkupTree::open_markup_file(const QString &path, QFile *file, qint64 *size)
{
    // Opened without waiting (opening a FIFO for reading blocks until a
    // writer comes) and judged by the descriptor itself, so the file cannot
    // be swapped between the check and the read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > max_markup_file_size
        || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // What the file held when it was opened; bytes appended meanwhile are not
    // read, so a file that keeps growing cannot outrun the limit.
    *size = qint64(info.st_size);
    return true;
}

bool MarkupTree::read_markup_file(const QString &path, QByteArray *bytes)
{
    bytes->clear();
    QFile file;
    qint64 size = 0;
    if (!open_markup_file(path, &file, &size))
        return false;
    QByteArray data = file.read(size);
    if (file.error() != QFileDevice::NoError)
        return false;
    *bytes = std::move(data);
    return true;
}

QByteArray MarkupTree::encode_markup_file(const QString &xml)
{
    return xml.toUtf8();
}

QString MarkupTree::decode_markup_file(const QByteArray &bytes)
{
    MarkupFileDecoder decoder(MarkupFileDecoder::encoding_of(bytes));
    const QString text = decoder.decode(bytes, true);
    if (!decoder.has_error())
        return text;
    // Not UTF-8: a legacy 8-bit file.
    return MarkupFileDecoder(MarkupFileDecoder::Encoding::windows_1252).decode(bytes, true);
}
