#include "mainwindow/templateactions.h"

#include "editedfile/editedfile.h"
#include "kaitai/templaterun.h"
#include "mainwindow/mainwindow.h"
#include "settings/config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

#include <atomic>

namespace {

const char *const template_dir_key = "Template Dir";

} // namespace

TemplateActions::TemplateActions(MainWindow *window, EditedFile *file)
    : QObject(window)
    , m_window(window)
    , m_file(file)
{
}

QString TemplateActions::examples_folder()
{
    const QDir application(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {application.filePath(QStringLiteral("ksy")),
          application.filePath(QStringLiteral("../share/pellowquarnby/ksy"))}) {
        if (QFileInfo(candidate).isDir())
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    }
    return QString();
}

void TemplateActions::apply_template_action()
{
    if (!m_file->is_open()) {
        m_window->show_status(tr("No File"));
        return;
    }
    if (m_file->refuse_if_busy())
        return;
    Config *config = Config::instance();
    QString folder = config->value(QLatin1String(template_dir_key)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = examples_folder();
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString path = m_window->get_open_file_name(
        tr("Apply Template"), folder, tr("Kaitai Struct templates (*.ksy);;All files (*)"));
    if (path.isEmpty())
        return;
    config->setValue(QLatin1String(template_dir_key), QFileInfo(path).absolutePath());
    apply_template_file(path);
}

bool TemplateActions::apply_template_file(const QString &path, qint64 max_fields)
{
    if (!m_file->is_open()) {
        m_window->show_status(tr("No File"));
        return false;
    }
    if (m_file->refuse_if_busy())
        return false;

    // Shown only when the run takes more than a moment. It is window-modal,
    // and the edited file refuses every change while the template reads it.
    QProgressDialog progress(tr("Applying %1\u2026").arg(QFileInfo(path).fileName()),
                             tr("Cancel"), 0, 1000, m_window);
    progress.setWindowTitle(tr("Apply Template"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::atomic_bool cancel{false};
    const auto report = [&progress, &cancel](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(qBound(qint64(0), done * 1000 / total, qint64(1000))) : 0);
        if (progress.wasCanceled())
            cancel = true;
    };

    const TemplateRun::Outcome outcome = TemplateRun::apply(m_file, path, report, &cancel, max_fields);
    progress.close();
    m_window->show_status(outcome.message);
    return outcome.applied;
}
