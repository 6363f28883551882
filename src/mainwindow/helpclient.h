#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

class QProcess;

// Starts and drives the external help viewer (Qt Assistant) through its
// remote control on standard input. The viewer and the compiled help
// collection live outside the program; when either is missing, or the viewer
// dies, the client says so through error() and otherwise does nothing, so the
// caller never has to check anything before calling it.
//
// Where things are looked for, given the application directory `path`:
// - the viewer: `path`/assistant, then Qt's binaries directory, then Qt's
//   library executables directory;
// - the help files: `path`/html_help (the build tree, or an install that keeps
//   the help beside the program), then `path`/../share/pellowquarnby/html_help
//   (the installed layout).
//
// No call waits on the viewer for more than a couple of seconds.
class HelpClient : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HelpClient)

public:
    // The namespace and virtual folder the help project compiles the pages
    // under; pages are addressed as qthelp://<namespace>/<folder>/<page>.
    static const char *const help_namespace;
    static const char *const help_folder;
    // The collection file inside the help directory.
    static const char *const collection_name;

    // `path` is the directory of the running program.
    explicit HelpClient(const QString &path, QObject *parent = nullptr);
    ~HelpClient() override;

    // Start arguments for the viewer. Without a call, or with an empty list,
    // the client passes "-collectionFile <help dir>/pellowquarnby.qhc". A
    // "-profile <file>" pair (the old viewer's way of naming its content) is
    // replaced by that same collection. "-enableRemoteControl" is always
    // added, since showPage() depends on it. Takes effect at the next start.
    void setArguments(const QStringList &arguments);
    // The size the viewer opens at (Qt's -qwindowgeometry, added unless
    // given): room for the contents beside a page of text, and still inside
    // a 1024 x 768 screen.
    static constexpr QSize first_size{960, 700};
    // The arguments the next start will pass, after the rules above.
    QStringList arguments() const;

    bool isOpen() const;
    // The running viewer's process id, 0 when it does not run.
    qint64 process_id() const;

    // Directories searched for the viewer, in order. The default is the
    // application directory, then Qt's binaries and library executables
    // directories; packagers who ship the viewer elsewhere set their own.
    void set_viewer_directories(const QStringList &directories);
    QStringList viewer_directories() const;
    // The viewer program that will be started, or empty when none was found.
    QString viewer_path() const;
    // The directory holding the help collection, or empty when none was found.
    QString help_directory() const;
    // The qthelp URL that showPage() sends for `path` (see showPage()).
    QString page_url(const QString &path) const;

public slots:
    // Starts the viewer unless it is already running.
    void openAssistant();
    // Shows a help page, starting the viewer first when needed. `path` is an
    // absolute file name in a html_help directory (for example
    // <application dir>/html_help/index.html), a page name relative to the
    // help directory, or a ready qthelp:// URL.
    void showPage(const QString &path);
    // Ends the viewer if it runs.
    void closeAssistant();

signals:
    void assistantOpened();
    void assistantClosed();
    // A sentence for the status bar naming what is missing or what failed.
    void error(const QString &message);

private:
    void process_finished(int exit_code, int exit_status);
    void process_error(int process_error);
    QString find_viewer() const;
    QString find_help_directory() const;
    QStringList help_candidates() const;

    QString m_application_dir;
    QStringList m_viewer_dirs;
    QStringList m_start_arguments;
    QProcess *m_process = nullptr;
    // Set while closeAssistant() ends the viewer on purpose, so that its
    // end is not reported as a failure.
    bool m_closing = false;
    QString m_last_stderr;
};
