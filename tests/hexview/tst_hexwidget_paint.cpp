#include "hexviewfixture.h"
#include "hexview/readablecolours.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"
#include "testsettings.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// What the hex widget paints, checked on the pixels of a rendered image and
// on the painting runs it draws.
class TestHexWidgetPaint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void selection_is_yellow_on_black();
    void row_end_space_not_highlighted_data();
    void row_end_space_not_highlighted();
    void backward_selection_paints_like_forward();
    void edit_mode_highlights_active_column_only_data();
    void edit_mode_highlights_active_column_only();
    void edited_byte_paints_new_value_data();
    void edited_byte_paints_new_value();
    void edit_mode_background_is_base();
    void partial_bottom_row_unpainted();
    void rows_past_end_show_only_offsets();
    void offsets_beyond_4GiB_keep_two_blanks_data();
    void offsets_beyond_4GiB_keep_two_blanks();
    void no_file_shows_centred_hint();

    void markup_paints_after_mask_update();
    void selection_over_markup();
    void equal_colours_merge_into_one_run_data();
    void equal_colours_merge_into_one_run();
    void runs_split_at_selection_edges();
    void random_markup_colours_are_readable_data();
    void random_markup_colours_are_readable();

private:
    static QImage render(HexWidget *hex)
    {
        QImage image(hex->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        hex->render(&image);
        return image;
    }
    // A pixel at the left edge of character `index`'s cell, a quarter down:
    // inside the cell and off the glyphs' strokes.
    static QColor cell(const QImage &image, const HexViewFixture &f, int row, bool hex_segment, int index)
    {
        const int x = f.cw() * ((hex_segment ? 10 : 60) + index);
        return image.pixelColor(x, row * f.lh() + f.lh() / 4);
    }
    // Yellow text pixels (blended at glyph edges) inside character `index`'s cell.
    static int count_yellowish(const QImage &image, const HexViewFixture &f, int row, bool hex_segment,
                               int index)
    {
        const int x0 = f.cw() * ((hex_segment ? 10 : 60) + index);
        int n = 0;
        for (int y = row * f.lh(); y < (row + 1) * f.lh(); ++y)
            for (int x = x0; x < x0 + f.cw(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() > 150 && c.green() > 150 && c.blue() < 100;
            }
        return n;
    }
    // Pixels that differ from `colour` inside a rectangle.
    static int count_other(const QImage &image, const QRect &rect, const QColor &colour)
    {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += image.pixelColor(x, y) != colour;
        return n;
    }
    static QColor window_colour(HexWidget *hex) { return hex->palette().color(QPalette::Window); }
};

namespace {
const QColor black(0, 0, 0);
}

void TestHexWidgetPaint::initTestCase()
{
    pq_test::isolate_settings();
}

void TestHexWidgetPaint::selection_is_yellow_on_black()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(0, QByteArray(64, '\x88')));
    f.hex->set_selection(17, 18);
    f.bar->setValue(0);
    const QImage image = render(f.hex.get());
    // Byte 17: row 1, pair at characters 3..4, its space at 5; character cell 1.
    for (int index : {3, 4, 5, 6, 7, 8})
        QCOMPARE(cell(image, f, 1, true, index), black);
    QCOMPARE(cell(image, f, 1, false, 1), black);
    QCOMPARE(cell(image, f, 1, false, 2), black);
    QVERIFY(count_yellowish(image, f, 1, true, 3) > 0);
    QVERIFY(count_yellowish(image, f, 1, false, 1) > 0);
    // Neighbours stay plain.
    QCOMPARE(cell(image, f, 1, true, 2), window_colour(f.hex.get()));
    QCOMPARE(cell(image, f, 1, true, 9), window_colour(f.hex.get()));
    QCOMPARE(cell(image, f, 1, false, 0), window_colour(f.hex.get()));
    QCOMPARE(cell(image, f, 1, false, 3), window_colour(f.hex.get()));
    QCOMPARE(count_yellowish(image, f, 1, true, 2), 0);
}

void TestHexWidgetPaint::row_end_space_not_highlighted_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<int>("space_index");
    QTest::addColumn<bool>("space_highlighted");
    QTest::newRow("ends-on-last-byte-of-row") << qint64(16) << qint64(31) << 47 << false;
    QTest::newRow("runs-into-next-row") << qint64(16) << qint64(40) << 47 << false;
    QTest::newRow("ends-mid-row") << qint64(16) << qint64(19) << 11 << true;
    QTest::newRow("space-after-last-selected") << qint64(16) << qint64(19) << 14 << false;
}

void TestHexWidgetPaint::row_end_space_not_highlighted()
{
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QFETCH(int, space_index);
    QFETCH(bool, space_highlighted);
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(96));
    f.hex->set_selection(first, last);
    f.bar->setValue(0);
    const QImage image = render(f.hex.get());
    QCOMPARE(cell(image, f, 1, true, space_index) == black, space_highlighted);
    // The last pair of the row itself is highlighted when selected.
    if (last >= 31)
        QCOMPARE(cell(image, f, 1, true, 46), black);
}

void TestHexWidgetPaint::backward_selection_paints_like_forward()
{
    HexViewFixture forward;
    HexViewFixture backward;
    const QString path = pq_test::make_temp_file(200);
    forward.hex->open_file(path);
    backward.hex->open_file(path);
    forward.hex->set_selection(20, 75);
    backward.hex->set_selection(75, 20);
    forward.bar->setValue(0);
    backward.bar->setValue(0);
    const QImage a = render(forward.hex.get());
    const QImage b = render(backward.hex.get());
    QCOMPARE(cell(a, forward, 2, true, 0), black);
    QCOMPARE(a, b);
}

void TestHexWidgetPaint::edit_mode_highlights_active_column_only_data()
{
    QTest::addColumn<bool>("hex_active");
    QTest::newRow("hex-column-active") << true;
    QTest::newRow("char-column-active") << false;
}

void TestHexWidgetPaint::edit_mode_highlights_active_column_only()
{
    QFETCH(bool, hex_active);
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->edit_triggered();
    if (!hex_active)
        QTest::keyClick(f.hex.get(), Qt::Key_Tab);
    f.hex->set_selection(5, 5);
    const QImage image = render(f.hex.get());
    const QColor base = f.hex->palette().color(QPalette::Base);
    QCOMPARE(cell(image, f, 0, true, 15), hex_active ? black : base);
    QCOMPARE(cell(image, f, 0, false, 5), hex_active ? base : black);
}

void TestHexWidgetPaint::edited_byte_paints_new_value_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<char>("value");
    QTest::newRow("printable") << QStringLiteral("5a") << char(0x5a);
    QTest::newRow("unprintable-shows-dot") << QStringLiteral("0a") << char(0x0a);
    QTest::newRow("high-byte") << QStringLiteral("e9") << char(0xe9);
}

void TestHexWidgetPaint::edited_byte_paints_new_value()
{
    QFETCH(QString, typed);
    QFETCH(char, value);
    // The oracle: a file that really holds the typed value, painted with the
    // same cursor.
    QByteArray stored(40, '\x41');
    QByteArray wanted = stored;
    wanted[21] = value;
    HexViewFixture edited;
    HexViewFixture oracle;
    edited.hex->open_file(pq_test::make_temp_file(0, stored));
    oracle.hex->open_file(pq_test::make_temp_file(0, wanted));
    edited.hex->edit_triggered();
    oracle.hex->edit_triggered();
    edited.hex->set_selection(21, 21);
    QTest::keyClicks(edited.hex.get(), typed);
    QCOMPARE(edited.hex->selection_start(), qint64(22));
    oracle.hex->set_selection(22, 22);
    const QImage a = render(edited.hex.get());
    const QImage b = render(oracle.hex.get());
    HexViewFixture plain;
    plain.hex->open_file(pq_test::make_temp_file(0, stored));
    plain.hex->edit_triggered();
    plain.hex->set_selection(22, 22);
    QVERIFY2(a != render(plain.hex.get()), "the edit must change what is painted");
    QCOMPARE(a, b);
}

void TestHexWidgetPaint::edit_mode_background_is_base()
{
    HexViewFixture f;
    QPalette palette = f.hex->palette();
    palette.setColor(QPalette::Window, QColor(200, 210, 220));
    palette.setColor(QPalette::Base, QColor(250, 240, 230));
    f.hex->setPalette(palette);
    const QPoint empty(59 * f.cw(), f.lh() / 2);   // the gap: never painted over
    QCOMPARE(render(f.hex.get()).pixelColor(empty), QColor(200, 210, 220));
    f.hex->edit_triggered();
    QCOMPARE(render(f.hex.get()).pixelColor(empty), QColor(250, 240, 230));
}

void TestHexWidgetPaint::partial_bottom_row_unpainted()
{
    HexViewFixture f;
    f.hex->resize(f.hex->width(), 7 * f.lh() + f.lh() * 3 / 4);
    QCOMPARE(f.hex->visible_rows(), 7);
    f.hex->open_file(pq_test::make_temp_file(16 * 20));
    f.hex->set_selection(16 * 7, 16 * 8);   // would paint black cells on row 7
    f.bar->setValue(0);
    const QImage image = render(f.hex.get());
    const QRect bottom(0, 7 * f.lh(), f.hex->width(), f.hex->height() - 7 * f.lh());
    QCOMPARE(count_other(image, bottom, window_colour(f.hex.get())), 0);
    // The last full row does carry text.
    QVERIFY(count_other(image, QRect(0, 6 * f.lh(), f.hex->width(), f.lh()),
                        window_colour(f.hex.get())) > 0);
}

void TestHexWidgetPaint::rows_past_end_show_only_offsets()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(20));   // rows 0 and 1 (4 bytes)
    const QImage image = render(f.hex.get());
    const QColor bg = window_colour(f.hex.get());
    // Rows are checked below the top quarter, where the row above may hang
    // its descenders.
    const auto band = [&](int row, int from_cw, int width_cw) {
        return QRect(from_cw * f.cw(), row * f.lh() + f.lh() / 4, width_cw * f.cw(), f.lh() - f.lh() / 4);
    };
    QVERIFY(count_other(image, band(3, 0, 8), bg) > 0);
    QCOMPARE(count_other(image, band(3, 10, 66), bg), 0);
    // The partial row paints its four bytes and nothing after them.
    QVERIFY(count_other(image, band(1, 10, 11), bg) > 0);
    QCOMPARE(count_other(image, band(1, 22, 35), bg), 0);
    QVERIFY(count_other(image, band(1, 60, 4), bg) > 0);
    QCOMPARE(count_other(image, band(1, 64, 12), bg), 0);
}

namespace {

// A markup tree with one mask over it, wired to a hex widget.
struct Marked
{
    MarkupModel model;
    MarkupTree tree{&model};
    MarkupMask mask{&tree};

    MarkupNode *mark(qint64 first, qint64 last, const QColor &fg, const QColor &bg)
    {
        if (!tree.insert_range(first, last))
            return nullptr;
        MarkupNode *node = pq_markup_test::find_range(model.root(), first, last);
        if (node) {
            node->set_foreground(fg);
            node->set_background(bg);
        }
        return node;
    }
    // Waits for any fill in progress and delivers its completion signal.
    bool idle()
    {
        const bool done = QTest::qWaitFor([this] { return !mask.is_filling(); }, 5000);
        QCoreApplication::processEvents();
        return done;
    }
    // Places the mask's window on the file's start and waits for the fill.
    bool settle()
    {
        mask.markup_at(0);
        return idle();
    }
};

} // namespace

void TestHexWidgetPaint::offsets_beyond_4GiB_keep_two_blanks_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("digits");
    // The row after the last one would need nine digits: it shows none.
    QTest::newRow("4GiB-exactly") << qint64(0x100000000) << 8;
    QTest::newRow("4GiB-plus-16") << qint64(0x100000010) << 9;
    QTest::newRow("1TiB") << (qint64(1) << 40) << 10;
}

// The last row and the one after it: offset digits, two blank cells, then
// the first pair, wherever the columns stand; clicks find the bytes there.
void TestHexWidgetPaint::offsets_beyond_4GiB_keep_two_blanks()
{
    QFETCH(qint64, size);
    QFETCH(int, digits);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!file.resize(size))
        QSKIP("this file system cannot hold the sparse file");
    file.close();
    HexViewFixture f;
    f.hex->open_file(path);
    f.hex->set_selection(size - 1, size - 1);
    QCOMPARE(f.hex->top_row(), (size - 1) / 16);
    QCOMPARE(f.hex->sizeHint().width(), (76 + digits - 8) * f.cw());
    f.hex->resize(f.hex->sizeHint().width(), f.hex->height());
    const QImage image = render(f.hex.get());
    const int hex_start = digits + 2;
    for (int row = 0; row < 2; ++row) {
        const QRect blanks(digits * f.cw() + 1, row * f.lh(), 2 * f.cw() - 2, f.lh());
        QCOMPARE(count_other(image, blanks, window_colour(f.hex.get())), 0);
    }
    QVERIFY(count_other(image, QRect(0, 0, digits * f.cw(), f.lh()), window_colour(f.hex.get())) > 0);
    // The last byte's pair, selected, where the widened layout puts it.
    const int last_column = int((size - 1) % 16);
    QCOMPARE(image.pixelColor((hex_start + 3 * last_column) * f.cw(), f.lh() / 4), black);
    const qint64 row = f.hex->top_row() * 16;
    QCOMPARE(f.hex->offset_at(hex_start * f.cw() - 1, 0), qint64(-1));
    QCOMPARE(f.hex->offset_at((hex_start + 3) * f.cw(), 0), row + 1);
    QCOMPARE(f.hex->offset_at((hex_start + 50) * f.cw(), 0), row);
    f.hex->open_file(pq_test::make_temp_file(100));
    QCOMPARE(f.hex->sizeHint().width(), 76 * f.cw());
}

// No file: no offset rows that would pass for an empty file, only the hint.
void TestHexWidgetPaint::no_file_shows_centred_hint()
{
    HexViewFixture f(21);
    f.hex->set_placeholder_text(QStringLiteral("No file is open."));
    const QColor background = window_colour(f.hex.get());
    QImage image = render(f.hex.get());
    const int w = f.hex->width();
    const int h = f.hex->height();
    QCOMPARE(count_other(image, QRect(0, 0, w / 4, h), background), 0);
    QCOMPARE(count_other(image, QRect(0, 0, w, h / 3), background), 0);
    QVERIFY(count_other(image, QRect(w / 4, h / 3, w / 2, h / 3), background) > 0);

    f.hex->open_file(pq_test::make_temp_file(0));
    image = render(f.hex.get());
    QVERIFY(count_other(image, QRect(0, 0, 8 * f.cw(), f.lh()), background) > 0);
    QCOMPARE(count_other(image, QRect(w / 4, h / 3, w / 2, h / 3), background), 0);
}

void TestHexWidgetPaint::markup_paints_after_mask_update()
{
    HexViewFixture f;
    Marked m;
    // Far from the start, so the mask's first window (placed by any paint of
    // the file's start) does not hold it.
    const qint64 first = 0x8004;
    QVERIFY(m.mark(first, first + 2, QColor(0, 0, 255), QColor(0, 200, 0)));
    f.hex->set_markup_mask(&m.mask);
    QObject::connect(&m.mask, &MarkupMask::update_completed, f.hex.get(),
                     qOverload<>(&QWidget::update));
    f.hex->open_file(pq_test::make_temp_file(0x10000, QByteArray()));
    QVERIFY(m.settle());
    f.hex->set_selection(0x7ff0, 0x7ff0);
    f.hex->clear_selection();

    // The first paint of these rows moves the mask's window and starts the
    // worker, which on a loaded machine may fill row 1 before the paint
    // reaches it: the cell shows no colour or the markup's, nothing else.
    const QColor green(0, 200, 0);
    const QImage before = render(f.hex.get());
    const QColor first_paint = cell(before, f, 1, true, 12);
    QVERIFY2(first_paint == window_colour(f.hex.get()) || first_paint == green,
             qPrintable(first_paint.name()));
    // Waits for the state the paint needs, not for whichever signal comes first.
    QTRY_VERIFY_WITH_TIMEOUT(m.mask.markup_at(first) != nullptr, 10000);
    const QImage image = render(f.hex.get());
    // Bytes 0x8004..0x8006: row 1 of the view, pairs at characters 12..20 and
    // the space after the last pair.
    for (int index = 12; index <= 20; ++index)
        QCOMPARE(cell(image, f, 1, true, index), green);
    QCOMPARE(cell(image, f, 1, true, 11), window_colour(f.hex.get()));
    QCOMPARE(cell(image, f, 1, true, 21), window_colour(f.hex.get()));
    for (int index = 4; index <= 6; ++index)
        QCOMPARE(cell(image, f, 1, false, index), green);
    QCOMPARE(cell(image, f, 1, false, 7), window_colour(f.hex.get()));
    // The text is drawn in the markup's foreground (blended at the edges).
    int blue_text = 0;
    for (int y = f.lh(); y < 2 * f.lh(); ++y)
        for (int x = 22 * f.cw(); x < 24 * f.cw(); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue_text += c.blue() > 150 && c.green() < 120;
        }
    QVERIFY(blue_text > 0);
}

void TestHexWidgetPaint::selection_over_markup()
{
    HexViewFixture f;
    Marked m;
    QVERIFY(m.mark(16, 31, QColor(0, 0, 255), QColor(0, 200, 0)));
    f.hex->set_markup_mask(&m.mask);
    QVERIFY(m.settle());
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->set_selection(18, 18);
    f.bar->setValue(0);
    const QImage image = render(f.hex.get());
    QCOMPARE(cell(image, f, 1, true, 6), black);
    QCOMPARE(cell(image, f, 1, true, 9), QColor(0, 200, 0));
    QCOMPARE(cell(image, f, 1, false, 2), black);
    QCOMPARE(cell(image, f, 1, false, 3), QColor(0, 200, 0));
}

void TestHexWidgetPaint::equal_colours_merge_into_one_run_data()
{
    QTest::addColumn<QColor>("second_background");
    QTest::addColumn<int>("hex_runs");
    QTest::addColumn<int>("char_runs");
    QTest::newRow("same-colours-one-run") << QColor(0, 200, 0) << 2 << 2;
    QTest::newRow("other-colours-two-runs") << QColor(200, 0, 0) << 3 << 3;
}

void TestHexWidgetPaint::equal_colours_merge_into_one_run()
{
    QFETCH(QColor, second_background);
    QFETCH(int, hex_runs);
    QFETCH(int, char_runs);
    HexViewFixture f;
    Marked m;
    QVERIFY(m.mark(16, 19, Qt::blue, QColor(0, 200, 0)));
    QVERIFY(m.mark(20, 23, Qt::blue, second_background));
    f.hex->set_markup_mask(&m.mask);
    QVERIFY(m.settle());
    const QByteArray hex_text("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    const QList<substrS> runs = f.hex->segment_runs(hex_text, 16, true);
    QCOMPARE(runs.size(), hex_runs);
    QVERIFY(runs[0].marked);
    QCOMPARE(runs[0].start, 0);
    QCOMPARE(runs.last().start, 24);
    QVERIFY(!runs.last().marked);
    QCOMPARE(runs.last().text, hex_text.mid(24));
    QByteArray joined;
    for (const substrS &run : runs)
        joined += run.text;
    QCOMPARE(joined, hex_text);
    QCOMPARE(f.hex->segment_runs(QByteArray("0123456789abcdef"), 16, false).size(), char_runs);
}

void TestHexWidgetPaint::runs_split_at_selection_edges()
{
    HexViewFixture f;
    f.hex->set_selection(5, 2);
    const QByteArray text("abcdefghij");
    const QList<substrS> runs = f.hex->segment_runs(text, 0, false);
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs[0].text, QByteArray("ab"));
    QVERIFY(!runs[0].selected);
    QCOMPARE(runs[1].text, QByteArray("cdef"));
    QCOMPARE(runs[1].start, 2);
    QVERIFY(runs[1].selected);
    QCOMPARE(runs[2].text, QByteArray("ghij"));
    QCOMPARE(runs[2].start, 6);
    // Runs compare by look only.
    substrS other = runs[0];
    other.text = "zz";
    other.start = 9;
    QVERIFY(other == runs[0]);
    QVERIFY(other != runs[1]);
    QVERIFY(f.hex->segment_runs(QByteArray(), 0, true).isEmpty());
}

void TestHexWidgetPaint::random_markup_colours_are_readable_data()
{
    QTest::addColumn<QColor>("foreground");
    QTest::newRow("white") << QColor(255, 255, 255);
    QTest::newRow("mid-grey-both-ends-faint") << QColor(118, 118, 118);
    for (quint32 seed = 1; seed <= 64; ++seed) {
        QRandomGenerator random(seed);
        const QColor colour(random.bounded(256), random.bounded(256), random.bounded(256));
        QTest::newRow(qPrintable(QStringLiteral("seed-%1").arg(seed))) << colour;
    }
}

// A random markup colour pair is drawn as text in the foreground on the
// background; whatever the draw, that text reads at 4.5:1 or better.
void TestHexWidgetPaint::random_markup_colours_are_readable()
{
    QFETCH(QColor, foreground);
    // The measure itself against published WCAG figures.
    QCOMPARE(ReadableColours::contrast_ratio(Qt::black, Qt::white), 21.0);
    QCOMPARE(qRound(ReadableColours::contrast_ratio(QColor(0x76, 0x76, 0x76), Qt::white) * 100), 454);
    QCOMPARE(ReadableColours::contrast_ratio(foreground, foreground), 1.0);

    HexViewFixture f;
    Marked m;
    QVERIFY(m.mark(16, 19, foreground, ReadableColours::readable_background(foreground)));
    f.hex->set_markup_mask(&m.mask);
    QVERIFY(m.settle());
    const QList<substrS> runs = f.hex->segment_runs(QByteArray("0123456789abcdef"), 16, false);
    QVERIFY(!runs.isEmpty() && runs[0].marked);
    QCOMPARE(runs[0].foreground, foreground);
    QVERIFY(ReadableColours::contrast_ratio(runs[0].foreground, runs[0].background) >= 4.5);
}

QTEST_MAIN(TestHexWidgetPaint)
#include "tst_hexwidget_paint.moc"
