#pragma once

// Helpers shared by the markup tree, XML and colour-mask tests.

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

namespace pq_markup_test {

// The markup with exactly this range, searched through the whole tree.
inline MarkupNode *find_range(MarkupNode *root, qint64 start, qint64 end)
{
    std::vector<MarkupNode *> pending { root };
    while (!pending.empty()) {
        MarkupNode *n = pending.back();
        pending.pop_back();
        if (n != root && n->start() == start && n->end() == end)
            return n;
        for (MarkupNode *c : n->children())
            pending.push_back(c);
    }
    return nullptr;
}

// "start..end" of a node, or "null", for readable comparisons.
inline QString describe(const MarkupNode *n)
{
    if (!n)
        return QStringLiteral("null");
    return QStringLiteral("%1..%2").arg(n->start()).arg(n->end());
}

// The tree's shape as nested text, e.g. "0..100(10..20,30..40)".
inline QString shape(const MarkupNode *node)
{
    QStringList parts;
    for (const MarkupNode *c : node->children()) {
        QString s = describe(c);
        if (c->child_count() > 0)
            s += QLatin1Char('(') + shape(c) + QLatin1Char(')');
        parts << s;
    }
    return parts.join(QLatin1Char(','));
}

// Every node of the tree except the root, parents before children.
inline std::vector<MarkupNode *> all_nodes(MarkupNode *root)
{
    std::vector<MarkupNode *> out;
    std::vector<MarkupNode *> pending { root };
    while (!pending.empty()) {
        MarkupNode *n = pending.back();
        pending.pop_back();
        if (n != root)
            out.push_back(n);
        for (MarkupNode *c : n->children())
            pending.push_back(c);
    }
    return out;
}

// Straightforward reading of the lookup rules, used as the oracle: scan the
// children in order; the first one covering o wins; a repeat markup answers
// for an offset past its End when the whole record holding it ends before the
// next sibling starts and (below the root) inside the parent, with o mapped
// into the first record. Collapsed markups answer for themselves.
inline MarkupNode *reference_lookup(MarkupNode *root, qint64 o,
                                    const std::function<bool(const MarkupNode *)> &expanded)
{
    MarkupNode *node = root;
    for (;;) {
        const bool is_root = node == root;
        if (!is_root && !expanded(node))
            return node;
        const auto &kids = node->children();
        MarkupNode *found = nullptr;
        for (int i = 0; i < kids.size() && !found; ++i) {
            MarkupNode *c = kids.at(i);
            if (c->start() <= o && o <= c->end()) {
                found = c;
            } else if (c->is_repeat() && c->start() <= c->end() && o > c->end()) {
                const qint64 length = c->end() - c->start() + 1;
                const qint64 k = (o - c->start()) / length;
                const qint64 record_end = c->start() + (k + 1) * length - 1;
                const bool inside_parent = is_root || record_end <= node->end();
                const bool before_next = i + 1 == kids.size() || record_end < kids.at(i + 1)->start();
                if (inside_parent && before_next) {
                    o = c->start() + (o - c->start()) % length;
                    found = c;
                }
            }
        }
        if (!found)
            return is_root ? nullptr : node;
        node = found;
    }
}

// Shows exactly `nodes` expanded, as a user's clicks in the tree view would.
inline void expand_only(MarkupModel &model, const QSet<const MarkupNode *> &nodes)
{
    for (MarkupNode *n : all_nodes(model.root()))
        model.set_expanded(model.index_of(n), nodes.contains(n));
}

// Builds a random valid tree by marking random ranges in 0..span, turns some
// markups into repeat markups, expands a random set of markups and returns
// that set.
inline QSet<const MarkupNode *> random_tree(MarkupTree &tree, QRandomGenerator &rng, int marks,
                                            qint64 span)
{
    for (int i = 0; i < marks; ++i) {
        const qint64 a = rng.bounded(span);
        const qint64 len = rng.bounded(1 + rng.bounded(40));
        tree.insert_range(a, qMin(span, a + len));
    }
    QSet<const MarkupNode *> expanded;
    MarkupModel *model = tree.model();
    for (MarkupNode *n : all_nodes(model->root())) {
        if (rng.bounded(3) == 0)
            model->setData(model->index_of(n).siblingAtColumn(MarkupColumn::Repeat),
                           rng.bounded(2) ? QVariant(true) : QVariant(QStringLiteral("true")));
        if (rng.bounded(3) != 0)
            expanded.insert(n);
    }
    expand_only(*model, expanded);
    return expanded;
}

} // namespace pq_markup_test
