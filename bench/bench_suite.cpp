// Every hot path of the editor against a baseline measured in the same run,
// printed as one table: the measured figure, the baseline, their ratio, the
// target and PASS or MISS. Figures are medians of repeated runs.
//
// Besides the rows of the targets, the markup group also loads, saves and
// marks through the main window's own commands (tree view attached), which
// is what a user waits for.
//
// The rows run in child processes (this program started again with --child),
// so that the 1 GiB buffer the regular-expression baseline holds does not
// count towards the peak memory of the process that opens a 1 TiB file, and
// each group starts from a fresh heap.
//
// Usage: bench_suite [--quick] [--clock cpu|wall] [--only <group>]
//   --quick  a smoke run: 64 MiB instead of 1 GiB for the search rows and
//            fewer repetitions. The default is the full table.
//   --clock cpu|wall  which clock decides PASS or MISS (default cpu: the CPU
//            time of every thread of the process and of the children it ran,
//            steady on a shared machine; the other clock's ratio is printed
//            beside it).
//   --only <group>  run one group (open, search, markup, overview) only.
//   --child <group> run one group in this process (what the parent starts;
//            also the way to profile a group).
//   --rows <keys>   with --child: only these rows (bytes16, bytes1, panel,
//            regex, findall, mask, paint, insert, prune (with its minimal-model
//            floor), xml, window, windowmark, journal),
//            comma-separated.

#include "benchsupport.h"

#include "document/buffereddocument.h"
#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "settings/config.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "hexview/overviewstrip.h"
#include "mask/markupmask.h"
#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "overview/fileoverview.h"
#include "overview/overviewworker.h"
#include "editedfile/editedfile.h"
#include "editedfile/findalltool.h"
#include "search/searchengine.h"
#include "panels/searchresultswidget.h"
#include "panels/searchwidget.h"
#include "treeview/hextreeview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTableView>
#include <QThread>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>

#include <boost/regex.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using pq_bench::median;
using pq_bench::Sample;
using pq_bench::Samples;
using pq_bench::time_once;

namespace {

// How a row's ratio is formed and compared with its target.
enum class Kind {
    // measured time / baseline time, must be at most the target
    slower_at_most,
    // baseline time / measured time (relative speed), must be at least the target
    speed_at_least,
    // measured value in MB, must be at most the target; no baseline
    memory_at_most,
    // measured time in seconds, must be at most the target; no baseline
    seconds_at_most,
};

struct Row
{
    std::string name;
    std::string baseline_name;
    // Medians in seconds of CPU time (MB for the memory row) and of wall time.
    double measured = 0;
    double baseline = 0;
    double measured_wall = 0;
    double baseline_wall = 0;
    Kind kind = Kind::slower_at_most;
    double target = 0;
    bool valid = true;
    std::string note;
};

// Which clock decides PASS or MISS.
bool use_wall_clock = false;

struct Settings
{
    bool quick = false;
    qint64 search_size = qint64(1) << 30;
    int reps = 5;
    int cheap_reps = 21;
    // Empty: every row; else only the row keys listed (for profiling one path).
    QStringList only_rows;

    bool wants(const char *key) const
    {
        return only_rows.isEmpty() || only_rows.contains(QLatin1String(key));
    }
};

// Rows travel from a child to the parent as tab-separated lines behind a
// marker, since the editor's own diagnostics also go to standard output.
const char *const row_marker = "@@bench-row";
const char *const rss_marker = "@@bench-rss";

void set_figures(Row &row, const Samples &ours, const Samples &base)
{
    row.measured = median(ours.cpu);
    row.baseline = median(base.cpu);
    row.measured_wall = median(ours.wall);
    row.baseline_wall = median(base.wall);
}

// A row comparing `ours` with `base`, judged by `kind` against `target`.
Row ratio_row(const std::string &name, const std::string &baseline_name, const Samples &ours,
              const Samples &base, Kind kind, double target)
{
    Row row;
    row.name = name;
    row.baseline_name = baseline_name;
    set_figures(row, ours, base);
    row.kind = kind;
    row.target = target;
    return row;
}

void emit_row(const Row &row)
{
    std::printf("%s\t%s\t%s\t%.9g\t%.9g\t%d\t%.9g\t%d\t%s\t%.9g\t%.9g\n", row_marker,
                row.name.c_str(), row.baseline_name.c_str(), row.measured, row.baseline,
                int(row.kind), row.target, row.valid ? 1 : 0, row.note.c_str(),
                row.measured_wall, row.baseline_wall);
    std::fflush(stdout);
}

// Waits for the mask's next completed fill, running the event loop that
// delivers it, and then until no fill runs and every completion has been
// delivered (a fill that finished just before a reload stopped it also
// reports), so that nothing carries over into the next measurement. Gives up
// after ten seconds (a fill never takes that long).
bool wait_for_fill(MarkupMask &mask, QEventLoop &loop)
{
    bool done = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto connection = QObject::connect(&mask, &MarkupMask::update_completed, &loop, [&] {
        done = true;
        loop.quit();
    });
    guard.start(10000);
    loop.exec();
    QObject::disconnect(connection);
    while (done && mask.is_filling())
        QThread::yieldCurrentThread();
    QCoreApplication::processEvents();
    return done;
}

// Lets any fill in progress finish and its completion arrive.
void settle(MarkupMask &mask, QEventLoop &loop)
{
    if (mask.is_filling())
        wait_for_fill(mask, loop);
    QCoreApplication::processEvents();
}

// A change of a tree view's rows reaches the screen in two passes of the
// event loop: the first runs the view's delayed layout, which asks for a
// repaint, and the second paints. The user waits for both; after them the
// loop has nothing left of the change (under 0.02 ms, measured).
void process_view_change()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- open row

void run_open_group(const Settings &settings, const QString &dir)
{
    const QString big = dir + QStringLiteral("/big.bin");
    const QString small = dir + QStringLiteral("/small.bin");
    const QString warm = dir + QStringLiteral("/warm.bin");
    {
        QFile f(big);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(1) << 40)) {
            std::fprintf(stderr, "cannot make a sparse 1 TiB file in %s\n", qPrintable(dir));
            return;
        }
    }
    pq_bench::write_random_file(small, 1024, 7);
    pq_bench::write_random_file(warm, 1024, 8);

    MarkupModel model;
    MarkupTree tree(&model);
    MarkupMask mask(&tree);
    HexScrollBar scroll_bar;
    HexWidget widget;
    widget.set_markup_mask(&mask);
    widget.set_scroll_bar(&scroll_bar);
    widget.resize(widget.width(), 40 * widget.line_height());
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);

    auto open_and_paint = [&](const QString &path) {
        widget.open_file(path);
        widget.render(&image);
    };
    // The first paint of the process loads fonts; neither side should pay it.
    open_and_paint(warm);
    open_and_paint(warm);

    Samples big_times;
    Samples small_times;
    for (int r = 0; r < settings.reps; ++r) {
        small_times.push_back(time_once([&] { open_and_paint(small); }));
        big_times.push_back(time_once([&] { open_and_paint(big); }));
    }
    Row row = ratio_row("open + first paint, 1 TiB sparse file", "same, 1 KiB file", big_times, small_times,
                        Kind::slower_at_most, 1.5);
    emit_row(row);

    Row rss;
    rss.name = "peak resident memory of the process that opened 1 TiB";
    rss.baseline_name = "-";
    rss.measured = double(pq_bench::peak_rss_kib()) / 1024.0;
    rss.kind = Kind::memory_at_most;
    rss.target = 110;
    emit_row(rss);
}

// ------------------------------------------------------------- search rows

// memmem over 1 MiB blocks read with read(), keeping the last m-1 bytes of a
// block in front of the next so a hit across blocks is found. Returns the
// offset of the first hit or -1.
qint64 memmem_blocks(const QString &path, const std::string &pattern)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return -2;
    const size_t block = 1 << 20;
    const size_t keep = pattern.size() - 1;
    std::vector<char> buffer(block + keep);
    size_t carried = 0;
    qint64 consumed = 0; // file offset of buffer[carried]
    qint64 found = -1;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + carried, block);
        if (got <= 0)
            break;
        const size_t have = carried + size_t(got);
        const void *hit = nullptr;
        if (pattern.size() == 1)
            hit = std::memchr(buffer.data(), pattern[0], have);
        else
            hit = memmem(buffer.data(), have, pattern.data(), pattern.size());
        if (hit) {
            found = consumed - qint64(carried) + (static_cast<const char *>(hit) - buffer.data());
            break;
        }
        consumed += got;
        carried = std::min(keep, have);
        std::memmove(buffer.data(), buffer.data() + have - carried, carried);
    }
    ::close(fd);
    return found;
}

qint64 find_bytes_file(BufferedDocument &doc, const std::string &pattern)
{
    file_iterator from(&doc);
    const file_iterator to = from.end();
    match_range result;
    if (!find_bytes(from, to, result, pattern))
        return -1;
    return result.first;
}

void byte_search_row(const Settings &settings, const QString &path, const std::string &pattern,
                     const char *name, const char *baseline_name, double target)
{
    BufferedDocument doc;
    doc.open(QFile::encodeName(path).toStdString());
    Samples ours;
    Samples base;
    qint64 ours_hit = 0;
    qint64 base_hit = 0;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once([&] { base_hit = memmem_blocks(path, pattern); }));
        ours.push_back(time_once([&] { ours_hit = find_bytes_file(doc, pattern); }));
    }
    Row row = ratio_row(name, baseline_name, ours, base,
                        Kind::speed_at_least, target);
    if (ours_hit != base_hit || ours_hit != -1) {
        row.valid = false;
        row.note = "results differ: " + std::to_string(ours_hit) + " vs " + std::to_string(base_hit);
    }
    emit_row(row);
}

void search_panel_row(const Settings &settings, const QString &path, const QByteArray &needle,
                      qint64 needle_at)
{
    HexWidget hex_widget;
    hex_widget.open_file(path);
    QStatusBar status_bar;
    SearchWidget panel;
    panel.set_hex_widget(&hex_widget);
    panel.set_status_bar(&status_bar);
    panel.show();
    auto *expression = panel.findChild<QLineEdit *>(QStringLiteral("expression_edit"));
    auto *simple = panel.findChild<QRadioButton *>(QStringLiteral("simple_button"));
    auto *alpha = panel.findChild<QRadioButton *>(QStringLiteral("alpha_button"));
    auto *search = panel.findChild<QPushButton *>(QStringLiteral("search_button"));
    auto *cancel = panel.findChild<QPushButton *>(QStringLiteral("cancel_button"));
    Row row;
    row.name = "search panel, Alpha string at the end";
    row.baseline_name = "grep -c -F (LC_ALL=C)";
    row.kind = Kind::speed_at_least;
    row.target = 1.0;
    if (!expression || !simple || !alpha || !search || !cancel) {
        row.valid = false;
        row.note = "search panel controls not found";
        emit_row(row);
        return;
    }
    expression->setText(QString::fromLatin1(needle));
    simple->click();
    alpha->click();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    QString grep_out;
    auto run_grep = [&] {
        QProcess grep;
        grep.setProcessEnvironment(env);
        grep.start(QStringLiteral("grep"),
                   { QStringLiteral("-c"), QStringLiteral("-F"), QString::fromLatin1(needle), path });
        grep.waitForFinished(-1);
        grep_out = QString::fromLatin1(grep.readAllStandardOutput()).trimmed();
    };

    // A timer that only fires when the running search lets events through,
    // and then finds Cancel usable and Search locked: proof that Cancel is
    // live, at no cost to the search's own reports.
    int live_checks = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, &panel, [&] {
        if (panel.searching() && cancel->isEnabled() && !search->isEnabled())
            ++live_checks;
    });

    Samples ours;
    Samples base;
    bool all_hit = true;
    bool cancel_live = true;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once(run_grep));
        alpha->click(); // starts again at offset 0
        QCoreApplication::processEvents();
        live_checks = 0;
        probe.start();
        ours.push_back(time_once([&] { search->click(); }));
        probe.stop();
        all_hit = all_hit && hex_widget.selection_start() == needle_at
                  && hex_widget.selection_end() == needle_at + needle.size() - 1;
        cancel_live = cancel_live && live_checks > 0;
    }
    set_figures(row, ours, base);
    if (!all_hit || grep_out != QStringLiteral("1")) {
        row.valid = false;
        row.note = "hit not found (grep said " + grep_out.toStdString() + ")";
    } else if (!cancel_live) {
        row.valid = false;
        row.note = "no events ran while searching, or Cancel was disabled";
    }
    emit_row(row);
}

void regex_row(const Settings &settings, const QString &path)
{
    const QString expression = QStringLiteral("ab[0-9]{3}cd");
    HexDocument doc;
    doc.open(path);
    SearchEngine engine;

    const qint64 size = doc.size();
    std::unique_ptr<char[]> whole(new char[size_t(size)]);
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.read(whole.get(), size) != size) {
            std::fprintf(stderr, "cannot read the search file\n");
            return;
        }
    }
    const boost::regex contiguous(expression.toStdString(), boost::regex::normal);

    Samples ours;
    Samples base;
    qint64 ours_hit = -1;
    qint64 base_hit = -1;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once([&] {
            const char *first = whole.get();
            boost::cmatch m;
            base_hit = boost::regex_search(first, first + size, m, contiguous)
                           ? qint64(m[0].first - first)
                           : -1;
        }));
        engine.reset(&doc);
        ours.push_back(time_once([&] {
            ours_hit = engine.search_regex(expression) == SearchEngine::Outcome::Hit
                           ? engine.hit_first()
                           : -1;
        }));
    }
    Row row = ratio_row("regex ab[0-9]{3}cd", "boost::regex, contiguous buffer", ours, base,
                        Kind::speed_at_least, 0.8);
    if (ours_hit != base_hit || ours_hit < 0) {
        row.valid = false;
        row.note = "results differ: " + std::to_string(ours_hit) + " vs " + std::to_string(base_hit);
    }
    emit_row(row);
}

// Find All over the whole search file with 100,000 planted hits, against
// grep printing every hit (-o) counted by wc; then how long the list of
// 100,000 rows takes to scroll to its end and paint, against a list of 10.
void find_all_rows(const Settings &settings, const QString &path, qint64 size)
{
    const QByteArray needle("FA-needle-42");
    const qint64 hits = 100000;
    QFile patch(path);
    if (!patch.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot patch the search file\n");
        return;
    }
    for (qint64 i = 0; i < hits; ++i) {
        patch.seek(i * (size / hits) + 17);
        patch.write(needle);
    }
    patch.close();
    pq_bench::warm_page_cache(path);

    EditedFile file;
    file.open(path);
    FindAllTool tool(&file);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    QString grep_out;
    auto run_grep = [&] {
        QProcess sh;
        sh.setProcessEnvironment(env);
        sh.start(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("grep -o -F \"$0\" \"$1\" | wc -l"),
                                          QString::fromLatin1(needle), path });
        sh.waitForFinished(-1);
        grep_out = QString::fromLatin1(sh.readAllStandardOutput()).trimmed();
    };
    Samples ours;
    Samples base;
    SearchEngine::Outcome outcome = SearchEngine::Outcome::NoMatch;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once(run_grep));
        ours.push_back(time_once([&] {
            outcome = tool.run(QString::fromLatin1(needle), false, QString::fromLatin1(needle));
        }));
    }
    Row row = ratio_row("Find All, 100,000 hits", "grep -o -F | wc -l (LC_ALL=C)", ours, base,
                        Kind::speed_at_least, 0.8);
    if (outcome != SearchEngine::Outcome::Hit || tool.count() != hits
        || grep_out != QString::number(hits)) {
        row.valid = false;
        row.note = "counts differ: " + std::to_string(tool.count()) + " vs grep " + grep_out.toStdString();
    }
    emit_row(row);

    // The list: scroll to the last row and paint, 100,000 rows against 10.
    SearchResultsWidget results;
    results.set_tool(&tool);
    results.resize(800, 300);
    results.show();
    QTableView *view = results.view();
    const auto scroll_and_paint = [&] {
        view->scrollToTop();
        QApplication::processEvents();
        view->scrollToBottom();
        view->viewport()->repaint();
    };
    Samples many;
    for (int r = 0; r < settings.cheap_reps; ++r)
        many.push_back(time_once(scroll_and_paint));
    const int last_row = view->rowAt(view->viewport()->height() - 2);
    QByteArray few(4096, '.');
    for (int i = 0; i < 10; ++i)
        few.replace(i * 300, needle.size(), needle);
    QTemporaryDir small_dir;
    const QString small_path = small_dir.filePath(QStringLiteral("few.bin"));
    QFile small(small_path);
    small.open(QIODevice::WriteOnly);
    small.write(few);
    small.close();
    EditedFile small_file;
    small_file.open(small_path);
    FindAllTool small_tool(&small_file);
    small_tool.run(QString::fromLatin1(needle), false, QString::fromLatin1(needle));
    results.set_tool(&small_tool);
    Samples base_paint;
    for (int r = 0; r < settings.cheap_reps; ++r)
        base_paint.push_back(time_once(scroll_and_paint));
    Row list = ratio_row("Find All list: scroll to end + paint, 100,000 rows", "same, 10 rows", many,
                         base_paint, Kind::slower_at_most, 5);
    if (last_row < int(hits) - 3) {
        list.valid = false;
        list.note = "the view did not reach the last row";
    }
    emit_row(list);
}

void run_search_group(const Settings &settings, const QString &dir)
{
    const QString path = dir + QStringLiteral("/search.bin");
    const qint64 size = settings.search_size;
    const QByteArray needle("PQ-needle-7f3a9c-end");
    const qint64 needle_at = size - 64;
    const QByteArray regex_hit("ab123cd");
    const qint64 regex_at = size - 32;
    if (!pq_bench::write_random_file(path, size, 0x9E3779B97F4A7C15ULL)
        || !pq_bench::patch_file(path, needle_at, needle)
        || !pq_bench::patch_file(path, regex_at, regex_hit)) {
        std::fprintf(stderr, "cannot write the search file in %s\n", qPrintable(dir));
        return;
    }
    pq_bench::warm_page_cache(path);
    pq_bench::warm_page_cache(path);

    const std::string absent16("Q7#vLx!9@kPz$2Wm");
    if (settings.wants("bytes16"))
        byte_search_row(settings, path, absent16, "find_bytes, absent 16-byte pattern",
                        "memmem, 1 MiB blocks", 0.8);
    if (settings.wants("bytes1"))
        byte_search_row(settings, path, std::string(1, '\0'), "find_bytes, absent 1-byte pattern",
                        "memchr, 1 MiB blocks", 0.5);
    if (settings.wants("panel"))
        search_panel_row(settings, path, needle, needle_at);
    if (settings.wants("regex"))
        regex_row(settings, path);
    // Last: it plants its hits into the file the rows above search.
    if (settings.wants("findall"))
        find_all_rows(settings, path, size);
}

// ------------------------------------------------------------- markup rows

QString colour_attributes(int i)
{
    static const int palette[][3] = { { 200, 30, 30 },  { 30, 160, 30 },  { 30, 30, 200 },
                                      { 180, 180, 0 },  { 0, 170, 170 },  { 170, 0, 170 },
                                      { 240, 130, 20 }, { 90, 90, 90 } };
    const int *fg = palette[i % 8];
    const int *bg = palette[(i + 3) % 8];
    return QStringLiteral(" foreground_red=\"%1\" foreground_green=\"%2\" foreground_blue=\"%3\""
                          " background_red=\"%4\" background_green=\"%5\" background_blue=\"%6\"")
        .arg(255 - fg[0]).arg(255 - fg[1]).arg(255 - fg[2]).arg(bg[0]).arg(bg[1]).arg(bg[2]);
}

QString node_open(int i, qint64 start, qint64 end, bool leaf)
{
    return QStringLiteral("<node description=\"field %1\" start=\"%2\" end=\"%3\" repeat=\"false\"")
               .arg(i).arg(start).arg(end)
           + colour_attributes(i) + (leaf ? QStringLiteral("/>\n") : QStringLiteral(">\n"));
}

// count sibling markups: markup i covers first + i * stride .. + width - 1.
QString siblings_xml(int count, qint64 first, qint64 stride, qint64 width)
{
    QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    for (int i = 0; i < count; ++i)
        xml += QLatin1Char(' ') + node_open(i, first + i * stride, first + i * stride + width - 1, true);
    xml += QStringLiteral("</pellowquarnbybook>\n");
    return xml;
}

// depth markups, each inside the one before: level k covers lo + k * step ..
// hi - k * step.
QString nested_xml(int depth, qint64 lo, qint64 hi, qint64 step)
{
    QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    for (int k = 0; k < depth; ++k)
        xml += node_open(k, lo + k * step, hi - k * step, false);
    for (int k = 0; k < depth; ++k)
        xml += QStringLiteral("</node>\n");
    xml += QStringLiteral("</pellowquarnbybook>\n");
    return xml;
}

// `parents` top-level markups with `children` markups inside each: parent p
// covers 64p .. 64p + 63, its child c covers 64p + 12c .. 64p + 12c + 7.
QString grouped_xml(int parents, int children)
{
    QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    int n = 0;
    for (int p = 0; p < parents; ++p) {
        const qint64 base = qint64(p) * 64;
        xml += QLatin1Char(' ') + node_open(n++, base, base + 63, false);
        for (int c = 0; c < children; ++c)
            xml += QStringLiteral("  ") + node_open(n++, base + 12 * c, base + 12 * c + 7, true);
        xml += QStringLiteral(" </node>\n");
    }
    xml += QStringLiteral("</pellowquarnbybook>\n");
    return xml;
}

int count_markups(const MarkupNode *node)
{
    int n = 0;
    std::vector<const MarkupNode *> pending { node };
    while (!pending.empty()) {
        const MarkupNode *at = pending.back();
        pending.pop_back();
        for (const MarkupNode *c : at->children()) {
            ++n;
            pending.push_back(c);
        }
    }
    return n;
}

// A model, tree and mask; loading and marking expand every markup, so
// lookups see them all, as in the main window.
struct MarkupSetup
{
    MarkupModel model;
    MarkupTree tree { &model };
    MarkupMask mask { &tree };
};

Samples time_mask_fill(const Settings &settings, const QString &xml, qint64 window_offset,
                       bool &ok)
{
    MarkupSetup s;
    QEventLoop loop;
    s.tree.load_xml(xml);
    wait_for_fill(s.mask, loop); // the fill the load started, if any
    s.mask.markup_at(window_offset);
    ok = wait_for_fill(s.mask, loop);
    Samples times;
    for (int r = 0; r < settings.cheap_reps && ok; ++r) {
        settle(s.mask, loop);
        times.push_back(time_once([&] {
            s.mask.reload_mask();
            ok = wait_for_fill(s.mask, loop);
        }));
    }
    return times;
}

void mask_fill_rows(const Settings &settings)
{
    // The window sits at 395000 .. 404999; markups are 6 bytes with gaps of 2.
    const qint64 window_offset = 400000;
    bool ok_base = false;
    bool ok_many = false;
    bool ok_deep = false;
    const Samples base = time_mask_fill(settings, siblings_xml(10, 395000, 1000, 6),
                                        window_offset, ok_base);
    const Samples many = time_mask_fill(settings, siblings_xml(100000, 0, 8, 6), window_offset,
                                        ok_many);
    const Samples deep = time_mask_fill(settings, nested_xml(1000, 395000, 404999, 4),
                                        window_offset, ok_deep);
    Row row = ratio_row("mask fill, 100,000 sibling markups", "mask fill, 10 markups", many, base,
                        Kind::slower_at_most, 3);
    row.valid = ok_base && ok_many;
    emit_row(row);
    row.name = "mask fill, markups nested 1,000 deep";
    set_figures(row, deep, base);
    row.target = 10;
    row.valid = ok_base && ok_deep;
    emit_row(row);
}

void paint_row(const Settings &settings, const QString &dir)
{
    const QString path = dir + QStringLiteral("/paint.bin");
    pq_bench::write_random_file(path, 65536, 11);
    MarkupSetup s;
    QEventLoop loop;
    // Every byte of the first 4 KiB in a 4-byte markup of its own colours.
    s.tree.load_xml(siblings_xml(1024, 0, 4, 4));
    wait_for_fill(s.mask, loop);

    const int rows = 60;
    HexWidget widget;
    widget.set_markup_mask(&s.mask);
    widget.open_file(path);
    widget.resize(widget.width(), rows * widget.line_height());
    widget.set_selection(200, 500);
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    widget.render(&image); // moves the mask's window, which starts a fill
    wait_for_fill(s.mask, loop);
    widget.render(&image);

    // The same rows as plain lines of text.
    std::vector<QString> lines;
    HexDocument *doc = widget.document();
    const qint64 top = widget.top_row();
    for (int r = 0; r < rows; ++r) {
        const qint64 offset = (top + r) * 16;
        doc->load(offset, 16);
        lines.push_back(QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0')).toUpper()
                        + QStringLiteral("  ") + QString::fromStdString(doc->to_hex())
                        + QStringLiteral("   ") + QString::fromStdString(doc->to_ascii()));
    }
    const QFont font = widget.hex_font();
    const int line_height = widget.line_height();
    QImage plain(widget.size(), QImage::Format_ARGB32_Premultiplied);

    Samples ours;
    Samples base;
    for (int r = 0; r < settings.cheap_reps; ++r) {
        base.push_back(time_once([&] {
            QPainter painter(&plain);
            painter.fillRect(plain.rect(), Qt::white);
            painter.setFont(font);
            painter.setPen(Qt::black);
            for (int i = 0; i < rows; ++i)
                painter.drawText(QPoint(0, (i + 1) * line_height), lines[size_t(i)]);
        }));
        ours.push_back(time_once([&] { widget.render(&image); }));
    }
    Row row = ratio_row("full paint, 60 rows, all marked, some selected", "60 rows, one drawText per line", ours, base,
                        Kind::slower_at_most, 2);
    row.valid = widget.visible_rows() == rows && s.mask.markup_at(top * 16 + 600) != nullptr;
    if (!row.valid)
        row.note = "view not set up as intended";
    emit_row(row);
}

void insert_row(const Settings &settings, const QString &dir)
{
    const QString path = dir + QStringLiteral("/insert.bin");
    pq_bench::write_random_file(path, 65536, 12);

    auto measure = [&](const QString &xml, bool clear_after, bool &ok) {
        MarkupSetup s;
        QEventLoop loop;
        HexWidget widget;
        widget.set_markup_mask(&s.mask);
        widget.open_file(path);
        widget.resize(widget.width(), 60 * widget.line_height());
        QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
        if (!xml.isEmpty()) {
            s.tree.load_xml(xml);
            wait_for_fill(s.mask, loop);
        }
        widget.render(&image);
        wait_for_fill(s.mask, loop);
        ok = true;
        Samples times;
        for (int r = 0; r < settings.cheap_reps && ok; ++r) {
            // Into the gap after markup r: bytes 16r + 9 .. 16r + 12, on screen.
            const qint64 a = 16 * r + 9;
            settle(s.mask, loop);
            times.push_back(time_once([&] {
                ok = s.tree.insert_range(a, a + 3) && wait_for_fill(s.mask, loop);
                widget.render(&image);
            }));
            ok = ok && s.mask.markup_at(a) != nullptr;
            if (clear_after) {
                s.tree.clear();
                ok = ok && wait_for_fill(s.mask, loop);
            }
        }
        return times;
    };
    bool ok_base = false;
    bool ok_many = false;
    const Samples base = measure(QString(), true, ok_base);
    const Samples many = measure(siblings_xml(10000, 0, 16, 8), false, ok_many);
    Row row = ratio_row("mark one range, 10,000 markups, view updated", "mark one range, empty tree", many, base,
                        Kind::slower_at_most, 20);
    row.valid = ok_base && ok_many;
    emit_row(row);
}

// A prune row: measure(parents, ok) times prunes in a tree of that many
// expanded top-level markups, each until the view has laid out and painted
// the tree again; 8 times the markups may take at most 10 times as long.
template <typename Measure>
void emit_prune_row(const char *name, const char *baseline_name, Measure measure)
{
    bool ok_base = false;
    bool ok_many = false;
    const Samples base = measure(10000, ok_base);
    const Samples many = measure(80000, ok_many);
    Row row = ratio_row(name, baseline_name, many, base, Kind::slower_at_most, 10);
    row.valid = ok_base && ok_many;
    emit_row(row);
}

// Prune of one top-level markup while a tree view shows every markup
// expanded: the view asks the model for the parent of each row it moves, so
// anything but a constant-time answer makes one Prune grow with the square of
// the markups.
void prune_row(const Settings &settings)
{
    auto measure = [&](int parents, bool &ok) {
        MarkupSetup s;
        QEventLoop loop;
        HexTreeView view;
        view.setModel(&s.model);
        s.tree.load_xml(grouped_xml(parents, 1)); // the view follows: all expanded
        view.resize(400, 600);
        view.show();
        QCoreApplication::processEvents();
        settle(s.mask, loop);
        ok = s.model.rowCount() == parents;
        Samples times;
        for (int r = 0; r < settings.cheap_reps && ok; ++r) {
            // From the middle, so half the rows below move up.
            const QModelIndex middle = s.model.index(parents / 2, 0);
            settle(s.mask, loop);
            times.push_back(time_once([&] {
                s.tree.prune(middle);
                process_view_change();
            }));
            ok = s.model.rowCount() == parents - r - 1
                 && view.isExpanded(s.model.index(parents / 2, 0));
        }
        settle(s.mask, loop);
        return times;
    };
    emit_prune_row("prune, 80,000 expanded top-level markups", "prune, 10,000 markups", measure);
}

// The prune row's tree behind the least a tree model can be: top-level rows
// in one vector, each node four words in one contiguous block, the same
// columns and texts on screen. Its prune measures what Qt's view and
// persistent indexes cost by themselves on this machine, so the prune row
// can be read against it: the difference is what the markup tree's own
// memory adds.
class MinimalTreeModel : public QAbstractItemModel
{
public:
    explicit MinimalTreeModel(int parents)
        : m_nodes(2 * size_t(parents))
    {
        for (int p = 0; p < parents; ++p) {
            Node *parent = &m_nodes[2 * size_t(p)];
            Node *child = parent + 1;
            *parent = { nullptr, child, p, p };
            *child = { parent, nullptr, 0, p };
            m_top.push_back(parent);
        }
        // Texts made once, as a model that stores them would, so painting
        // costs what it costs for the markup model.
        m_texts.reserve(m_nodes.size());
        for (const Node &n : m_nodes) {
            const qint64 start = qint64(n.id) * 64;
            const qint64 end = start + (n.parent ? 7 : 63);
            m_texts.push_back({ QStringLiteral("field %1").arg(2 * n.id + (n.parent ? 1 : 0)), QString::number(start),
                                QString::number(end), end - start + 1 });
        }
    }

    void remove_top(int row)
    {
        beginRemoveRows(QModelIndex(), row, row);
        m_top.erase(m_top.begin() + row);
        for (size_t r = size_t(row); r < m_top.size(); ++r)
            m_top[r]->row = int(r);
        endRemoveRows();
    }

    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return row >= 0 && size_t(row) < m_top.size() ? createIndex(row, column, id_of(m_top[size_t(row)]))
                                                           : QModelIndex();
        const Node *n = node(parent);
        return row == 0 && n->child ? createIndex(0, column, id_of(n->child)) : QModelIndex();
    }
    QModelIndex parent(const QModelIndex &index) const override
    {
        const Node *n = node(index);
        return n->parent ? createIndex(n->parent->row, 0, id_of(n->parent)) : QModelIndex();
    }
    int rowCount(const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return int(m_top.size());
        return parent.column() == 0 && node(parent)->child ? 1 : 0;
    }
    int columnCount(const QModelIndex &) const override { return MarkupColumn::count; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QVariant();
        // As grouped_xml(parents, 1) describes them.
        const Texts &t = m_texts[size_t(node(index) - m_nodes.data())];
        switch (index.column()) {
        case MarkupColumn::Description:
            return t.description;
        case MarkupColumn::Start:
            return t.start;
        case MarkupColumn::End:
            return t.end;
        case MarkupColumn::Length:
            return t.length;
        default:
            return QStringLiteral("false");
        }
    }

private:
    struct Node
    {
        Node *parent;
        Node *child;
        int row;
        int id;
    };
    // Ids as a tree model should give them for Qt's unmixed index hash (row
    // times 16 plus id): top-level rows' keys a small odd step apart, so they
    // use every bucket of the view's persistent indexes and stay local.
    static constexpr int child_shift = 40;
    quintptr id_of(const Node *n) const
    {
        const auto i = quintptr(n - m_nodes.data());
        return (i >> 1) | ((i & 1) << child_shift);
    }
    const Node *node(const QModelIndex &index) const
    {
        const quintptr id = index.internalId();
        return &m_nodes[size_t(id & ((quintptr(1) << child_shift) - 1)) * 2 + size_t(id >> child_shift)];
    }
    struct Texts
    {
        QString description;
        QString start;
        QString end;
        qint64 length;
    };
    std::vector<Node> m_nodes;
    std::vector<Node *> m_top;
    std::vector<Texts> m_texts;
};

void prune_floor_row(const Settings &settings)
{
    auto measure = [&](int parents, bool &ok) {
        MinimalTreeModel model(parents);
        HexTreeView view;
        view.setModel(&model);
        view.resize(400, 600);
        view.show();
        view.expand_all();
        QCoreApplication::processEvents();
        Samples times;
        ok = model.rowCount(QModelIndex()) == parents;
        for (int r = 0; r < settings.cheap_reps && ok; ++r) {
            process_view_change();
            times.push_back(time_once([&] {
                model.remove_top(parents / 2);
                process_view_change();
            }));
            ok = model.rowCount(QModelIndex()) == parents - r - 1
                 && view.isExpanded(model.index(parents / 2, 0, QModelIndex()));
        }
        return times;
    };
    emit_prune_row("prune, 80,000 expanded markups, minimal model", "prune, 10,000, minimal model", measure);
}

void load_save_rows(const Settings &settings, const QString &dir)
{
    const QString markup_path = dir + QStringLiteral("/markup.xml");
    const int parents = 20000;
    const int children = 4;
    const int total = parents * (children + 1);
    {
        QFile f(markup_path);
        f.open(QIODevice::WriteOnly);
        f.write(MarkupTree::encode_markup_file(grouped_xml(parents, children)));
    }
    MarkupModel model;
    MarkupTree tree(&model);

    Samples ours;
    Samples base;
    bool ok = true;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once([&] {
            QFile f(markup_path);
            f.open(QIODevice::ReadOnly);
            QXmlStreamReader reader(f.readAll());
            while (!reader.atEnd())
                reader.readNext();
            ok = ok && !reader.hasError();
        }));
        tree.clear();
        ours.push_back(time_once([&] {
            QFile f(markup_path);
            f.open(QIODevice::ReadOnly);
            ok = tree.load_xml(MarkupTree::decode_markup_file(f.readAll())) && ok;
        }));
        ok = ok && count_markups(model.root()) == total;
    }
    Row row = ratio_row("load a 100,000-markup file", "bare QXmlStreamReader pass", ours, base,
                        Kind::slower_at_most, 3);
    row.valid = ok;
    emit_row(row);

    // The markup layer's save: QXmlStreamWriter streaming the document into a
    // file beside the target, renamed over it when complete (the main
    // window's rows below go through the command itself), against the same
    // bytes written with one QFile::write. The writer makes a few small
    // writes per attribute; four times the bare write is the aim.
    const QString saved_path = dir + QStringLiteral("/saved.xml");
    const QString plain_path = dir + QStringLiteral("/plain.xml");
    const QByteArray text = MarkupTree::encode_markup_file(tree.to_xml());
    ours = Samples();
    base = Samples();
    ok = true;
    for (int r = 0; r < settings.reps; ++r) {
        base.push_back(time_once([&] {
            QFile f(plain_path);
            ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size()
                 && ok;
        }));
        ours.push_back(time_once([&] {
            QSaveFile f(saved_path);
            ok = f.open(QIODevice::WriteOnly) && tree.write_markup_file(f) && f.flush()
                 && f.commit() && ok;
        }));
    }
    {
        QFile f(saved_path);
        ok = ok && f.open(QIODevice::ReadOnly) && f.readAll() == text;
    }
    row.name = "save a 100,000-markup file";
    row.baseline_name = "the same text, one QFile::write";
    set_figures(row, ours, base);
    row.target = 4;
    row.valid = ok;
    emit_row(row);
}

// Loading and saving through the main window's commands, as a user does:
// with the markup tree view attached, the mask refilled, the view expanded
// and the file linked to the data file.
void window_load_save_rows(const Settings &settings, const QString &dir)
{
    const QString markup_path = dir + QStringLiteral("/window.xml");
    const QString saved_path = dir + QStringLiteral("/window-saved.xml");
    const QByteArray text = MarkupTree::encode_markup_file(grouped_xml(20000, 4));
    {
        QFile f(markup_path);
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    MainWindow *window = MainWindow::instance();
    QString next_name;
    window->get_open_file_name = [&](const QString &, const QString &, const QString &) {
        return next_name;
    };
    window->get_save_file_name = [&](const QString &, const QString &, const QString &, bool) {
        return next_name;
    };
    window->ask_question = [](const QString &title, const QString &, QMessageBox::StandardButtons,
                              QMessageBox::StandardButton) {
        return title == QLatin1String("File Exists") ? QMessageBox::Yes : QMessageBox::No;
    };
    window->show_warning = [](const QString &title, const QString &text) {
        std::fprintf(stderr, "warning: %s: %s\n", qPrintable(title), qPrintable(text));
    };

    Samples load;
    Samples save;
    Samples read_base;
    Samples write_base;
    bool ok = true;
    for (int r = 0; r < settings.reps; ++r) {
        read_base.push_back(time_once([&] {
            QFile f(markup_path);
            f.open(QIODevice::ReadOnly);
            QXmlStreamReader reader(f.readAll());
            while (!reader.atEnd())
                reader.readNext();
            ok = ok && !reader.hasError();
        }));
        window->markup_tree()->clear();
        QCoreApplication::processEvents();
        next_name = markup_path;
        load.push_back(time_once([&] { window->load_markup_action(); }));
        ok = ok && count_markups(window->markup_model()->root()) == 100000;
        write_base.push_back(time_once([&] {
            QFile f(dir + QStringLiteral("/window-plain.xml"));
            ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size()
                 && ok;
        }));
        next_name = saved_path;
        save.push_back(time_once([&] { window->save_markup_as_action(); }));
        QFile saved(saved_path);
        ok = ok && saved.open(QIODevice::ReadOnly) && saved.readAll() == text;
    }
    Row row = ratio_row("load 100,000 markups through the main window", "bare QXmlStreamReader pass", load, read_base,
                        Kind::slower_at_most, 3);
    row.valid = ok;
    emit_row(row);
    row.name = "save 100,000 markups through the main window";
    row.baseline_name = "the same text, one QFile::write";
    set_figures(row, save, write_base);
    row.target = 4;
    emit_row(row);
}

// Mark, as the user does it: a selection in the hex view, then the main
// window's Mark command (the tree view attached and expanded), the mask
// refilled and the hex view repainted.
void window_mark_row(const Settings &settings, const QString &dir)
{
    const QString data_path = dir + QStringLiteral("/window-mark.bin");
    const QString markup_path = dir + QStringLiteral("/window-mark.xml");
    pq_bench::write_random_file(data_path, 65536, 13);
    {
        QFile f(markup_path);
        f.open(QIODevice::WriteOnly);
        f.write(MarkupTree::encode_markup_file(siblings_xml(10000, 0, 16, 8)));
    }
    MainWindow *window = MainWindow::instance();
    window->ask_question = [](const QString &, const QString &, QMessageBox::StandardButtons,
                              QMessageBox::StandardButton) {
        return QMessageBox::No;
    };
    window->get_open_file_name = [&](const QString &, const QString &, const QString &) {
        return markup_path;
    };
    window->load_file(data_path);
    HexWidget *hex = window->hex_widget();
    hex->resize(hex->width(), 60 * hex->line_height());
    QImage image(hex->size(), QImage::Format_ARGB32_Premultiplied);
    MarkupMask &mask = *window->markup_mask();
    QEventLoop loop;

    auto measure = [&](bool many, bool &ok) {
        window->markup_tree()->clear();
        wait_for_fill(mask, loop);
        if (many) {
            window->load_markup_action();
            wait_for_fill(mask, loop);
        }
        ok = window->markup_model()->rowCount() == (many ? 10000 : 0);
        Samples times;
        for (int r = 0; r < settings.cheap_reps && ok; ++r) {
            const qint64 a = 16 * r + 9;
            hex->set_selection(a, a + 3);
            hex->render(&image);
            settle(mask, loop);
            times.push_back(time_once([&] {
                window->mark_action();
                ok = wait_for_fill(mask, loop);
                hex->render(&image);
            }));
            if (!ok)
                std::fprintf(stderr, "mark %lld: no fill completed\n", static_cast<long long>(a));
            const MarkupNode *marked = mask.markup_at(a);
            if (ok && (!marked || marked->start() != a)) {
                std::fprintf(stderr, "mark %lld: mask shows %lld\n", static_cast<long long>(a),
                             static_cast<long long>(marked ? marked->start() : -1));
                ok = false;
            }
            if (!many) {
                window->markup_tree()->clear();
                ok = ok && wait_for_fill(mask, loop);
            }
        }
        return times;
    };
    bool ok_base = false;
    bool ok_many = false;
    const Samples base = measure(false, ok_base);
    const Samples many = measure(true, ok_many);
    Row row = ratio_row("Mark in the main window, 10,000 markups", "Mark in the main window, empty tree", many, base,
                        Kind::slower_at_most, 20);
    row.valid = ok_base && ok_many;
    emit_row(row);
}

// Editing with the journal on against off: 10,000 marks and 10,000 bytes
// typed a nibble at a time, through the document as the window drives it.
// The journal may cost at most a tenth of the speed.
void journal_row(const Settings &settings, const QString &dir)
{
    const QString path = dir + QStringLiteral("/journal.bin");
    constexpr int count = 10000;
    pq_bench::write_random_file(path, 16 * count, 21);
    bool ok = true;
    auto measure = [&](bool journal) {
        Config::instance()->setValue(QStringLiteral("Journal"), journal ? "yes" : "no");
        Samples times;
        for (int r = 0; r < settings.reps; ++r) {
            EditedFile file;
            file.open(path);
            ok = ok && (file.journal()->state() == Journal::State::recording) == journal;
            times.push_back(time_once([&] {
                for (qint64 i = 0; i < count; ++i)
                    ok = file.mark(16 * i + 2, 16 * i + 9, QStringLiteral("field")) && ok;
                for (qint64 i = 0; i < count; ++i) {
                    const qint64 at = 16 * i;
                    file.type_byte(at, 0xa0, {at, at, -1}, {at, at, 0xa});
                    file.type_byte(at, 0xa5, {at, at, 0xa}, {at + 1, at + 1, -1});
                }
            }));
            ok = ok && file.byte_at(16 * (count - 1)) == 0xa5;
        }
        return times;
    };
    const Samples off = measure(false);
    const Samples on = measure(true);
    Config::instance()->remove(QStringLiteral("Journal"));
    Row row = ratio_row("10,000 marks and typed bytes, journal on", "the same, journal off", on, off,
                        Kind::speed_at_least, 0.9);
    row.valid = ok;
    emit_row(row);
}

void run_markup_group(const Settings &settings, const QString &dir)
{
    if (settings.wants("journal"))
        journal_row(settings, dir);
    if (settings.wants("mask"))
        mask_fill_rows(settings);
    if (settings.wants("paint"))
        paint_row(settings, dir);
    if (settings.wants("insert"))
        insert_row(settings, dir);
    if (settings.wants("prune")) {
        prune_row(settings);
        prune_floor_row(settings);
    }
    if (settings.wants("xml"))
        load_save_rows(settings, dir);
    if (settings.wants("window"))
        window_load_save_rows(settings, dir);
    if (settings.wants("windowmark"))
        window_mark_row(settings, dir);
}

// ------------------------------------------------------------------ driver
// ------------------------------------------------------------ overview rows

// The worker's whole pass (first picture, then every byte) over one file of
// `slices` slices, counted on `threads` threads (0: one per core); false when
// the file cannot be opened.
bool overview_pass(const QString &path, int slices, bool stop_at_first_picture, Sample *first_picture = nullptr,
                   int threads = 0)
{
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return false;
    std::unique_ptr<std::atomic<quint16>[]> store(new std::atomic<quint16>[size_t(slices)]);
    for (int i = 0; i < slices; ++i)
        store[i].store(0);
    OverviewWorker worker;
    OverviewWorker::Job job;
    job.handle = handle;
    job.geometry = SliceGeometry(QFileInfo(path).size(), slices);
    job.slices = store.get();
    job.threads = threads;
    worker.set_job(job);
    const double cpu_start = pq_bench::cpu_seconds();
    const auto wall_start = pq_bench::Clock::now();
    // Runs on the worker's thread, the moment the picture is complete.
    QObject::connect(&worker, &OverviewWorker::first_picture, &worker, [&] {
        if (first_picture) {
            first_picture->cpu = pq_bench::cpu_seconds() - cpu_start;
            first_picture->wall = pq_bench::seconds_since(wall_start);
        }
        if (stop_at_first_picture)
            worker.request_stop();
    }, Qt::DirectConnection);
    worker.start();
    worker.wait();
    ::close(handle);
    return true;
}

void run_overview_group(const Settings &settings, const QString &dir)
{
    // The exact pass against the same block reads alone, over a file of
    // random bytes (no hole, no run: every byte counted) in the page cache.
    const QString path = dir + QStringLiteral("/overview.bin");
    const qint64 size = settings.search_size;
    if (!pq_bench::write_random_file(path, size, 40)) {
        std::fprintf(stderr, "cannot write the overview file in %s\n", qPrintable(dir));
        return;
    }
    pq_bench::warm_page_cache(path);
    pq_bench::warm_page_cache(path);
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(size_t(OverviewWorker::block_size));
    Samples ours;
    Samples base;
    // The same pass on one thread, for the note: what the other cores add.
    Samples single;
    bool ok = handle >= 0;
    for (int r = 0; r < settings.reps && ok; ++r) {
        base.push_back(time_once([&] {
            for (qint64 at = 0; at < size; at += OverviewWorker::block_size)
                ok = ok && BufferedDocument::read_at(handle, at, buffer.data(),
                                                     std::min(OverviewWorker::block_size, size - at)) > 0;
        }));
        ours.push_back(time_once([&] { ok = ok && overview_pass(path, 1000, false); }));
        single.push_back(time_once([&] { ok = ok && overview_pass(path, 1000, false, nullptr, 1); }));
    }
    if (handle >= 0)
        ::close(handle);
    Row exact = ratio_row(settings.quick ? "overview, 64 MiB" : "overview, 1 GiB",
                          "same block reads, nothing counted", ours, base, Kind::speed_at_least, 0.5);
    exact.valid = ok;
    char note[128];
    std::snprintf(note, sizeof note, "%d threads; one thread: cpu ratio %.3f, wall ratio %.3f",
                  std::min(QThread::idealThreadCount(), OverviewWorker::max_threads),
                  median(base.cpu) / median(single.cpu),
                  median(base.wall) / median(single.wall));
    exact.note = note;
    emit_row(exact);
    QFile::remove(path);

    // The first picture of a sparse 1 TiB file, 2000 slices (a tall strip).
    const QString big = dir + QStringLiteral("/big.bin");
    {
        QFile f(big);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(1) << 40))
            return;
    }
    Samples first;
    bool big_ok = true;
    for (int r = 0; r < settings.reps; ++r) {
        Sample sample;
        big_ok = big_ok && overview_pass(big, 2000, true, &sample);
        first.push_back(sample);
    }
    Row picture;
    picture.name = "overview, first picture, 1 TiB";
    picture.baseline_name = "-";
    picture.measured = median(first.cpu);
    picture.measured_wall = median(first.wall);
    picture.kind = Kind::seconds_at_most;
    picture.target = 1;
    picture.valid = big_ok;
    emit_row(picture);
}

// The hex view of 60 rows painted with the strip beside it, against the
// view alone: the strip of a file of four kinds of bytes and a markup in
// every 64 KiB, counted to the end.
void overview_paint_row(const Settings &settings, const QString &dir)
{
    const QString path = dir + QStringLiteral("/strip.bin");
    const qint64 quarter = qint64(4) << 20;
    QByteArray text = QByteArray("The overview strip shows the file at a glance.\n").repeated(int(quarter / 47) + 1);
    text.truncate(int(quarter));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(int(quarter), '\0')) != quarter
            || f.write(text) != quarter)
            return;
    }
    QByteArray random(int(2 * quarter), '\0');
    quint64 state = 5;
    pq_bench::fill_random(random.data(), random.size(), state, false);
    {
        QFile f(path);
        if (!f.open(QIODevice::Append) || f.write(random) != random.size())
            return;
    }

    const int rows = 60;
    HexScrollBar scroll_bar;
    HexWidget widget;
    widget.set_scroll_bar(&scroll_bar);
    FileOverview overview(widget.edited_file());
    OverviewStrip strip(&overview, &widget, &scroll_bar);
    widget.open_file(path);
    for (qint64 at = 0; at < 4 * quarter; at += 65536)
        widget.edited_file()->mark(at, at + 1023);
    widget.resize(widget.width(), rows * widget.line_height());
    strip.resize(OverviewStrip::strip_width, widget.height());
    // A strip never shown gets no resize event to take its height from.
    overview.set_slice_count(strip.height());
    QEventLoop loop;
    QObject::connect(&overview, &FileOverview::completed, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    const bool counted = overview.geometry().count() == widget.height() && overview.slice(0).exact;
    QCoreApplication::processEvents();

    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    QImage strip_image(strip.size(), QImage::Format_ARGB32_Premultiplied);
    widget.render(&image);
    strip.render(&strip_image);
    Samples ours;
    Samples base;
    for (int r = 0; r < settings.cheap_reps; ++r) {
        base.push_back(time_once([&] { widget.render(&image); }));
        ours.push_back(time_once([&] {
            widget.render(&image);
            strip.render(&strip_image);
        }));
    }
    Row row = ratio_row("hex view + overview strip paint, 60 rows", "hex view alone", ours, base,
                        Kind::slower_at_most, 1.2);
    row.valid = counted;
    if (!counted)
        row.note = "overview not counted";
    emit_row(row);
}

int run_child(const QString &group, const Settings &settings, int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    if (group == QLatin1String("open"))
        run_open_group(settings, dir.path());
    else if (group == QLatin1String("search"))
        run_search_group(settings, dir.path());
    else if (group == QLatin1String("markup"))
        run_markup_group(settings, dir.path());
    else if (group == QLatin1String("overview")) {
        run_overview_group(settings, dir.path());
        overview_paint_row(settings, dir.path());
    }
    else {
        std::fprintf(stderr, "unknown group %s\n", qPrintable(group));
        return 1;
    }
    std::printf("%s\t%s\t%ld\n", rss_marker, qPrintable(group), pq_bench::peak_rss_kib());
    std::fflush(stdout);
    return 0;
}

struct ChildResult
{
    std::vector<Row> rows;
    long rss_kib = -1;
    bool ok = false;
};

ChildResult run_group_in_child(const char *self, const QString &group, bool quick)
{
    ChildResult result;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args { QStringLiteral("--child"), group };
    if (quick)
        args << QStringLiteral("--quick");
    child.start(QString::fromLocal8Bit(self), args);
    if (!child.waitForStarted(-1) || !child.waitForFinished(-1))
        return result;
    result.ok = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() >= 9 && f[0] == row_marker) {
            Row row;
            row.name = f[1].toStdString();
            row.baseline_name = f[2].toStdString();
            row.measured = f[3].toDouble();
            row.baseline = f[4].toDouble();
            row.kind = Kind(f[5].toInt());
            row.target = f[6].toDouble();
            row.valid = f[7] == "1";
            row.note = f[8].toStdString();
            if (f.size() >= 11) {
                row.measured_wall = f[9].toDouble();
                row.baseline_wall = f[10].toDouble();
            }
            result.rows.push_back(row);
        } else if (f.size() >= 3 && f[0] == rss_marker) {
            result.rss_kib = f[2].toLong();
        }
    }
    return result;
}

double ratio_of(Kind kind, double measured, double baseline)
{
    if (kind == Kind::slower_at_most)
        return baseline > 0 ? measured / baseline : 0;
    return measured > 0 ? baseline / measured : 0;
}

void print_table(const std::vector<Row> &rows)
{
    const char *clock = use_wall_clock ? "wall" : "cpu";
    std::printf("%-52s %11s  %-34s %11s %8s %8s  %-6s %s\n", "row", "measured", "baseline",
                "baseline", "ratio", "target", "result", use_wall_clock ? "cpu ratio" : "wall ratio");
    std::printf("%-52s %11s  %-34s %11s\n", "", clock, "", clock);
    for (const Row &row : rows) {
        char measured[32];
        char baseline[32];
        char ratio_text[32] = "-";
        char target[32];
        char other_ratio[32] = "-";
        bool pass = false;
        if (row.kind == Kind::memory_at_most) {
            pass = row.measured <= row.target;
            std::snprintf(measured, sizeof measured, "%.1f MB", row.measured);
            std::snprintf(baseline, sizeof baseline, "-");
            std::snprintf(target, sizeof target, "<= %g MB", row.target);
        } else if (row.kind == Kind::seconds_at_most) {
            const double ours = use_wall_clock ? row.measured_wall : row.measured;
            pass = ours <= row.target;
            std::snprintf(measured, sizeof measured, "%.3f ms", ours * 1e3);
            std::snprintf(baseline, sizeof baseline, "-");
            std::snprintf(target, sizeof target, "<= %g s", row.target);
        } else {
            const double ours = use_wall_clock ? row.measured_wall : row.measured;
            const double base = use_wall_clock ? row.baseline_wall : row.baseline;
            std::snprintf(measured, sizeof measured, "%.3f ms", ours * 1e3);
            std::snprintf(baseline, sizeof baseline, "%.3f ms", base * 1e3);
            const double ratio = ratio_of(row.kind, ours, base);
            pass = row.kind == Kind::slower_at_most ? base > 0 && ratio <= row.target
                                                    : ratio >= row.target;
            std::snprintf(ratio_text, sizeof ratio_text, "%.3f", ratio);
            std::snprintf(target, sizeof target, "%s %g",
                          row.kind == Kind::slower_at_most ? "<=" : ">=", row.target);
            // The other clock, for comparison; the PASS or MISS is the chosen one's.
            std::snprintf(other_ratio, sizeof other_ratio, "%.3f",
                          use_wall_clock ? ratio_of(row.kind, row.measured, row.baseline)
                                         : ratio_of(row.kind, row.measured_wall, row.baseline_wall));
        }
        const char *verdict = !row.valid ? "INVALID" : pass ? "PASS" : "MISS";
        std::printf("%-52s %11s  %-34s %11s %8s %8s  %-6s %s%s%s\n", row.name.c_str(), measured,
                    row.baseline_name.c_str(), baseline, ratio_text, target, verdict, other_ratio,
                    row.note.empty() ? "" : "  ", row.note.c_str());
    }
}

} // namespace

int main(int argc, char **argv)
{
    Settings settings;
    QString child_group;
    QString only_group;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            settings.quick = true;
        } else if (std::strcmp(argv[i], "--child") == 0 && i + 1 < argc) {
            child_group = QString::fromLatin1(argv[++i]);
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only_group = QString::fromLatin1(argv[++i]);
        } else if (std::strcmp(argv[i], "--clock") == 0 && i + 1 < argc) {
            use_wall_clock = std::strcmp(argv[++i], "wall") == 0;
        } else if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            settings.only_rows = QString::fromLatin1(argv[++i]).split(QLatin1Char(','));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--clock cpu|wall] [--only open|search|markup|overview]\n"
                         "       [--rows bytes16,bytes1,panel,regex,mask,paint,insert,xml,"
                         "window,windowmark,prune]\n",
                         argv[0]);
            return 2;
        }
    }
    if (settings.quick) {
        settings.search_size = qint64(64) << 20;
        settings.reps = 3;
        settings.cheap_reps = 5;
    }
    // Headless, and never the user's own settings.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config_dir;
    if (child_group.isEmpty() && config_dir.isValid()) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_dir.path()));
        // Journals too stay out of the user's folders.
        qputenv("XDG_DATA_HOME", QFile::encodeName(config_dir.path() + QStringLiteral("/data")));
    }

    if (!child_group.isEmpty())
        return run_child(child_group, settings, argc, argv);

    const QStringList groups = only_group.isEmpty()
                                   ? QStringList { QStringLiteral("open"), QStringLiteral("search"),
                                                   QStringLiteral("markup"), QStringLiteral("overview") }
                                   : QStringList { only_group };
    std::vector<Row> rows;
    std::vector<std::pair<QString, long>> rss;
    bool all_ran = true;
    for (const QString &group : groups) {
        std::fprintf(stderr, "running %s ...\n", qPrintable(group));
        const ChildResult result = run_group_in_child(argv[0], group, settings.quick);
        all_ran = all_ran && result.ok;
        if (!result.ok)
            std::fprintf(stderr, "group %s did not finish cleanly\n", qPrintable(group));
        rows.insert(rows.end(), result.rows.begin(), result.rows.end());
        rss.emplace_back(group, result.rss_kib);
    }
    std::printf("\nbench_suite%s: search file %lld MiB, medians of %d (cheap rows %d) runs\n\n",
                settings.quick ? " --quick" : "", static_cast<long long>(settings.search_size >> 20),
                settings.reps, settings.cheap_reps);
    print_table(rows);
    std::printf("\npeak resident memory (ru_maxrss): this process %.1f MB", pq_bench::peak_rss_kib() / 1024.0);
    for (const auto &[group, kib] : rss)
        std::printf(", %s child %.1f MB", qPrintable(group), kib / 1024.0);
    std::printf("\n(the search child holds the regex baseline's whole-file buffer)\n");
    return all_ran ? 0 : 1;
}
