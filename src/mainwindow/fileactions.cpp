#include "mainwindow/fileactions.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"

#include "settings/config.h"
#include "document/buffereddocument.h"
#include "document/documentfailure.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mask/markupmask.h"
#include "markup/edithistory.h"
#include "markup/markuptree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <string>

#include <sys/stat.h>

namespace {

const char recent_key[] = "Recent Files";

} // namespace

FileActions::FileActions(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
}

void FileActions::open_action()
{
    if (m_window->refuse_while_searching())
        return;
    if (!may_discard_changes())
        return;

    const QString name =
        m_window->get_open_file_name(tr("Load File"), QDir::homePath(), QString());
    if (name.isEmpty())
        return;
    // A file that cannot be shown leaves the open one, and its markups, as
    // they were.
    const QString refusal = data_file_refusal(name);
    if (!refusal.isEmpty()) {
        m_window->show_status(refusal);
        return;
    }
    open_chosen_file(name);
}

void FileActions::open_chosen_file(const QString &name)
{
    m_window->markup_tree()->clear();
    m_window->hex_widget()->clear_selection();
    m_window->markup_mask()->reload_mask();
    // Another file: a new history, the markups as good as saved.
    EditHistory *history = m_window->edit_history();
    history->restart();
    history->mark_saved(EditHistory::markup);

    // Markup linking takes "filename" as the current data file, so it goes first.
    Config::instance()->setValue(QStringLiteral("filename"), name);
    // The linked markup is read once, after "File Loaded", so that the
    // loader's message (or its one warning) is what the user sees last.
    show_data_file(name, DataFileMarkup::link_later);
    m_window->show_status(tr("File Loaded"));
    m_window->load_linked_markup(name);
    offer_recovery(name);
}

void FileActions::load_file(const QString &name)
{
    show_data_file(name, DataFileMarkup::load_linked);
    if (name.isEmpty())
        return;
    offer_recovery(name);
    // The file opened last time was moved or deleted since, or is no file to
    // show: say so rather than start on an empty window without a word.
    const QString text = QFile::exists(name)
                             ? data_file_refusal(name)
                             : tr("The last file no longer exists: %1").arg(name);
    if (!text.isEmpty())
        notice(text);
}

bool FileActions::open_named_file(const QString &name)
{
    if (m_window->refuse_while_searching())
        return false;
    const QFileInfo info(name);
    // Open's own refusal of folders, pipes, devices and unreadable files.
    const QString refusal = info.exists() ? data_file_refusal(name) : QString();
    if (!info.exists() || !refusal.isEmpty()) {
        notice(info.exists() ? refusal : tr("File not found: %1").arg(name));
        return false;
    }
    if (!may_discard_changes())
        return false;
    open_chosen_file(info.absoluteFilePath());
    return true;
}

void FileActions::notice(const QString &text)
{
    m_window->show_status(text);
    // The first resize of the window clears the status bar: the notice is
    // shown again once the window is up.
    if (!m_window->isVisible())
        m_startup_notice = text;
}

void FileActions::offer_recovery(const QString &name)
{
    Journal *journal = m_window->edited_file()->journal();
    if (!journal->damaged_path().isEmpty())
        m_window->show_warning(
            tr("Unsaved Work"),
            tr("The journal of unsaved work on %1 is damaged and cannot be read. It was kept "
               "as %2.")
                .arg(name, journal->damaged_path()));
    if (journal->state() != Journal::State::pending)
        return;
    const Journal::Found found = journal->found();
    const QString time = QLocale().toString(found.began, QLocale::ShortFormat);
    QString text = found.file_changed
                       ? tr("%1 has changed since the unsaved work from %2 was recorded, so "
                            "its byte edits cannot be replayed. Recover the markups alone "
                            "(%n changes)?", nullptr, found.changes)
                             .arg(name, time)
                       : tr("Recover unsaved work on %1 from %2 (%n changes)?", nullptr,
                            found.changes)
                             .arg(name, time);
    // What Undo cannot take back one by one after the recovery.
    if (!found.file_changed && found.undoable < found.changes)
        text += QLatin1Char('\n')
                + (found.undoable == 0
                       ? tr("They come back as one state: Undo cannot take them back one by one.")
                       : tr("Undo takes back the last %n one by one; the earlier ones come back "
                            "as one state (a template application, or work recovered before).",
                            nullptr, found.undoable));
    if (found.dropped > 0)
        text += QLatin1Char('\n')
                + tr("The journal is damaged: %n records at its end will be left out.", nullptr,
                     found.dropped);
    // Nothing of the markups is lost without the user being told.
    const bool markups_lost = !found.markup_file_lost.isEmpty();
    if (markups_lost)
        text += QLatin1Char('\n')
                + tr("The markups cannot be recovered: the markup file %1 they started from is "
                     "missing or has changed since. Only the byte edits can come back; the "
                     "markups stay as they are now.")
                      .arg(found.markup_file_lost);
    const QString recover = found.file_changed ? tr("Recover Markups")
                            : markups_lost     ? tr("Recover Byte Edits")
                                               : tr("Recover");
    const int answer = m_window->ask_choice(tr("Unsaved Work"), text,
                                            {recover, tr("Discard"), tr("Later")});
    if (answer == 1) {
        journal->discard();
    } else if (answer != 0) {
        journal->postpone();
    } else if (journal->recover()) {
        m_window->markup_mask()->reload_mask();
        notice(tr("Unsaved work recovered: %n changes", nullptr, found.changes));
    } else {
        journal->postpone();
        notice(tr("Nothing could be recovered from the journal; it is kept"));
    }
}

void FileActions::follow_journal()
{
    const Journal *journal = m_window->edited_file()->journal();
    QString reason;
    switch (journal->state()) {
    case Journal::State::failing:
        reason = journal->failure();
        break;
    case Journal::State::foreign:
        reason = tr("%1 is being edited in another window (process %2 on %3)")
                     .arg(m_window->edited_file()->path())
                     .arg(journal->holder_pid())
                     .arg(journal->holder_host());
        break;
    case Journal::State::postponed:
        reason = tr("the unsaved work left from before waits to be recovered or discarded; "
                    "open the file again to answer");
        break;
    case Journal::State::off:
    case Journal::State::pending:
    case Journal::State::recording:
        break;
    }
    const QString warning = reason.isEmpty()
                                ? QString()
                                : tr("Unsaved changes are not being journaled: %1").arg(reason);
    m_window->show_lasting_warning(warning);
    const bool failing = journal->state() == Journal::State::failing;
    if (failing && !m_journal_failure_told) {
        m_journal_failure_told = true;
        m_window->show_warning(
            tr("Journal"),
            warning + QStringLiteral("\n\n")
                + tr("A crash now would lose the changes made since. Journaling resumes by "
                     "itself with the next change once the journal can be written again; "
                     "until then, save your work."));
    }
    // Said only of the journal that failed, not of the next file's.
    if (failing) {
        m_journal_failing_path = journal->journal_path();
    } else if (journal->state() == Journal::State::recording) {
        if (journal->journal_path() == m_journal_failing_path)
            m_window->show_status(tr("Unsaved changes are being journaled again"));
        m_journal_failing_path.clear();
    }
}

QString FileActions::take_startup_notice()
{
    const QString text = m_startup_notice;
    m_startup_notice.clear();
    return text;
}

QString FileActions::data_file_refusal(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    const std::string failure =
        BufferedDocument::open_error(std::string(utf8.constData(), size_t(utf8.size())));
    if (failure.empty())
        return QString();
    if (failure != document_failure::not_regular)
        return tr("File not loaded: %1 could not be read").arg(name);
    struct stat st;
    const char *kind = QT_TR_NOOP("not a regular file");
    if (::stat(QFile::encodeName(name).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            kind = QT_TR_NOOP("a folder");
        else if (S_ISFIFO(st.st_mode))
            kind = QT_TR_NOOP("a pipe");
        else if (S_ISSOCK(st.st_mode))
            kind = QT_TR_NOOP("a socket");
        else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            kind = QT_TR_NOOP("a device");
    }
    return tr("File not loaded: %1 is %2").arg(name, tr(kind));
}

void FileActions::show_data_file(const QString &name, DataFileMarkup markup)
{
    HexWidget *hex = m_window->hex_widget();
    if (!QFile::exists(name) || !data_file_refusal(name).isEmpty()) {
        hex->open_file(QString());
        m_window->set_title(QString());
        emit file_shown();
        return;
    }

    m_window->scroll_bar()->set_row_range(QFileInfo(name).size() / 16);
    m_window->set_title(name);
    hex->open_file(name);
    m_window->fit_markup_columns();
    EditHistory *history = m_window->edit_history();
    history->mark_saved(EditHistory::bytes);
    // Save As keeps the markups and their history: the copy holds the same
    // bytes. (The byte steps no longer apply: they are in the copy.)
    emit file_shown();
    add_recent_file(name);
    if (markup == DataFileMarkup::keep)
        return;
    history->restart();
    if (markup == DataFileMarkup::load_linked)
        m_window->load_linked_markup(name);
    history->mark_saved(EditHistory::markup);
}

bool FileActions::may_discard_changes()
{
    // Opening another file discards edits and markups: not when the user
    // cancels, nor after a save the user asked for has failed. Nothing is
    // dropped before both questions are answered.
    if (m_window->document_modified() && ask_save_changes() != MainWindow::Unsaved::proceed)
        return false;
    return !m_window->markup_modified()
           || m_window->ask_save_markup() == MainWindow::Unsaved::proceed;
}

MainWindow::Unsaved FileActions::ask_save_changes()
{
    // A file replaced or removed on disk cannot take the edits; the one way
    // to keep them is a copy made from the file still open.
    const HexDocument *document = m_window->hex_widget()->document();
    const bool replaced =
        document->is_open() && !document->is_open_file(document->absolute_path());
    const QMessageBox::StandardButton answer = m_window->ask_question(
        tr("File Has Changed"),
        replaced ? tr("<font size =4>The file being edited has been modified, and "
                      "was replaced or removed on disk since it was opened. Save "
                      "the changes to another file?</font>")
                 : tr("<font size =4>The file being edited has been modified. Save "
                      "changes?</font>"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::No)
        return MainWindow::Unsaved::proceed;
    // Escape, or a box closed without an answer, is Cancel as well.
    if (answer != QMessageBox::Yes)
        return MainWindow::Unsaved::cancelled;
    if (replaced)
        save_as_action();
    else
        save_action();
    return m_window->document_modified() ? MainWindow::Unsaved::not_saved
                                            : MainWindow::Unsaved::proceed;
}

bool FileActions::may_close()
{
    // A save the user asked for that did not happen keeps the window open,
    // so that nothing is lost; answering No closes without saving, Cancel
    // keeps it open without a word.
    if (m_window->document_modified()) {
        const MainWindow::Unsaved answer = ask_save_changes();
        if (answer == MainWindow::Unsaved::not_saved)
            m_window->show_status(tr("Not closed: the file could not be saved"));
        if (answer != MainWindow::Unsaved::proceed)
            return false;
    }
    if (m_window->markup_modified()) {
        const MainWindow::Unsaved answer = m_window->ask_save_markup();
        if (answer == MainWindow::Unsaved::not_saved)
            m_window->show_status(tr("Not closed: the markup was not saved"));
        if (answer != MainWindow::Unsaved::proceed)
            return false;
    }
    return true;
}

bool FileActions::may_save()
{
    if (m_window->refuse_while_searching())
        return false;
    if (!m_window->hex_widget()->document()->is_open()) {
        m_window->show_status(tr("No file is open"));
        return false;
    }
    return true;
}

void FileActions::save_action()
{
    if (!may_save())
        return;
    HexWidget *hex = m_window->hex_widget();
    // The empty name saves into the open file itself; the edited file then
    // counts its bytes as saved.
    if (hex->save_edits(QString())) {
        m_window->show_status(tr("File Saved"));
    } else {
        m_window->show_status(tr("File not saved; the edits are kept"));
    }
}

void FileActions::save_as_action()
{
    if (!may_save())
        return;
    HexWidget *hex = m_window->hex_widget();
    const QString source = hex->document()->absolute_path();
    const QString name = m_window->get_save_file_name(
        tr("Save File As"), QFileInfo(source).absolutePath(), QString(), true);
    if (name.isEmpty())
        return;

    // The save dialog has already asked whether to replace an existing file.
    if (!hex->save_edits(name, HexWidget::Overwrite::confirmed)) {
        m_window->show_status(tr("File not saved; the edits are kept"));
        return;
    }

    // The copy becomes the file being edited. The markups describe the same
    // bytes, so they stay, with their file and their unsaved state.
    Config::instance()->setValue(QStringLiteral("filename"), name);
    const HexWidget::Place place = hex->place();
    show_data_file(name, DataFileMarkup::keep);
    hex->restore_place(place);
    m_window->show_status(tr("File Saved"));
}

QString FileActions::dropped_file(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

void FileActions::open_dropped_file(const QString &name)
{
    QMetaObject::invokeMethod(this, [this, name] { open_named_file(name); }, Qt::QueuedConnection);
}

QStringList FileActions::recent_files()
{
    return Config::instance()->value(QString::fromLatin1(recent_key)).toStringList();
}

void FileActions::add_recent_menu(QMenu *file_menu)
{
    m_recent_menu = file_menu->addMenu(tr("Recent Files"));
    connect(m_recent_menu, &QMenu::aboutToShow, this, &FileActions::fill_recent_menu);
}

void FileActions::add_recent_file(const QString &name)
{
    const QString path = QFileInfo(name).absoluteFilePath();
    QStringList files = recent_files();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > MainWindow::max_recent_files)
        files.removeLast();
    Config::instance()->setValue(QString::fromLatin1(recent_key), files);
}

void FileActions::fill_recent_menu()
{
    m_recent_menu->clear();
    const QStringList files = recent_files();
    if (files.isEmpty()) {
        m_recent_menu->addAction(tr("(none)"))->setEnabled(false);
        return;
    }
    for (const QString &file : files) {
        QAction *entry = m_recent_menu->addAction(file);
        connect(entry, &QAction::triggered, this, [this, file] { open_recent_file(file); });
    }
}

void FileActions::open_recent_file(const QString &name)
{
    if (!QFileInfo::exists(name)) {
        QStringList files = recent_files();
        files.removeAll(name);
        Config::instance()->setValue(QString::fromLatin1(recent_key), files);
        m_window->show_status(
            tr("File not found, removed from Recent Files: %1").arg(name));
        return;
    }
    open_named_file(name);
}
