#pragma once

#include "markup/markupvaluetype.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>

class FindAllTool;
class MainWindow;
class MarkupNode;
class QAction;
class QMenu;
class QModelIndex;

// Changing the markups: Mark and its variants, the colours, Delete, Prune,
// Clear Marks, an edit in the tree view, and Undo and Redo of all of them.
// Every change is one step of the window's edit history.
class MarkupActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MarkupActions)

public:
    explicit MarkupActions(MainWindow *window);

    // Adds Edit > Undo and Redo, whose texts name the step they would take.
    void add_undo_entries(QMenu *edit_menu);

    // Random foreground (red, green, blue drawn in that order), and the
    // background contrast_colour() pairs with it.
    void assign_random_colours(MarkupNode *node);
    // The foreground shifted by 128 in every component, modulo 256.
    static QColor contrast_colour(const QColor &foreground);
    // Stores a finished tree-view edit as one undoable step.
    // Foreground and background of Mark All: the colours last chosen, and
    // before any a dark text on a fill that stands out from the view.
    QPair<QColor, QColor> mark_all_colours() const;
    void commit_markup_edit(const QModelIndex &index, const QList<QPair<int, QVariant>> &before,
                            const QList<QPair<int, QVariant>> &after);

public slots:
    void mark_action();
    void manual_selection_action();
    void mark_color_action();
    void mark_background_color_action();
    void pick_random_color_action();
    // The markup under the hex view's selection, asked for from its context menu.
    void random_colours_for_selection();
    void delete_markup_action();
    void prune_markup_action();
    void clear_marks_action();
    void undo_action();
    void redo_action();
    // "Mark as <type>" of the inspector: marks first..last as Mark does,
    // described by the type's name and made for that type, and moves the
    // cursor past the value so that the next field can be marked from there.
    void mark_as(qint64 first, qint64 last, const QString &description,
                 const MarkupValueType &type);
    // Mark All of the search results: every hit `tool` lists becomes a
    // markup in mark_all_colours().
    void mark_all_hits(FindAllTool *tool);

private:
    // Marks first..last, described as `description` (empty: the default), as
    // one undoable step; reports a refusal. True when the range was marked.
    // Every way of marking goes through here.
    bool insert_markup(qint64 first, qint64 last, const QString &description = QString(),
                       const MarkupValueType &type = MarkupValueType());
    // The node of the first selected row in the tree, or null after telling the user.
    MarkupNode *selected_markup();
    // Leaves no markup selected and none current in the tree view.
    void clear_tree_selection();
    // Delete (the markup alone) or Prune (with its subtree) of the selected markup.
    void remove_selected_markup(bool with_subtree);
    void set_colour(bool foreground);
    // After Undo or Redo: the tree selects the markup the step concerned.
    void focus_after_step(bool undone);
    void update_edit_actions();

    // Remembers a markup's colours after the user chose them.
    void remember_colours(const MarkupNode *node);

    MainWindow *m_window;
    // The colours last chosen; invalid until then.
    QColor m_last_foreground;
    QColor m_last_background;
    QAction *m_undo_entry = nullptr;
    QAction *m_redo_entry = nullptr;
};
