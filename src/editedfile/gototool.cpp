#include "editedfile/gototool.h"

#include "editedfile/editedfile.h"

GotoTool::GotoTool(EditedFile *file, QObject *parent)
    : QObject(parent)
    , m_file(file)
{
}

qint64 GotoTool::target(const QString &text, QString *why) const
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return qint64(-1);
    };
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 16);
    // Not hexadecimal, or too large for any file offset.
    if (!ok)
        return refuse(tr("Enter a Hexadecimal Number"));
    if (value < 0)
        return refuse(tr("Addresses start at 0: -0x%1 is negative").arg(-value, 0, 16));
    if (!m_file || !m_file->is_open())
        return refuse(tr("No file is open"));
    const qint64 size = m_file->size();
    if (value >= size) {
        return refuse(
            size == 0 ? tr("Address 0x%1 is past the end of the file (the file is empty)")
                            .arg(value, 0, 16)
                      : tr("Address 0x%1 is past the end of the file (last address 0x%2)")
                            .arg(value, 0, 16)
                            .arg(size - 1, 0, 16));
    }
    return value;
}

bool GotoTool::go(const QString &text)
{
    QString why;
    const qint64 offset = target(text, &why);
    if (offset < 0) {
        emit refused(why);
        return false;
    }
    emit jump(offset);
    return true;
}
