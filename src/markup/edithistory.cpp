#include "markup/edithistory.h"

#include "markup/editcommand.h"

EditHistory::EditHistory(QObject *parent)
    : QUndoStack(parent)
{
    setUndoLimit(step_limit);
    connect(this, &QUndoStack::indexChanged, this, &EditHistory::announce);
}

EditHistory::~EditHistory()
{
    // The stack's own destructor clears it and announces that.
    disconnect(this, &QUndoStack::indexChanged, this, &EditHistory::announce);
}

bool EditHistory::run(EditCommand *command)
{
    const int before = index();
    m_applied = false;
    m_merged = false;
    m_quiet = true;
    push(command);
    m_quiet = false;
    // A new step went on top of `before` unless it merged or changed nothing;
    // the limit then dropped the oldest steps below it.
    const int dropped = m_applied && !m_merged ? before + 1 - index() : 0;
    for (int &clean : m_clean) {
        // Pushing dropped the redo tail, even for a step that changed
        // nothing, and with it a save made inside the tail.
        if (clean > before)
            clean = -1;
        else if (clean >= 0)
            clean = clean >= dropped ? clean - dropped : -1;
    }
    announce();
    return m_applied;
}

bool EditHistory::is_modified(Part part) const
{
    const int clean = m_clean[part];
    // Past the end: the steps up to the save are gone (the stack is being
    // cleared).
    if (clean < 0 || clean > count())
        return true;
    const int from = qMin(clean, index());
    const int to = qMax(clean, index());
    for (int i = from; i < to; ++i) {
        const auto *step = static_cast<const EditCommand *>(command(i));
        if (step->part() == part)
            return true;
    }
    return false;
}

void EditHistory::mark_saved(Part part)
{
    m_clean[part] = index();
    announce();
}

void EditHistory::mark_modified(Part part)
{
    m_clean[part] = -1;
    announce();
}

void EditHistory::restart()
{
    const bool modified[2] = { is_modified(markup), is_modified(bytes) };
    m_quiet = true;
    clear();
    m_quiet = false;
    for (Part part : { markup, bytes })
        m_clean[part] = modified[part] ? -1 : 0;
    announce();
}

void EditHistory::announce()
{
    if (m_quiet)
        return;
    for (Part part : { markup, bytes }) {
        const bool modified = is_modified(part);
        if (modified != m_was_modified[part]) {
            m_was_modified[part] = modified;
            emit modified_changed(part, modified);
        }
    }
    emit changed();
}
