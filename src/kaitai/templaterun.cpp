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
#include <QThreadPool>

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

// Freeing millions of parsed items takes a good second: done aside, so
// that neither a cancel nor the end of a run waits for it.
void release_aside(std::unique_ptr<KsyItem> items)
{
    if (!items)
        return;
    std::shared_ptr<KsyItem> held(std::move(items));
    QThreadPool::globalInstance()->start([held]() mutable { held.reset(); });
}

// Maps each step's own done/total onto its share of the whole run, and
// keeps the report from going back (an instance may read before the place
// reached).
class RunProgress
{
public:
    RunProgress(const TemplateRun::Progress &report, const std::atomic_bool *cancel)
        : m_report(report)
        , m_cancel(cancel)
    {
    }

    // Returns false once the run is cancelled.
    bool step(qint64 from, qint64 to, qint64 done, qint64 total)
    {
        // A cancelled run reports no more, not even the parse's end.
        if (cancelled())
            return false;
        const qint64 share = total > 0 ? from + (to - from) * qBound(qint64(0), done, total) / total : from;
        if (share > m_last)
            m_last = share;
        if (m_report)
            m_report(m_last, TemplateRun::progress_total);
        return !cancelled();
    }
    bool cancelled() const { return m_cancel && m_cancel->load(); }

private:
    const TemplateRun::Progress &m_report;
    const std::atomic_bool *m_cancel;
    qint64 m_last = 0;
};

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
    // Gone once the parse is done: what it kept to evaluate expressions
    // is not to be held while the markups are made.
    auto parser = std::make_unique<KsyParser>(ksy, &source);
    KsyParser::Limits limits;
    limits.max_fields = max_fields > 0 ? max_fields : field_limit();
    parser->set_limits(limits);
    RunProgress run_progress(progress, cancel);
    parser->set_progress([&run_progress](qint64 done, qint64 total) {
        run_progress.step(0, parse_share_end, done, total);
    });
    parser->set_cancel_flag(cancel);
    const QString cancelled = tr("Template cancelled: no markups added");
    // The progress report may let the event loop run: nothing may change
    // the bytes or the markups until the markups are in.
    file->set_busy(true, tr("A template is being applied: cancel it first."));
    const auto idle = qScopeGuard([file] { file->set_busy(false); });
    KsyResult result = parser->parse();
    parser.reset();
    if (run_progress.cancelled()) {
        release_aside(std::move(result.root));
        outcome.message = cancelled;
        return outcome;
    }

    outcome.fields = result.fields;
    const QString name = QFileInfo(ksy_path).fileName();
    if (result.stopped && result.mismatch) {
        outcome.message = tr("%1 does not match this file: %2 at %3")
                              .arg(name, result.reason, result.where());
        return outcome;
    }
    // The items are freed as they become markups; on a large file they
    // are the bulk of what the run holds.
    KsyMarkupBuilder::Outcome built = KsyMarkupBuilder::build(std::move(result.root),
                                                              [&run_progress](qint64 done, qint64 total, bool making) {
        return making ? run_progress.step(build_share_end, progress_total, done, total)
                      : run_progress.step(parse_share_end, build_share_end, done, total);
    });
    if (built.cancelled || run_progress.cancelled()) {
        outcome.message = cancelled;
        return outcome;
    }
    QStringList parts;
    if (result.stopped)
        parts << result.message();
    if (built.markups.empty()) {
        parts << tr("no markups read");
        outcome.message = parts.join(QStringLiteral("; "));
        return outcome;
    }

    auto *command = new KsyMarkCommand(file->history(), file->markup_tree(), std::move(built.markups));
    command->set_poll([&run_progress](qint64 done, qint64 total) {
        return run_progress.step(build_share_end, progress_total, done, total);
    }, built.count);
    const std::shared_ptr<const KsyMarkCommand::Counts> counts = command->counts();
    file->run_while_busy(command, [command] { return command->place_ahead(); });
    if (counts->cancelled) {
        outcome.message = cancelled;
        return outcome;
    }
    run_progress.step(0, progress_total, 1, 1);
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
