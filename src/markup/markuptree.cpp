#include "markup/markuptree.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupxmlhandler.h"

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
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

bool needs_escaping(char16_t u)
{
    return u < 0x20 || u == '&' || u == '<' || u == '"' || (u >= 0xD800 && u <= 0xDFFF)
           || u == 0xFFFE || u == 0xFFFF;
}

void append_attribute_text(QString &out, const QString &value)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(value.constData());
    const qsizetype n = value.size();
    qsizetype plain = 0;
    while (plain < n && !needs_escaping(p[plain]))
        ++plain;
    out.append(QStringView(p, plain));
    for (qsizetype i = plain; i < n; ++i) {
        const char16_t u = p[i];
        switch (u) {
        case '&': out += QLatin1String("&amp;"); continue;
        case '<': out += QLatin1String("&lt;"); continue;
        case '"': out += QLatin1String("&quot;"); continue;
        case '\n': out += QLatin1String("&#xa;"); continue;
        case '\r': out += QLatin1String("&#xd;"); continue;
        case '\t': out += QLatin1String("&#x9;"); continue;
        default: break;
        }
        // Characters XML cannot carry at all would make the file unreadable:
        // write the replacement character instead.
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            out += QChar(u);
            out += QChar(p[++i]);
        } else if (u < 0x20 || QChar::isSurrogate(u) || u == 0xFFFE || u == 0xFFFF) {
            out += QChar(QChar::ReplacementCharacter);
        } else {
            out += QChar(u);
        }
    }
}

// The bytes of a markup file, written through a pointer into room asked for
// beforehand: no per-piece append and no zero-filling. Either the buffer
// becomes the result without a copy, or, with a device, it is written out
// whenever it fills and reused, so a large file never needs a buffer (and
// fresh pages) of its whole size.
class ByteSink
{
public:
    explicit ByteSink(qsizetype expected, QIODevice *device = nullptr)
        : m_device(device)
    {
        m_buffer.resize(device ? block : std::max<qsizetype>(expected, 4096));
        m_begin = m_buffer.data();
        m_next = m_begin;
        m_end = m_begin + m_buffer.size();
    }

    // Room for at least `n` bytes at the end of what was written.
    char *room(qsizetype n)
    {
        if (Q_UNLIKELY(m_end - m_next < n))
            make_room(n);
        return m_next;
    }
    // Everything up to `end` (inside the last room) is written.
    void commit(char *end) { m_next = end; }
    QByteArray take()
    {
        m_buffer.resize(m_next - m_begin);
        return std::move(m_buffer);
    }
    // With a device: writes what is left; false when any write fell short.
    bool finish()
    {
        flush();
        return m_ok;
    }

private:
    // Each write into a file costs the file system a fixed amount besides the
    // copy; a megabyte per write keeps that small next to the text.
    static constexpr qsizetype block = 1024 * 1024;

    void make_room(qsizetype n)
    {
        if (m_device)
            flush();
        const qsizetype used = m_next - m_begin;
        if (m_end - m_next < n) {
            m_buffer.resize(std::max(m_buffer.size() * 2, used + n));
            m_begin = m_buffer.data();
            m_end = m_begin + m_buffer.size();
        }
        m_next = m_begin + used;
    }

    void flush()
    {
        const qsizetype used = m_next - m_begin;
        if (m_ok && used > 0 && m_device->write(m_begin, used) != used)
            m_ok = false;
        m_next = m_begin;
    }

    QIODevice *m_device;
    QByteArray m_buffer;
    char *m_begin = nullptr;
    char *m_next = nullptr;
    char *m_end = nullptr;
    bool m_ok = true;
};

template <size_t N>
char *put(char *p, const char (&text)[N])
{
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

constexpr qsizetype number_room = 20;

// "00" to "99", two digits each.
struct DigitPairs
{
    char text[200];
    constexpr DigitPairs() : text()
    {
        for (int v = 0; v < 100; ++v) {
            text[2 * v] = char('0' + v / 10);
            text[2 * v + 1] = char('0' + v % 10);
        }
    }
};
constexpr DigitPairs digit_pairs;

char *put_number(char *p, qint64 value)
{
    if (value < 0)
        return std::to_chars(p, p + number_room, value).ptr;
    // Two digits at a time from the right, then moved into place.
    char digits[number_room];
    char *d = digits + number_room;
    quint64 v = quint64(value);
    while (v >= 100) {
        const unsigned pair = unsigned(v % 100);
        v /= 100;
        d -= 2;
        std::memcpy(d, digit_pairs.text + 2 * pair, 2);
    }
    if (v >= 10) {
        d -= 2;
        std::memcpy(d, digit_pairs.text + 2 * v, 2);
    } else {
        *--d = char('0' + v);
    }
    const size_t n = size_t(digits + number_room - d);
    std::memcpy(p, d, n);
    return p + n;
}

// The decimal texts of 0..255, four bytes each with the length last.
struct ComponentTexts
{
    char text[256][4];
    constexpr ComponentTexts() : text()
    {
        for (int v = 0; v < 256; ++v) {
            int n = 0;
            if (v >= 100)
                text[v][n++] = char('0' + v / 100);
            if (v >= 10)
                text[v][n++] = char('0' + v / 10 % 10);
            text[v][n++] = char('0' + v % 10);
            text[v][3] = char(n);
        }
    }
};
constexpr ComponentTexts component_texts;

// A colour component, 0..255 (QColor keeps its components in that range).
char *put_component(char *p, int value)
{
    const char *t = component_texts.text[value & 0xFF];
    std::memcpy(p, t, 3);
    return p + t[3];
}

void append(ByteSink &out, const char *text, qsizetype n)
{
    char *p = out.room(n);
    std::memcpy(p, text, size_t(n));
    out.commit(p + n);
}

// Plain ASCII that needs no escaping in an attribute: its own UTF-8.
struct PlainAscii
{
    bool table[128];
    constexpr PlainAscii() : table()
    {
        for (int c = 0x20; c < 0x80; ++c)
            table[c] = c != '&' && c != '<' && c != '"';
    }
};
constexpr PlainAscii plain_ascii;

void append_attribute_utf8(ByteSink &out, const QString &value)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(value.constData());
    const qsizetype n = value.size();
    // Nearly every description is plain ASCII: copied unit by unit while it
    // is checked, without a converted copy; anything else is converted.
    char *d = out.room(n);
    qsizetype i = 0;
    while (i < n && p[i] < 0x80 && plain_ascii.table[p[i]]) {
        d[i] = char(p[i]);
        ++i;
    }
    if (i == n) {
        out.commit(d + n);
        return;
    }
    QString escaped;
    append_attribute_text(escaped, value);
    const QByteArray utf8 = escaped.toUtf8();
    append(out, utf8.constData(), utf8.size());
}

// The text of a stored value, without copying it when it already is text.
void append_attribute_value(ByteSink &out, const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        append_attribute_utf8(out, *static_cast<const QString *>(value.constData()));
    else
        append_attribute_utf8(out, value.toString());
}

char *put_indent(char *p, int depth)
{
    const int n = std::min(depth, max_indent);
    std::memset(p, ' ', size_t(n));
    return p + n;
}

void write_node_open(ByteSink &out, const MarkupNode *node, int depth)
{
    char *p = out.room(max_indent + 32);
    p = put_indent(p, depth);
    p = put(p, "<node description=\"");
    out.commit(p);
    append_attribute_value(out, node->stored_data(MarkupColumn::Description));

    p = out.room(2 * number_room + 32);
    p = put(p, "\" start=\"");
    p = put_number(p, node->start());
    p = put(p, "\" end=\"");
    p = put_number(p, node->end());
    p = put(p, "\" repeat=\"");
    const QVariant &repeat = node->stored_data(MarkupColumn::Repeat);
    if (repeat.typeId() == QMetaType::Bool) {
        p = repeat.toBool() ? put(p, "true") : put(p, "false");
        out.commit(p);
    } else {
        out.commit(p);
        append_attribute_value(out, repeat);
    }

    int rgb[6];
    const QColor colours[] = { node->foreground(), node->background() };
    for (int k = 0; k < 2; ++k) {
        // rgb() gives the same 8-bit components as red(), green(), blue().
        const QRgb c = colours[k].isValid() ? colours[k].rgb() : 0;
        rgb[3 * k] = qRed(c);
        rgb[3 * k + 1] = qGreen(c);
        rgb[3 * k + 2] = qBlue(c);
    }
    p = out.room(6 * 24 + 8);
    p = put(p, "\" foreground_red=\"");
    p = put_component(p, rgb[0]);
    p = put(p, "\" foreground_green=\"");
    p = put_component(p, rgb[1]);
    p = put(p, "\" foreground_blue=\"");
    p = put_component(p, rgb[2]);
    p = put(p, "\" background_red=\"");
    p = put_component(p, rgb[3]);
    p = put(p, "\" background_green=\"");
    p = put_component(p, rgb[4]);
    p = put(p, "\" background_blue=\"");
    p = put_component(p, rgb[5]);
    p = node->child_count() == 0 ? put(p, "\"/>\n") : put(p, "\">\n");
    out.commit(p);
}

void write_markup_document(ByteSink &out, const MarkupNode *root)
{
    static const char doctype[] = "<!DOCTYPE PQML>\n";
    append(out, doctype, qsizetype(sizeof doctype - 1));
    if (!root || root->child_count() == 0) {
        static const char empty[] = "<pellowquarnbybook/>\n";
        append(out, empty, qsizetype(sizeof empty - 1));
        return;
    }
    static const char book[] = "<pellowquarnbybook>\n";
    append(out, book, qsizetype(sizeof book - 1));
    // Depth-first with an explicit stack: markup files may nest very deep.
    std::vector<std::pair<const MarkupNode *, int>> open;
    open.emplace_back(root, 0);
    while (!open.empty()) {
        auto &[node, next] = open.back();
        if (next < node->child_count()) {
            const MarkupNode *c = node->child(next++);
            write_node_open(out, c, int(open.size()));
            if (c->child_count() > 0)
                open.emplace_back(c, 0);
            continue;
        }
        open.pop_back();
        if (!open.empty()) {
            char *p = out.room(max_indent + 16);
            p = put_indent(p, int(open.size()));
            p = put(p, "</node>\n");
            out.commit(p);
        }
    }
    static const char book_end[] = "</pellowquarnbybook>\n";
    append(out, book_end, qsizetype(sizeof book_end - 1));
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

void MarkupTree::set_expand_all(std::function<void()> expand_all)
{
    m_expand_all = std::move(expand_all);
}

void MarkupTree::set_is_expanded(std::function<bool(const QModelIndex &)> is_expanded)
{
    m_is_expanded = std::move(is_expanded);
}

MarkupNode *MarkupTree::node_of(const QModelIndex &index) const
{
    if (!m_model || !index.isValid() || index.model() != m_model)
        return nullptr;
    return m_model->node_from_index(index);
}

MarkupNode *MarkupTree::place_range(qint64 first, qint64 last)
{
    // Walks down to the markup that must hold the new range; only returns the
    // parent the range belongs under (the caller inserts), or null to refuse.
    exact_match_found = false;
    MarkupNode *root = m_model->root();
    MarkupNode *node = root;
    for (;;) {
        if (node != root && first == node->start() && last == node->end()) {
            exact_match_found = true;
            return nullptr;
        }
        MarkupNode *inside = nullptr;
        for (MarkupNode *c : node->children()) {
            if (c->start() <= first && last <= c->end()) {
                inside = c;
                break;
            }
        }
        if (!inside)
            break;
        node = inside;
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
                                   const QString &description)
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
    m_model->setData(m_model->index(row, MarkupColumn::Description, parent_index), description);
    m_model->setData(m_model->index(row, MarkupColumn::Start, parent_index), first);
    m_model->setData(m_model->index(row, MarkupColumn::End, parent_index), last);
    m_model->setData(m_model->index(row, MarkupColumn::Length, parent_index),
                     qint64(quint64(last) - quint64(first) + 1));
    m_model->setData(m_model->index(row, MarkupColumn::Repeat, parent_index), false);

    m_model->beginResetModel();
    adopt_contained(node, row, adopted_rows);
    m_model->endResetModel();
    if (m_expand_all)
        m_expand_all();
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
    Children kept;
    kept.reserve(siblings.size());
    for (int r = 0; r < siblings.size(); ++r) {
        MarkupNode *c = siblings.at(r);
        if (c != node && c->start() >= node->start() && c->end() <= node->end()) {
            node->append_child(c);
            c->set_parent_node(node);
            // The row it had before the new markup was inserted.
            if (adopted_rows)
                adopted_rows->append(r < node_row ? r : r - 1);
        } else {
            kept.append(c);
        }
    }
    if (kept.size() == siblings.size())
        return;
    parent->clear_children();
    for (MarkupNode *c : std::as_const(kept))
        parent->append_child(c);
}

void MarkupTree::unmark(MarkupNode *node, const QList<int> &adopted_rows)
{
    if (!node || !node->parent_node())
        return;
    ChangeScope change(m_model);
    m_model->beginResetModel();
    MarkupNode *parent = node->parent_node();
    parent->remove_child(node->row());
    const Children adopted = node->children();
    node->clear_children();
    // Ascending rows: each lands where it was, the earlier ones already back.
    for (int i = 0; i < adopted.size(); ++i) {
        MarkupNode *c = adopted.at(i);
        c->set_parent_node(parent);
        parent->insert_child(i < adopted_rows.size() ? adopted_rows.at(i) : parent->child_count(),
                             c);
    }
    delete node;
    m_model->endResetModel();
    if (m_expand_all)
        m_expand_all();
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
    if (m_expand_all)
        m_expand_all();
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
    if (m_expand_all)
        m_expand_all();
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
    if (m_expand_all)
        m_expand_all();
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
    if (m_expand_all)
        m_expand_all();
}

void MarkupTree::set_colours(MarkupNode *node, const QColor &foreground, const QColor &background)
{
    if (!m_model || !node || !node->parent_node())
        return;
    // The worker does not read colours, but the bracket's end is what
    // refills the mask, so the hex view repaints in the new colours.
    ChangeScope change(m_model);
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
        if (!m_is_expanded || (!ordered && !node->has_grandchildren()))
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
            const QModelIndex child_index = m_model->index_of(c);
            if (m_is_expanded(child_index)) {
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
    return QString::fromUtf8(to_markup_file());
}

QByteArray MarkupTree::to_markup_file() const
{
    const MarkupNode *root = m_model ? m_model->root() : nullptr;
    qsizetype markups = 0;
    for (std::vector<const MarkupNode *> pending { root }; root && !pending.empty();) {
        const MarkupNode *n = pending.back();
        pending.pop_back();
        markups += n->child_count();
        pending.insert(pending.end(), n->children().cbegin(), n->children().cend());
    }
    ByteSink out(64 + markups * 220);
    write_markup_document(out, root);
    return out.take();
}

bool MarkupTree::write_markup_file(QIODevice &device) const
{
    ByteSink out(0, &device);
    write_markup_document(out, m_model ? m_model->root() : nullptr);
    return out.finish();
}

bool MarkupTree::load_xml(const QString &text)
{
    if (!m_model)
        return false;
    bool ok = false;
    {
        ChangeScope change(m_model);
        MarkupXMLHandler handler(m_model, this);
        ok = handler.parse(text);
    }
    emit status_message(ok ? QStringLiteral("Markup loaded successfully")
                           : QStringLiteral("Markup load failed"));
    return ok;
}

bool MarkupTree::read_markup_file(const QString &path, QByteArray *bytes)
{
    bytes->clear();
    // Opened without waiting (opening a FIFO for reading blocks until a
    // writer comes) and judged by the descriptor itself, so the file cannot
    // be swapped between the check and the read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > max_markup_file_size) {
        ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // What the file held when it was opened; bytes appended meanwhile are not
    // read, so a file that keeps growing cannot outrun the limit.
    QByteArray data = file.read(qint64(info.st_size));
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
    // A byte-order mark names the encoding (the decoder drops the mark).
    static const struct
    {
        const char *mark;
        qsizetype size;
        QStringDecoder::Encoding encoding;
    } marks[] = {
        { "\xFF\xFE\x00\x00", 4, QStringDecoder::Utf32LE },
        { "\x00\x00\xFE\xFF", 4, QStringDecoder::Utf32BE },
        { "\xFF\xFE", 2, QStringDecoder::Utf16LE },
        { "\xFE\xFF", 2, QStringDecoder::Utf16BE },
    };
    for (const auto &m : marks) {
        if (bytes.startsWith(QByteArrayView(m.mark, m.size))) {
            QStringDecoder decoder(m.encoding, QStringDecoder::Flag::Stateless);
            return decoder.decode(bytes);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (!decoder.hasError())
        return text;
    // Not UTF-8: a legacy 8-bit file. Such files hold Windows-1252, whose
    // 0x80..0x9F are curly quotes, dashes and the euro sign rather than the
    // control characters Latin-1 has there (which would then be saved back
    // for good). The five bytes Windows-1252 leaves undefined read as Latin-1.
    static const char16_t windows_1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && u <= 0x9F)
            c = QChar(windows_1252[u - 0x80]);
    }
    return text;
}
