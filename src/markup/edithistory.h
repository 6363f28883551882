#pragma once

#include <QUndoStack>

class EditCommand;

// The undo history of one editing session: markup steps and byte edits on
// one stack, so Undo always takes back the latest change of either kind.
//
// Each kind ("part") has its own saved state. Every step moves its part from
// one state number to a fresh one and back when undone, so a part is
// modified exactly when its current state is not the one last saved; undoing
// back to a save makes it unmodified again, and a history cut short (a new
// step after undoing) cannot bring a stale saved state back by accident.
//
// Steps that no longer apply (byte edits written by a save since) are passed
// over by undo_step()/redo_step() and dropped from the stack.
class EditHistory : public QUndoStack
{
    Q_OBJECT
    Q_DISABLE_COPY(EditHistory)

public:
    enum Part { markup = 0, bytes = 1 };
    // The oldest steps are dropped beyond this many.
    static constexpr int step_limit = 1000;

    explicit EditHistory(QObject *parent = nullptr);

    // Applies the command at once. When it changed nothing it is deleted and
    // the result is false; otherwise it becomes the newest step (or merges
    // into the newest) and the result is true.
    bool run(EditCommand *command);

    bool is_modified(Part part) const;
    // The part as it is now is what its file holds.
    void mark_saved(Part part);
    // The part counts as modified until its next save, whatever is undone.
    void mark_modified(Part part);
    // Forgets every step; each part stays modified or unmodified as it was.
    void restart();

    // Undo and redo of the nearest step that still applies.
    bool can_undo_step() const;
    bool can_redo_step() const;
    void undo_step();
    void redo_step();
    // The nearest step's own text ("Mark", "Edit Byte"), empty when none.
    QString undo_step_text() const;
    QString redo_step_text() const;

signals:
    // A step was run, undone or redone, or a part was saved or marked.
    void changed();

private:
    friend class EditCommand;

    qint64 state(Part part) const { return m_state[part]; }
    void set_state(Part part, qint64 state);
    qint64 next_state() { return ++m_last_state; }
    bool applies(int index) const;

    qint64 m_state[2] = { 0, 0 };
    qint64 m_saved[2] = { 0, 0 };
    qint64 m_last_state = 0;
};
