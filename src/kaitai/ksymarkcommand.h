#pragma once

#include "kaitai/ksymarkup.h"
#include "markup/editcommand.h"

#include <QList>

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
    };

    KsyMarkCommand(EditHistory *history, MarkupTree *tree, std::vector<KsyMarkup> markups);

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

    void place(const KsyMarkup &markup);
    // The markup the range goes under, or null when the tree refuses it;
    // *row: where it goes; *holds_markups: whether markups lie inside it.
    MarkupNode *find_parent(qint64 first, qint64 last, int *row, bool *holds_markups) const;
    static MarkupNode *build(const KsyMarkup &markup, qint64 *count);

    MarkupTree *m_tree;
    std::vector<KsyMarkup> m_markups;
    std::vector<Step> m_steps;
    std::shared_ptr<Counts> m_counts;
};
