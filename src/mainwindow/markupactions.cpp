#include "mainwindow/markupactions.h"

#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "editedfile/findalltool.h"
#include "hexview/hexwidget.h"
#include "hexview/readablecolours.h"
#include "mainwindow/mainwindow.h"
#include "dialogs/manualmarkupdialog.h"
#include "mask/markupmask.h"
#include "markup/clearmarkscommand.h"
#include "markup/colourcommand.h"
#include "markup/deletemarkupcommand.h"
#include "markup/editcommand.h"
#include "markup/edithistory.h"
#include "markup/markupcolumn.h"
#include "markup/markupeditcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "markup/prunecommand.h"
#include "treeview/hextreeview.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStatusBar>

#include <limits>

MarkupActions::MarkupActions(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
}

QColor MarkupActions::contrast_colour(const QColor &foreground)
{
    // Every component 128 away from the text's, so text and fill always differ.
    return QColor((foreground.red() + 128) % 256, (foreground.green() + 128) % 256,
                  (foreground.blue() + 128) % 256);
}

bool MarkupActions::insert_markup(qint64 first, qint64 last, const QString &description,
                                  const MarkupValueType &type)
{
    // A refusal is told by the edited file (busy, past the end, overlap).
    const bool inserted = m_window->edited_file()->mark(first, last, description, type);
    m_window->fit_markup_columns();
    if (inserted)
        m_window->statusBar()->clearMessage();
    return inserted;
}

void MarkupActions::remember_colours(const MarkupNode *node)
{
    m_last_foreground = node->foreground();
    m_last_background = node->background();
}

void MarkupActions::mark_all_hits(FindAllTool *tool)
{
    if (!tool || m_window->refuse_while_searching())
        return;
    const auto [foreground, background] = mark_all_colours();
    const QString text = tool->mark_all(foreground, background);
    m_window->fit_markup_columns();
    if (!text.isEmpty())
        m_window->show_status(text);
}

QPair<QColor, QColor> MarkupActions::mark_all_colours() const
{
    // Black on white would look like the unmarked bytes around the hits.
    const QColor foreground = m_last_foreground.isValid() ? m_last_foreground : QColor(0, 0, 160);
    return {foreground, m_last_background.isValid()
                            ? m_last_background
                            : ReadableColours::readable_background(foreground)};
}

void MarkupActions::mark_action()
{
    if (m_window->refuse_while_searching())
        return;
    HexWidget *hex = m_window->hex_widget();
    // Without a file a click in the empty view still leaves a selection.
    if (!hex->document()->is_open()) {
        m_window->show_status(tr("No File"));
        return;
    }
    const qint64 start = hex->selection_start();
    if (start == -1) {
        m_window->show_status(tr("Select a region to mark"));
        return;
    }
    if (insert_markup(start, hex->selection_end()))
        hex->clear_selection();
}

void MarkupActions::mark_as(qint64 first, qint64 last, const QString &description,
                            const MarkupValueType &type)
{
    if (m_window->refuse_while_searching())
        return;
    if (insert_markup(first, last, description, type))
        m_window->hex_widget()->set_cursor(last + 1);
}

void MarkupActions::manual_selection_action()
{
    if (m_window->refuse_while_searching())
        return;
    m_window->hex_widget()->clear_selection();

    ManualMarkupDialog dialog(m_window);
    dialog.setModal(true);
    if (m_window->exec_manual_dialog(&dialog) != QDialog::Accepted)
        return;

    // The dialog gives unsigned numbers; offsets are signed 64-bit, and the
    // end computed from a length must not wrap around.
    constexpr quint64 max_offset = static_cast<quint64>(std::numeric_limits<qint64>::max());
    const quint64 first = dialog.start_position();
    quint64 last = dialog.end_position();
    const quint64 length = dialog.length_value();
    if (length != 0) {
        if (first > max_offset || length - 1 > max_offset - first) {
            m_window->show_status(tr("Position out of range"));
            return;
        }
        last = first + length - 1;
    }
    if (first > max_offset || last > max_offset) {
        m_window->show_status(tr("Position out of range"));
        return;
    }

    insert_markup(static_cast<qint64>(first), static_cast<qint64>(last));
    m_window->hex_widget()->update();
}

MarkupNode *MarkupActions::selected_markup()
{
    m_window->statusBar()->clearMessage();
    const QModelIndexList selected =
        m_window->markup_tree_view()->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        m_window->show_status(tr("Select a row from the markup tree"));
        return nullptr;
    }
    return m_window->markup_model()->node_from_index(selected.first());
}

void MarkupActions::set_colour(bool foreground)
{
    if (m_window->refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (!node)
        return;
    // The dialog starts on the colour being replaced; one the markup lacks
    // is black, as the markup file stores it.
    const QColor current = foreground ? node->foreground() : node->background();
    const QColor chosen = m_window->get_color(current.isValid() ? current : QColor(Qt::black));
    // A cancelled dialog keeps the markup as it was.
    if (!chosen.isValid())
        return;
    // Markup colours are 8-bit RGB (that is what the markup file holds).
    const QColor colour = QColor::fromRgba(chosen.rgba());
    EditHistory *history = m_window->edit_history();
    m_window->edited_file()->run(new ColourCommand(history, m_window->markup_tree(), node,
                                   foreground ? colour : node->foreground(),
                                   foreground ? node->background() : colour,
                                   foreground ? tr("Foreground Color") : tr("Background Color")));
    remember_colours(node);
    m_window->hex_widget()->clear_selection();
}

void MarkupActions::mark_color_action()
{
    set_colour(true);
}

void MarkupActions::mark_background_color_action()
{
    set_colour(false);
}

void MarkupActions::pick_random_color_action()
{
    if (m_window->refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (node)
        assign_random_colours(node);
}

void MarkupActions::random_colours_for_selection()
{
    if (m_window->refuse_while_searching())
        return;
    HexWidget *hex = m_window->hex_widget();
    const qint64 start = hex->selection_start();
    if (start == -1) {
        m_window->show_status(tr("Select some bytes first"));
        return;
    }
    const qint64 first = qMin(start, hex->selection_end());
    // Ask the tree itself: the mask's window may not cover the offset yet.
    MarkupNode *node = m_window->markup_tree()->node_at(first);
    if (!node) {
        m_window->show_status(tr("No markup under the selection"));
        return;
    }
    assign_random_colours(node);
}

void MarkupActions::assign_random_colours(MarkupNode *node)
{
    if (!node)
        return;
    // Drawn in this order, red first; the result of % is kept in 0..255.
    const auto component = [this] { return (m_window->random_number() % 256 + 256) % 256; };
    const int red = component();
    const int green = component();
    const int blue = component();
    const QColor foreground(red, green, blue, 255);
    EditHistory *history = m_window->edit_history();
    m_window->edited_file()->run(new ColourCommand(history, m_window->markup_tree(), node, foreground,
                                   contrast_colour(foreground), tr("Random Colors")));
    remember_colours(node);

    m_window->hex_widget()->clear_selection();
    m_window->markup_tree_view()->selectionModel()->clearSelection();
    m_window->markup_tree_view()->reset();
    // New colours need only a paint; the mask refills only when expanding
    // opened a markup that was collapsed.
    if (m_window->markup_model()->expand_all())
        m_window->markup_mask()->reload_mask();
}

void MarkupActions::clear_tree_selection()
{
    // The current row too: when it goes, the view makes a neighbour current
    // and selects it, and the next Delete or Prune would act on a markup the
    // user never chose.
    m_window->markup_tree_view()->selectionModel()->clear();
}

void MarkupActions::delete_markup_action()
{
    remove_selected_markup(false);
}

void MarkupActions::prune_markup_action()
{
    remove_selected_markup(true);
}

void MarkupActions::remove_selected_markup(bool with_subtree)
{
    if (m_window->refuse_while_searching())
        return;
    MarkupNode *node = selected_markup();
    if (!node)
        return;
    clear_tree_selection();
    EditHistory *history = m_window->edit_history();
    MarkupTree *tree = m_window->markup_tree();
    EditCommand *step = with_subtree
                            ? static_cast<EditCommand *>(new PruneCommand(history, tree, node))
                            : new DeleteMarkupCommand(history, tree, node);
    // The step's change bracket refills the mask.
    m_window->edited_file()->run(step);
    clear_tree_selection();
    m_window->hex_widget()->clear_selection();
}

void MarkupActions::clear_marks_action()
{
    if (m_window->refuse_while_searching())
        return;
    const QMessageBox::StandardButton answer = m_window->ask_question(
        tr("Clear All markup"),
        tr("<font size =4>This operation will clear all markups. Is this what you "
           "really want to do?</font>"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::No)
        return;
    m_window->markup_tree_view()->selectionModel()->clearSelection();
    EditHistory *history = m_window->edit_history();
    m_window->edited_file()->run(new ClearMarksCommand(history, m_window->markup_tree()));
    m_window->markup_mask()->reload_mask();
}

void MarkupActions::commit_markup_edit(const QModelIndex &index,
                                       const QList<QPair<int, QVariant>> &before,
                                       const QList<QPair<int, QVariant>> &after)
{
    static const char *const names[MarkupColumn::count] = {
        QT_TR_NOOP("Description"), QT_TR_NOOP("Start"), QT_TR_NOOP("End"), QT_TR_NOOP("Length"),
        QT_TR_NOOP("Repeat")};
    if (!index.isValid() || index.column() < 0 || index.column() >= MarkupColumn::count)
        return;
    MarkupNode *node = m_window->markup_model()->node_from_index(index);
    EditHistory *history = m_window->edit_history();
    m_window->edited_file()->run(new MarkupEditCommand(history, m_window->markup_tree(), node, before, after,
                                       tr("Edit %1").arg(tr(names[index.column()]))));
}

void MarkupActions::add_undo_entries(QMenu *edit_menu)
{
    m_undo_entry = edit_menu->addAction(tr("Undo"));
    m_undo_entry->setShortcut(QKeySequence::Undo);
    connect(m_undo_entry, &QAction::triggered, this, &MarkupActions::undo_action);
    m_redo_entry = edit_menu->addAction(tr("Redo"));
    // Both usual Redo keys, whatever the desktop binds: people come from
    // editors with either habit, and the help promises both.
    QList<QKeySequence> redo_keys{QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
                                  QKeySequence(QStringLiteral("Ctrl+Y"))};
    for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::Redo))
        if (!redo_keys.contains(key))
            redo_keys << key;
    m_redo_entry->setShortcuts(redo_keys);
    connect(m_redo_entry, &QAction::triggered, this, &MarkupActions::redo_action);
    connect(m_window->edit_history(), &EditHistory::changed, this,
            &MarkupActions::update_edit_actions);
    update_edit_actions();
}

void MarkupActions::update_edit_actions()
{
    const EditHistory *history = m_window->edit_history();
    const QString undo = history->undoText();
    const QString redo = history->redoText();
    m_undo_entry->setEnabled(!undo.isEmpty());
    m_undo_entry->setText(undo.isEmpty() ? tr("Undo") : tr("Undo %1").arg(undo));
    m_redo_entry->setEnabled(!redo.isEmpty());
    m_redo_entry->setText(redo.isEmpty() ? tr("Redo") : tr("Redo %1").arg(redo));
}

void MarkupActions::undo_action()
{
    // As every command: the old message described what may be undone now.
    m_window->statusBar()->clearMessage();
    EditedFile *file = m_window->edited_file();
    if (file->refuse_if_busy() || !file->history()->canUndo())
        return;
    // Rows the selection refers to may go.
    m_window->markup_tree_view()->selectionModel()->clearSelection();
    file->undo();
    focus_after_step(true);
}

void MarkupActions::redo_action()
{
    m_window->statusBar()->clearMessage();
    EditedFile *file = m_window->edited_file();
    if (file->refuse_if_busy() || !file->history()->canRedo())
        return;
    m_window->markup_tree_view()->selectionModel()->clearSelection();
    file->redo();
    focus_after_step(false);
}

void MarkupActions::focus_after_step(bool undone)
{
    const EditHistory *history = m_window->edit_history();
    const int at = undone ? history->index() : history->index() - 1;
    const auto *step = dynamic_cast<const EditCommand *>(history->command(at));
    if (!step || step->part() != EditHistory::markup)
        return;
    const QModelIndex index = m_window->markup_model()->index_of(
        m_window->markup_tree()->node_at_path(step->markup_focus(undone)));
    if (!index.isValid())
        return;
    HexTreeView *view = m_window->markup_tree_view();
    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect
                                              | QItemSelectionModel::Rows);
    view->scrollTo(index);
}
