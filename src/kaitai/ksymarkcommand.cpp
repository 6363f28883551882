#include "kaitai/ksymarkcommand.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace {

// Freeing a million markups takes longer than a cancel may: done aside.
template<typename T>
void release_aside(T things)
{
    auto held = std::make_shared<T>(std::move(things));
    QThreadPool::globalInstance()->start([held]() mutable { held.reset(); });
}

} // namespace

KsyMarkCommand::KsyMarkCommand(EditHistory *history, MarkupTree *tree, std::vector<KsyMarkup> markups)
    : EditCommand(history, EditHistory::markup, QCoreApplication::translate("KsyMarkCommand", "Apply Template"))
    , m_tree(tree)
    , m_markups(std::move(markups))
    , m_counts(std::make_shared<Counts>())
{
}

void KsyMarkCommand::set_poll(Poll poll, qint64 total)
{
    m_poll = std::move(poll);
    m_total = total;
}

bool KsyMarkCommand::place_ahead()
{
    m_placed_ahead = place_all();
    return m_placed_ahead;
}

bool KsyMarkCommand::apply()
{
    if (m_placed_ahead) {
        m_placed_ahead = false;
        return m_counts->added > 0;
    }
    return place_all();
}

bool KsyMarkCommand::place_all()
{
    m_steps.clear();
    *m_counts = Counts();
    m_made = 0;
    MarkupModel *model = m_tree->model();
    // One change bracket: the colour mask refills once, after every markup is in.
    model->begin_change();
    for (const KsyMarkup &m : m_markups) {
        place(m);
        if (m_counts->cancelled)
            break;
    }
    if (m_counts->cancelled) {
        std::vector<std::unique_ptr<MarkupNode>> taken;
        take_back(&taken);
        release_aside(std::move(taken));
        release_aside(std::move(m_markups));
        m_markups.clear();
        m_steps.clear();
        m_counts->added = 0;
        m_counts->refused = 0;
    }
    model->end_change();
    // Undo and redo replay the step whole.
    m_poll = nullptr;
    return m_counts->added > 0;
}

void KsyMarkCommand::revert()
{
    MarkupModel *model = m_tree->model();
    model->begin_change();
    take_back(nullptr);
    model->end_change();
}

void KsyMarkCommand::take_back(std::vector<std::unique_ptr<MarkupNode>> *taken)
{
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
        MarkupNode *node = m_tree->node_at_path(it->path);
        if (it->whole_subtree) {
            std::unique_ptr<MarkupNode> subtree(m_tree->take_subtree(node));
            if (taken)
                taken->push_back(std::move(subtree));
        } else {
            m_tree->unmark(node, it->adopted_rows);
        }
    }
}

bool KsyMarkCommand::made_one()
{
    ++m_made;
    if (m_poll && m_made % poll_every == 0 && !m_poll(m_made, m_total))
        m_counts->cancelled = true;
    return !m_counts->cancelled;
}

void KsyMarkCommand::place(const KsyMarkup &markup)
{
    int row = 0;
    bool holds_markups = false;
    MarkupNode *parent = find_parent(markup.first, markup.last, &row, &holds_markups);
    if (!parent) {
        ++m_counts->refused;
        for (const KsyMarkup &c : markup.children) {
            place(c);
            if (m_counts->cancelled)
                return;
        }
        return;
    }
    Step step;
    if (!holds_markups) {
        qint64 count = 0;
        MarkupNode *node = build(markup, &count);
        if (!node)
            return;
        m_tree->put_subtree(parent, row, node);
        step.whole_subtree = true;
        step.path = MarkupTree::path_of(node);
        m_steps.push_back(step);
        m_counts->added += count;
        return;
    }
    MarkupNode *node = m_tree->mark_range(markup.first, markup.last, &step.adopted_rows, markup.description);
    if (!node) {
        ++m_counts->refused;
        return;
    }
    m_tree->set_colours(node, markup.foreground, markup.background);
    node->set_doc(markup.doc);
    step.path = MarkupTree::path_of(node);
    m_steps.push_back(step);
    ++m_counts->added;
    if (!made_one())
        return;
    for (const KsyMarkup &c : markup.children) {
        if (!c.decoded) {
            place(c);
            if (m_counts->cancelled)
                return;
            continue;
        }
        // Of this markup's own range: it goes under it, never through the
        // tree's search for a place.
        qint64 count = 0;
        MarkupNode *decoded = build(c, &count);
        if (!decoded)
            return;
        m_tree->put_subtree(node, node->child_count(), decoded);
        m_steps.push_back(Step { true, MarkupTree::path_of(decoded), {} });
        m_counts->added += count;
    }
}

MarkupNode *KsyMarkCommand::find_parent(qint64 first, qint64 last, int *row, bool *holds_markups) const
{
    MarkupNode *node = m_tree->holder_of(first, last);
    if (!node)
        return nullptr;
    *holds_markups = false;
    *row = node->child_count();
    const QList<MarkupNode *> &kids = node->children();
    for (int r = 0; r < kids.size(); ++r) {
        const MarkupNode *c = kids.at(r);
        if (c->start() > last) {
            if (*row == node->child_count())
                *row = r;
            continue;
        }
        if (c->end() < first)
            continue;
        if (c->start() >= first && c->end() <= last) {
            *holds_markups = true;
            continue;
        }
        return nullptr;
    }
    return node;
}

MarkupNode *KsyMarkCommand::build(const KsyMarkup &markup, qint64 *count)
{
    // Without recursion on the markup side: the tree may be deep.
    std::vector<std::pair<const KsyMarkup *, MarkupNode *>> pending;
    MarkupNode *top = nullptr;
    pending.emplace_back(&markup, nullptr);
    while (!pending.empty()) {
        const auto [m, parent] = pending.back();
        pending.pop_back();
        auto *node = new MarkupNode(m->description, parent);
        node->set_data(MarkupColumn::Start, m->first);
        node->set_data(MarkupColumn::End, m->last);
        node->set_data(MarkupColumn::Length, m->last - m->first + 1);
        node->set_data(MarkupColumn::Repeat, false);
        node->set_foreground(m->foreground);
        node->set_background(m->background);
        node->set_doc(m->doc);
        node->set_expanded(true);
        if (parent)
            parent->append_child(node);
        else
            top = node;
        ++*count;
        if (!made_one()) {
            release_aside(std::unique_ptr<MarkupNode>(top));
            return nullptr;
        }
        // Reversed, so children are appended in file order.
        for (auto it = m->children.rbegin(); it != m->children.rend(); ++it)
            pending.emplace_back(&*it, node);
    }
    return top;
}
