#pragma once

#include "markup/editcommand.h"

#include <QList>

#include <memory>
#include <vector>

class MarkupNode;
class MarkupTree;
class QDataStream;

// Puts markups into the tree as one step, taken as steps in order: a
// subtree put in whole as a child of a markup, or a markup marked on its
// own, adopting the markups inside it as Mark does. Undo takes the steps
// back and keeps the subtrees it takes out for redo, so the step holds no
// second copy of markups that are in the tree.
//
// Its record holds every markup it puts in, so the journal replays the
// step instead of writing a snapshot of the whole tree after it.
class PlaceMarkupsCommand : public EditCommand
{
public:
    PlaceMarkupsCommand(EditHistory *history, MarkupTree *tree, const QString &text);
    ~PlaceMarkupsCommand() override;

    // Taken while the step is applied (the subtrees read from the tree) or
    // before it was ever applied.
    QByteArray record() const override;
    // The step from a record's fields after its kind letter (little-endian),
    // for the tree as it was before the step; null when they are malformed.
    static PlaceMarkupsCommand *from_record(QDataStream &in, EditHistory *history, MarkupTree *tree);

    static constexpr char record_kind = 'T';

protected:
    struct Step
    {
        // The markup went in with its subtree; else it was marked, adopting
        // the markups at adopted_rows.
        bool whole_subtree = false;
        // Rows from the root down to the markup once it is in.
        QList<int> path;
        QList<int> adopted_rows;
        // While the step is not applied, the subtree to put in; for a marked
        // markup, its values and colours (no children) throughout.
        std::unique_ptr<MarkupNode> held;
    };

    // Puts the steps in again, in order; true when there are any.
    bool apply() override;
    void revert() override;
    // Takes the steps back, last first; subtrees go to their steps' `held`.
    void take_back();

    MarkupTree *m_tree;
    std::vector<Step> m_steps;
};
