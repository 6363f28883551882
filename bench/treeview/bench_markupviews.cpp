// The markup tree's view and the hex view with 3 million markups against the
// same operations with 10,000, in one run:
//   expand   a markup of 100,000 children (of 10,000 in the small tree) in
//            the tree view, laid out and painted
//   scroll   the fully expanded tree view from its top to its end, painted
//   paint    one paint of the hex view over marked bytes (mask filled)
//   mark     Mark of a free range inside a markup of 100,000 (10,000)
//            children, until both views have painted the result, with
//            nothing collapsed since the last Mark
//   undo     Undo of that Mark, the same way
//   collapse the first Mark after a markup was collapsed and expanded again
//            (it expands every markup, a walk over them all)
//   1st mark the first Mark after the load, which also starts the crash
//            journal; the markups are still the loaded file's, so the
//            journal names that file instead of copying them (kept: the
//            marks above never bring the markups back to the loaded ones)
//   snapshot the first Mark after a new history while the markups differ
//            from any file: the journal copies every markup
// The big tree is 30 markups of 100,000 children of 16 bytes each; the small
// one is one markup of 10,000 such children. Each figure is the median of the
// repetitions, in CPU time of the process (wall time in brackets). The expand
// row also gives the ratio per row shown, as the big markup shows ten times
// the rows.
//
// Usage: bench_markupviews [repetitions, default 5]

#include "benchsupport.h"
#include "editedfile/editedfile.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "mask/markupmask.h"
#include "treeview/hextreeview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr qint64 markup_bytes = 16;

// One markup per `children` children of 16 bytes, each child marking the
// first 8 of its 16 bytes so that the other 8 are free to Mark.
bool write_markup_file(const QString &path, int parents, int children)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
    QByteArray chunk;
    for (int p = 0; p < parents; ++p) {
        const qint64 first = qint64(p) * children * markup_bytes;
        chunk += " <node description=\"block " + QByteArray::number(p) + "\" start=\""
                 + QByteArray::number(first) + "\" end=\""
                 + QByteArray::number(first + children * markup_bytes - 1) + "\">\n";
        for (int c = 0; c < children; ++c) {
            const qint64 start = first + c * markup_bytes;
            chunk += "  <node description=\"field " + QByteArray::number(c) + "\" start=\""
                     + QByteArray::number(start) + "\" end=\"" + QByteArray::number(start + 7)
                     + "\" background_red=\"200\" background_green=\"230\" background_blue=\""
                     + QByteArray::number(c % 256) + "\"/>\n";
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        chunk += " </node>\n";
    }
    chunk += "</pellowquarnbybook>\n";
    file.write(chunk);
    return file.flush();
}

struct Figures
{
    pq_bench::Samples expand, scroll, paint, mark, undo, first_mark, mark_after_collapse, snapshot;
};

// The two views over one file and its markups, as the main window wires them.
class Views
{
public:
    Views(const QString &data, const QString &markups)
    {
        m_hex.set_scroll_bar(&m_bar);
        m_hex.set_font(QFont(QStringLiteral("Courier"), 12));
        m_hex.resize(800, 40 * m_hex.line_height());
        m_hex.open_file(data);
        m_mask = new MarkupMask(file()->markup_tree(), &m_hex);
        m_hex.set_markup_mask(m_mask);
        QObject::connect(m_mask, &MarkupMask::update_completed, &m_hex, [this] { m_hex.update(); });
        m_tree.setModel(file()->markup_model());
        QObject::connect(&m_tree, &QTreeView::expanded, m_mask, &MarkupMask::reload_mask);
        QObject::connect(&m_tree, &QTreeView::collapsed, m_mask, &MarkupMask::reload_mask);
        m_tree.resize(600, 800);
        m_tree.show();
        // How long the load runs on after its last progress report, when
        // the markups go into the tree and the views: no Cancel there.
        pq_bench::Clock::time_point last_report;
        m_ok = file()->read_markup(markups, [&last_report](qint64, qint64) {
                   last_report = pq_bench::Clock::now();
                   return true;
               })
               == EditedFile::MarkupRead::loaded;
        m_tail = pq_bench::seconds_since(last_report);
    }

    double load_tail() const { return m_tail; }

    bool ok() const { return m_ok; }
    EditedFile *file() { return m_hex.edited_file(); }
    HexTreeView &tree() { return m_tree; }
    HexWidget &hex() { return m_hex; }

    // Lets queued work run, waits for the mask and paints both views, as
    // the screen would show the outcome of a command.
    void settle()
    {
        QCoreApplication::processEvents();
        QElapsedTimer wait;
        wait.start();
        while (m_mask->is_filling() && wait.elapsed() < 60000)
            QThread::yieldCurrentThread();
        QCoreApplication::processEvents();
        m_tree.viewport()->render(&m_tree_image);
        m_hex.render(&m_hex_image);
    }

    void paint_hex() { m_hex.render(&m_hex_image); }

private:
    HexWidget m_hex;
    HexScrollBar m_bar;
    HexTreeView m_tree;
    MarkupMask *m_mask = nullptr;
    QImage m_tree_image { 600, 800, QImage::Format_ARGB32_Premultiplied };
    QImage m_hex_image { 800, 1200, QImage::Format_ARGB32_Premultiplied };
    bool m_ok = false;
    double m_tail = 0;
};

bool measure(int parents, int children, int repetitions, const QTemporaryDir &dir, Figures *out)
{
    const QString data = dir.filePath(QStringLiteral("data-%1.bin").arg(parents));
    const QString markups = dir.filePath(QStringLiteral("markup-%1.xml").arg(parents));
    const qint64 size = qint64(parents) * children * markup_bytes;
    if (!pq_bench::write_random_file(data, size, 11) || !write_markup_file(markups, parents, children))
        return false;
    Views views(data, markups);
    if (!views.ok())
        return false;
    views.settle();
    std::printf("%d markups loaded; after the last progress report the load took %.3f s more\n",
                parents * (children + 1), views.load_tail());
    MarkupModel *model = views.file()->markup_model();
    if (model->rowCount() != parents) {
        std::fprintf(stderr, "%d top-level markups loaded, not %d\n", model->rowCount(), parents);
        return false;
    }
    // The last block: its children are the last rows of the tree.
    const QModelIndex block = model->index(parents - 1, 0);
    const qint64 middle = (qint64(parents) - 1) * children * markup_bytes + children / 2 * markup_bytes;
    views.hex().set_cursor(middle);
    views.settle();

    // The first change after a load (or after undoing back to the loaded
    // markups) starts the crash journal, naming the loaded file: timed on
    // its own, and kept, so that the Marks and Undos below are the steps a
    // user takes once the markups are being edited.
    out->first_mark.push_back(pq_bench::time_once([&] {
        views.file()->mark(8, 11);
        views.settle();
    }));

    for (int r = 0; r < repetitions; ++r) {
        views.tree().collapse(block);
        views.settle();
        out->expand.push_back(pq_bench::time_once([&] {
            views.tree().expand(block);
            views.settle();
        }));

        views.tree().scrollToTop();
        views.settle();
        out->scroll.push_back(pq_bench::time_once([&] {
            views.tree().scrollToBottom();
            views.settle();
        }));

        out->paint.push_back(pq_bench::time_once([&] { views.paint_hex(); }));
    }

    // Marking expands every markup: the first Mark after the user collapsed
    // one walks them all once.
    out->mark_after_collapse.push_back(pq_bench::time_once([&] {
        views.file()->mark(middle + 8, middle + 11);
        views.settle();
    }));
    views.file()->undo();
    views.settle();

    for (int r = 0; r < repetitions; ++r) {
        const int before = model->rowCount(block);
        bool marked = false;
        out->mark.push_back(pq_bench::time_once([&] {
            marked = views.file()->mark(middle + 8, middle + 11);
            views.settle();
        }));
        if (!marked || model->rowCount(block) != before + 1) {
            std::fprintf(stderr, "the mark was refused\n");
            return false;
        }
        out->undo.push_back(pq_bench::time_once([&] {
            views.file()->undo();
            views.settle();
        }));
        if (model->rowCount(block) != before) {
            std::fprintf(stderr, "the undo left %d children\n", model->rowCount(block));
            return false;
        }
    }

    // The first Mark is still there: the markups match no file, and the
    // first Mark after a new history makes the journal copy every one.
    views.file()->history()->restart();
    views.settle();
    // What the status bar shows meanwhile: the copy must not run silently.
    QStringList shown;
    QElapsedTimer clock;
    double first_shown = -1;
    const QMetaObject::Connection listen = QObject::connect(
        views.file(), &EditedFile::status_message, [&](const QString &text) {
            if (shown.isEmpty())
                first_shown = clock.elapsed() / 1e3;
            shown.append(text);
        });
    clock.start();
    out->snapshot.push_back(pq_bench::time_once([&] {
        views.file()->mark(middle + 8, middle + 11);
        views.settle();
    }));
    QObject::disconnect(listen);
    std::printf("snapshot of %d markups: %d status texts, the first after %.2f s, the last \"%s\"\n",
                parents * (children + 1), int(shown.size()), first_shown,
                shown.isEmpty() ? "" : qPrintable(shown.last()));
    return true;
}

void print_row(const char *name, const pq_bench::Samples &small, const pq_bench::Samples &big,
               double per_row = 0)
{
    const double s = pq_bench::median(small.cpu), b = pq_bench::median(big.cpu);
    std::printf("%-8s %9.2f ms (%9.2f)  %9.2f ms (%9.2f)   ratio %7.2f", name, s * 1e3,
                pq_bench::median(small.wall) * 1e3, b * 1e3, pq_bench::median(big.wall) * 1e3, b / s);
    if (per_row > 0)
        std::printf("   per row shown %.2f", b / s / per_row);
    std::printf("   (aim <= 3)\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    Figures small, big;
    if (!measure(1, 10000, repetitions, dir, &small) || !measure(30, 100000, repetitions, dir, &big)) {
        std::fprintf(stderr, "the bench could not run\n");
        return 1;
    }
    std::printf("medians of %d repetitions, process CPU time (wall)\n", repetitions);
    std::printf("%-8s %28s  %28s\n", "", "10,000 markups", "3,000,000 markups");
    print_row("expand", small.expand, big.expand, 10.0);
    print_row("scroll", small.scroll, big.scroll);
    print_row("paint", small.paint, big.paint);
    print_row("mark", small.mark, big.mark);
    print_row("undo", small.undo, big.undo);
    print_row("1st mark", small.first_mark, big.first_mark);
    print_row("collapse", small.mark_after_collapse, big.mark_after_collapse);
    print_row("snapshot", small.snapshot, big.snapshot);
    return 0;
}
