#include "editedfile/byteeditcommand.h"

#include "editedfile/editedfile.h"

#include <QCoreApplication>
#include <QDataStream>

namespace {

void write_state(QDataStream &out, const ByteEditCommand::State &state)
{
    out << qint16(state.edit) << qint16(state.shown) << state.cursor.selection_start
        << state.cursor.selection_end << state.cursor.pending_nibble;
}

bool read_state(QDataStream &in, ByteEditCommand::State *state)
{
    qint16 edit = 0;
    qint16 shown = 0;
    in >> edit >> shown >> state->cursor.selection_start >> state->cursor.selection_end
        >> state->cursor.pending_nibble;
    state->edit = edit;
    state->shown = shown;
    return in.status() == QDataStream::Ok && edit >= -1 && edit <= 255 && shown >= 0
           && shown <= 255;
}

} // namespace

ByteEditCommand::ByteEditCommand(EditHistory *history, EditedFile *file, qint64 offset,
                                 const State &before, const State &after)
    : EditCommand(history, EditHistory::bytes,
                  QCoreApplication::translate("ByteEditCommand", "Edit Byte"))
    , m_file(file)
    , m_offset(offset)
    , m_before(before)
    , m_after(after)
{
}

int ByteEditCommand::id() const
{
    return 0x4245; // "BE"
}

bool ByteEditCommand::merge(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const ByteEditCommand *>(other);
    // Only the nibble that completes this step's pending one joins it.
    if (!next || next->m_file != m_file || next->m_offset != m_offset
        || m_after.cursor.pending_nibble < 0
        || next->m_before.cursor.pending_nibble != m_after.cursor.pending_nibble
        || next->m_after.cursor.pending_nibble >= 0)
        return false;
    m_after = next->m_after;
    return true;
}

bool ByteEditCommand::apply()
{
    m_file->restore_byte(m_offset, m_after);
    return true;
}

void ByteEditCommand::revert()
{
    m_file->restore_byte(m_offset, m_before);
}

QByteArray ByteEditCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint8('B') << m_offset;
    write_state(out, m_before);
    write_state(out, m_after);
    return bytes;
}

ByteEditCommand *ByteEditCommand::from_record(const QByteArray &record, EditHistory *history,
                                              EditedFile *file)
{
    QDataStream in(record);
    qint8 kind = 0;
    qint64 offset = -1;
    State before {};
    State after {};
    in >> kind >> offset;
    if (kind != 'B' || offset < 0 || !read_state(in, &before) || !read_state(in, &after)
        || after.edit < 0)
        return nullptr;
    return new ByteEditCommand(history, file, offset, before, after);
}
