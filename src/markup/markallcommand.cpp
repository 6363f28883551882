#include "markup/markallcommand.h"

#include "markup/markupcolumn.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>

#include <algorithm>

MarkAllCommand::MarkAllCommand(EditHistory *history, MarkupTree *tree, std::vector<Range> ranges,
                               Describe describe, const QColor &foreground,
                               const QColor &background)
    : EditCommand(history, EditHistory::markup,
                  QCoreApplication::translate("MarkAllCommand", "Mark All"))
    , m_tree(tree)
    , m_ranges(std::move(ranges))
    , m_describe(std::move(describe))
    , m_foreground(foreground)
    , m_background(background)
    , m_counts(std::make_shared<Counts>())
{
}

bool MarkAllCommand::apply()
{
    *m_counts = Counts();
    m_added.clear();
    m_original_children.clear();
    MarkupNode *root = m_tree->take_all();
    if (!root)
        return false;

    // Every parent is found in the tree as it was: the ranges are disjoint,
    // so no new markup can hold or cut another one's place.
    QHash<MarkupNode *, std::vector<MarkupNode *>> added_under;
    std::vector<MarkupNode *> parents;
    for (qint64 i = 0; i < qint64(m_ranges.size()); ++i) {
        const Range &r = m_ranges[size_t(i)];
        bool coincides = false;
        MarkupNode *parent = find_parent(root, r.first, r.last, &coincides);
        if (!parent) {
            ++(coincides ? m_counts->coincided : m_counts->overlapped);
            continue;
        }
        auto *node = new MarkupNode(m_describe(i), nullptr);
        node->set_data(MarkupColumn::Start, r.first);
        node->set_data(MarkupColumn::End, r.last);
        node->set_data(MarkupColumn::Length, r.last - r.first + 1);
        node->set_data(MarkupColumn::Repeat, false);
        node->set_foreground(m_foreground);
        node->set_background(m_background);
        auto &list = added_under[parent];
        if (list.empty())
            parents.push_back(parent);
        list.push_back(node);
        m_added.push_back(node);
    }
    for (MarkupNode *parent : parents) {
        m_original_children.insert(parent, parent->children());
        merge_children(parent, added_under.value(parent));
    }
    m_counts->added = qint64(m_added.size());
    m_tree->restore_all(root);
    return !m_added.empty();
}

void MarkAllCommand::revert()
{
    MarkupNode *root = m_tree->take_all();
    if (!root)
        return;
    for (MarkupNode *node : m_added)
        node->clear_children();
    for (auto it = m_original_children.cbegin(); it != m_original_children.cend(); ++it) {
        MarkupNode *parent = it.key();
        parent->clear_children();
        for (MarkupNode *c : it.value()) {
            c->set_parent_node(parent);
            parent->append_child(c);
        }
    }
    // Childless now, so only the markups themselves go.
    for (MarkupNode *node : m_added)
        delete node;
    m_added.clear();
    m_original_children.clear();
    m_tree->restore_all(root);
}

MarkupNode *MarkAllCommand::find_parent(MarkupNode *root, qint64 first, qint64 last,
                                        bool *coincides)
{
    *coincides = false;
    const auto by_start = [](const MarkupNode *c, qint64 at) { return c->start() < at; };
    MarkupNode *node = root;
    for (;;) {
        if (node != root && first == node->start() && last == node->end()) {
            *coincides = true;
            return nullptr;
        }
        const QList<MarkupNode *> &kids = node->children();
        if (node->children_ordered()) {
            // Only the last child starting at or before `first` can hold the range.
            const auto after = std::upper_bound(kids.cbegin(), kids.cend(), first,
                                                [](qint64 at, const MarkupNode *c) { return at < c->start(); });
            if (after != kids.cbegin() && last <= (*(after - 1))->end()) {
                node = *(after - 1);
                continue;
            }
            auto it = std::lower_bound(kids.cbegin(), kids.cend(), first, by_start);
            if (it != kids.cbegin() && (*(it - 1))->end() >= first)
                return nullptr;
            for (; it != kids.cend() && (*it)->start() <= last; ++it) {
                if ((*it)->end() > last)
                    return nullptr;
            }
            return node;
        }
        // Children loaded out of order: the same rules, by a scan.
        MarkupNode *inside = nullptr;
        for (MarkupNode *c : kids) {
            if (c->start() <= first && last <= c->end()) {
                inside = c;
                break;
            }
        }
        if (inside) {
            node = inside;
            continue;
        }
        for (const MarkupNode *c : kids) {
            const bool apart = c->end() < first || c->start() > last;
            const bool held = c->start() >= first && c->end() <= last;
            if (!apart && !held)
                return nullptr;
        }
        return node;
    }
}

void MarkAllCommand::merge_children(MarkupNode *parent, const std::vector<MarkupNode *> &added)
{
    const QList<MarkupNode *> kids = parent->children();
    parent->clear_children();
    size_t next = 0;
    for (MarkupNode *c : kids) {
        while (next < added.size() && added[next]->start() <= c->start()) {
            added[next]->set_parent_node(parent);
            parent->append_child(added[next]);
            ++next;
        }
        // The one new markup that may hold c is the last placed so far.
        MarkupNode *holder = next > 0 ? added[next - 1] : nullptr;
        if (holder && c->start() >= holder->start() && c->end() <= holder->end()) {
            c->set_parent_node(holder);
            holder->append_child(c);
        } else {
            parent->append_child(c);
        }
    }
    for (; next < added.size(); ++next) {
        added[next]->set_parent_node(parent);
        parent->append_child(added[next]);
    }
}
