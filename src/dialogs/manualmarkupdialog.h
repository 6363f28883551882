#pragma once

#include <QDialog>

class QLineEdit;

// Asks for a range to mark as typed numbers: a start and either an end or a
// length, each in C notation ("0x" hexadecimal, leading-0 octal, else
// decimal). The dialog checks nothing beyond its validators; "Ok" always
// accepts. The caller reads the values only after an accept:
//   first = start_position(); last = length_value() != 0
//       ? first + length_value() - 1 : end_position();
// The line edits are named "start_edit", "end_edit" and "length_edit".
class ManualMarkupDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(ManualMarkupDialog)

public:
    explicit ManualMarkupDialog(QWidget *parent = nullptr);

    // Each field's text read as an unsigned 64-bit C-notation number; an empty
    // or unreadable text gives 0. A field holds at most 19 characters, yet
    // e.g. "0xffffffffffffffff" fits, so a caller that needs a signed offset
    // must check the value against the qint64 range itself.
    quint64 start_position() const;
    quint64 end_position() const;
    quint64 length_value() const;

private:
    QLineEdit *m_start_edit;
    QLineEdit *m_end_edit;
    QLineEdit *m_length_edit;
};
