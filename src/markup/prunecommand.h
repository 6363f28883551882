#pragma once

#include "markup/editcommand.h"

class MarkupNode;
class MarkupTree;

// Prune: a markup leaves with its whole subtree. While the step is done the
// command holds that subtree (and only it), to put it back on undo.
class PruneCommand : public EditCommand
{
public:
    PruneCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node);
    ~PruneCommand() override;

    QList<int> markup_focus(bool undone) const override;

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    QList<int> m_path;
    MarkupNode *m_taken = nullptr;
};
