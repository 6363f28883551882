#pragma once

#include "markup/edithistory.h"

#include <QList>
#include <QUndoCommand>

// One undoable step of an EditHistory. A subclass changes the data in apply()
// and takes the change back in revert(); the base keeps the history's
// modified states in step with it.
//
// The first apply() runs inside EditHistory::run() and tells whether anything
// changed; QUndoStack's own first redo() on pushing is then skipped.
class EditCommand : public QUndoCommand
{
public:
    EditCommand(EditHistory *history, EditHistory::Part part, const QString &text);

    void undo() final;
    void redo() final;

    EditHistory::Part part() const { return m_part; }
    // False once the step can no longer be taken back (its bytes were saved);
    // the history then drops it instead of undoing or redoing it.
    virtual bool applies() const { return true; }
    // Rows from the root down to the markup the tree view should select after
    // this step was undone (undone true) or redone; empty: select nothing.
    virtual QList<int> markup_focus(bool undone) const;

protected:
    // Returns whether anything changed; only the first call's answer is used.
    virtual bool apply() = 0;
    virtual void revert() = 0;
    // After merging a later step into this one: this step now ends where the
    // later one ended.
    void take_end_state(const EditCommand &later);

private:
    friend class EditHistory;
    bool first_apply();

    EditHistory *m_history;
    EditHistory::Part m_part;
    qint64 m_before = -1;
    qint64 m_after = -1;
    bool m_skip_redo = false;
};
