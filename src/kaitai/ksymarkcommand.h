#pragma once

#include "kaitai/ksymarkup.h"
#include "markup/editcommand.h"

#include <QList>

#include <functional>
#include <memory>
#include <vector>

class MarkupNode;
class MarkupTree;

// Adds a template's markups to the markup tree as one undoable step. Each
// markup goes where MarkupTree would put it: inside the innermost markup
// that holds it, adopting markups that lie inside it. A markup that would
// partly overlap one already there, or repeat one's exact range, is left out
// (counted) and its children are tried on their own.
//
// A markup whose range holds no existing markup goes in with all its
// children at once, so a template of many thousand fields costs one
// insertion, not one model reset per field.
class KsyMarkCommand : public EditCommand
{
public:
    struct Counts
    {
        qint64 added = 0;
        qint64 refused = 0;
        // The poll stopped the first apply: nothing was added.
        bool cancelled = false;
    };
    // Returns false to stop.
    using Poll = std::function<bool(qint64 done, qint64 total)>;
    static constexpr qint64 poll_every = 1024;

    KsyMarkCommand(EditHistory *history, MarkupTree *tree, std::vector<KsyMarkup> markups);

    // Called during the first apply every poll_every markups made, with
    // those made out of `total`. When it returns false the apply takes back
    // what it added and the step changes nothing, so the history drops it.
    void set_poll(Poll poll, qint64 total);
    // Adds the markups before the step is pushed, so that a cancel can
    // leave the history alone: pushing even a step that changes nothing
    // drops the redo steps. True when something was added; then the push
    // keeps what is there instead of adding it again.
    bool place_ahead();

    // Written by the first apply; shared so it can be read after the history
    // has dropped a step that added nothing.
    std::shared_ptr<const Counts> counts() const { return m_counts; }

protected:
    bool apply() override;
    void revert() override;

private:
    struct Step
    {
        bool whole_subtree = false;
        QList<int> path;
        QList<int> adopted_rows;
    };

    bool place_all();
    void place(const KsyMarkup &markup);
    // The markup the range goes under, or null when the tree refuses it;
    // *row: where it goes; *holds_markups: whether markups lie inside it.
    MarkupNode *find_parent(qint64 first, qint64 last, int *row, bool *holds_markups) const;
    // Null when the poll stopped it.
    MarkupNode *build(const KsyMarkup &markup, qint64 *count);
    // Counts one markup made; false once the poll has asked to stop.
    bool made_one();
    // Subtrees taken out whole go to *taken when given, else are deleted.
    void take_back(std::vector<std::unique_ptr<MarkupNode>> *taken);

    MarkupTree *m_tree;
    std::vector<KsyMarkup> m_markups;
    std::vector<Step> m_steps;
    std::shared_ptr<Counts> m_counts;
    Poll m_poll;
    qint64 m_total = 0;
    qint64 m_made = 0;
    bool m_placed_ahead = false;
};
