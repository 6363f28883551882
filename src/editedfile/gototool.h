#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class EditedFile;

// Goto without its panel: a hexadecimal address checked against the edited
// file. An address the file does not hold (negative, past the end, no file
// open) or text that is no hexadecimal number is refused with the reason.
class GotoTool : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(GotoTool)

public:
    explicit GotoTool(EditedFile *file, QObject *parent = nullptr);

    // The byte `text` names, or -1 with *why (when given) saying why not.
    qint64 target(const QString &text, QString *why = nullptr) const;
    // Emits jump() with the byte `text` names, or refused() with the reason.
    bool go(const QString &text);

signals:
    void jump(qint64 offset);
    void refused(const QString &why);

private:
    QPointer<EditedFile> m_file;
};
