// File commands: Open, Save, Save As, Exit's prompts.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "document/buffereddocument.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "mainwindow/viewactions.h"
#include "markup/edithistory.h"
#include "markup/markuptree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

#include <sys/stat.h>

void MainWindow::open_action()
{
    if (refuse_while_searching())
        return;
    // Opening another file discards edits and markups: not after a save the
    // user asked for has failed.
    if (is_document_modified() && !ask_save_changes())
        return;
    if (is_markup_modified() && !ask_save_markup())
        return;

    const QString name = get_open_file_name(QStringLiteral("Load File"), QDir::homePath(), QString());
    if (name.isEmpty())
        return;
    // A file that cannot be shown leaves the open one, and its markups, as
    // they were.
    const QString refusal = data_file_refusal(name);
    if (!refusal.isEmpty()) {
        show_status(refusal);
        return;
    }
    open_chosen_file(name);
}

void MainWindow::open_chosen_file(const QString &name)
{
    markup_tree_->clear();
    hex_widget_->clear_selection();
    markup_mask_->reload_mask();
    // Another file: a new history, the markups as good as saved.
    history->restart();
    history->mark_saved(EditHistory::markup);

    // Markup linking takes "filename" as the current data file, so it goes first.
    Config::instance()->setValue(QStringLiteral("filename"), name);
    // The linked markup is read once, after "File Loaded", so that the
    // loader's message (or its one warning) is what the user sees last.
    show_data_file(name, DataFileMarkup::link_later);
    show_status(QStringLiteral("File Loaded"));
    load_linked_markup(name);
}

void MainWindow::load_file(const QString &name)
{
    show_data_file(name, DataFileMarkup::load_linked);
    if (name.isEmpty())
        return;
    // The file opened last time was moved or deleted since, or is no file to
    // show: say so rather than start on an empty window without a word.
    const QString notice = QFile::exists(name)
                               ? data_file_refusal(name)
                               : QStringLiteral("The last file no longer exists: %1").arg(name);
    if (notice.isEmpty())
        return;
    show_status(notice);
    // The first resize of the window clears the status bar; the notice is
    // shown again once the window is up.
    if (!isVisible())
        startup_notice = notice;
}

QString MainWindow::data_file_refusal(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    const std::string error =
        BufferedDocument::open_error(std::string(utf8.constData(), size_t(utf8.size())));
    if (error.empty())
        return QString();
    if (error != "not a regular file")
        return QStringLiteral("File not loaded: %1 could not be read").arg(name);
    struct stat st;
    const char *kind = "not a regular file";
    if (::stat(QFile::encodeName(name).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            kind = "a folder";
        else if (S_ISFIFO(st.st_mode))
            kind = "a pipe";
        else if (S_ISSOCK(st.st_mode))
            kind = "a socket";
        else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            kind = "a device";
    }
    return QStringLiteral("File not loaded: %1 is %2").arg(name, QLatin1String(kind));
}

void MainWindow::show_data_file(const QString &name, DataFileMarkup markup)
{
    if (!QFile::exists(name) || !data_file_refusal(name).isEmpty()) {
        hex_widget_->open_file(QString());
        set_title(QString());
        view_actions->follow_cursor();
        return;
    }

    scroll_bar_->set_row_range(QFileInfo(name).size() / 16);
    set_title(name);
    hex_widget_->open_file(name);
    fit_markup_columns();
    history->mark_saved(EditHistory::bytes);
    // Save As keeps the markups and their history: the copy holds the same
    // bytes. (The byte steps no longer apply: they are in the copy.)
    view_actions->follow_cursor();
    add_recent_file(name);
    if (markup == DataFileMarkup::keep)
        return;
    history->restart();
    if (markup == DataFileMarkup::load_linked)
        load_linked_markup(name);
    history->mark_saved(EditHistory::markup);
}

bool MainWindow::ask_save_changes()
{
    // A file replaced or removed on disk cannot take the edits; the one way
    // to keep them is a copy made from the file still open.
    const HexDocument *document = hex_widget_->document();
    const bool replaced =
        document->is_open() && !document->is_open_file(document->absolute_path());
    const QMessageBox::StandardButton answer = ask_question(
        QStringLiteral("File Has Changed"),
        replaced ? QStringLiteral("<font size =4>The file being edited has been modified, and "
                                  "was replaced or removed on disk since it was opened. Save "
                                  "the changes to another file?</font>")
                 : QStringLiteral("<font size =4>The file being edited has been modified. Save "
                                  "changes?</font>"),
        QMessageBox::Yes);
    if (answer == QMessageBox::No)
        return true;
    if (replaced)
        save_as_action();
    else
        save_action();
    return !is_document_modified();
}

void MainWindow::save_action()
{
    if (refuse_while_searching())
        return;
    if (!hex_widget_->document()->is_open()) {
        show_status(QStringLiteral("No file is open"));
        return;
    }
    // The empty name saves into the open file itself.
    if (hex_widget_->save_edits(QString())) {
        history->mark_saved(EditHistory::bytes);
        show_status(QStringLiteral("File Saved"));
    } else {
        show_status(QStringLiteral("File not saved; the edits are kept"));
    }
}

void MainWindow::save_as_action()
{
    if (refuse_while_searching())
        return;
    if (!hex_widget_->document()->is_open()) {
        show_status(QStringLiteral("No file is open"));
        return;
    }
    const QString source = hex_widget_->document()->absolute_path();
    const QString name =
        get_save_file_name(QStringLiteral("Save File As"), QFileInfo(source).absolutePath(),
                           QString(), true);
    if (name.isEmpty())
        return;

    // The save dialog has already asked whether to replace an existing file.
    if (!hex_widget_->save_edits(name, HexWidget::Overwrite::confirmed)) {
        show_status(QStringLiteral("File not saved; the edits are kept"));
        return;
    }

    // The copy becomes the file being edited. The markups describe the same
    // bytes, so they stay, with their file and their unsaved state.
    Config::instance()->setValue(QStringLiteral("filename"), name);
    show_data_file(name, DataFileMarkup::keep);
    show_status(QStringLiteral("File Saved"));
}
