#include "mainwindow/helpclient.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>

const char *const HelpClient::help_namespace = "org.sorrelworks.pellowquarnby";
const char *const HelpClient::help_folder = "doc";
const char *const HelpClient::collection_name = "pellowquarnby.qhc";

namespace {

// Long enough for fork and exec on a loaded machine, short enough that the
// window does not look hung when it is not.
constexpr int start_wait_ms = 3000;
constexpr int finish_wait_ms = 2000;

const char *const viewer_name = "assistant";
const char *const help_dir_name = "html_help";

// The viewer's last words are the ones that say why it stopped; earlier lines
// are start-up chatter.
QString last_line(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype start = trimmed.lastIndexOf(QLatin1Char('\n'));
    return start < 0 ? trimmed : trimmed.mid(start + 1).trimmed();
}

} // namespace

HelpClient::HelpClient(const QString &path, QObject *parent)
    : QObject(parent),
      m_application_dir(path),
      m_viewer_dirs{path, QLibraryInfo::path(QLibraryInfo::BinariesPath),
                    QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath)}
{
}

HelpClient::~HelpClient()
{
    // A viewer left behind would outlive the program with nothing to drive it.
    if (m_process) {
        m_closing = true;
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(finish_wait_ms);
        }
    }
}

void HelpClient::setArguments(const QStringList &arguments)
{
    m_start_arguments = arguments;
}

QStringList HelpClient::arguments() const
{
    const QString dir = find_help_directory();
    const QString collection = dir.isEmpty()
        ? QDir(m_application_dir).filePath(QLatin1String(help_dir_name) + QLatin1Char('/')
                                         + QLatin1String(collection_name))
        : QDir(dir).filePath(QLatin1String(collection_name));

    QStringList result;
    for (qsizetype i = 0; i < m_start_arguments.size(); ++i) {
        const QString &arg = m_start_arguments.at(i);
        if (arg == QLatin1String("-profile")) {
            // This viewer reads compiled collections, not profiles.
            result << QStringLiteral("-collectionFile") << collection;
            ++i;
        } else {
            result << arg;
        }
    }
    if (!result.contains(QLatin1String("-collectionFile")))
        result << QStringLiteral("-collectionFile") << collection;
    if (!result.contains(QLatin1String("-enableRemoteControl")))
        result << QStringLiteral("-enableRemoteControl");
    // The viewer's own first size is a narrow window with a page a third of
    // it wide.
    if (!result.contains(QLatin1String("-qwindowgeometry")))
        result << QStringLiteral("-qwindowgeometry")
               << QStringLiteral("%1x%2").arg(first_size.width()).arg(first_size.height());
    return result;
}

bool HelpClient::isOpen() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 HelpClient::process_id() const
{
    return isOpen() ? m_process->processId() : 0;
}

void HelpClient::set_viewer_directories(const QStringList &directories)
{
    m_viewer_dirs = directories;
}

QStringList HelpClient::viewer_directories() const
{
    return m_viewer_dirs;
}

QString HelpClient::viewer_path() const
{
    return find_viewer();
}

QString HelpClient::help_directory() const
{
    return find_help_directory();
}

QString HelpClient::find_viewer() const
{
    for (const QString &dir : m_viewer_dirs) {
        if (dir.isEmpty())
            continue;
        const QFileInfo candidate(QDir(dir).filePath(QLatin1String(viewer_name)));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return QString();
}

QStringList HelpClient::help_candidates() const
{
    return {
        QDir::cleanPath(QDir(m_application_dir).filePath(QLatin1String(help_dir_name))),
        QDir::cleanPath(QDir(m_application_dir).filePath(QStringLiteral("../share/pellowquarnby/")
                                                       + QLatin1String(help_dir_name))),
    };
}

QString HelpClient::find_help_directory() const
{
    for (const QString &dir : help_candidates()) {
        if (QFileInfo(QDir(dir).filePath(QLatin1String(collection_name))).isFile())
            return QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    }
    return QString();
}

QString HelpClient::page_url(const QString &path) const
{
    if (path.startsWith(QLatin1String("qthelp://")))
        return path;

    // Keep what follows the last html_help/ in the path, so that a page named
    // beside the program is found also where the help was installed elsewhere.
    QString page = QDir::fromNativeSeparators(path);
    const QString marker = QLatin1String(help_dir_name) + QLatin1Char('/');
    const qsizetype at = page.lastIndexOf(marker);
    if (at >= 0)
        page = page.mid(at + marker.size());
    else if (QFileInfo(page).isAbsolute())
        page = QFileInfo(page).fileName();
    while (page.startsWith(QLatin1Char('/')))
        page.remove(0, 1);
    if (page.isEmpty())
        page = QStringLiteral("index.html");

    return QStringLiteral("qthelp://%1/%2/%3")
        .arg(QLatin1String(help_namespace), QLatin1String(help_folder), page);
}

void HelpClient::openAssistant()
{
    if (isOpen())
        return;

    const QString viewer = find_viewer();
    if (viewer.isEmpty()) {
        QStringList looked;
        for (const QString &dir : m_viewer_dirs)
            if (!dir.isEmpty())
                looked << QDir::toNativeSeparators(dir);
        emit error(tr("Help viewer not found: no Qt Assistant program (assistant) in %1")
                       .arg(looked.isEmpty() ? tr("any directory")
                                             : looked.join(QLatin1String(", "))));
        return;
    }

    const QStringList args = arguments();
    const qsizetype collection_at = args.indexOf(QLatin1String("-collectionFile")) + 1;
    const QString collection = collection_at > 0 && collection_at < args.size()
        ? args.at(collection_at) : QString();
    if (collection.isEmpty() || !QFileInfo(collection).isFile()) {
        if (!collection.isEmpty() && m_start_arguments.contains(QLatin1String("-collectionFile"))) {
            emit error(tr("Help files not found: %1 is missing")
                           .arg(QDir::toNativeSeparators(collection)));
        } else {
            QStringList looked;
            for (const QString &dir : help_candidates())
                looked << QDir::toNativeSeparators(dir);
            emit error(tr("Help files not found: no %1 in %2")
                           .arg(QLatin1String(collection_name),
                                looked.join(QLatin1String(" or "))));
        }
        return;
    }

    if (!m_process) {
        m_process = new QProcess(this);
        // The viewer's own complaints are kept for the error message; its
        // normal output is of no interest.
        m_process->setStandardOutputFile(QProcess::nullDevice());
        connect(m_process, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    process_finished(code, static_cast<int>(status));
                });
        connect(m_process, &QProcess::errorOccurred, this,
                [this](QProcess::ProcessError e) { process_error(static_cast<int>(e)); });
        connect(m_process, &QProcess::readyReadStandardError, this, [this] {
            // Keep only a bounded tail: a chatty viewer must not grow memory.
            m_last_stderr += QString::fromLocal8Bit(m_process->readAllStandardError());
            if (m_last_stderr.size() > 4096)
                m_last_stderr = m_last_stderr.right(4096);
        });
    }

    m_closing = false;
    m_last_stderr.clear();
    m_process->start(viewer, args);
    if (!m_process->waitForStarted(start_wait_ms)) {
        // A failure to start is reported by process_error(); a start that is
        // merely slow ends here so the window stays responsive.
        if (m_process->state() == QProcess::Starting) {
            m_closing = true;
            m_process->kill();
            emit error(tr("Help viewer did not start in time: %1")
                           .arg(QDir::toNativeSeparators(viewer)));
        }
        return;
    }
    // Open the contents one level deep, so every topic is in view at once.
    m_process->write("expandToc 2\n");
    emit assistantOpened();
}

void HelpClient::showPage(const QString &path)
{
    const QString url = page_url(path);
    const QString dir = find_help_directory();
    if (!dir.isEmpty() && !path.startsWith(QLatin1String("qthelp://"))) {
        const QString prefix = QStringLiteral("qthelp://%1/%2/")
                                   .arg(QLatin1String(help_namespace), QLatin1String(help_folder));
        QString page = url.mid(prefix.size());
        const qsizetype anchor = page.indexOf(QLatin1Char('#'));
        if (anchor >= 0)
            page.truncate(anchor);
        if (!QFileInfo(QDir(dir).filePath(page)).isFile()) {
            emit error(tr("Help page not found: %1")
                           .arg(QDir::toNativeSeparators(QDir(dir).filePath(page))));
            return;
        }
    }

    openAssistant();
    if (!isOpen())
        return;
    m_process->write(QByteArray("setSource ") + url.toUtf8() + '\n');
}

void HelpClient::closeAssistant()
{
    if (!isOpen())
        return;
    m_closing = true;
    m_process->terminate();
    if (!m_process->waitForFinished(finish_wait_ms)) {
        m_process->kill();
        m_process->waitForFinished(finish_wait_ms);
    }
}

void HelpClient::process_finished(int exit_code, int exit_status)
{
    const bool expected = m_closing;
    m_closing = false;
    if (!expected) {
        m_last_stderr += QString::fromLocal8Bit(m_process->readAllStandardError());
        const QString detail = last_line(m_last_stderr);
        if (exit_status == QProcess::CrashExit)
            emit error(detail.isEmpty() ? tr("Help viewer crashed")
                                        : tr("Help viewer crashed: %1").arg(detail));
        else if (exit_code != 0)
            emit error(detail.isEmpty()
                           ? tr("Help viewer ended with exit code %1").arg(exit_code)
                           : tr("Help viewer ended with exit code %1: %2")
                                 .arg(QString::number(exit_code), detail));
    }
    emit assistantClosed();
}

void HelpClient::process_error(int process_error)
{
    if (process_error != QProcess::FailedToStart)
        return;
    emit error(tr("Help viewer could not be started: %1 (%2)")
                   .arg(QDir::toNativeSeparators(m_process->program()), m_process->errorString()));
}
