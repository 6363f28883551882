#pragma once

#include <QItemDelegate>
#include <QList>
#include <QPair>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QRect>
#include <QVariant>

#include <functional>

class MarkupModel;
class QFontMetrics;

// Paints the Start, End and Length columns of the markup tree in each markup's
// own colours (white on the highlight when selected), in hexadecimal ("0xff")
// or decimal ("255") as the "Hex Markup Display" setting chooses, and provides
// the in-place editors: a line edit for Description, a HexOptionSpinBox for
// Start and End, a "true"/"false" combo box for Repeat, none for Length.
//
// A Start or End editor is limited so the markup stays inside its parent,
// around its children and clear of its siblings. While its value spins, the
// delegate writes the bound (and the recomputed Length) straight into the
// markup, inside the model's change bracket, and asks for a mask reload so
// the hex view shows the new extent before the edit is committed.
//
// The delegate works on a MarkupModel; its collaborators are handed in:
//   set_document_size(f)   f() answers the open file's size in bytes; it may
//                          throw "file is not open", and the
//                          top-level End limit is then left open;
//   set_reload_mask(f)     f() refills the markup colour mask;
//   set_markup_modified(f) f() sets the main window's markup-modified flag,
//                          called whenever an editor opens;
//   set_edit_refused(f)    f() is asked before an editor opens or writes into
//                          a markup; true refuses (the owner tells the user
//                          why), and the markup stays as it was.
//   set_show_message(f)    f(text) tells the user why a typed Start or End
//                          cannot stand (the owner's status bar);
//   set_commit_edit(f)     f(index, before, after) stores a finished edit
//                          (column values of index's markup, Length included
//                          for a Start or End edit, before as they were when
//                          the editor opened) instead of setData, so the
//                          owner can make it an undoable step.
// The owner also connects commitData(QWidget *) to MarkupMask::reload_mask.
class TreeViewDelegate : public QItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY(TreeViewDelegate)

public:
    explicit TreeViewDelegate(QObject *parent = nullptr);
    ~TreeViewDelegate() override;

    void set_document_size(std::function<qint64()> document_size);
    void set_reload_mask(std::function<void()> reload_mask);
    void set_markup_modified(std::function<void()> markup_modified);
    void set_edit_refused(std::function<bool()> edit_refused);
    void set_show_message(std::function<void(const QString &)> show_message);
    using Values = QList<QPair<int, QVariant>>;
    using CommitEdit =
        std::function<void(const QModelIndex &index, const Values &before, const Values &after)>;
    void set_commit_edit(CommitEdit commit_edit);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
    // A Start or End editor closed without committing (Escape) puts back the
    // values the live update wrote, so a cancelled edit changes nothing.
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;

    // The text a Start, End or Length cell shows for its display value.
    static QString position_text(const QVariant &display);

    // That text as it fits `width` pixels: whole, or cut with a visible "…",
    // never silently clipped.
    static QString fitted_position_text(const QVariant &display, const QFontMetrics &metrics,
                                        int width);
    // Width of a Start, End or Length cell whose text shows `value` whole
    // (the editor's arrows need more; the view widens a column to hold them).
    static int position_cell_width(qint64 value, const QFontMetrics &metrics);
    static constexpr int max_shown_description = 1000;
    // A description as the view shows it: whole when it fits, else its first
    // max_shown_description characters followed by an ellipsis.
    static QString shown_description(const QString &text);
    // A description cell is measured (and painted) as shown_description():
    // laying out a text of megabytes took the view seconds on every repaint.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The values a Start or End editor for index may take (inclusive): from
    // the end of the previous sibling plus one, or the parent's Start, up to
    // the first child's Start or the markup's own End; from the last child's
    // End or the markup's own Start up to the next sibling's Start minus one,
    // the parent's End, or the last byte of the file. The range always holds
    // the current value, so opening an editor never moves a bound by itself.
    // {0, -1} for an index that is not a Start or End cell of a MarkupModel.
    QPair<qint64, qint64> editor_range(const QModelIndex &index) const;
    // Why `value` cannot be the bound of index's Start or End cell, naming
    // the neighbour or the file end that stands in the way, e.g. "End must
    // not be before Start"; the empty text when it lies in editor_range().
    QString refusal_reason(const QModelIndex &index, qint64 value) const;

private slots:
    void update_hexwidget(qint64 value);

private:
    // What limits a bound from below or above (see editor_range()).
    enum class Limit { none, previous_sibling, parent, first_child, own_start, own_end,
                       last_child, next_sibling, file_end };
    struct Bounds
    {
        qint64 minimum = 0;
        qint64 maximum = -1;
        Limit below = Limit::none;
        Limit above = Limit::none;
    };
    Bounds bounds(const QModelIndex &index) const;
    // Gives the editor the cell `rect`, the column first widened when a
    // position editor needs more room than the cell has.
    void place_editor(QWidget *editor, const QModelIndex &index, QRect rect) const;

    // QItemDelegate's painting of a cell, with text in place of the value.
    void paint_text(QPainter *painter, const QStyleOptionViewItem &option,
                    const QModelIndex &index, const QString &text) const;

    // Start or End cell whose editor was last filled; the live update writes
    // into its markup. Persistent, so a markup deleted meanwhile is noticed.
    mutable QPersistentModelIndex edited_index;
    // Start, End and Length of that markup when its editor opened: the live
    // update has changed them by the time the edit is committed.
    mutable Values m_edited_before;
    mutable QPointer<QWidget> m_edited_editor;
    mutable bool m_edited_committed = false;

    std::function<qint64()> m_document_size;
    std::function<void()> m_reload_mask;
    std::function<void()> m_markup_modified;
    std::function<bool()> m_edit_refused;
    std::function<void(const QString &)> m_show_message;
    CommitEdit m_commit_edit;
};
