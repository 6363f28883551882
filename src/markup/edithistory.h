#pragma once

#include <QUndoStack>

class EditCommand;

// The undo history of one editing session: markup steps and byte edits on
// one stack, so Undo always takes back the latest change of either kind.
//
// Each kind ("part") has its own clean index, the stack index at which the
// part was last saved: a part is modified exactly when a step of that part
// lies between its clean index and the current index, so undoing back to a
// save makes it unmodified again. A step pushed after undoing drops the redo
// tail; a clean index inside that tail can then never be reached again, and
// neither can one before the oldest steps the limit drops.
class EditHistory : public QUndoStack
{
    Q_OBJECT
    Q_DISABLE_COPY(EditHistory)

public:
    enum Part { markup = 0, bytes = 1 };
    // The oldest steps are dropped beyond this many.
    static constexpr int step_limit = 1000;

    explicit EditHistory(QObject *parent = nullptr);
    ~EditHistory() override;

    // Pushes the command, whose first redo() applies it. When it changed
    // nothing it made itself obsolete, the stack deleted it and the result
    // is false; otherwise it is the newest step (or merged into the newest)
    // and the result is true.
    bool run(EditCommand *command);
    // Whether the last run() joined its command to the newest step.
    bool last_run_merged() const { return m_merged; }

    bool is_modified(Part part) const;
    // The part as it is now is what its file holds.
    void mark_saved(Part part);
    // The part counts as modified until its next save, whatever is undone.
    void mark_modified(Part part);
    // Forgets every step; each part stays modified or unmodified as it was.
    void restart();

signals:
    // A step was pushed, undone or redone, or a part was saved or marked.
    void changed();
    // A part's modified state flipped.
    void modified_changed(EditHistory::Part part, bool modified);

private:
    friend class EditCommand;

    void announce();
    // Signals wait while the stack changes under a push or a clear, when the
    // clean indexes do not yet match it.
    bool m_quiet = false;

    // Stack index at which each part was saved; -1: not reachable by undo
    // or redo, so the part is modified until it is saved again.
    int m_clean[2] = { 0, 0 };
    bool m_was_modified[2] = { false, false };
    // The first redo() of the command being pushed, and a merge, report here.
    bool m_applied = false;
    bool m_merged = false;
};
