#include "editedfile/byteeditcommand.h"

#include "editedfile/editedfile.h"

#include <QCoreApplication>
#include <QtEndian>

namespace {

// Typing writes one of these per nibble, so they are packed by hand rather
// than through a QDataStream: 'B', the offset, then each state as edit,
// shown (qint16), selection start and end (qint64) and pending nibble
// (qint16), all little-endian.
constexpr int state_size = 2 + 2 + 8 + 8 + 2;
constexpr int record_size = 1 + 8 + 2 * state_size;

char *write_state(char *p, const ByteEditCommand::State &state)
{
    qToLittleEndian<qint16>(qint16(state.edit), p);
    qToLittleEndian<qint16>(qint16(state.shown), p + 2);
    qToLittleEndian<qint64>(state.cursor.selection_start, p + 4);
    qToLittleEndian<qint64>(state.cursor.selection_end, p + 12);
    qToLittleEndian<qint16>(state.cursor.pending_nibble, p + 20);
    return p + state_size;
}

bool read_state(const char *p, ByteEditCommand::State *state)
{
    state->edit = qFromLittleEndian<qint16>(p);
    state->shown = qFromLittleEndian<qint16>(p + 2);
    state->cursor.selection_start = qFromLittleEndian<qint64>(p + 4);
    state->cursor.selection_end = qFromLittleEndian<qint64>(p + 12);
    state->cursor.pending_nibble = qFromLittleEndian<qint16>(p + 20);
    return state->edit >= -1 && state->edit <= 255 && state->shown >= 0 && state->shown <= 255;
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
    QByteArray bytes(record_size, Qt::Uninitialized);
    char *p = bytes.data();
    *p = 'B';
    qToLittleEndian<qint64>(m_offset, p + 1);
    write_state(write_state(p + 9, m_before), m_after);
    return bytes;
}

ByteEditCommand *ByteEditCommand::from_record(const QByteArray &record, EditHistory *history,
                                              EditedFile *file)
{
    if (record.size() != record_size || record.at(0) != 'B')
        return nullptr;
    const char *p = record.constData();
    const qint64 offset = qFromLittleEndian<qint64>(p + 1);
    State before {};
    State after {};
    if (offset < 0 || !read_state(p + 9, &before) || !read_state(p + 9 + state_size, &after)
        || after.edit < 0)
        return nullptr;
    return new ByteEditCommand(history, file, offset, before, after);
}
