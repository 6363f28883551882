#include "markup/edithistory.h"

#include "markup/editcommand.h"

EditHistory::EditHistory(QObject *parent)
    : QUndoStack(parent)
{
    setUndoLimit(step_limit);
    connect(this, &QUndoStack::indexChanged, this, &EditHistory::changed);
}

bool EditHistory::run(EditCommand *command)
{
    if (!command->first_apply()) {
        delete command;
        return false;
    }
    push(command);
    emit changed();
    return true;
}

bool EditHistory::is_modified(Part part) const
{
    return m_state[part] != m_saved[part];
}

void EditHistory::mark_saved(Part part)
{
    m_saved[part] = m_state[part];
    emit changed();
}

void EditHistory::mark_modified(Part part)
{
    // No state ever takes this number.
    m_saved[part] = -1;
    emit changed();
}

void EditHistory::restart()
{
    clear();
    // Fresh numbers for the new history; what was modified stays so.
    for (Part part : { markup, bytes }) {
        const bool modified = is_modified(part);
        m_state[part] = next_state();
        m_saved[part] = modified ? -1 : m_state[part];
    }
    emit changed();
}

void EditHistory::set_state(Part part, qint64 state)
{
    m_state[part] = state;
}

bool EditHistory::applies(int index) const
{
    const auto *step = dynamic_cast<const EditCommand *>(command(index));
    return step && step->applies();
}

bool EditHistory::can_undo_step() const
{
    for (int i = index() - 1; i >= 0; --i) {
        if (applies(i))
            return true;
    }
    return false;
}

bool EditHistory::can_redo_step() const
{
    for (int i = index(); i < count(); ++i) {
        if (applies(i))
            return true;
    }
    return false;
}

void EditHistory::undo_step()
{
    // A step that no longer applies removes itself when undone.
    while (index() > 0 && !applies(index() - 1))
        undo();
    if (index() > 0)
        undo();
}

void EditHistory::redo_step()
{
    while (index() < count() && !applies(index()))
        redo();
    if (index() < count())
        redo();
}

QString EditHistory::undo_step_text() const
{
    for (int i = index() - 1; i >= 0; --i) {
        if (applies(i))
            return text(i);
    }
    return QString();
}

QString EditHistory::redo_step_text() const
{
    for (int i = index(); i < count(); ++i) {
        if (applies(i))
            return text(i);
    }
    return QString();
}
