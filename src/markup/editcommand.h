#pragma once

#include "markup/edithistory.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QUndoCommand>

// One undoable step of an EditHistory. A subclass changes the data in apply()
// and takes the change back in revert().
//
// The first apply() runs when the history pushes the step and tells whether
// anything changed; a step that changed nothing makes itself obsolete, so
// the stack drops it.
class EditCommand : public QUndoCommand
{
public:
    EditCommand(EditHistory *history, EditHistory::Part part, const QString &text);

    void undo() final;
    void redo() final;
    bool mergeWith(const QUndoCommand *other) final;

    EditHistory::Part part() const { return m_part; }
    // Rows from the root down to the markup the tree view should select after
    // this step was undone (undone true) or redone; empty: select nothing.
    virtual QList<int> markup_focus(bool undone) const;
    // The step as the journal writes it: a kind letter and the arguments
    // that make the same step again on the same tree (MarkupStepDecoder reads
    // the markup kinds back). Taken before the step is pushed. Empty: the
    // step cannot be described so, and the journal keeps the state after it.
    virtual QByteArray record() const;
    // The QDataStream version records are written and read in, fixed so
    // that a journal reads the same under a later Qt.
    static constexpr QDataStream::Version record_stream_version = QDataStream::Qt_6_0;

protected:
    // Returns whether anything changed; only the first call's answer is used.
    virtual bool apply() = 0;
    virtual void revert() = 0;
    // Takes a later step of the same id() into this one; false to keep both.
    virtual bool merge(const QUndoCommand *) { return false; }

private:
    EditHistory *m_history;
    EditHistory::Part m_part;
    bool m_pushed = false;
};
