#include "mainwindow/templateactions.h"

#include "dialogs/templategallerydialog.h"
#include "editedfile/editedfile.h"
#include "kaitai/ksygallery.h"
#include "kaitai/templaterun.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "mainwindow/mainwindow.h"
#include "panels/formatbar.h"
#include "settings/config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>

#include <atomic>

namespace {

const char *const template_dir_key = "Template Dir";
// "no" switches off the offer of a template when a file opens.
const char *const recognise_key = "Recognise Formats";

} // namespace

TemplateActions::TemplateActions(MainWindow *window, EditedFile *file)
    : QObject(window)
    , m_window(window)
    , m_file(file)
{
}

TemplateActions::~TemplateActions()
{
    if (m_gallery_reader)
        m_gallery_reader->wait();
}

void TemplateActions::set_format_bar(FormatBar *bar)
{
    m_bar = bar;
    connect(m_bar, &FormatBar::apply_requested, this, [this] {
        if (!m_offered.isEmpty())
            apply_template_file(m_offered);
    });
    connect(m_file, &EditedFile::file_changed, this, &TemplateActions::recognise);
}

void TemplateActions::recognise()
{
    m_offered.clear();
    m_bar->hide();
    // Offered for a file not yet taken apart: once it has markups (a linked
    // markup file, a template applied) the line would only take a row.
    if (!m_file->is_open() || m_file->markup_model()->root()->child_count() > 0
        || Config::instance()->value(QLatin1String(recognise_key)).toString() == QLatin1String("no"))
        return;
    if (!KsyGallery::installed_ready()) {
        if (!m_gallery_reader) {
            m_gallery_reader = QThread::create([] { KsyGallery::installed(); });
            m_gallery_reader->setParent(this);
            connect(m_gallery_reader, &QThread::finished, this, &TemplateActions::recognise);
            m_gallery_reader->start(QThread::LowPriority);
        }
        return;
    }
    if (const KsyGallery::Entry *match = TemplateRun::recognise(m_file)) {
        m_offered = match->path;
        m_bar->offer(match->title, match->file_name);
    }
}

void TemplateActions::apply_template_action()
{
    if (!m_file->is_open()) {
        m_window->show_status(tr("No File"));
        return;
    }
    if (m_file->refuse_if_busy())
        return;
    QString path;
    int choice = TemplateGalleryDialog::other_file;
    const KsyGallery &gallery = KsyGallery::installed();
    if (!gallery.entries().empty()) {
        TemplateGalleryDialog dialog(gallery, m_window);
        choice = m_window->exec_template_dialog(&dialog);
        if (choice == QDialog::Accepted)
            path = dialog.selected_path();
    }
    if (choice == TemplateGalleryDialog::other_file) {
        Config *config = Config::instance();
        QString folder = config->value(QLatin1String(template_dir_key)).toString();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = gallery.root();
        if (folder.isEmpty())
            folder = QDir::homePath();
        path = m_window->get_open_file_name(
            tr("Apply Template"), folder, tr("Kaitai Struct templates (*.ksy);;All files (*)"));
        if (!path.isEmpty())
            config->setValue(QLatin1String(template_dir_key), QFileInfo(path).absolutePath());
    }
    if (path.isEmpty())
        return;
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
    if (outcome.applied()) {
        m_offered.clear();
        m_bar->hide();
    }
    return outcome.applied();
}
