#include "editedfile/byteeditcommand.h"

#include "editedfile/editedfile.h"

#include <QCoreApplication>

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
