// Opening a data file named outside the Open dialog: the command line, a file
// dropped on the window, File > Recent Files.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

const char recent_key[] = "Recent Files";

// The first local file among dropped URLs, or the empty text.
QString dropped_file(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return QString();
}

} // namespace

bool MainWindow::open_named_file(const QString &name)
{
    if (refuse_while_searching())
        return false;
    const QFileInfo info(name);
    // Open's own refusal of folders, pipes, devices and unreadable files.
    const QString refusal = info.exists() ? data_file_refusal(name) : QString();
    if (!info.exists() || !refusal.isEmpty()) {
        const QString notice =
            info.exists() ? refusal : QStringLiteral("File not found: %1").arg(name);
        show_status(notice);
        // Given on the command line: the first resize of the window clears
        // the status bar, so the notice is shown again once the window is up.
        if (!isVisible())
            startup_notice = notice;
        return false;
    }
    if (is_document_modified() && !ask_save_changes())
        return false;
    if (is_markup_modified() && !ask_save_markup())
        return false;
    open_chosen_file(info.absoluteFilePath());
    return true;
}

QStringList MainWindow::recent_files()
{
    return Config::instance()->value(QString::fromLatin1(recent_key)).toStringList();
}

void MainWindow::add_recent_file(const QString &name)
{
    const QString path = QFileInfo(name).absoluteFilePath();
    QStringList files = recent_files();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > max_recent_files)
        files.removeLast();
    Config::instance()->setValue(QString::fromLatin1(recent_key), files);
}

void MainWindow::fill_recent_menu()
{
    recent_menu->clear();
    const QStringList files = recent_files();
    if (files.isEmpty()) {
        recent_menu->addAction(QStringLiteral("(none)"))->setEnabled(false);
        return;
    }
    for (const QString &file : files) {
        QAction *entry = recent_menu->addAction(file);
        connect(entry, &QAction::triggered, this, [this, file] { open_recent_file(file); });
    }
}

void MainWindow::open_recent_file(const QString &name)
{
    if (!QFileInfo::exists(name)) {
        QStringList files = recent_files();
        files.removeAll(name);
        Config::instance()->setValue(QString::fromLatin1(recent_key), files);
        show_status(QStringLiteral("File not found, removed from Recent Files: %1").arg(name));
        return;
    }
    open_named_file(name);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!dropped_file(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString name = dropped_file(event->mimeData());
    if (name.isEmpty())
        return;
    event->acceptProposedAction();
    // The questions it may ask are modal; ask them after the drop has ended,
    // so the dragging application is not kept waiting.
    QMetaObject::invokeMethod(this, [this, name] { open_named_file(name); }, Qt::QueuedConnection);
}
