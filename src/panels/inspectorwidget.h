#pragma once

#include "document/valuedecoder.h"
#include "markup/markupvaluetype.h"

#include <QPointer>
#include <QWidget>

class EditedFile;
class QRadioButton;
class QTreeWidget;

// The "Inspector" dock's page: the bytes at the cursor decoded as every type
// of ValueDecoder, little- or big-endian by one switch. It reads the bytes as
// the user sees them (unsaved edits over the file) from the edited file, and
// only while it is visible: an offset given while hidden, or bytes changed
// while hidden, are read when the page is shown again. It follows the edited
// file: typed bytes, Undo, Redo, saves and another file refresh it.
//
// A row's context menu offers "Mark as <type>", which asks for a markup over
// the bytes of that value, made for that type in the chosen byte order; the
// window decides whether it is made. A file that shrinks or grows underneath
// refreshes the page when the edited file notices (bytes_changed).
class InspectorWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(InspectorWidget)

public:
    explicit InspectorWidget(QWidget *parent = nullptr);

    void set_edited_file(EditedFile *file);
    qint64 offset() const { return m_offset; }
    bool little_endian() const;
    void set_little_endian(bool little);
    // The value shown for `type` (empty past the end of the file).
    QString value_text(ValueDecoder::Type type) const;
    // The markup "Mark as <type>" asks for: false when the value runs past
    // the end of the file as it is now (read again, not as last shown) or
    // there is no cursor.
    bool mark_range(ValueDecoder::Type type, qint64 *first, qint64 *last) const;

public slots:
    // The cursor moved to `offset` (-1: no cursor), or the bytes changed.
    void set_offset(qint64 offset);
    void mark_as(ValueDecoder::Type type);

signals:
    void mark_requested(qint64 first, qint64 last, const QString &description,
                        const MarkupValueType &type);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    QByteArray read_at_cursor() const;
    void show_context_menu(const QPoint &pos);

    // The bytes first..last changed: refreshes when they are among those shown.
    void follow_bytes(qint64 first, qint64 last);

    QTreeWidget *m_table = nullptr;
    QRadioButton *m_little_button = nullptr;
    QRadioButton *m_big_button = nullptr;
    QPointer<EditedFile> m_file;
    qint64 m_offset = -1;
    // The bytes the rows show; refreshed only while visible.
    QByteArray m_bytes;
    bool m_stale = true;
};
