// Applying a template, against the reference compiler's JavaScript under
// node reading the same file in the same run (compiled once beforehand in
// debug mode, then timed parsing the whole file, recording every field's
// range, and touching every field and instance), the memory per markup, and
// the memory a header-only template costs on a huge sparse file.
//
// Ours is what Apply Template does (TemplateRun: read the template, parse
// through the open file, place the items, make and add the markups as one
// undo step, journaled) with the field limit raised, so that both sides
// read every field. The steps are told apart by the progress they report;
// their CPU is the whole process's, so it includes what is freed aside.
//
// Usage: bench_template [--quick] [--reps N]
//   --quick  a smoke run: a 64 MiB zip of 1,250 entries, one repetition.
// Needs python3 (to write the zip) and, for the ratio rows, node with
// kaitai-struct-compiler and kaitai-struct in $KSC_MODULES
// (default /tmp/ksc/node_modules); without them those rows say so.

#include "benchsupport.h"

#include "editedfile/editedfile.h"
#include "kaitai/templaterun.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <cstring>

using pq_bench::median;
using pq_bench::Samples;
using pq_bench::time_once;

namespace {

const QString gallery = QStringLiteral(PQ_KSY_GALLERY);

long status_kib(const char *key);

struct Applied
{
    qint64 fields = 0;
    qint64 markups = 0;
    QString stop;
    // CPU seconds of the steps: parse, build the markups, add them.
    double parse = 0;
    double build = 0;
    double add = 0;
    // Resident memory (KiB) as the build and the add began, and the peak
    // reached by then.
    long parsed_kib = 0;
    long built_kib = 0;
    long parsed_peak_kib = 0;
    long built_peak_kib = 0;
};

// Apply Template as the menu runs it, with room for every field of a large
// file; the steps are told apart by the share of the run they report.
Applied apply(const QString &ksy_path, const QString &file_path)
{
    Applied applied;
    EditedFile file;
    if (!file.open(file_path)) {
        applied.stop = QStringLiteral("cannot open ") + file_path;
        return applied;
    }
    const double start = pq_bench::cpu_seconds();
    double parsed = -1;
    double built = -1;
    const auto progress = [&](qint64 done, qint64) {
        if (parsed < 0 && done > TemplateRun::parse_share_end) {
            parsed = pq_bench::cpu_seconds();
            applied.parsed_kib = status_kib("VmRSS:");
            applied.parsed_peak_kib = status_kib("VmHWM:");
        }
        if (built < 0 && done > TemplateRun::build_share_end) {
            built = pq_bench::cpu_seconds();
            applied.built_kib = status_kib("VmRSS:");
            applied.built_peak_kib = status_kib("VmHWM:");
        }
    };
    const TemplateRun::Outcome outcome = TemplateRun::apply(&file, ksy_path, progress, nullptr, qint64(1) << 40);
    const double end = pq_bench::cpu_seconds();
    if (built < 0)
        built = end;
    if (parsed < 0)
        parsed = built;
    applied.parse = parsed - start;
    applied.build = built - parsed;
    applied.add = end - built;
    applied.markups = outcome.added;
    applied.fields = outcome.fields;
    if (outcome.result != TemplateRun::Result::complete)
        applied.stop = outcome.message;
    return applied;
}

QString node_modules()
{
    const QString env = qEnvironmentVariable("KSC_MODULES");
    return env.isEmpty() ? QStringLiteral("/tmp/ksc/node_modules") : env;
}

QString walker()
{
    return QStringLiteral(PQ_BENCH_SOURCE "/kaitai/ksywalk.js");
}

bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForStarted(-1) || !p.waitForFinished(-1))
        return false;
    if (out)
        *out = p.readAllStandardOutput().trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Starts the peak resident memory afresh from what is resident now, after
// handing back what earlier rows freed (it would be reused unseen).
void reset_peak()
{
    malloc_trim(0);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// One row: ours against node on `file`, medians of `reps` runs.
void compare_with_node(const char *row, const QString &ksy, const QString &file, int reps, const QString &scratch)
{
    const QString ksy_path = gallery + QLatin1Char('/') + ksy + QStringLiteral(".ksy");
    Samples ours;
    Applied applied;
    pq_bench::warm_page_cache(file);
    // The first run's peak over what was resident before it, per markup made.
    reset_peak();
    const long resident = status_kib("VmRSS:");
    ours.push_back(time_once([&] { applied = apply(ksy_path, file); }));
    const auto per = [&](long kib) { return applied.markups > 0 ? (kib - resident) * 1024.0 / applied.markups : 0; };
    const double per_markup = per(status_kib("VmHWM:"));
    for (int i = 1; i < reps; ++i)
        ours.push_back(time_once([&] { applied = apply(ksy_path, file); }));
    std::printf("%-34s ours %8.3f s cpu %8.3f s wall  (%lld fields, %lld markups%s%s)\n", row, median(ours.cpu),
                median(ours.wall), static_cast<long long>(applied.fields), static_cast<long long>(applied.markups),
                applied.stop.isEmpty() ? "" : "; ", qPrintable(applied.stop));
    std::printf("%-34s      last run: parse %.3f s, build %.3f s, add %.3f s cpu\n", row, applied.parse,
                applied.build, applied.add);
    std::printf("%-34s      %.0f bytes per markup at the peak (target <= 300: %s); resident %.0f bytes per markup "
                "after the parse (peak %.0f), %.0f after placing them (peak %.0f)\n",
                row, per_markup, per_markup <= 300 ? "PASS" : "MISS", per(applied.parsed_kib), per(applied.parsed_peak_kib),
                per(applied.built_kib), per(applied.built_peak_kib));

    const QString compiled = scratch + QLatin1Char('/') + QFileInfo(ksy).fileName();
    if (!QFileInfo::exists(node_modules() + QStringLiteral("/kaitai-struct-compiler"))
        || !run(QStringLiteral("node"),
                { walker(), QStringLiteral("compile"), node_modules(), gallery, ksy_path, compiled })) {
        std::printf("%-34s node or the reference compiler missing: no ratio\n", row);
        return;
    }
    Samples node;
    QByteArray visited;
    for (int i = 0; i < reps; ++i) {
        node.push_back(time_once([&] {
            run(QStringLiteral("node"), { walker(), QStringLiteral("walk"), node_modules(), compiled, file }, &visited);
        }));
    }
    std::printf("%-34s node %8.3f s cpu %8.3f s wall  (%s values)\n", row, median(node.cpu), median(node.wall),
                visited.constData());
    const double ratio = median(ours.cpu) / median(node.cpu);
    std::printf("%-34s ours/node %.3f cpu, %.3f wall  (target <= 0.5: %s)\n\n", row, ratio,
                median(ours.wall) / median(node.wall), ratio <= 0.5 ? "PASS" : "MISS");
}

bool write_zip(const QString &path, qint64 total, int entries)
{
    // Stored entries of pseudo-random bytes, cut from one random megabyte.
    const QString script = QStringLiteral(
        "import os, sys, zipfile\n"
        "path, total, entries = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
        "block = os.urandom(1 << 20)\n"
        "size = total // entries\n"
        "with zipfile.ZipFile(path, 'w', zipfile.ZIP_STORED) as z:\n"
        "    for i in range(entries):\n"
        "        off = (i * 7919) % (len(block) - size) if size < len(block) else 0\n"
        "        z.writestr('dir%02d/file%05d.bin' % (i % 50, i), block[off:off + size])\n");
    return run(QStringLiteral("python3"),
               { QStringLiteral("-c"), script, path, QString::number(total), QString::number(entries) });
}

// The largest ELF file under /usr/lib (a shared library), found by its magic.
QString largest_elf()
{
    QString best;
    qint64 best_size = 0;
    QDirIterator it(QStringLiteral("/usr/lib"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || info.size() <= best_size)
            continue;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.read(4) == QByteArray("\x7f" "ELF", 4)) {
            best = path;
            best_size = info.size();
        }
    }
    return best;
}

long status_kib(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Runs first, before anything else has raised the peak.
void sparse_memory(const QString &scratch)
{
    const QString path = scratch + QStringLiteral("/sparse.bin");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(16) << 30)) {
        std::printf("%-34s cannot make a 16 GiB sparse file here\n", "header-only, 16 GiB sparse");
        return;
    }
    f.close();
    const QString ksy = scratch + QStringLiteral("/header.ksy");
    QFile t(ksy);
    if (!t.open(QIODevice::WriteOnly))
        return;
    t.write("meta: {id: header, endian: le}\n"
            "seq:\n- {id: magic, size: 4}\n- {id: count, type: u4}\n- {id: body, size: _io.size - 16}\n"
            "- {id: trailer, type: u8}\n"
            "instances:\n  last: {pos: _io.size - 1, type: u1}\n");
    t.close();
    const long before = status_kib("VmRSS:");
    EditedFile file;
    TemplateRun::Outcome outcome;
    if (file.open(path))
        outcome = TemplateRun::apply(&file, ksy, {}, nullptr);
    const long peak = status_kib("VmHWM:");
    const double growth = (peak - before) / 1024.0;
    std::printf("%-34s %lld markups; peak RSS %.1f MB, growth %.1f MB (target <= 100 MB: %s)\n\n",
                "header-only, 16 GiB sparse", static_cast<long long>(outcome.added), peak / 1024.0, growth,
                growth <= 100 ? "PASS" : "MISS");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool quick = false;
    int reps = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
            reps = 1;
        } else if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--reps N]\n", argv[0]);
            return 2;
        }
    }
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    std::printf("bench_template%s: medians of %d runs; cpu counts node's process too\n\n", quick ? " --quick" : "",
                reps);
    sparse_memory(scratch.path());

    const QString zip = scratch.filePath(QStringLiteral("many.zip"));
    const qint64 zip_size = quick ? qint64(64) << 20 : qint64(1) << 30;
    const int entries = quick ? 1250 : 20000;
    if (write_zip(zip, zip_size, entries))
        compare_with_node(quick ? "zip.ksy, 64 MiB, 1,250 entries" : "zip.ksy, 1 GiB, 20,000 entries",
                          QStringLiteral("archive/zip"), zip, reps, scratch.path());
    else
        std::printf("python3 could not write the zip: no zip row\n");
    QFile::remove(zip);

    const QString elf = largest_elf();
    if (elf.isEmpty()) {
        std::printf("no ELF file under /usr/lib: no ELF row\n");
    } else {
        std::printf("ELF: %s (%.1f MB)\n", qPrintable(elf), QFileInfo(elf).size() / 1e6);
        compare_with_node("elf.ksy, largest ELF in /usr/lib", QStringLiteral("executable/elf"), elf, reps,
                          scratch.path());
    }
    // A binary with debugging information: many sections and symbols.
    const QString self = QCoreApplication::applicationFilePath();
    std::printf("ELF: %s (%.1f MB)\n", qPrintable(self), QFileInfo(self).size() / 1e6);
    compare_with_node("elf.ksy, this bench program", QStringLiteral("executable/elf"), self, reps, scratch.path());
    return 0;
}
