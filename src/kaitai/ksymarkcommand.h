#pragma once

#include "markup/placemarkupscommand.h"

#include <functional>
#include <memory>
#include <vector>

class MarkupNode;
class MarkupTree;

// Adds a template's markups (KsyMarkupBuilder's nodes) to the markup tree
// as one undoable step. Each markup goes where MarkupTree would put it:
// inside the innermost markup that holds it, adopting markups that lie
// inside it. A markup that would partly overlap one already there, or
// repeat one's exact range, is left out (counted) and its children are
// tried on their own. A child of exactly its parent's range (read from the
// parent's decoded bytes) goes under that parent, after its other children.
//
// A markup whose range holds no existing markup goes in with all its
// children at once, so a template of many thousand fields costs one
// insertion, not one model reset per field. Once placed, the step is a
// PlaceMarkupsCommand: undo keeps what it takes out for redo, and the
// journal records the markups instead of a snapshot of the tree.
class KsyMarkCommand : public PlaceMarkupsCommand
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

    KsyMarkCommand(EditHistory *history, MarkupTree *tree, std::vector<std::unique_ptr<MarkupNode>> markups);
    ~KsyMarkCommand() override;

    // Called during the first apply at least every poll_every markups
    // added, with those added out of `total`. When it returns false the
    // apply takes back what it added and the step changes nothing, so the
    // history drops it.
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

private:
    bool place_all();
    void place(std::unique_ptr<MarkupNode> markup);
    void put_whole(MarkupNode *parent, int row, std::unique_ptr<MarkupNode> markup);
    // The markup the range goes under, or null when the tree refuses it;
    // *row: where it goes; *holds_markups: whether markups lie inside it.
    MarkupNode *find_parent(qint64 first, qint64 last, int *row, bool *holds_markups) const;
    // Counts markups added; false once the poll has asked to stop.
    bool made(qint64 count);

    std::vector<std::unique_ptr<MarkupNode>> m_markups;
    std::shared_ptr<Counts> m_counts;
    Poll m_poll;
    qint64 m_total = 0;
    qint64 m_made = 0;
    qint64 m_polled = 0;
    bool m_placed_ahead = false;
    bool m_placed = false;
};
