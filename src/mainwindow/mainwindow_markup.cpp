// Markup commands: mark, colours, delete, prune, clear.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "document/hexdocument.h"
#include "treeview/hextreeview.h"
#include "hexview/hexwidget.h"
#include "dialogs/manualmarkupdialog.h"
#include "mask/markupmask.h"
#include "markup/clearmarkscommand.h"
#include "markup/colourcommand.h"
#include "markup/deletemarkupcommand.h"
#include "markup/edithistory.h"
#include "markup/markcommand.h"
#include "markup/markupcolumn.h"
#include "markup/markupeditcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "markup/prunecommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QStatusBar>

#include <limits>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

QColor MainWindow::contrast_colour(const QColor &foreground)
{
    return QColor((foreground.red() + 128) % 256, (foreground.green() + 128) % 256,
                  (foreground.blue() + 128) % 256, 255);
}

bool MainWindow::insert_markup(qint64 first, qint64 last, const QString &description)
{
    const bool inserted = history->run(
        description.isEmpty() ? new MarkCommand(history, markup_tree_, first, last)
                              : new MarkCommand(history, markup_tree_, first, last, description));
    markup_mask_->reload_mask();
    fit_markup_columns();
    if (inserted)
        statusBar()->clearMessage();
    else
        show_status(QStringLiteral("Selections cannot overlap"));
    return inserted;
}

void MainWindow::mark_action()
{
    if (refuse_while_searching())
        return;
    // Without a file a click in the empty view still leaves a selection.
    if (!hex_widget_->document()->is_open()) {
        show_status(QStringLiteral("No File"));
        return;
    }
    const qint64 start = hex_widget_->selection_start();
    if (start == -1) {
        show_status(QStringLiteral("Select a region to mark"));
        return;
    }
    if (insert_markup(start, hex_widget_->selection_end()))
        hex_widget_->clear_selection();
}

void MainWindow::manual_selection_action()
{
    if (refuse_while_searching())
        return;
    hex_widget_->clear_selection();

    ManualMarkupDialog dialog(this);
    dialog.setModal(true);
    if (exec_manual_dialog(&dialog) != QDialog::Accepted)
        return;

    // The dialog gives unsigned numbers; offsets are signed 64-bit, and the
    // end computed from a length must not wrap around.
    constexpr quint64 max_offset = static_cast<quint64>(std::numeric_limits<qint64>::max());
    const quint64 first = dialog.start_position();
    quint64 last = dialog.end_position();
    const quint64 length = dialog.length_value();
    if (length != 0) {
        if (first > max_offset || length - 1 > max_offset - first) {
            show_status(QStringLiteral("Position out of range"));
            return;
        }
        last = first + length - 1;
    }
    if (first > max_offset || last > max_offset) {
        show_status(QStringLiteral("Position out of range"));
        return;
    }

    insert_markup(static_cast<qint64>(first), static_cast<qint64>(last));
    hex_widget_->update();
}

MarkupNode *MainWindow::selected_markup()
{
    statusBar()->clearMessage();
    const QModelIndexList selected = selection_model->selectedIndexes();
    if (selected.isEmpty()) {
        show_status(QStringLiteral("Select a row from the markup tree"));
        return nullptr;
    }
    return markup_model_->node_from_index(selected.first());
}

void MainWindow::set_colour(bool foreground)
{
    if (refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (!node)
        return;
    const QColor chosen = get_color(QColor(Qt::black));
    // A cancelled dialog keeps the markup as it was.
    if (!chosen.isValid())
        return;
    // Markup colours are 8-bit RGB (that is what the markup file holds).
    const QColor colour = QColor::fromRgba(chosen.rgba());
    // The change bracket of the step refills the mask.
    history->run(new ColourCommand(history, markup_tree_, node,
                                   foreground ? colour : node->foreground(),
                                   foreground ? node->background() : colour,
                                   foreground ? QStringLiteral("Foreground Color")
                                              : QStringLiteral("Background Color")));
    hex_widget_->clear_selection();
}

void MainWindow::mark_color_action()
{
    set_colour(true);
}

void MainWindow::mark_background_color_action()
{
    set_colour(false);
}

void MainWindow::pick_random_color_action()
{
    if (refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (node)
        assign_random_colours(node);
}

void MainWindow::random_colours_for_selection()
{
    if (refuse_while_searching())
        return;
    const qint64 start = hex_widget_->selection_start();
    if (start == -1) {
        show_status(QStringLiteral("Select some bytes first"));
        return;
    }
    const qint64 first = qMin(start, hex_widget_->selection_end());
    // Ask the tree itself: the mask's window may not cover the offset yet.
    MarkupNode *node = markup_tree_->node_at(first);
    if (!node) {
        show_status(QStringLiteral("No markup under the selection"));
        return;
    }
    assign_random_colours(node);
}

void MainWindow::assign_random_colours(MarkupNode *node)
{
    if (!node)
        return;
    // Drawn in this order, red first; the result of % is kept in 0..255.
    const auto component = [this] { return (random_number() % 256 + 256) % 256; };
    const int red = component();
    const int green = component();
    const int blue = component();
    const QColor foreground(red, green, blue, 255);
    history->run(new ColourCommand(history, markup_tree_, node, foreground,
                                   contrast_colour(foreground), QStringLiteral("Random Colors")));

    hex_widget_->clear_selection();
    selection_model->clearSelection();
    markup_tree_view_->reset();
    expand_markup_view();
}

void MainWindow::clear_tree_selection()
{
    // The current row too: when it goes, the view makes a neighbour current
    // and selects it, and the next Delete or Prune would act on a markup the
    // user never chose.
    selection_model->clear();
}

void MainWindow::delete_markup_action()
{
    if (refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (!node)
        return;
    clear_tree_selection();
    history->run(new DeleteMarkupCommand(history, markup_tree_, node));
    clear_tree_selection();
    markup_mask_->reload_mask();
    hex_widget_->clear_selection();
}

void MainWindow::prune_markup_action()
{
    if (refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (!node)
        return;
    clear_tree_selection();
    history->run(new PruneCommand(history, markup_tree_, node));
    clear_tree_selection();
    markup_mask_->reload_mask();
    hex_widget_->clear_selection();
}

void MainWindow::clear_marks_action()
{
    if (refuse_while_searching())
        return;
    const QMessageBox::StandardButton answer = ask_question(
        QStringLiteral("Clear All markup"),
        QStringLiteral("<font size =4>This operation will clear all markups. Is this what you "
                       "really want to do?</font>"),
        QMessageBox::No);
    if (answer == QMessageBox::No)
        return;
    selection_model->clearSelection();
    history->run(new ClearMarksCommand(history, markup_tree_));
    markup_mask_->reload_mask();
}

void MainWindow::commit_markup_edit(const QModelIndex &index,
                                    const QList<QPair<int, QVariant>> &before,
                                    const QList<QPair<int, QVariant>> &after)
{
    static const char *const names[MarkupColumn::count] = {"Description", "Start", "End",
                                                            "Length", "Repeat"};
    if (!index.isValid() || index.column() < 0 || index.column() >= MarkupColumn::count)
        return;
    MarkupNode *node = markup_model_->node_from_index(index);
    history->run(new MarkupEditCommand(history, markup_tree_, node, before, after,
                                       QStringLiteral("Edit ") + QLatin1String(names[index.column()])));
}

void MainWindow::fit_markup_columns()
{
    qint64 largest = 0;
    if (hex_widget_->document()->is_open()) {
        try {
            largest = hex_widget_->document()->size() - 1;
        } catch (const std::string &) {
            // Unreadable size: the markups alone set the width.
        }
    }
    // Siblings are ordered and children lie inside their parents, so the
    // last top-level markup ends furthest.
    const MarkupNode *root = markup_model_->root();
    if (root && root->child_count() > 0)
        largest = qMax(largest, root->child(root->child_count() - 1)->end());
    markup_tree_view_->fit_position_columns(largest);
}

void MainWindow::expand_markup_view()
{
    {
        const QSignalBlocker quiet(markup_tree_view_);
        markup_tree_view_->expand_all();
    }
    markup_mask_->reload_mask();
}
