// How Apply Template reports progress and answers Cancel on a large file:
// the longest wait between two progress reports (from the start to the
// first and from the last to the end included), and, for a Cancel given
// at a point of the run, how long the run takes to return after it and
// whether it left the markups untouched. These are latencies a user feels,
// so they are printed as times; nothing here is asserted.
//
// Usage: bench_template_progress KSY FILE [FRACTION ...]
//   FRACTION: where to cancel, as the share of the run reported done.
//   Without any: the whole run, then one cancel in each of parse, build
//   and add (0.3 0.7 0.9). With some: only those cancels, so that one
//   run's memory, freed aside, does not slow the next.

#include "editedfile/editedfile.h"
#include "kaitai/templaterun.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <atomic>
#include <cstdio>

namespace {

struct Run
{
    double total_ms = 0;
    double longest_gap_ms = 0;
    double gap_at = 0;
    // The longest before 99% was reported (at the end the step is pushed
    // and the journal writes every markup, with no report).
    double inner_gap_ms = 0;
    double inner_at = 0;
    // From the last report to the return.
    double tail_ms = 0;
    qint64 reports = 0;
    // -1: no cancel was given.
    double cancel_ms = -1;
    bool applied = false;
    int top_markups = 0;
};

Run run(const QString &ksy, const QString &path, double cancel_at)
{
    Run r;
    EditedFile file;
    if (!file.open(path)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return r;
    }
    std::atomic_bool cancel { false };
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 cancelled_at = -1;
    double last_fraction = 0;
    clock.start();
    const auto report = [&](qint64 done, qint64 total) {
        const qint64 now = clock.nsecsElapsed();
        ++r.reports;
        if ((now - last) / 1e6 > r.longest_gap_ms) {
            r.longest_gap_ms = (now - last) / 1e6;
            r.gap_at = last_fraction;
        }
        if (last_fraction < 0.99 && (now - last) / 1e6 > r.inner_gap_ms) {
            r.inner_gap_ms = (now - last) / 1e6;
            r.inner_at = last_fraction;
        }
        last = now;
        last_fraction = total > 0 ? double(done) / double(total) : 0;
        if (cancel_at >= 0 && cancelled_at < 0 && last_fraction >= cancel_at) {
            cancel = true;
            cancelled_at = now;
        }
    };
    const TemplateRun::Outcome outcome = TemplateRun::apply(&file, ksy, report, &cancel, qint64(1) << 40);
    const qint64 end = clock.nsecsElapsed();
    r.tail_ms = (end - last) / 1e6;
    if ((end - last) / 1e6 > r.longest_gap_ms) {
        r.longest_gap_ms = (end - last) / 1e6;
        r.gap_at = last_fraction;
    }
    r.total_ms = end / 1e6;
    if (cancelled_at >= 0)
        r.cancel_ms = (end - cancelled_at) / 1e6;
    r.applied = outcome.applied();
    r.top_markups = file.markup_tree()->model()->root()->child_count();
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_template_progress KSY FILE [FRACTION ...]\n");
        return 2;
    }
    QList<double> points;
    for (int i = 3; i < args.size(); ++i)
        points << args.at(i).toDouble();
    if (points.isEmpty()) {
        points = { 0.3, 0.7, 0.9 };
        const Run full = run(args.at(1), args.at(2), -1);
        std::printf("whole run: %.0f ms, %lld reports, longest gap %.1f ms after %.3f done, %.1f ms after the last;\n"
                    "  before 99%% was reported: %.1f ms after %.3f done\n",
                    full.total_ms, full.reports, full.longest_gap_ms, full.gap_at, full.tail_ms, full.inner_gap_ms,
                    full.inner_at);
    }
    for (const double p : points) {
        const Run r = run(args.at(1), args.at(2), p);
        std::printf("cancel at %.2f: returned %.1f ms after, %s\n", p, r.cancel_ms,
                    r.cancel_ms < 0 ? "never reached"
                    : r.applied || r.top_markups > 0 ? "markups applied" : "nothing applied");
    }
    return 0;
}
