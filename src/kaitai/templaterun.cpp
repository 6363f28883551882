#include "kaitai/templaterun.h"

#include "editedfile/editedfile.h"
#include "kaitai/editedfilesource.h"
#include "kaitai/ksymarkcommand.h"
#include "kaitai/ksymarkupbuilder.h"
#include "kaitai/ksyparser.h"
#include "kaitai/ksyresult.h"
#include "kaitai/ksytemplate.h"
#include "settings/config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>

namespace {

// Gallery templates import "/common/..." from the root of their collection,
// one or two folders above them; a template alone imports nothing absolute
// and reads the same from any root. The first root that reads is taken;
// when none does, the error is the one seen from the template's own folder.
std::shared_ptr<KsyTemplate> load_template(const QString &path, QString *error)
{
    const int max_levels = 8;
    QDir root = QFileInfo(path).absoluteDir();
    QString first_error;
    for (int level = 0; level < max_levels; ++level) {
        QString attempt_error;
        std::shared_ptr<KsyTemplate> loaded = KsyTemplate::load(path, root.absolutePath(),
                                                                &attempt_error);
        if (loaded)
            return loaded;
        if (level == 0)
            first_error = attempt_error;
        if (!root.cdUp())
            break;
    }
    *error = first_error;
    return nullptr;
}

const char field_limit_key[] = "Template Field Limit";

} // namespace

const KsyGallery::Entry *TemplateRun::recognise(const EditedFile *file)
{
    const KsyGallery &gallery = KsyGallery::installed();
    if (!file->is_open() || gallery.head_size() == 0)
        return nullptr;
    const auto found = gallery.matches(file->read(0, gallery.head_size()), file->path());
    return found.empty() ? nullptr : found.front();
}

qint64 TemplateRun::field_limit()
{
    bool ok = false;
    const qint64 limit = Config::instance()->value(QLatin1String(field_limit_key)).toLongLong(&ok);
    return ok && limit > 0 ? limit : default_field_limit;
}

void TemplateRun::set_field_limit(qint64 limit)
{
    Config::instance()->setValue(QLatin1String(field_limit_key), limit);
}

TemplateRun::Outcome TemplateRun::apply(EditedFile *file, const QString &path,
                                        const Progress &progress, const std::atomic_bool *cancel,
                                        qint64 max_fields)
{
    Outcome outcome;
    QString ksy_path = path;
    if (path == QLatin1String("auto")) {
        const KsyGallery::Entry *match = recognise(file);
        if (!match) {
            outcome.message = tr("no template matches");
            return outcome;
        }
        ksy_path = match->path;
    }
    QString error;
    const std::shared_ptr<KsyTemplate> ksy = load_template(ksy_path, &error);
    if (!ksy) {
        outcome.message = error;
        return outcome;
    }

    if (file->refuse_if_busy()) {
        outcome.message = EditedFile::busy_message();
        return outcome;
    }
    const EditedFileSource source(file);
    KsyParser parser(ksy, &source);
    KsyParser::Limits limits;
    limits.max_fields = max_fields > 0 ? max_fields : field_limit();
    parser.set_limits(limits);
    if (progress)
        parser.set_progress(progress);
    parser.set_cancel_flag(cancel);
    // The progress report may let the event loop run: nothing may change
    // the bytes or the markups while the parse reads them.
    file->set_busy(true, tr("A template is being applied: cancel it first."));
    KsyResult result;
    {
        const auto done = qScopeGuard([file] { file->set_busy(false); });
        result = parser.parse();
    }
    if (cancel && cancel->load()) {
        outcome.message = tr("Template cancelled: no markups added");
        return outcome;
    }

    const QString name = QFileInfo(ksy_path).fileName();
    if (result.stopped && result.mismatch) {
        outcome.message = tr("%1 does not match this file: %2 at %3")
                              .arg(name, result.reason, result.where());
        return outcome;
    }
    KsyMarkupBuilder::Outcome built =
        result.root ? KsyMarkupBuilder::build(*result.root) : KsyMarkupBuilder::Outcome();
    // The items are in the markups now; on a large file they are the bulk
    // of what the run holds.
    result.root.reset();
    QStringList parts;
    if (result.stopped)
        parts << result.message();
    if (built.markups.empty()) {
        parts << tr("no markups read");
        outcome.message = parts.join(QStringLiteral("; "));
        return outcome;
    }

    auto *command = new KsyMarkCommand(file->history(), file->markup_tree(), std::move(built.markups));
    const std::shared_ptr<const KsyMarkCommand::Counts> counts = command->counts();
    if (!file->run(command)) {
        outcome.message = EditedFile::busy_message();
        return outcome;
    }
    outcome.added = counts->added;
    outcome.refused = counts->refused;

    // The count first: the status bar cuts a long message at its right end.
    parts.prepend(counts->added == 1 ? tr("1 markup added from %1").arg(name)
                                     : tr("%1 markups added from %2").arg(QLocale().toString(qint64(counts->added)), name));
    if (result.instances_failed > 0)
        parts << tr("%1 instances could not be computed, the first at %2")
                     .arg(result.instances_failed)
                     .arg(result.instance_failure);
    if (counts->refused > 0)
        parts << tr("%1 did not fit the markups already there").arg(counts->refused);
    if (built.overlapping > 0)
        parts << tr("%1 overlapped other markups and were left out").arg(built.overlapping);
    if (built.too_deep > 0)
        parts << tr("%1 nested deeper than %2 and were left out").arg(built.too_deep).arg(KsyMarkupBuilder::max_depth);
    const bool complete = !result.stopped && result.instances_failed == 0 && counts->refused == 0
                          && built.overlapping == 0 && built.too_deep == 0;
    // A command that added nothing (every markup refused) changed nothing.
    outcome.result = counts->added == 0 ? Result::nothing_applied
                     : complete         ? Result::complete
                                        : Result::partial;
    outcome.message = parts.join(QStringLiteral("; "));
    return outcome;
}
