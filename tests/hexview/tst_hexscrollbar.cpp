#include "hexviewfixture.h"
#include "testsettings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

// The row mapping of the scroll bar, and navigation of a file too large for
// one row per scroll step (a sparse 1 TiB file).
class TestHexScrollBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void row_range_data();
    void row_range();
    void plain_range_means_one_row_per_step();
    void page_rows();
    void open_file_sets_range_and_clamps_view();
    void dragging_the_bar_moves_the_view();

    void huge_file_navigation();

private:
    static constexpr qint64 tebibyte = qint64(1) << 40;
};

void TestHexScrollBar::initTestCase()
{
    pq_test::isolate_settings();
}

void TestHexScrollBar::row_range_data()
{
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<qint64>("step");
    QTest::newRow("empty-file") << qint64(0) << qint64(1);
    QTest::newRow("small") << qint64(10) << qint64(1);
    QTest::newRow("int-max-minus-one") << qint64(INT_MAX) - 1 << qint64(1);
    QTest::newRow("int-max-exactly") << qint64(INT_MAX) << qint64(1);
    QTest::newRow("int-max-plus-one") << qint64(INT_MAX) + 1 << qint64(2);
    QTest::newRow("one-tebibyte") << (qint64(1) << 36) << qint64(33);
    QTest::newRow("largest-file") << (qint64(LLONG_MAX) / 16) << qint64(LLONG_MAX / 16 / INT_MAX + 1);
}

void TestHexScrollBar::row_range()
{
    QFETCH(qint64, rows);
    QFETCH(qint64, step);
    HexScrollBar bar;
    bar.set_row_range(rows);
    QCOMPARE(bar.rows_per_step(), step);
    QCOMPARE(bar.maximum_row(), rows);
    QCOMPARE(bar.minimum(), 0);
    if (step == 1)
        QCOMPARE(qint64(bar.maximum()), rows);
    // Both ends are reachable exactly.
    QCOMPARE(bar.row_at(0), qint64(0));
    QCOMPARE(bar.row_at(bar.maximum()), rows);
    QCOMPARE(bar.value_for_row(0), 0);
    QCOMPARE(bar.value_for_row(rows), bar.maximum());
    // Out-of-range rows clamp.
    QCOMPARE(bar.value_for_row(-5), 0);
    QCOMPARE(bar.value_for_row(rows + 100), bar.maximum());
    // Every value stands for a row that maps back to it, in order.
    const int maximum = bar.maximum();
    qint64 previous = -1;
    for (int value : {0, 1, 2, maximum / 3, maximum / 2, maximum - 2, maximum - 1, maximum}) {
        if (value < 0 || value > maximum)
            continue;
        const qint64 row = bar.row_at(value);
        QVERIFY(row >= previous);
        QVERIFY(row <= rows);
        QCOMPARE(bar.value_for_row(row), value);
        if (value > 0 && value < maximum)
            QCOMPARE(row, qint64(value) * step);
        previous = row;
    }
}

void TestHexScrollBar::plain_range_means_one_row_per_step()
{
    HexScrollBar bar;
    bar.set_row_range(qint64(1) << 36);
    QVERIFY(bar.rows_per_step() > 1);
    bar.setRange(0, 50);
    QCOMPARE(bar.rows_per_step(), qint64(1));
    QCOMPARE(bar.maximum_row(), qint64(50));
    QCOMPARE(bar.row_at(7), qint64(7));
    QCOMPARE(bar.value_for_row(49), 49);
}

void TestHexScrollBar::page_rows()
{
    HexScrollBar bar;
    bar.set_row_range(1000);
    bar.set_page_rows(30);
    QCOMPARE(bar.pageStep(), 29);
    bar.set_page_rows(1);
    QCOMPARE(bar.pageStep(), 1);
}

void TestHexScrollBar::open_file_sets_range_and_clamps_view()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(32));
    QCOMPARE(f.bar->maximum(), 2);
    f.hex->open_file(pq_test::make_temp_file(31));
    QCOMPARE(f.bar->maximum(), 1);
    f.hex->open_file(pq_test::make_temp_file(16 * 1000));
    f.hex->set_selection(16 * 900, 16 * 900);
    QCOMPARE(f.hex->top_row(), qint64(900));
    // Another file starts at its top, whatever the last one showed.
    f.hex->open_file(pq_test::make_temp_file(16 * 20 + 3));
    QCOMPARE(f.bar->maximum(), 20);
    QCOMPARE(f.bar->value(), 0);
    QCOMPARE(f.hex->top_row(), qint64(0));
    // An empty file: range 0..0.
    f.hex->open_file(pq_test::make_temp_file(0, QByteArray()));
    QCOMPARE(f.bar->maximum(), 0);
    QCOMPARE(f.hex->top_row(), qint64(0));
}

void TestHexScrollBar::dragging_the_bar_moves_the_view()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(16 * 100));
    f.bar->setValue(42);
    QCOMPARE(f.hex->top_row(), qint64(42));
    f.bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(f.hex->top_row(), qint64(42 + f.hex->visible_rows() - 1));
}

void TestHexScrollBar::huge_file_navigation()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sparse.bin"));
    const qint64 size = tebibyte;
    const qint64 target = size - 21;   // 0xFFFFFFFFEB, row 0xFFFFFFFFE
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(size))
            QSKIP("the temporary folder cannot hold a sparse 1 TiB file");
        QByteArray jump(8, '\0');
        for (int i = 0; i < 8; ++i)
            jump[i] = char((quint64(target) >> (8 * (7 - i))) & 0xFF);
        QVERIFY(file.seek(0));
        QCOMPARE(file.write(jump), qint64(8));
        QVERIFY(file.seek(target));
        QVERIFY(file.putChar('\x42'));
        QVERIFY(file.seek(size - 1));
        QVERIFY(file.putChar('\x7e'));
    }

    HexViewFixture f;
    f.hex->open_file(path);
    const int rows = f.hex->visible_rows();
    QCOMPARE(f.bar->maximum_row(), size / 16);
    QVERIFY(f.bar->rows_per_step() > 1);

    // The last byte: its row comes to the top and its value reads back.
    f.hex->set_selection(size - 1, size - 1);
    QCOMPARE(f.hex->top_row(), (size - 1) / 16);
    QCOMPARE(f.hex->selection_text(), QStringLiteral("7e"));
    QCOMPARE(f.hex->offset_at(f.hex_point(size - 1).x(), f.hex_point(size - 1).y()), size - 1);
    // Below the last byte the pointer still means the last byte.
    QCOMPARE(f.hex->offset_at(f.hex_point(0).x(), 3 * f.lh() + 1), size - 1);

    // A jump to an offset held in the first eight bytes.
    f.hex->set_selection(0, 7);
    QCOMPARE(f.hex->top_row(), qint64(0));
    f.hex->big_endian_jump();
    QCOMPARE(f.hex->selection_start(), target);
    QCOMPARE(f.hex->top_row(), target / 16);
    QCOMPARE(f.hex->selection_text(), QStringLiteral("42"));
    // The bytes read back in the opposite order are far past the end.
    f.hex->set_selection(0, 7);
    f.hex->little_endian_jump();
    QCOMPARE(f.hex->selection_start(), qint64(0));
    QVERIFY(f.message().contains(QStringLiteral("0xEBFFFFFFFF000000")));

    // Keys and wheel move by rows, not by scroll steps.
    f.hex->set_selection(target, target);
    const qint64 top = f.hex->top_row();
    f.hex->set_selection(target + 16 * (rows - 1), target + 16 * (rows - 1));
    f.hex->set_selection(target, target);
    QCOMPARE(f.hex->top_row(), top);
    for (int i = 0; i < rows; ++i)
        QTest::keyClick(f.hex.get(), Qt::Key_Down);
    QCOMPARE(f.hex->top_row(), top + 1);
    QWheelEvent wheel(QPointF(5, 5), f.hex->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.hex.get(), &wheel);
    QCOMPARE(f.hex->top_row(), top - 2);

    // Dragging the bar: the ends land exactly on the first and last rows.
    f.bar->setValue(f.bar->maximum());
    QCOMPARE(f.hex->top_row(), size / 16);
    f.bar->setValue(0);
    QCOMPARE(f.hex->top_row(), qint64(0));
    f.bar->setValue(f.bar->maximum() / 2);
    QCOMPARE(f.hex->top_row(), f.bar->row_at(f.bar->maximum() / 2));

    // PageDown past the end clamps the view to the last row.
    f.hex->set_selection(size - 5, size - 5);
    QTest::keyClick(f.hex.get(), Qt::Key_PageDown);
    QCOMPARE(f.hex->selection_start(), size - 5 + 16 * rows);
    QCOMPARE(f.hex->top_row(), size / 16);

    // An edit beyond 4 GiB saves to the right byte.
    f.hex->edit_triggered();
    f.hex->set_selection(size - 2, size - 2);
    QTest::keyClicks(f.hex.get(), QStringLiteral("ab"));
    QVERIFY(f.hex->save_edits(QString()));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.size(), size);
        QVERIFY(file.seek(size - 3));
        QCOMPARE(file.read(3), QByteArray("\x00\xab\x7e", 3));
    }
    f.hex->set_selection(size - 3, size - 1);
    QCOMPARE(f.hex->selection_text(), QStringLiteral("00ab7e"));
    f.hex.reset();
    QVERIFY(QFile::remove(path));
}

QTEST_MAIN(TestHexScrollBar)
#include "tst_hexscrollbar.moc"
