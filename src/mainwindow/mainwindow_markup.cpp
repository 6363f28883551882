// Markup commands: mark, colours, delete, prune, clear, save, load and linking.

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

namespace {

const char *const output_error = "<font size =4>Could not open XML file for output.</font>";
const char *const input_error = "<font size =4>Could not open XML file for input.</font>";

// Where the markup file dialogs start: "Markup Dir", or the home directory
// while none is set.
QString markup_dir()
{
    const QString dir = Config::instance()->value(QStringLiteral("Markup Dir")).toString();
    return dir.isEmpty() ? QDir::homePath() : dir;
}

bool link_markup_enabled()
{
    return Config::instance()->value(QStringLiteral("Link Markup")).toString()
           == QLatin1String("yes");
}

} // namespace

QString MainWindow::link_key(const QString &data_path)
{
    quint32 hash = 5381;
    const QByteArray bytes = data_path.toLatin1();
    for (const char c : bytes)
        hash = hash * 33u + static_cast<quint32>(static_cast<qint32>(static_cast<signed char>(c)));
    return QStringLiteral("Link/") + QString::number(hash & 0x7fffffffu);
}

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

bool MainWindow::write_markup_file(const QString &name)
{
    // Only a regular file (or a name for a new one) is written: a device or
    // a pipe would block or be swapped for a plain file.
    struct stat existing;
    const bool exists = ::stat(QFile::encodeName(name).constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false;
    // Written beside the target and renamed over it only when complete, so a
    // failure never leaves a half-written markup file. That makes a new
    // inode: a file with other hard links, or owned by someone else, is
    // written in place instead, and so is one whose folder refuses new files.
    if (exists && (existing.st_nlink > 1 || existing.st_uid != ::geteuid()))
        return write_markup_in_place(name);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return exists && write_markup_in_place(name);
    // Streamed in blocks: the same bytes as encoding to_xml(), without a copy
    // of the whole file in memory. Flushed here: commit() renames the file
    // even when the bytes still in its buffer cannot be written (a full
    // disk), and reports success.
    if (!markup_tree_->write_markup_file(file) || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool MainWindow::write_markup_in_place(const QString &name)
{
    // The old contents are kept so that a failed write can put them back:
    // a file is never left half-written.
    QFile file(name);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError || !file.seek(0))
        return false;
    if (markup_tree_->write_markup_file(file) && file.flush() && file.resize(file.pos())
        && ::fsync(file.handle()) == 0)
        return true;
    file.unsetError();
    if (file.seek(0) && file.write(old) == old.size() && file.flush())
        file.resize(old.size());
    ::fsync(file.handle());
    return false;
}

void MainWindow::save_markup_as_action()
{
    if (refuse_while_searching())
        return;
    const QString dir = markup_dir();
    QString name = get_save_file_name(QStringLiteral("Save Markup XML File"), dir, QString(), false);
    if (name.isEmpty())
        return;
    // Load Markup lists "*.xml": a new name without a suffix could not be
    // found again. An existing file chosen in the dialog is taken as named.
    if (QFileInfo(name).suffix().isEmpty() && !QFileInfo::exists(name))
        name += QStringLiteral(".xml");

    if (QFile::exists(name)) {
        const QMessageBox::StandardButton answer =
            ask_question(QStringLiteral("File Exists"),
                         QStringLiteral("<font size =4>XML File Exists, Overwrite?</font>"),
                         QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    // The markup file and its link follow only a save that succeeded.
    if (!write_markup_file(name)) {
        show_warning(QStringLiteral("File Error"), QString::fromLatin1(output_error));
        return;
    }
    current_markup_file = name;
    history->mark_saved(EditHistory::markup);
    show_status(QStringLiteral("Markup Saved"));
    link_markup_file(name);
}

void MainWindow::save_markup_action()
{
    if (refuse_while_searching())
        return;
    if (current_markup_file.isEmpty()) {
        save_markup_as_action();
        return;
    }
    if (!write_markup_file(current_markup_file)) {
        show_warning(QStringLiteral("File Error"), QString::fromLatin1(output_error));
        return;
    }
    history->mark_saved(EditHistory::markup);
    link_markup_file(current_markup_file);
}

bool MainWindow::ask_save_markup()
{
    const QMessageBox::StandardButton answer =
        ask_question(QStringLiteral("Markup Has Changed"),
                     QStringLiteral("<font size =4>Markup has been changed. Save XML file?</font>"),
                     QMessageBox::Yes);
    if (answer == QMessageBox::No)
        return true;
    save_markup_action();
    return !is_markup_modified();
}

MainWindow::MarkupRead MainWindow::read_markup_file(const QString &name)
{
    // Only a regular file of sensible size: a FIFO or a device named as the
    // markup file (at start-up, through a link) must not hang the program.
    QByteArray bytes;
    if (!MarkupTree::read_markup_file(name, &bytes)) {
        show_warning(QStringLiteral("File Error"), QString::fromLatin1(input_error));
        return MarkupRead::unreadable;
    }
    const QString text = MarkupTree::decode_markup_file(bytes);
    bytes = QByteArray();

    selection_model->clearSelection();
    const bool parsed = markup_tree_->load_xml(text);
    // Loaded markups start a new history.
    history->restart();
    expand_markup_view();
    fit_markup_columns();
    return parsed ? MarkupRead::loaded : MarkupRead::failed;
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
    markup_model_->expand_all();
    markup_mask_->reload_mask();
}

void MainWindow::load_markup_action()
{
    if (refuse_while_searching())
        return;
    // Loading replaces the markups: not after a save the user asked for failed.
    if (is_markup_modified() && !ask_save_markup())
        return;

    const QString dir = markup_dir();
    const QString name =
        get_open_file_name(QStringLiteral("Load XML Markup File"), dir, tr("XML Markup (*.xml)"));
    if (name.isEmpty())
        return;
    load_markup_file(name);
}

void MainWindow::load_markup_file(const QString &name)
{
    const MarkupRead result = read_markup_file(name);
    if (result == MarkupRead::unreadable)
        return;

    link_markup_file(name);
    current_markup_file = name;
    // A failed parse keeps the loader's "Markup load failed" in view.
    if (result == MarkupRead::loaded)
        show_status(QStringLiteral("Markup Loaded"));
    history->mark_saved(EditHistory::markup);
}

void MainWindow::link_markup_file(const QString &markup_path)
{
    if (!link_markup_enabled())
        return;
    const QString data_path = Config::instance()->value(QStringLiteral("filename")).toString();
    // With no data file there is nothing to link the markup to.
    if (data_path.isEmpty())
        return;
    Config::instance()->setValue(link_key(data_path), data_path + QLatin1Char('|') + markup_path);
}

void MainWindow::load_linked_markup(const QString &data_path)
{
    if (!link_markup_enabled())
        return;
    const QString value = Config::instance()->value(link_key(data_path)).toString();
    // The value is "<data path>|<markup path>". When it names this data file,
    // everything after it is the markup path, "|" in either path included;
    // otherwise (another file with the same key) the second field is used.
    const QString prefix = data_path + QLatin1Char('|');
    if (value.startsWith(prefix))
        current_markup_file = value.mid(prefix.size());
    else
        current_markup_file = value.section(QLatin1Char('|'), 1, 1);
    if (current_markup_file.isEmpty())
        return;
    read_markup_file(current_markup_file);
}
