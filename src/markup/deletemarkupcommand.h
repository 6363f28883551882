#pragma once

#include "markup/editcommand.h"

class MarkupNode;
class MarkupTree;

// Delete: a markup leaves and its children take its place. While the step is
// done the command holds the markup alone (its values and colours).
class DeleteMarkupCommand : public EditCommand
{
public:
    DeleteMarkupCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node);
    ~DeleteMarkupCommand() override;

    QList<int> markup_focus(bool undone) const override;

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    QList<int> m_path;
    MarkupNode *m_taken = nullptr;
    int m_moved = 0;
};
