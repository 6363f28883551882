#include "hexview/byteeditcommand.h"

#include "hexview/hexwidget.h"

ByteEditCommand::ByteEditCommand(EditHistory *history, HexWidget *widget, qint64 offset,
                                 const State &before, const State &after)
    : EditCommand(history, EditHistory::bytes, QStringLiteral("Edit Byte"))
    , m_widget(widget)
    , m_offset(offset)
    , m_before(before)
    , m_after(after)
    , m_generation(widget->edit_generation())
{
}

bool ByteEditCommand::applies() const
{
    return m_widget->edit_generation() == m_generation;
}

int ByteEditCommand::id() const
{
    return 0x4245; // "BE"
}

bool ByteEditCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const ByteEditCommand *>(other);
    // Only the nibble that completes this step's pending one joins it.
    if (!next || next->m_widget != m_widget || next->m_offset != m_offset
        || next->m_generation != m_generation || m_after.pending_nibble < 0
        || next->m_before.pending_nibble != m_after.pending_nibble
        || next->m_after.pending_nibble >= 0)
        return false;
    m_after = next->m_after;
    take_end_state(*next);
    return true;
}

bool ByteEditCommand::apply()
{
    m_widget->restore_byte(m_offset, m_after);
    return true;
}

void ByteEditCommand::revert()
{
    m_widget->restore_byte(m_offset, m_before);
}
