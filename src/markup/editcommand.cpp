#include "markup/editcommand.h"

EditCommand::EditCommand(EditHistory *history, EditHistory::Part part, const QString &text)
    : QUndoCommand(text)
    , m_history(history)
    , m_part(part)
{
}

QList<int> EditCommand::markup_focus(bool) const
{
    return {};
}

QByteArray EditCommand::record() const
{
    return QByteArray();
}

void EditCommand::undo()
{
    revert();
}

void EditCommand::redo()
{
    const bool changed = apply();
    if (m_pushed)
        return;
    m_pushed = true;
    m_history->m_applied = changed;
    if (!changed)
        setObsolete(true);
}

bool EditCommand::mergeWith(const QUndoCommand *other)
{
    if (!merge(other))
        return false;
    m_history->m_merged = true;
    return true;
}
