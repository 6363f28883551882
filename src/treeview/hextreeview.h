#pragma once

#include <QList>
#include <QPointer>
#include <QTreeView>

#include <functional>

class MarkupModel;
class QMenu;

// The markup tree's view. A right click opens a context menu whose entries
// run markup commands of the main window. The view knows no main window: it
// emits one signal per entry, and the owner connects them:
//   foreground_color_requested   -> MainWindow::mark_color_action
//   background_color_requested   -> MainWindow::mark_background_color_action
//   pick_random_colors_requested -> MainWindow::pick_random_color_action
//   delete_requested             -> MainWindow::delete_markup_action
//   prune_requested              -> MainWindow::prune_markup_action
// The menu runs before the tree handles the press, so a command acts on the
// selection as it was before the right click.
//
// Over a MarkupModel the view mirrors the model's expanded flags both ways:
// a markup the user expands or collapses is stored in the model, and the
// model's changes (one markup, or every markup at once) are shown.
class HexTreeView : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY(HexTreeView)

public:
    explicit HexTreeView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // Runs the context menu at a global position and returns the chosen
    // action, or null. Defaults to QMenu::exec; replaceable to answer without
    // a person at the screen.
    std::function<QAction *(QMenu *menu, const QPoint &global_pos)> exec_menu;

    // expandAll(), except that a tree nested deeper than max_expanded_depth
    // is expanded only that far: the view lays out expanded rows with one
    // stack frame per level, and a markup file nested 100000 deep would
    // overflow the stack.
    static constexpr int max_expanded_depth = 1000;
    void expand_all();

    // Widens the Start, End and Length columns so that `largest`, the
    // greatest value they can show, fits whole in the current display base.
    // A smaller `largest` than at the last call (a smaller file) narrows
    // them back to fit, never below the widths they had before the first
    // call; otherwise they only widen, keeping what the user widened.
    // Constant time: no row is measured.
    void fit_position_columns(qint64 largest);

    // The tool tip of a Description cell: its whole text when the cell cuts
    // it short (at most max_tip_length characters of it), else none.
    QString description_tip(const QModelIndex &index) const;
    // The tool tip of any cell of a markup's row: the description's tip,
    // then what the markup documents (a template field's `doc:`).
    QString row_tip(const QModelIndex &index) const;
    static constexpr int max_tip_length = 500;

signals:
    void foreground_color_requested();
    void background_color_requested();
    void pick_random_colors_requested();
    void delete_requested();
    void prune_requested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void store_expanded(const QModelIndex &index);
    void store_collapsed(const QModelIndex &index);
    void show_all_expanded();
    void show_opened(const QModelIndex &index);

    QPointer<MarkupModel> m_markup_model;
    // Start, End and Length widths from before the first fit, and the
    // largest value fitted last (-1: none yet).
    QList<int> m_least_widths;
    qint64 m_fitted_largest = -1;
};
