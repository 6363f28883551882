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

qint64 subtree_size(const MarkupNode *node)
{
    qint64 n = 0;
    std::vector<const MarkupNode *> pending { node };
    while (!pending.empty()) {
        const MarkupNode *at = pending.back();
        pending.pop_back();
        ++n;
        pending.insert(pending.end(), at->children().cbegin(), at->children().cend());
    }
    return n;
}

} // namespace

KsyMarkCommand::KsyMarkCommand(EditHistory *history, MarkupTree *tree,
                               std::vector<std::unique_ptr<MarkupNode>> markups)
    : PlaceMarkupsCommand(history, tree, QCoreApplication::translate("KsyMarkCommand", "Apply Template"))
    , m_markups(std::move(markups))
    , m_counts(std::make_shared<Counts>())
{
}

KsyMarkCommand::~KsyMarkCommand() = default;

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
    if (m_placed)
        return PlaceMarkupsCommand::apply() && m_counts->added > 0;
    return place_all();
}

bool KsyMarkCommand::place_all()
{
    m_placed = true;
    m_steps.clear();
    *m_counts = Counts();
    m_made = 0;
    m_polled = 0;
    MarkupModel *model = m_tree->model();
    // One change bracket: the colour mask refills once, after every markup is in.
    model->begin_change();
    std::vector<std::unique_ptr<MarkupNode>> markups = std::move(m_markups);
    m_markups.clear();
    for (std::unique_ptr<MarkupNode> &m : markups) {
        if (m_counts->cancelled)
            break;
        place(std::move(m));
    }
    if (m_counts->cancelled) {
        take_back();
        release_aside(std::move(m_steps));
        release_aside(std::move(markups));
        m_steps.clear();
        m_counts->added = 0;
        m_counts->refused = 0;
    }
    model->end_change();
    // Undo and redo replay the step whole.
    m_poll = nullptr;
    return m_counts->added > 0;
}

bool KsyMarkCommand::made(qint64 count)
{
    m_made += count;
    if (m_poll && m_made - m_polled >= poll_every) {
        m_polled = m_made;
        if (!m_poll(m_made, m_total))
            m_counts->cancelled = true;
    }
    return !m_counts->cancelled;
}

void KsyMarkCommand::put_whole(MarkupNode *parent, int row, std::unique_ptr<MarkupNode> markup)
{
    const qint64 count = subtree_size(markup.get());
    MarkupNode *node = markup.release();
    m_tree->put_subtree(parent, row, node);
    m_steps.push_back(Step { true, MarkupTree::path_of(node), {}, nullptr });
    m_counts->added += count;
    made(count);
}

void KsyMarkCommand::place(std::unique_ptr<MarkupNode> markup)
{
    const qint64 first = markup->start();
    const qint64 last = markup->end();
    int row = 0;
    bool holds_markups = false;
    MarkupNode *parent = find_parent(first, last, &row, &holds_markups);
    if (parent && !holds_markups) {
        put_whole(parent, row, std::move(markup));
        return;
    }
    // Marked on its own; its children follow one by one.
    std::vector<std::unique_ptr<MarkupNode>> children;
    children.reserve(size_t(markup->child_count()));
    for (MarkupNode *c : markup->children()) {
        c->set_parent_node(nullptr);
        children.emplace_back(c);
    }
    markup->clear_children();
    MarkupNode *node = nullptr;
    Step step;
    if (parent)
        node = m_tree->mark_range(first, last, &step.adopted_rows, markup->description(), markup->value_type());
    if (!node) {
        ++m_counts->refused;
    } else {
        m_tree->set_colours(node, markup->foreground(), markup->background());
        node->set_doc(markup->doc());
        step.path = MarkupTree::path_of(node);
        step.held = std::move(markup);
        m_steps.push_back(std::move(step));
        ++m_counts->added;
        made(1);
    }
    for (std::unique_ptr<MarkupNode> &c : children) {
        if (m_counts->cancelled) {
            release_aside(std::move(children));
            return;
        }
        // Of this markup's own range: it goes under it, never through the
        // tree's search for a place.
        if (node && c->start() == first && c->end() == last)
            put_whole(node, node->child_count(), std::move(c));
        else
            place(std::move(c));
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
