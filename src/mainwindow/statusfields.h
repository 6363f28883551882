#pragma once

#include <QList>
#include <QObject>

class QLabel;
class QStatusBar;

// The status bar's permanent fields, Offset, Selection and Size, beside its
// message. The fields never take the message's room: each is as wide as its
// text (Selection as wide as the widest text it can show for the open file,
// so it keeps its width while the selection changes), and while a message
// needs their room they give way, Size first, then Selection, then Offset,
// until the message fits; they come back when it is cleared. A message wider
// than the whole bar is cut at the bar's edge and its full text becomes the
// bar's tool tip, unless the message has a detail (StatusDetail), which is.
//
// Left of them, a warning may stay until it is taken back (show_warning):
// it never gives way, and takes at most half the bar, its middle cut out
// when longer; its full text is its tool tip.
class StatusFields : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(StatusFields)

public:
    explicit StatusFields(QStatusBar *bar);

    // The cursor is the end moved last; -1 for either: no selection.
    void show_selection(qint64 start, qint64 end);
    // The open file's size; -1: no file.
    void show_size(qint64 size);
    // A warning that stays; empty removes it.
    void show_warning(const QString &text);

    // How many of the fields, taken in the order they keep their place
    // (`widths`, each with its spacing), fit beside a message `message`
    // pixels wide in `room` pixels. Fields that do not all fit give way from
    // the end of the list.
    static int fields_that_fit(int room, int message, const QList<int> &widths);

    // Selection: 0x1A-0x1F, 6 bytes
    static QString selection_text(qint64 first, qint64 last);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows the fields that are wanted and fit beside the message.
    void fit();
    int width_for(const QLabel *field, const QString &text) const;
    void fix_selection_width();

    QStatusBar *m_bar;
    QLabel *m_offset;
    QLabel *m_selection;
    QLabel *m_size;
    QLabel *m_warning;
    QString m_warning_text;
    qint64 m_file_size = -1;
    bool m_has_selection = false;
};
