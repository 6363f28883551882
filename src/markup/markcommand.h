#pragma once

#include "markup/editcommand.h"

class MarkupTree;

// Mark: a new markup over first..last that adopts the markups inside it.
// Refused (nothing changes, no step) where MarkupTree::insert_range refuses.
class MarkCommand : public EditCommand
{
public:
    MarkCommand(EditHistory *history, MarkupTree *tree, qint64 first, qint64 last);

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    qint64 m_first;
    qint64 m_last;
    QList<int> m_path;
    QList<int> m_adopted_rows;
};
