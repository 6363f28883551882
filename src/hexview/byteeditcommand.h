#pragma once

#include "markup/editcommand.h"

class HexWidget;

// Edit Byte: one byte's unsaved value changes, with the cursor and the
// pending nibble. Typing the second nibble of a byte merges into the step of
// the first, so a nibble pair is one step. A save or another file makes the
// step stale: its bytes are then in the file (or gone) and it no longer applies.
class ByteEditCommand : public EditCommand
{
public:
    struct State
    {
        int value; // the unsaved value 0..255, or -1: not edited
        qint64 selection_start;
        qint64 selection_end;
        qint16 pending_nibble;
    };

    ByteEditCommand(EditHistory *history, HexWidget *widget, qint64 offset, const State &before,
                    const State &after);

    bool applies() const override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    bool apply() override;
    void revert() override;

private:
    HexWidget *m_widget;
    qint64 m_offset;
    State m_before;
    State m_after;
    quint64 m_generation;
};
