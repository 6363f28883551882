#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The line above the hex view that offers a template for the format of the
// file just opened: "This looks like: PNG (Portable Network Graphics) file"
// with a button "Apply png.ksy" and one that closes the line. Hidden until
// offered. The button carries the object name "apply_format_button".
class FormatBar : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY(FormatBar)

public:
    explicit FormatBar(QWidget *parent = nullptr);

    // Shows the line for the description titled `title` in `file_name`.
    void offer(const QString &title, const QString &file_name);
    // The text shown, for the caller's tests.
    QString text() const;

signals:
    void apply_requested();

private:
    QLabel *m_label;
    QPushButton *m_apply;
};
