#pragma once

#include "markup/editcommand.h"

class MarkupNode;
class MarkupTree;

// Clear Marks: every markup goes. While the step is done the command holds
// the old tree, to put it back on undo. An empty tree makes no step.
class ClearMarksCommand : public EditCommand
{
public:
    ClearMarksCommand(EditHistory *history, MarkupTree *tree);
    ~ClearMarksCommand() override;

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    MarkupNode *m_taken = nullptr;
};
