// Markup > Export...: the markup tree written for other programs. The command
// only reads the tree: the markups, their file and their modified flag stay
// as they were.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "markup/markupexporter.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const char *const export_error = "<font size =4>Could not open export file for output.</font>";

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

// The patterns of one filter entry, "JSON (*.json *.js)" -> *.json, *.js.
QStringList filter_patterns(const QString &entry)
{
    static const QRegularExpression parenthesised(QStringLiteral("\\(([^)]*)\\)"));
    const QRegularExpressionMatch match = parenthesised.match(entry);
    return match.hasMatch() ? match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                            : QStringList();
}

} // namespace

QString MainWindow::name_for_filter(const QString &name, const QString &filter,
                                    const QString &selected_filter)
{
    if (name.isEmpty() || selected_filter.isEmpty())
        return name;
    const QString file_name = QFileInfo(name).fileName();
    for (const QString &entry : filter.split(QStringLiteral(";;"))) {
        for (const QString &pattern : filter_patterns(entry)) {
            if (QDir::match(pattern, file_name))
                return name;
        }
    }
    for (const QString &pattern : filter_patterns(selected_filter)) {
        if (pattern.startsWith(QLatin1String("*.")) && pattern.size() > 2
            && pattern.indexOf(QLatin1Char('*'), 1) < 0)
            return name + pattern.mid(1);
    }
    return name;
}

void MainWindow::add_export_entry(QMenu *markup_menu)
{
    connect(markup_menu->addAction(QStringLiteral("Export\u2026")), &QAction::triggered, this,
            &MainWindow::export_markup_action);
}

void MainWindow::export_markup_action()
{
    const MarkupNode *root = markup_model_->root();
    if (root->child_count() == 0) {
        show_status(QStringLiteral("No markup to export"));
        return;
    }
    QString dir = Config::instance()->value(QStringLiteral("Markup Dir")).toString();
    if (dir.isEmpty())
        dir = QDir::homePath();
    const QString name =
        get_save_file_name(QStringLiteral("Export Markup"), dir, MarkupExporter::file_filter(), false);
    if (name.isEmpty())
        return;
    const MarkupExporter::Format format = MarkupExporter::format_of(name);
    if (format == MarkupExporter::Format::unknown) {
        show_status(QStringLiteral("Export needs a file name ending in .json, .csv or .ksy"));
        return;
    }
    if (QFile::exists(name)) {
        const QMessageBox::StandardButton answer =
            ask_question(QStringLiteral("File Exists"),
                         QStringLiteral("<font size =4>Export File Exists, Overwrite?</font>"),
                         QMessageBox::Yes);
        if (answer == QMessageBox::No)
            return;
    }

    // The skeleton is named after the data file and ends where it ends.
    HexDocument *document = hex_widget_->document();
    const bool open = document && document->is_open();
    const QByteArray bytes =
        MarkupExporter::write(format, root, open ? document->absolute_path() : QString(),
                              open ? document->size() : -1);
    if (!write_whole_file(name, bytes)) {
        show_warning(QStringLiteral("File Error"), QString::fromLatin1(export_error));
        return;
    }
    show_status(QStringLiteral("Markup Exported"));
}
