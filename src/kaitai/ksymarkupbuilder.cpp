#include "kaitai/ksymarkupbuilder.h"

#include "kaitai/ksyitem.h"
#include "markup/markupcolumn.h"
#include "markup/markupvaluetype.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>
#include <QThreadPool>

#include <algorithm>

namespace {

// The markups placed so far, as a forest in one vector: every node's
// children are disjoint and sorted by their first byte, so finding where a
// range goes is a binary search per level.
struct Node
{
    qint64 first = 0;
    qint64 last = 0;
    int parent = -1;
    // The markup itself, made when the item is placed (its text grows as
    // items merge with it); linked into its parent's when the forest is done.
    std::unique_ptr<MarkupNode> markup;
    std::vector<int> children;
    // Markups of what was read from this markup's bytes once decoded: each
    // of this markup's range, so kept apart from `children`, which stay
    // disjoint for find().
    std::vector<int> decoded;
    bool is_decoded = false;
};

// An item being visited, with the markup it went into (its own, or the one
// it merged with); -1 when it has none.
struct Frame
{
    const KsyItem *item;
    int node;
};

class Builder
{
public:
    Builder(KsyMarkupBuilder::Outcome *outcome, const KsyMarkupBuilder::Poll &poll, qint64 items)
        : m_outcome(outcome)
        , m_poll(poll)
        , m_items(items)
    {
        // Pages of the array not reached are never touched, so holding room
        // for a markup per item costs only what is used.
        m_nodes.reserve(size_t(items));
    }

    bool cancelled() const { return m_outcome->cancelled; }

    // A cancel is not to wait for a million nodes to be freed.
    void free_aside()
    {
        auto nodes = std::make_shared<std::vector<Node>>(std::move(m_nodes));
        auto markups = std::make_shared<std::vector<std::unique_ptr<MarkupNode>>>(std::move(m_outcome->markups));
        m_nodes.clear();
        m_outcome->markups.clear();
        QThreadPool::globalInstance()->start([nodes, markups]() mutable {
            nodes.reset();
            markups.reset();
        });
    }

    // `owned` is the item itself when its children are to be freed once
    // visited, else null.
    void visit(const KsyItem &item, KsyItem *owned, qint64 first, qint64 last)
    {
        if (!step())
            return;
        if (item.unavailable) {
            // No bytes and no value: the object's markup says so.
            const int holder = parent_node();
            if (holder >= 0)
                add_text(m_nodes[size_t(holder)].markup.get(), text(item, holder));
            return;
        }
        const int node = item.decoded && !item.has_range() ? place_decoded(item)
            : first <= last                                ? place(item, first, last)
                                                           : -1;
        m_stack.push_back(Frame { &item, node });
        // Fields before instances, so a field wins over an instance it overlaps.
        // Owned children are freed once visited (only the items above are
        // read again, for paths).
        for (const bool instances : { false, true }) {
            for (size_t i = 0; i < item.children.size() && !cancelled(); ++i) {
                const KsyItem *child = item.children[i].get();
                if (!child || child->is_instance != instances)
                    continue;
                visit(*child, owned ? owned->children[i].get() : nullptr, child->has_range() ? child->start : 0,
                      child->has_range() ? child->end - 1 : -1);
                if (owned && !cancelled())
                    owned->children[i].reset();
            }
        }
        m_stack.pop_back();
        // After a cancel what is left goes aside with the root, unwaited.
        if (owned && !cancelled())
            owned->children.clear();
    }

    void finish()
    {
        for (const int n : m_top) {
            if (cancelled())
                return;
            m_outcome->markups.emplace_back(convert(n, 1, nullptr));
        }
    }

private:
    enum class Fit { inside, same, overlaps };

    // Counts one unit of work: an item visited, then a markup made.
    bool step()
    {
        if (cancelled())
            return false;
        ++m_done;
        if (m_poll && m_done % KsyMarkupBuilder::poll_every == 0) {
            const bool making = m_done > m_items;
            const bool go_on = making ? m_poll(m_done - m_items, qint64(m_nodes.size()), true)
                                      : m_poll(m_done, m_items, false);
            if (!go_on)
                m_outcome->cancelled = true;
        }
        return !cancelled();
    }

    std::vector<int> &children_of(int node) { return node < 0 ? m_top : m_nodes[size_t(node)].children; }

    // Where first..last goes: under *container (-1: the top level) at child
    // position *at, holding the *held children from there; or the markup
    // *same of exactly that range.
    Fit find(qint64 first, qint64 last, int *container, size_t *at, size_t *held, int *same)
    {
        // Ranges nest, so a markup holding the range has every markup that
        // holds it in its own subtree or above it: the search may start at
        // the markup of the item above (usually it holds the item), unless
        // that is decoded and so in no list the search walks.
        int node = parent_node();
        if (node >= 0) {
            const Node &hint = m_nodes[size_t(node)];
            if (hint.first == first && hint.last == last && !hint.is_decoded) {
                *same = node;
                return Fit::same;
            }
            if (hint.is_decoded || hint.first > first || hint.last < last)
                node = -1;
        }
        for (;;) {
            const std::vector<int> &kids = children_of(node);
            size_t pos = size_t(std::upper_bound(kids.begin(), kids.end(), first,
                                                 [this](qint64 v, int k) { return v < m_nodes[size_t(k)].first; })
                                - kids.begin());
            if (pos > 0) {
                const int k = kids[pos - 1];
                const Node &before = m_nodes[size_t(k)];
                if (before.last >= first) {
                    if (before.first == first && before.last == last) {
                        *same = k;
                        return Fit::same;
                    }
                    if (before.last >= last) {
                        node = k;
                        continue;
                    }
                    if (before.first != first)
                        return Fit::overlaps;
                    --pos;
                }
            }
            size_t end = pos;
            while (end < kids.size() && m_nodes[size_t(kids[end])].first <= last)
                ++end;
            // Siblings are disjoint: only the last one reached can stick out.
            if (end > pos && m_nodes[size_t(kids[end - 1])].last > last)
                return Fit::overlaps;
            *container = node;
            *at = pos;
            *held = end - pos;
            return Fit::inside;
        }
    }

    int place(const KsyItem &item, qint64 first, qint64 last)
    {
        int container = -1;
        size_t at = 0;
        size_t held = 0;
        int same = -1;
        switch (find(first, last, &container, &at, &held, &same)) {
        case Fit::overlaps:
            ++m_outcome->overlapping;
            return -1;
        case Fit::same: {
            ++m_outcome->merged;
            const int where = same == parent_node() ? same : m_nodes[size_t(same)].parent;
            MarkupNode *markup = m_nodes[size_t(same)].markup.get();
            add_text(markup, text(item, where));
            if (markup->doc().isEmpty())
                markup->set_doc(item.doc());
            return same;
        }
        case Fit::inside:
            break;
        }
        if (container != parent_node())
            ++m_outcome->moved;
        const int index = int(m_nodes.size());
        Node n;
        n.first = first;
        n.last = last;
        n.parent = container;
        n.markup = make_markup(text(item, container), first, last, item.doc(), background(item.type()));
        if (item.has_value_type)
            n.markup->set_value_type(MarkupValueType(item.value_type, item.value_little_endian));
        {
            std::vector<int> &kids = children_of(container);
            n.children.assign(kids.begin() + qsizetype(at), kids.begin() + qsizetype(at + held));
        }
        for (const int c : n.children)
            m_nodes[size_t(c)].parent = index;
        m_nodes.push_back(std::move(n));
        // Fetched again: the push may have moved the container's node.
        std::vector<int> &kids = children_of(container);
        if (held == 0) {
            kids.insert(kids.begin() + qsizetype(at), index);
        } else {
            kids[at] = index;
            kids.erase(kids.begin() + qsizetype(at + 1), kids.begin() + qsizetype(at + held));
        }
        return index;
    }

    // Under the nearest markup above, with its range and colours: the bytes
    // show as the processed field's whichever markup a lookup finds.
    int place_decoded(const KsyItem &item)
    {
        const int holder = parent_node();
        if (holder < 0)
            return -1;
        const int index = int(m_nodes.size());
        Node n;
        n.first = m_nodes[size_t(holder)].first;
        n.last = m_nodes[size_t(holder)].last;
        n.parent = holder;
        n.markup = make_markup(QCoreApplication::translate("KsyMarkupBuilder", "%1 (decoded)")
                                   .arg(KsyMarkupBuilder::description(item)),
                               n.first, n.last, item.doc(), m_nodes[size_t(holder)].markup->background());
        n.is_decoded = true;
        m_nodes.push_back(std::move(n));
        m_nodes[size_t(holder)].decoded.push_back(index);
        return index;
    }

    // An instance read again where its fields were (a directory entry
    // pointing back at a header) says the same things once.
    static void add_text(MarkupNode *markup, const QString &text)
    {
        const QString separator = QStringLiteral(", ");
        const QString description = markup->description();
        if (description == text || description.startsWith(text + separator)
            || description.endsWith(separator + text) || description.contains(separator + text + separator))
            return;
        markup->set_data(MarkupColumn::Description, description + separator + text);
    }

    // Shown expanded, as a template's markups are.
    std::unique_ptr<MarkupNode> make_markup(const QString &description, qint64 first, qint64 last, const QString &doc,
                                            const QColor &background) const
    {
        auto markup = std::make_unique<MarkupNode>(description, nullptr);
        markup->set_range(first, last);
        markup->set_foreground(m_foreground);
        markup->set_background(background);
        markup->set_doc(doc);
        markup->set_expanded(true);
        return markup;
    }

    // The markup of the nearest item above that has one.
    int parent_node() const
    {
        for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
            if (it->node >= 0)
                return it->node;
        }
        return -1;
    }

    // The item's text as seen from the markup it goes under: its name when
    // that is its parent's, else its path from the nearest item above that
    // owns that markup (from the root when none does).
    QString text(const KsyItem &item, int container) const
    {
        if (m_stack.empty() || container == parent_node())
            return KsyMarkupBuilder::description(item);
        size_t from = 0;
        for (size_t i = m_stack.size(); i-- > 0;) {
            if (m_stack[i].node == container && container >= 0) {
                from = i;
                break;
            }
        }
        QStringList parts;
        for (size_t i = from + 1; i <= m_stack.size(); ++i) {
            const KsyItem *it = i < m_stack.size() ? m_stack[i].item : &item;
            const KsyItem *up = m_stack[i - 1].item;
            // "chunks[3]" stands for "chunks.chunks[3]".
            if (!parts.isEmpty() && up->is_array && it->index >= 0 && it->attr == up->attr)
                parts.last() = it->name();
            else
                parts << it->name();
        }
        QString path = parts.join(QLatin1Char('.'));
        const QString value = item.value();
        if (!value.isEmpty())
            path += QStringLiteral(" = ") + value;
        return path;
    }

    // The markup of node `index` and all under it, appended to `parent`
    // when given; null once cancelled.
    MarkupNode *convert(int index, int depth, MarkupNode *parent)
    {
        if (!step())
            return nullptr;
        Node &n = m_nodes[size_t(index)];
        MarkupNode *out = n.markup.release();
        out->set_parent_node(parent);
        if (parent)
            parent->append_child(out);
        ++m_outcome->count;
        for (const std::vector<int> *kids : { &n.children, &n.decoded }) {
            for (const int c : *kids) {
                if (cancelled())
                    return out;
                if (depth == KsyMarkupBuilder::max_depth) {
                    m_outcome->too_deep += subtree_size(c);
                    continue;
                }
                convert(c, depth + 1, out);
            }
        }
        // Made: the node's lists are not read again.
        std::vector<int>().swap(m_nodes[size_t(index)].children);
        std::vector<int>().swap(m_nodes[size_t(index)].decoded);
        return out;
    }

    // One colour per type, worked out once.
    QColor background(const QString &type)
    {
        auto it = m_backgrounds.constFind(type);
        if (it == m_backgrounds.cend())
            it = m_backgrounds.insert(type, KsyMarkupBuilder::background(type));
        return it.value();
    }

    qint64 subtree_size(int index) const
    {
        qint64 n = 0;
        std::vector<int> pending { index };
        while (!pending.empty()) {
            const int i = pending.back();
            pending.pop_back();
            ++n;
            const Node &n = m_nodes[size_t(i)];
            pending.insert(pending.end(), n.children.begin(), n.children.end());
            pending.insert(pending.end(), n.decoded.begin(), n.decoded.end());
        }
        return n;
    }

    KsyMarkupBuilder::Outcome *m_outcome;
    const KsyMarkupBuilder::Poll &m_poll;
    const qint64 m_items;
    qint64 m_done = 0;
    std::vector<Node> m_nodes;
    std::vector<int> m_top;
    std::vector<Frame> m_stack;
    QHash<QString, QColor> m_backgrounds;
    const QColor m_foreground = KsyMarkupBuilder::foreground();
};

// Everything read under `item`: [*first, *end), unchanged when nothing
// was; *count: the items there, `item` included.
void extent(const KsyItem &item, qint64 *first, qint64 *end, qint64 *count)
{
    ++*count;
    if (item.has_range()) {
        *first = *first < 0 ? item.start : std::min(*first, item.start);
        *end = std::max(*end, item.end);
    }
    for (const auto &child : item.children)
        extent(*child, first, end, count);
}

} // namespace

namespace {

KsyMarkupBuilder::Outcome build_from(const KsyItem &root, KsyItem *owned, const KsyMarkupBuilder::Poll &poll)
{
    KsyMarkupBuilder::Outcome outcome;
    qint64 first = -1;
    qint64 end = -1;
    qint64 items = 0;
    extent(root, &first, &end, &items);
    Builder builder(&outcome, poll, items);
    builder.visit(root, owned, first < 0 ? 0 : first, first < 0 ? -1 : end - 1);
    builder.finish();
    if (outcome.cancelled)
        builder.free_aside();
    return outcome;
}

} // namespace

KsyMarkupBuilder::Outcome KsyMarkupBuilder::build(const KsyItem &root, const Poll &poll)
{
    return build_from(root, nullptr, poll);
}

KsyMarkupBuilder::Outcome KsyMarkupBuilder::build(std::unique_ptr<KsyItem> root, const Poll &poll)
{
    if (!root)
        return Outcome();
    Outcome outcome = build_from(*root, root.get(), poll);
    // A cancel leaves the items not yet visited; it is not to wait for them.
    std::shared_ptr<KsyItem> rest(std::move(root));
    QThreadPool::globalInstance()->start([rest]() mutable { rest.reset(); });
    return outcome;
}

QString KsyMarkupBuilder::description(const KsyItem &item)
{
    QString value = item.value();
    if (value.isEmpty())
        value = item.representation();
    const QString name = item.name();
    if (value.isEmpty())
        return name;
    // One allocation: a template makes this text for every field.
    QString text;
    text.reserve(name.size() + 3 + value.size());
    text.append(name).append(QLatin1String(" = ")).append(value);
    return text;
}

QColor KsyMarkupBuilder::background(const QString &type)
{
    static const QHash<QString, int> scalar_hues = {
        { QStringLiteral("integer"), 210 }, { QStringLiteral("enum"), 280 }, { QStringLiteral("string"), 120 },
        { QStringLiteral("bytes"), 30 },    { QStringLiteral("float"), 180 }, { QStringLiteral("boolean"), 330 },
        { QStringLiteral("array"), 60 },
    };
    int hue = scalar_hues.value(type, -1);
    if (hue < 0) {
        // FNV-1a: the same colour for a type name in every run (qHash is seeded).
        quint32 h = 2166136261u;
        for (const QChar c : type) {
            h ^= c.unicode();
            h *= 16777619u;
        }
        hue = int(h % 360);
    }
    return QColor::fromHsl(hue, 150, 222);
}

QColor KsyMarkupBuilder::foreground()
{
    return QColor(0x1a, 0x1a, 0x1a);
}
