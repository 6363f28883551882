#pragma once

#include "mainwindow/mainwindow.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QMenu;
class QMimeData;

// The data file: Open, Save, Save As, File > Recent Files, a file named on
// the command line or dropped on the window, and the questions about unsaved
// changes before any of them, or a close, discards the edits.
class FileActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FileActions)

public:
    explicit FileActions(MainWindow *window);

    // Opens a data file in the hex view and loads its linked markup. A name that
    // does not exist leaves the view as it was and empties the title.
    void load_file(const QString &name);
    // Opens a data file named outside the Open dialog as Open does: refused
    // while a search runs, the questions about unsaved changes first. A name
    // that is not an existing file is reported on the status bar. True when
    // the file was opened.
    bool open_named_file(const QString &name);
    // "File Has Changed": Yes saves (to another file when the open one was
    // replaced on disk), No goes on without saving, Cancel stops the command.
    MainWindow::Unsaved ask_save_changes();
    // The questions before the window closes: false when the user cancelled,
    // or, with the reason on the status bar, when a save the user asked for
    // did not happen.
    bool may_close();

    // The first local file among dropped URLs, or the empty text.
    static QString dropped_file(const QMimeData *data);
    // Opens `name` once the drop has ended: the questions it may ask are
    // modal, and the dragging application must not be kept waiting.
    void open_dropped_file(const QString &name);

    // The last data files opened, newest first (setting "Recent Files").
    static QStringList recent_files();
    // Adds File > Recent Files, filled each time it opens.
    void add_recent_menu(QMenu *file_menu);

    // What a start-up open had to say, for the window to show again once it
    // is up (its first resize clears the status bar); empty afterwards.
    QString take_startup_notice();

signals:
    // The hex view shows another file, or none: what follows the cursor
    // must look again.
    void file_shown();

public slots:
    void open_action();
    // The journal's state on the status bar: a lasting warning while
    // changes are not journaled (writing failed, another window holds it,
    // a journal left for later); the first failure in a session in a box as
    // well; a word when journaling resumes.
    void follow_journal();
    void save_action();
    void save_as_action();

private:
    // Both questions, bytes first, before a command drops the unsaved edits
    // and markups: true when it may go on.
    bool may_discard_changes();
    // Not while a search runs, and only with a file open (else says so).
    bool may_save();
    // What opening a data file does with the markups: load the linked markup
    // file; leave that to the caller (Open); or keep the markups in memory,
    // their file and their modified flag (Save As: the data was only copied).
    enum class DataFileMarkup { load_linked, link_later, keep };
    void show_data_file(const QString &name, DataFileMarkup markup);
    // Open after the dialog: markups dropped, the file shown, its linked markup.
    void open_chosen_file(const QString &name);
    // The status text refusing an existing `name` as a data file (a folder,
    // pipe, socket, device, or a file that cannot be read); empty when it
    // can be shown.
    QString data_file_refusal(const QString &name);
    // Said on the status bar now, and again once the window is up when it
    // is not yet.
    void notice(const QString &text);
    // After a data file is opened: a journal left behind for it is offered
    // for recovery (Recover, Discard, Later); one that could not be read,
    // and was kept aside, is reported with where it is.
    void offer_recovery(const QString &name);
    void add_recent_file(const QString &name);
    void fill_recent_menu();
    void open_recent_file(const QString &name);

    MainWindow *m_window;
    QMenu *m_recent_menu = nullptr;
    QString m_startup_notice;
    bool m_journal_failure_told = false;
    // The journal whose writing failed, until it works again.
    QString m_journal_failing_path;
};
