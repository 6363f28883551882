#pragma once

#include "markup/editcommand.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class MarkupNode;
class MarkupTree;

// Mark All: one markup per range, all in one undoable step. Each goes where
// Mark would put it (inside the innermost markup that holds it, adopting the
// markups inside it); one that would partly overlap a markup, or repeat one's
// exact range, is skipped and counted as overlapped or coincided.
//
// The ranges are placed into the tree taken out of its model, so that a
// hundred thousand of them cost one model reset and a walk of the tree, not a
// reset or a scan of the siblings per markup.
class MarkAllCommand : public EditCommand
{
public:
    struct Range
    {
        qint64 first = 0;
        qint64 last = 0;
    };
    struct Counts
    {
        qint64 added = 0;
        qint64 overlapped = 0;
        qint64 coincided = 0;
    };
    // The description of ranges[index].
    using Describe = std::function<QString(qint64 index)>;

    // `ranges` sorted by first and disjoint, each first <= last.
    MarkAllCommand(EditHistory *history, MarkupTree *tree, std::vector<Range> ranges,
                   Describe describe, const QColor &foreground, const QColor &background);

    // Written by the first apply; shared so it can be read after the history
    // has dropped a step that added nothing.
    std::shared_ptr<const Counts> counts() const { return m_counts; }

protected:
    bool apply() override;
    void revert() override;

private:
    // The markup the range goes under in the tree below `root`, or null when
    // the tree refuses it; *coincides then says whether a markup has exactly
    // this range. Read-only.
    static MarkupNode *find_parent(MarkupNode *root, qint64 first, qint64 last, bool *coincides);
    // Puts `added` (ascending) among parent's children, each adopting the
    // children that lie inside it.
    static void merge_children(MarkupNode *parent, const std::vector<MarkupNode *> &added);

    MarkupTree *m_tree;
    std::vector<Range> m_ranges;
    Describe m_describe;
    QColor m_foreground;
    QColor m_background;
    std::shared_ptr<Counts> m_counts;
    // What revert() needs: the markups this step made and each changed
    // parent's children as they were before.
    std::vector<MarkupNode *> m_added;
    QHash<MarkupNode *, QList<MarkupNode *>> m_original_children;
};
