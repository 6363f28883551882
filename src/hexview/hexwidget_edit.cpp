// Byte editing of the hex widget: keys become steps of the edited file.

#include "hexview/hexwidget.h"

#include "document/hexdocument.h"
#include "editedfile/editedfile.h"

#include <QFileInfo>
#include <QKeyEvent>

namespace {

QString boxed(const QString &text)
{
    return QStringLiteral("<font size =4>%1</font>").arg(text);
}

} // namespace

bool HexWidget::edit_key(QKeyEvent *event)
{
    const qint64 cursor = m_selection_start;
    // No edit is ever stored for a position outside the file.
    if (cursor < 0 || cursor >= file_size())
        return false;
    const ByteEditCommand::Cursor before{m_selection_start, m_selection_end, m_pending_nibble};
    // The key tail collapses the selection to the cursor.
    ByteEditCommand::Cursor after{cursor, cursor, -1};
    int value;

    if (m_hex_column_active) {
        const int key = event->key();
        int nibble;
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            nibble = key - Qt::Key_0;
        else if (key >= Qt::Key_A && key <= Qt::Key_F)
            nibble = key - Qt::Key_A + 10;
        else
            return false;

        value = m_file->byte_at(cursor);
        if (value < 0)
            return false;
        if (m_pending_nibble < 0) {
            after.pending_nibble = qint16(nibble);
            value = nibble * 16 + value % 16;
        } else {
            value = (value / 16) * 16 + nibble;
            after.selection_start = after.selection_end = cursor + 1;
        }
    } else {
        const QString text = event->text();
        if (text.isEmpty())
            return false;
        const char byte = text.at(0).toLatin1();
        if (byte == 0)
            return false;
        value = quint8(byte);
        after.selection_start = after.selection_end = cursor + 1;
    }
    if (!m_file->type_byte(cursor, quint8(value), before, after))
        return false;
    m_selection_start = after.selection_start;
    m_pending_nibble = after.pending_nibble;
    emit content_changed();
    return true;
}

void HexWidget::restore_cursor(const ByteEditCommand::Cursor &cursor)
{
    m_selection_start = cursor.selection_start;
    m_selection_end = cursor.selection_end;
    m_pending_nibble = cursor.pending_nibble;
    if (m_selection_start >= 0) {
        const qint64 row = m_selection_start / 16;
        if (row < m_top_row || row >= m_top_row + visible_rows())
            set_top_row(row);
    }
    update();
    notify_selection();
}

bool HexWidget::save_edits(const QString &name, Overwrite overwrite)
{
    if (!m_file->is_open())
        return false;
    if (!m_file->saves_in_place(name) && overwrite == Overwrite::ask && QFileInfo::exists(name)
        && ask(QMessageBox::Question, tr("File Exists"), boxed(tr("File Exists, Overwrite?")),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
               != QMessageBox::Yes)
        return false;
    QString error;
    if (!m_file->save_bytes(name, &error)) {
        // A refusal while busy has told the status bar already.
        if (!error.isEmpty())
            ask(QMessageBox::Warning, tr("File Write Error"), boxed(error), QMessageBox::Ok,
                QMessageBox::Ok);
        return false;
    }
    m_pending_nibble = -1;
    update();
    return true;
}
