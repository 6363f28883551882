#include "overview/slicegeometry.h"

#include <QTest>

class TestSliceGeometry : public QObject
{
    Q_OBJECT

private slots:
    void slices_data();
    void slices();
};

void TestSliceGeometry::slices_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<int>("count");

    QTest::newRow("empty-file") << qint64(0) << 800 << 0;
    QTest::newRow("one-byte") << qint64(1) << 800 << 1;
    QTest::newRow("smaller-than-strip") << qint64(300) << 800 << 300;
    QTest::newRow("size-equals-strip") << qint64(800) << 800 << 800;
    QTest::newRow("one-byte-more") << qint64(801) << 800 << 800;
    QTest::newRow("uneven-end") << qint64(1000003) << 7 << 7;
    QTest::newRow("wanted-zero") << qint64(10) << 0 << 1;
    QTest::newRow("beyond-4-gib") << (qint64(5) << 30) + 13 << 1021 << 1021;
    QTest::newRow("one-tib") << (qint64(1) << 40) << 1000 << 1000;
    QTest::newRow("near-int64-max") << std::numeric_limits<qint64>::max() - 5 << 4099 << 4099;
}

void TestSliceGeometry::slices()
{
    QFETCH(qint64, size);
    QFETCH(int, wanted);
    QFETCH(int, count);

    const SliceGeometry geometry(size, wanted);
    QCOMPARE(geometry.count(), count);
    QCOMPARE(geometry.first(0), qint64(0));
    QCOMPARE(geometry.first(count), size);
    if (count == 0) {
        QCOMPARE(geometry.slice_of(0), -1);
        return;
    }
    const qint64 shortest = size / count;
    for (int i = 0; i < count; ++i) {
        const qint64 length = geometry.length(i);
        QVERIFY2(length == shortest || length == shortest + 1, qPrintable(QString::number(i)));
        QCOMPARE(geometry.slice_of(geometry.first(i)), i);
        QCOMPARE(geometry.slice_of(geometry.first(i + 1) - 1), i);
    }
    // Offsets outside the file clamp to the end slices.
    QCOMPARE(geometry.slice_of(-1), 0);
    QCOMPARE(geometry.slice_of(size - 1), count - 1);
    QCOMPARE(geometry.slice_of(size), count - 1);
}

QTEST_GUILESS_MAIN(TestSliceGeometry)
#include "tst_slicegeometry.moc"
