#include "app/batchexport.h"

#include "document/buffereddocument.h"
#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "editedfile/markupsaver.h"
#include "kaitai/templaterun.h"
#include "markup/markupexporter.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QFileInfo>

int BatchExport::run(const Job &job, QString *error)
{
    const QByteArray utf8 = job.file.toUtf8();
    if (!BufferedDocument::open_error(std::string(utf8.constData(), size_t(utf8.size()))).empty()) {
        *error = tr("Cannot read %1").arg(job.file);
        return 1;
    }
    // The tree's last word on the markup file, for a refusal to repeat; it
    // outlives the file whose tree tells it.
    QString told;
    EditedFile file;
    if (!file.open(job.file)) {
        *error = tr("Cannot read %1").arg(job.file);
        return 1;
    }
    // Nothing of this run is left unsaved, so it keeps no journal: adding a
    // template's markups would otherwise write a copy of them all to it.
    file.journal()->release();
    if (!job.markup.isEmpty()) {
        QObject::connect(file.markup_tree(), &MarkupTree::status_message,
                         [&told](const QString &text, const QString &detail) {
                             told = detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
                         });
        switch (file.read_markup(job.markup)) {
        case EditedFile::MarkupRead::loaded:
            break;
        case EditedFile::MarkupRead::too_large:
            *error = told;
            return 1;
        case EditedFile::MarkupRead::failed:
            *error = tr("Markup load failed: %1 is not a complete markup file").arg(job.markup);
            return 1;
        default:
            *error = tr("Cannot read %1").arg(job.markup);
            return 1;
        }
    }
    int code = 0;
    if (!job.ksy.isEmpty()) {
        const TemplateRun::Outcome outcome = TemplateRun::apply(&file, job.ksy, {}, nullptr, job.max_fields);
        if (!outcome.applied()) {
            *error = outcome.message;
            return 1;
        }
        // What was read is written all the same; the stop is told.
        if (outcome.result == TemplateRun::Result::partial) {
            *error = outcome.message;
            code = 3;
        }
    }
    const bool written = QFileInfo(job.output).suffix().compare(QLatin1String("xml"),
                                                                Qt::CaseInsensitive) == 0
                             ? MarkupSaver::write(*file.markup_tree(), job.output)
                             : file.export_markups(job.output);
    if (!written) {
        *error = tr("Cannot write %1").arg(job.output);
        return 1;
    }
    return code;
}
