#include "mainwindow/markupfileactions.h"

#include "settings/config.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "markup/edithistory.h"
#include "markup/markupexporter.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "treeview/hextreeview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

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

bool link_markup_enabled()
{
    return Config::instance()->value(QStringLiteral("Link Markup")).toString()
           == QLatin1String("yes");
}

// Written beside the target and renamed over it only when complete, as
// markup files are, so a failure never leaves half a file; a device or pipe
// would be swapped for a plain file that way: refused.
bool write_whole_file(const QString &name, const QByteArray &bytes)
{
    const QFileInfo existing(name);
    if (existing.exists() && !existing.isFile())
        return false;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

MarkupFileActions::MarkupFileActions(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
}

QString MarkupFileActions::link_key(const QString &data_path)
{
    quint32 hash = 5381;
    const QByteArray bytes = data_path.toLatin1();
    for (const char c : bytes)
        hash = hash * 33u + static_cast<quint32>(static_cast<qint32>(static_cast<signed char>(c)));
    return QStringLiteral("Link/") + QString::number(hash & 0x7fffffffu);
}

bool MarkupFileActions::write_markup_file(const QString &name)
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
    if (!m_window->markup_tree()->write_markup_file(file) || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool MarkupFileActions::write_markup_in_place(const QString &name)
{
    // The old contents are kept so that a failed write can put them back:
    // a file is never left half-written.
    QFile file(name);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError || !file.seek(0))
        return false;
    if (m_window->markup_tree()->write_markup_file(file) && file.flush()
        && file.resize(file.pos()) && ::fsync(file.handle()) == 0)
        return true;
    file.unsetError();
    if (file.seek(0) && file.write(old) == old.size() && file.flush())
        file.resize(old.size());
    ::fsync(file.handle());
    return false;
}

void MarkupFileActions::save_markup_as_action()
{
    if (m_window->refuse_while_searching())
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
            QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    // The markup file and its link follow only a save that succeeded.
    if (!write_markup_file(name)) {
        m_window->show_warning(tr("File Error"), tr(output_error));
        return;
    }
    m_current_file = name;
    m_window->edit_history()->mark_saved(EditHistory::markup);
    m_window->show_status(tr("Markup Saved"));
    link_markup_file(name);
}

void MarkupFileActions::save_markup_action()
{
    if (m_window->refuse_while_searching())
        return;
    if (m_current_file.isEmpty()) {
        save_markup_as_action();
        return;
    }
    if (!write_markup_file(m_current_file)) {
        m_window->show_warning(tr("File Error"), tr(output_error));
        return;
    }
    m_window->edit_history()->mark_saved(EditHistory::markup);
    link_markup_file(m_current_file);
}

bool MarkupFileActions::ask_save_markup()
{
    const QMessageBox::StandardButton answer = m_window->ask_question(
        tr("Markup Has Changed"),
        tr("<font size =4>Markup has been changed. Save XML file?</font>"),
        QMessageBox::Yes);
    if (answer == QMessageBox::No)
        return true;
    save_markup_action();
    return !m_window->is_markup_modified();
}

MarkupFileActions::MarkupRead MarkupFileActions::read_markup_file(const QString &name)
{
    // Only a regular file of sensible size: a FIFO or a device named as the
    // markup file (at start-up, through a link) must not hang the program.
    QByteArray bytes;
    if (!MarkupTree::read_markup_file(name, &bytes)) {
        m_window->show_warning(tr("File Error"), tr(input_error));
        return MarkupRead::unreadable;
    }
    const QString text = MarkupTree::decode_markup_file(bytes);
    bytes = QByteArray();

    m_window->markup_tree_view()->selectionModel()->clearSelection();
    const bool parsed = m_window->markup_tree()->load_xml(text);
    // Loaded markups start a new history.
    m_window->edit_history()->restart();
    m_window->expand_markup_view();
    m_window->fit_markup_columns();
    return parsed ? MarkupRead::loaded : MarkupRead::failed;
}

void MarkupFileActions::load_markup_action()
{
    if (m_window->refuse_while_searching())
        return;
    // Loading replaces the markups: not after a save the user asked for failed.
    if (m_window->is_markup_modified() && !ask_save_markup())
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
    const MarkupRead result = read_markup_file(name);
    if (result == MarkupRead::unreadable)
        return;

    link_markup_file(name);
    m_current_file = name;
    // A failed parse keeps the loader's "Markup load failed" in view.
    if (result == MarkupRead::loaded)
        m_window->show_status(tr("Markup Loaded"));
    m_window->edit_history()->mark_saved(EditHistory::markup);
}

void MarkupFileActions::link_markup_file(const QString &markup_path)
{
    if (!link_markup_enabled())
        return;
    const QString data_path = Config::instance()->value(QStringLiteral("filename")).toString();
    // With no data file there is nothing to link the markup to.
    if (data_path.isEmpty())
        return;
    Config::instance()->setValue(link_key(data_path), data_path + QLatin1Char('|') + markup_path);
}

void MarkupFileActions::load_linked_markup(const QString &data_path)
{
    if (!link_markup_enabled())
        return;
    const QString value = Config::instance()->value(link_key(data_path)).toString();
    // The value is "<data path>|<markup path>". When it names this data file,
    // everything after it is the markup path, "|" in either path included;
    // otherwise (another file with the same key) the second field is used.
    const QString prefix = data_path + QLatin1Char('|');
    if (value.startsWith(prefix))
        m_current_file = value.mid(prefix.size());
    else
        m_current_file = value.section(QLatin1Char('|'), 1, 1);
    if (m_current_file.isEmpty())
        return;
    read_markup_file(m_current_file);
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
            QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    // The skeleton is named after the data file and ends where it ends.
    HexDocument *document = m_window->hex_widget()->document();
    const bool open = document && document->is_open();
    const QByteArray bytes =
        MarkupExporter::write(format, root, open ? document->absolute_path() : QString(),
                              open ? document->size() : -1);
    if (!write_whole_file(name, bytes)) {
        m_window->show_warning(tr("File Error"), tr(export_error));
        return;
    }
    m_window->show_status(tr("Markup Exported"));
}
