#pragma once

#include <QByteArray>

class EditCommand;
class EditHistory;
class MarkupTree;

// Makes a markup step again from the record its command wrote
// (EditCommand::record): Mark, Delete, Prune, Colour, Clear Marks, cell
// edits and markups placed at once (a template's). Markups are named by
// their rows from the root, so the tree must be as it was when the step was
// first taken.
class MarkupStepDecoder
{
public:
    // The step, not yet pushed; null when the record is of another kind, is
    // malformed, or names a markup the tree does not have.
    static EditCommand *decode(const QByteArray &record, EditHistory *history, MarkupTree *tree);
};
