// One full paint of a 60-row hex view into an image, against the same 60
// rows drawn as plain text with one drawText per line, in the same run:
//   hex view: every byte marked (markups of 8 bytes in four colour pairs,
//             looked up through a mask over a real markup tree) and three
//             rows selected
//   hex view: no markups, no selection
//   baseline: background fill and 60 drawText calls of the full row text
// The three are interleaved; each figure is the median of the repeated paints,
// in CPU time of the process (wall time in brackets: on a shared machine it
// also counts the time other programs held the processor).
//
// Usage: bench_paint [repetitions, default 200]

#include "benchsupport.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int rows = 60;

MarkupNode *find_node(MarkupNode *node, qint64 start)
{
    for (MarkupNode *child : node->children()) {
        if (child->start() == start)
            return child;
    }
    return nullptr;
}

double process_cpu_seconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wall-clock and CPU time of one call; the machine may be shared, so the CPU
// time of this process (helper threads included) is the figure that load does
// not inflate.
struct Timing
{
    std::vector<double> wall;
    std::vector<double> cpu;

    void measure(const std::function<void()> &body)
    {
        const double cpu_start = process_cpu_seconds();
        const auto wall_start = std::chrono::steady_clock::now();
        body();
        wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count());
        cpu.push_back(process_cpu_seconds() - cpu_start);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paint.bin"));
    if (!pq_bench::write_random_file(path, 1 << 16, 7)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    MarkupModel model;
    MarkupTree tree(&model);
    MarkupMask mask(&tree);
    const QColor colours[4][2] = {{Qt::blue, QColor(255, 220, 180)},
                                  {Qt::darkRed, QColor(200, 255, 200)},
                                  {Qt::black, QColor(200, 220, 255)},
                                  {Qt::darkMagenta, QColor(255, 255, 200)}};
    for (qint64 start = 0, k = 0; start < rows * 16; start += 8, ++k) {
        if (!tree.insert_range(start, start + 7)) {
            std::fprintf(stderr, "insert_range refused %lld\n", static_cast<long long>(start));
            return 1;
        }
        if (MarkupNode *node = find_node(model.root(), start)) {
            node->set_foreground(colours[k % 4][0]);
            node->set_background(colours[k % 4][1]);
        }
    }

    HexWidget hex;
    HexScrollBar bar;
    hex.set_scroll_bar(&bar);
    hex.set_font(QFont(QStringLiteral("Courier"), 12));
    hex.resize(hex.width(), rows * hex.line_height());
    hex.open_file(path);
    if (hex.visible_rows() != rows) {
        std::fprintf(stderr, "the view shows %d rows, not %d\n", hex.visible_rows(), rows);
        return 1;
    }

    QImage image(hex.size(), QImage::Format_ARGB32_Premultiplied);

    // Fill the mask's window once; painting then only reads it.
    mask.markup_at(0);
    QElapsedTimer wait;
    wait.start();
    while (mask.is_filling() && wait.elapsed() < 10000)
        QThread::msleep(1);
    int marked = 0;
    for (qint64 offset = 0; offset < rows * 16; ++offset)
        marked += mask.markup_at(offset) != nullptr;
    if (marked != rows * 16) {
        std::fprintf(stderr, "only %d of %d bytes are marked\n", marked, rows * 16);
        return 1;
    }

    // Baseline: the same rows as text, one drawText per line.
    std::vector<QString> lines;
    HexDocument *document = hex.document();
    for (int r = 0; r < rows; ++r) {
        document->load(qint64(r) * 16, 16);
        lines.push_back(QStringLiteral("%1  %2   %3")
                            .arg(r * 16, 8, 16, QLatin1Char('0'))
                            .arg(QString::fromStdString(document->to_hex()))
                            .arg(QString::fromStdString(document->to_ascii())));
    }
    const QColor background = hex.palette().color(QPalette::Window);
    const QFont font = hex.hex_font();
    const int line_height = hex.line_height();
    const auto plain_text = [&] {
        image.fill(background);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (int r = 0; r < rows; ++r)
            painter.drawText(QPoint(0, (r + 1) * line_height), lines[size_t(r)]);
    };
    const auto plain_view = [&] {
        hex.set_markup_mask(nullptr);
        hex.clear_selection();
        hex.render(&image);
    };
    const auto marked_view = [&] {
        hex.set_markup_mask(&mask);
        hex.set_selection(20 * 16 + 3, 23 * 16 + 9);
        bar.setValue(0);
        hex.render(&image);
    };

    // Warm up (fonts, glyph caches), then interleave the three so that any
    // change in the machine's load reaches all of them alike.
    for (int i = 0; i < 5; ++i) {
        plain_text();
        plain_view();
        marked_view();
    }
    Timing baseline_time;
    Timing plain_time;
    Timing marked_time;
    for (int i = 0; i < repetitions; ++i) {
        baseline_time.measure(plain_text);
        plain_time.measure(plain_view);
        marked_time.measure(marked_view);
    }
    const double baseline = pq_bench::median(baseline_time.cpu);
    const double plain = pq_bench::median(plain_time.cpu);
    const double marked_paint = pq_bench::median(marked_time.cpu);

    std::printf("rows %d, repetitions %d, font %s, cell %dx%d px; medians of process CPU time (wall)\n",
                rows, repetitions, qPrintable(QFontInfo(font).family()), hex.char_width(), line_height);
    std::printf("baseline, one drawText per line               %7.3f ms (%7.3f)\n", baseline * 1e3,
                pq_bench::median(baseline_time.wall) * 1e3);
    std::printf("hex view, no markup, no selection             %7.3f ms (%7.3f)   ratio %.2f\n",
                plain * 1e3, pq_bench::median(plain_time.wall) * 1e3, plain / baseline);
    std::printf("hex view, every byte marked, 3 rows selected  %7.3f ms (%7.3f)   ratio %.2f\n",
                marked_paint * 1e3, pq_bench::median(marked_time.wall) * 1e3, marked_paint / baseline);
    return 0;
}
