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

bool EditCommand::first_apply()
{
    m_before = m_history->state(m_part);
    if (!apply())
        return false;
    m_after = m_history->next_state();
    m_history->set_state(m_part, m_after);
    m_skip_redo = true;
    return true;
}

void EditCommand::undo()
{
    if (!applies()) {
        setObsolete(true);
        return;
    }
    revert();
    m_history->set_state(m_part, m_before);
}

void EditCommand::redo()
{
    if (m_skip_redo) {
        m_skip_redo = false;
        return;
    }
    if (!applies()) {
        setObsolete(true);
        return;
    }
    apply();
    m_history->set_state(m_part, m_after);
}

void EditCommand::take_end_state(const EditCommand &later)
{
    m_after = later.m_after;
}
