#include "mainwindow/markupfileactions.h"

#include "settings/config.h"
#include "editedfile/editedfile.h"
#include "mainwindow/mainwindow.h"
#include "markup/edithistory.h"
#include "markup/markupexporter.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "treeview/hextreeview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProgressDialog>


namespace {

const char *const output_error = QT_TRANSLATE_NOOP(
    "MarkupFileActions", "<font size =4>Could not open XML file for output.</font>");
const char *const input_error = QT_TRANSLATE_NOOP(
    "MarkupFileActions", "<font size =4>Could not open XML file for input.</font>");
const char *const export_error = QT_TRANSLATE_NOOP(
    "MarkupFileActions", "<font size =4>Could not open export file for output.</font>");

// Where the markup file dialogs start: "Markup Dir", or the home directory
// while none is set.
QString markup_dir()
{
    const QString dir = Config::instance()->value(QStringLiteral("Markup Dir")).toString();
    return dir.isEmpty() ? QDir::homePath() : dir;
}

} // namespace

MarkupFileActions::MarkupFileActions(MainWindow *window, EditedFile *file)
    : QObject(window)
    , m_window(window)
    , m_file(file)
{
}

QString MarkupFileActions::current_file() const
{
    return m_file->markup_file();
}

void MarkupFileActions::save_markup_as_action()
{
    if (m_file->refuse_if_busy())
        return;
    const QString dir = markup_dir();
    QString name = m_window->get_save_file_name(tr("Save Markup XML File"), dir,
                                                QString(), false);
    if (name.isEmpty())
        return;
    // Load Markup lists "*.xml": a new name without a suffix could not be
    // found again. An existing file chosen in the dialog is taken as named.
    if (QFileInfo(name).suffix().isEmpty() && !QFileInfo::exists(name))
        name += QStringLiteral(".xml");

    if (QFile::exists(name)) {
        const QMessageBox::StandardButton answer = m_window->ask_question(
            tr("File Exists"), tr("<font size =4>XML File Exists, Overwrite?</font>"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    if (!m_file->save_markup(name)) {
        if (!m_file->is_busy())
            m_window->show_warning(tr("File Error"), tr(output_error));
        return;
    }
    m_window->show_status(tr("Markup Saved"));
}

void MarkupFileActions::save_markup_action()
{
    if (m_file->markup_file().isEmpty()) {
        save_markup_as_action();
        return;
    }
    if (m_file->save_markup(m_file->markup_file()))
        m_window->show_status(tr("Markup Saved"));
    else if (!m_file->is_busy())
        m_window->show_warning(tr("File Error"), tr(output_error));
}

MainWindow::Unsaved MarkupFileActions::ask_save_markup()
{
    const QMessageBox::StandardButton answer = m_window->ask_question(
        tr("Markup Has Changed"),
        tr("<font size =4>Markup has been changed. Save XML file?</font>"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::No)
        return MainWindow::Unsaved::proceed;
    // Escape, or a box closed without an answer, is Cancel as well.
    if (answer != QMessageBox::Yes)
        return MainWindow::Unsaved::cancelled;
    save_markup_action();
    return m_window->markup_modified() ? MainWindow::Unsaved::not_saved
                                          : MainWindow::Unsaved::proceed;
}

EditedFile::MarkupRead MarkupFileActions::read_markup_file(const QString &name, bool linked)
{
    if (m_file->refuse_if_busy())
        return EditedFile::MarkupRead::refused;
    // A large file takes a while: a bar with Cancel, shown only when the
    // load lasts longer than a moment. Cancel leaves everything as it was.
    QProgressDialog progress(tr("Loading markup..."), tr("Cancel"), 0, 1000, m_window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setValue(0);
    const MarkupTree::LoadProgress report = [&progress](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(done * 1000 / total) : 1000);
        return !progress.wasCanceled();
    };
    // A file refused for its size is told in a box as well: nothing else
    // shows that the load did not happen.
    QString refusal;
    const QMetaObject::Connection listen = connect(
        m_file->markup_tree(), &MarkupTree::status_message, this,
        [&refusal](const QString &text, const QString &detail) {
            refusal = detail.isEmpty() ? text : text + QLatin1Char('\n') + detail;
        });
    const EditedFile::MarkupRead result =
        linked ? m_file->load_linked_markup(name, report) : m_file->read_markup(name, report);
    disconnect(listen);
    progress.reset();
    if (result == EditedFile::MarkupRead::cancelled)
        return result;
    if (result == EditedFile::MarkupRead::too_large) {
        m_window->show_warning(tr("File Error"), refusal);
        return result;
    }
    // The rows the selection referred to were replaced.
    m_window->markup_tree_view()->selectionModel()->clearSelection();
    if (result == EditedFile::MarkupRead::unreadable) {
        m_window->show_warning(tr("File Error"), tr(input_error));
        return result;
    }
    m_window->expand_markup_view();
    m_window->fit_markup_columns();
    // A failed parse keeps the loader's "Markup load failed" in view.
    if (result == EditedFile::MarkupRead::loaded && !linked)
        m_window->show_status(tr("Markup Loaded"));
    return result;
}

void MarkupFileActions::load_markup_action()
{
    if (m_file->refuse_if_busy())
        return;
    // Loading replaces the markups: not when the user cancels, nor after a
    // save the user asked for failed.
    if (m_window->markup_modified() && ask_save_markup() != MainWindow::Unsaved::proceed)
        return;

    const QString dir = markup_dir();
    const QString name = m_window->get_open_file_name(tr("Load XML Markup File"), dir,
                                                      tr("XML Markup (*.xml)"));
    if (name.isEmpty())
        return;
    load_markup_file(name);
}

void MarkupFileActions::load_markup_file(const QString &name)
{
    const EditedFile::MarkupRead result = read_markup_file(name, false);
    if (result == EditedFile::MarkupRead::unreadable || result == EditedFile::MarkupRead::refused
        || result == EditedFile::MarkupRead::cancelled || result == EditedFile::MarkupRead::too_large)
        return;
    // A file that failed to load is neither the markup file nor linked: the
    // part read must never be saved over the whole of it.
    if (result == EditedFile::MarkupRead::loaded) {
        m_file->set_markup_file(name);
        m_file->link_markup_file(name);
    }
    m_file->history()->mark_saved(EditHistory::markup);
}

void MarkupFileActions::load_linked_markup(const QString &data_path)
{
    read_markup_file(data_path, true);
}

void MarkupFileActions::export_markup_action()
{
    const MarkupNode *root = m_window->markup_model()->root();
    if (root->child_count() == 0) {
        m_window->show_status(tr("No markup to export"));
        return;
    }
    const QString name = m_window->get_save_file_name(tr("Export Markup"), markup_dir(),
                                                      MarkupExporter::file_filter(), false);
    if (name.isEmpty())
        return;
    const MarkupExporter::Format format = MarkupExporter::format_of(name);
    if (format == MarkupExporter::Format::unknown) {
        m_window->show_status(
            tr("Export needs a file name ending in .json, .csv or .ksy"));
        return;
    }
    if (QFile::exists(name)) {
        const QMessageBox::StandardButton answer = m_window->ask_question(
            tr("File Exists"), tr("<font size =4>Export File Exists, Overwrite?</font>"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    if (!m_file->export_markups(name)) {
        m_window->show_warning(tr("File Error"), tr(export_error));
        return;
    }
    m_window->show_status(tr("Markup Exported"));
}
