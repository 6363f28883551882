// Markup lookups and markup files.
//
// 1. One fill of the colour mask's 10,000-offset window (snapshot of the
//    expanded markups plus the fill itself) over 10 markups, over 100,000
//    sibling markups and over markups nested 1,000 deep (all expanded);
//    prints each against the 10-markup case.
// 2. Saving (QXmlStreamWriter streaming into the file) and loading 100,000
//    markups against, in the same run, one QFile::write of the same bytes,
//    a bare QXmlStreamWriter pass writing the same elements and attributes
//    (their texts made beforehand) into a file, and a bare QXmlStreamReader
//    pass over the same file.
// 3. Loading a generated markup file of 1 GiB, once made of 10 million small
//    markups and once of one huge description, each in a child process of
//    its own (so that its peak memory is its own): the time to the first
//    progress report, the load against a bare QXmlStreamReader pass over the
//    same file in CPU time, and the peak resident memory against what the finished tree
//    keeps. Skipped with "quick" as the argument.
//
// The fastest of several runs (the least disturbed by other load). Usage: bench_markup [quick]

#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "benchsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double time_once(const std::function<void()> &body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

constexpr int window = 10000;

QString siblings_xml(int count, qint64 step)
{
    QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    for (int i = 0; i < count; ++i)
        xml += QStringLiteral(" <node description=\"markup %1\" start=\"%2\" end=\"%3\" repeat=\"false\" "
                              "foreground_red=\"%4\" foreground_green=\"0\" foreground_blue=\"0\" "
                              "background_red=\"255\" background_green=\"255\" background_blue=\"%5\"/>\n")
                   .arg(i).arg(qint64(i) * step).arg(qint64(i) * step + step / 2)
                   .arg(i % 256).arg((i * 7) % 256);
    xml += QStringLiteral("</pellowquarnbybook>\n");
    return xml;
}

QString nested_xml(int depth)
{
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\">").arg(i * 3).arg(3 * depth + 9000 - i * 3);
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("</node>");
    xml += QStringLiteral("</pellowquarnbybook>");
    return xml;
}

// One fill as the hex view gets it: reload_mask() on the GUI thread, the
// worker's snapshot-to-completion run, polled until the worker is idle.
double time_mask_fill(const QString &xml, qint64 first)
{
    MarkupModel model;
    MarkupTree tree(&model);
    tree.load_xml(xml);
    MarkupMask mask(&tree);
    mask.markup_at(first + MarkupMask::window_lead);
    while (mask.is_filling())
        QThread::yieldCurrentThread();
    std::vector<double> runs;
    for (int r = 0; r < 31; ++r) {
        runs.push_back(time_once([&] {
            mask.reload_mask();
            while (mask.is_filling())
                QThread::yieldCurrentThread();
        }));
    }
    return *std::min_element(runs.begin(), runs.end());
}

double time_fill(const QString &xml, qint64 first)
{
    MarkupModel model;
    MarkupTree tree(&model);
    if (!tree.load_xml(xml))
        std::fprintf(stderr, "load failed\n");
    std::vector<std::atomic<MarkupNode *>> out(window);
    std::vector<double> runs;
    qint64 coloured = 0;
    for (int r = 0; r < 15; ++r) {
        runs.push_back(time_once([&] {
            const MarkupTree::LookupSnapshot snapshot = tree.lookup_snapshot();
            tree.fill(first, window, out.data(), snapshot);
        }));
    }
    for (const auto &e : out)
        coloured += e.load() != nullptr;
    std::printf("    (%lld of %d offsets covered)\n", coloured, window);
    return *std::min_element(runs.begin(), runs.end());
}

// Resident memory now, in bytes.
qint64 resident_bytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// A markup file of about `size` bytes: `markups` small node elements, or one
// node whose description fills the file when markups is 1.
bool write_large_file(const QString &path, qint64 size, qint64 markups)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    if (markups == 1) {
        file.write(" <node start=\"0\" end=\"15\" description=\"");
        const QByteArray block(1 << 20, 'd');
        for (qint64 left = size - 200; left > 0; left -= block.size())
            file.write(block.constData(), std::min<qint64>(left, block.size()));
        file.write("\"/>\n");
    } else {
        // Padded so that the markups fill the size; about 100 bytes each
        // leaves no room for the colours, which load as black on white.
        const qint64 per_line = size / markups;
        QByteArray chunk;
        for (qint64 i = 0; i < markups; ++i) {
            QByteArray line = " <node description=\"field " + QByteArray::number(i)
                              + "\" start=\"" + QByteArray::number(i * 16) + "\" end=\""
                              + QByteArray::number(i * 16 + 7) + "\" repeat=\"false\"";
            line += QByteArray(std::max<qint64>(0, per_line - line.size() - 4), ' ');
            line += "/>\n";
            chunk += line;
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    file.write("</pellowquarnbybook>\n");
    return file.flush();
}

struct LargeLoad
{
    double first_report = -1;
    // CPU seconds (wall seconds): other work on the machine stretches the
    // wall clock of a run this long.
    pq_bench::Sample load;
    pq_bench::Sample bare;
    qint64 peak = 0;
    qint64 tree = 0;
    qint64 markups = 0;
};

// In a child process: a bare reader pass, then the load with its memory.
LargeLoad measure_large_load(const QString &path)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        LargeLoad out;
        out.bare = pq_bench::time_once([&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            QXmlStreamReader reader(&f);
            while (!reader.atEnd())
                reader.readNext();
        });
        const qint64 before = resident_bytes();
        MarkupModel model;
        MarkupTree tree(&model);
        const auto start = std::chrono::steady_clock::now();
        out.load = pq_bench::time_once([&] {
            QFile f;
            qint64 size = 0;
            if (!MarkupTree::open_markup_file(path, &f, &size))
                return;
            tree.load_markup_file(f, size, [&](qint64, qint64) {
                if (out.first_report < 0)
                    out.first_report = std::chrono::duration<double>(
                                           std::chrono::steady_clock::now() - start).count();
                return true;
            });
        });
        out.tree = resident_bytes() - before;
        out.peak = pq_bench::peak_rss_kib() * 1024 - before;
        out.markups = model.rowCount();
        if (::write(channel[1], &out, sizeof out) != sizeof out)
            ::_exit(1);
        ::_exit(0);
    }
    ::close(channel[1]);
    LargeLoad out;
    if (child < 0 || ::read(channel[0], &out, sizeof out) != sizeof out)
        std::fprintf(stderr, "the measuring process failed\n");
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    std::printf("Mask fill of %d offsets through MarkupMask (reload to idle worker, fastest of 31)\n",
                window);
    const double m_small = time_mask_fill(siblings_xml(10, 1000), 0);
    std::printf("  10 markups:                 %8.3f ms\n", m_small * 1e3);
    const double m_wide = time_mask_fill(siblings_xml(100000, 20), 1000000);
    std::printf("  100,000 sibling markups:    %8.3f ms   ratio %.2f (aim < 3)\n", m_wide * 1e3,
                m_wide / m_small);
    const double m_deep = time_mask_fill(nested_xml(1000), 0);
    std::printf("  nested 1,000 deep:          %8.3f ms   ratio %.2f (aim < 10)\n", m_deep * 1e3,
                m_deep / m_small);

    std::printf("Bare fill of %d offsets (snapshot + fill on one thread, fastest of 31)\n", window);
    const double small = time_fill(siblings_xml(10, 1000), 0);
    std::printf("  10 markups:                 %8.3f ms\n", small * 1e3);
    const double wide = time_fill(siblings_xml(100000, 20), 1000000);
    std::printf("  100,000 sibling markups:    %8.3f ms   ratio %.2f (aim < 3)\n", wide * 1e3,
                wide / small);
    const double deep = time_fill(nested_xml(1000), 0);
    std::printf("  nested 1,000 deep:          %8.3f ms   ratio %.2f (aim < 10)\n", deep * 1e3,
                deep / small);

    // Saving and loading 100,000 markups.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("markup.xml"));
    MarkupModel model;
    MarkupTree tree(&model);
    tree.load_xml(siblings_xml(100000, 20));

    // The elements and attributes of the file, as texts, for the bare writer.
    std::vector<QXmlStreamAttributes> elements;
    {
        QXmlStreamReader reader(tree.to_xml());
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("node"))
                elements.push_back(reader.attributes());
        }
    }
    std::vector<double> save_runs, write_runs, bare_runs, load_runs, read_runs, text_runs, encode_runs;
    QByteArray bytes;
    for (int r = 0; r < 5; ++r) {
        QString text;
        text_runs.push_back(time_once([&] { text = tree.to_xml(); }));
        encode_runs.push_back(time_once([&] { bytes = MarkupTree::encode_markup_file(text); }));
        if (tree.to_markup_file() != bytes)
            std::fprintf(stderr, "to_markup_file differs from to_xml\n");
    }
    for (int r = 0; r < 5; ++r) {
        save_runs.push_back(time_once([&] {
            QFile f(path);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            tree.write_markup_file(f);
        }));
        write_runs.push_back(time_once([&] {
            QFile f(path);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(bytes);
        }));
        bare_runs.push_back(time_once([&] {
            QFile f(path);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            QXmlStreamWriter writer(&f);
            writer.writeDTD(QStringLiteral("<!DOCTYPE PQML>\n"));
            writer.setAutoFormatting(true);
            writer.setAutoFormattingIndent(1);
            writer.writeStartElement(QStringLiteral("pellowquarnbybook"));
            for (const QXmlStreamAttributes &attributes : elements) {
                writer.writeStartElement(QStringLiteral("node"));
                writer.writeAttributes(attributes);
                writer.writeEndElement();
            }
            writer.writeEndDocument();
        }));
    }
    for (int r = 0; r < 5; ++r) {
        MarkupModel m2;
        MarkupTree t2(&m2);
        load_runs.push_back(time_once([&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            t2.load_xml(MarkupTree::decode_markup_file(f.readAll()));
        }));
        if (m2.rowCount() != 100000)
            std::fprintf(stderr, "loaded %d markups\n", m2.rowCount());
        read_runs.push_back(time_once([&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            QXmlStreamReader reader(QString::fromUtf8(f.readAll()));
            qint64 tokens = 0;
            while (!reader.atEnd()) {
                reader.readNext();
                ++tokens;
            }
            if (tokens < 100000)
                std::fprintf(stderr, "short read\n");
        }));
    }
    auto fastest = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    const double save = fastest(save_runs), write = fastest(write_runs);
    const double load = fastest(load_runs), read = fastest(read_runs);
    std::printf("Markup file of 100,000 markups (%.1f MiB, fastest of 5)\n", bytes.size() / 1048576.0);
    std::printf("  save (write_markup_file):      %8.2f ms\n", save * 1e3);
    std::printf("    (the QString form: to_xml %.2f ms, then UTF-8 encoding %.2f ms)\n", fastest(text_runs) * 1e3,
                fastest(encode_runs) * 1e3);
    std::printf("  one QFile::write of the bytes: %8.2f ms   ratio %.2f (aim < 4)\n", write * 1e3,
                save / write);
    const double bare = fastest(bare_runs);
    std::printf("  bare QXmlStreamWriter pass:    %8.2f ms   ratio %.2f (aim <= 1.5)\n", bare * 1e3, save / bare);
    std::printf("  load (read + decode + parse + tree): %8.2f ms\n", load * 1e3);
    std::printf("  bare QXmlStreamReader pass:          %8.2f ms   ratio %.2f (aim < 3)\n",
                read * 1e3, load / read);

    if (argc > 1 && QByteArray(argv[1]) == "quick")
        return 0;
    const qint64 gib = qint64(1) << 30;
    struct Large
    {
        const char *name;
        qint64 markups;
    };
    for (const Large &large : {Large{"10 million small markups", 10000000}, Large{"one huge description", 1}}) {
        QTemporaryDir large_dir;
        const QString large_path = large_dir.filePath(QStringLiteral("large.xml"));
        if (!write_large_file(large_path, gib - 4096, large.markups)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(large_path));
            return 1;
        }
        pq_bench::warm_page_cache(large_path);
        const LargeLoad m = measure_large_load(large_path);
        std::printf("Markup file of 1 GiB, %s (%.0f MiB, %lld markups loaded)\n", large.name,
                    QFileInfo(large_path).size() / 1048576.0, m.markups);
        std::printf("  first progress report after  %8.3f s\n", m.first_report);
        std::printf("  load (load_markup_file):     %8.2f s CPU (%.2f s wall)\n", m.load.cpu, m.load.wall);
        std::printf("  bare QXmlStreamReader pass:  %8.2f s CPU (%.2f s wall)   ratio %.2f (aim <= 2)\n",
                    m.bare.cpu, m.bare.wall, m.load.cpu / m.bare.cpu);
        std::printf("  finished tree %.0f MiB (%.0f bytes per markup), peak %.0f MiB: ratio %.2f\n",
                    m.tree / 1048576.0, double(m.tree) / std::max<qint64>(1, m.markups),
                    m.peak / 1048576.0, double(m.peak) / std::max<qint64>(1, m.tree));
    }
    return 0;
}
