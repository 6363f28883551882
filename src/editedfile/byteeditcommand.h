#pragma once

#include "markup/editcommand.h"

#include <QMetaType>

class EditedFile;

// Edit Byte: one byte's value changes, with the view's cursor and pending
// nibble. Typing the second nibble of a byte merges into the step of the
// first, so a nibble pair is one step. The step keeps the values the user
// saw, so it still takes its byte back after the edit was saved.
class ByteEditCommand : public EditCommand
{
public:
    struct Cursor
    {
        qint64 selection_start = -1;
        qint64 selection_end = -1;
        qint16 pending_nibble = -1;
    };
    struct State
    {
        int edit;  // the unsaved value 0..255, or -1: not edited
        int shown; // the value the user saw, 0..255
        Cursor cursor;
    };

    ByteEditCommand(EditHistory *history, EditedFile *file, qint64 offset, const State &before,
                    const State &after);

    int id() const override;
    bool merge(const QUndoCommand *other) override;
    // 'B', the offset and both states (packed, see the source).
    QByteArray record() const override;
    // The step a record made by record() describes, for `file`; null when
    // the record is not one.
    static ByteEditCommand *from_record(const QByteArray &record, EditHistory *history,
                                        EditedFile *file);

protected:
    bool apply() override;
    void revert() override;

private:
    EditedFile *m_file;
    qint64 m_offset;
    State m_before;
    State m_after;
};

Q_DECLARE_METATYPE(ByteEditCommand::Cursor)
