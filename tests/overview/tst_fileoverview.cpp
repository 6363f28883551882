#include "editedfile/editedfile.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "overview/fileoverview.h"
#include "testsettings.h"

#include <QColor>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

// Four quarters: zeros, text, random bytes, one repeated byte.
QByteArray quarters(int quarter)
{
    QByteArray random(quarter, '\0');
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), quarter / 4);
    return QByteArray(quarter, '\0') + QByteArray("Some text, line by line.\n").repeated(quarter / 25 + 1).left(quarter)
           + random + QByteArray(quarter, '\xaa');
}

const QList<ByteClass> quarter_classes = { ByteClass::repeated, ByteClass::text, ByteClass::random,
                                           ByteClass::repeated };

// A sparse file of `size` zeros.
QString sparse_file(qint64 size)
{
    const QString path = pq_test::make_temp_file(0, "x");
    QFile file(path);
    if (!file.resize(size))
        return QString();
    return path;
}

} // namespace

class TestFileOverview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }
    void follows_file();
    void markup_bands();
};

void TestFileOverview::follows_file()
{
    const int quarter = 1 << 20;
    EditedFile file;
    FileOverview overview(&file);
    QSignalSpy completed(&overview, &FileOverview::completed);
    overview.set_slice_count(8);

    // A file that takes a while to count, cut short by opening a small one:
    // the overview is the small file's, counted exactly, and only it completed.
    const QString slow = pq_test::make_temp_file(qint64(64) << 20);
    QVERIFY(file.open(slow));
    QCoreApplication::processEvents();
    QVERIFY(overview.is_running());
    QVERIFY(file.open(pq_test::make_temp_file(0, quarters(quarter))));
    QVERIFY(completed.wait(20000));
    QCOMPARE(completed.count(), 1);
    QCOMPARE(overview.geometry().size(), qint64(4) * quarter);
    for (int i = 0; i < 8; ++i) {
        QVERIFY(overview.slice(i).exact);
        QCOMPARE(overview.slice(i).byte_class, quarter_classes.at(i / 2));
    }
    QCOMPARE(overview.slice(0).entropy, 0.0);
    QVERIFY(overview.slice(4).entropy > 7.9);

    // An edit in the last slice is counted again, edits applied.
    QVERIFY(file.type_byte(qint64(4) * quarter - 1, 0x00, {}, {}));
    QVERIFY(!overview.slice(7).exact);
    QVERIFY(completed.wait(20000));
    QCOMPARE(overview.slice(7).byte_class, ByteClass::binary);
    QCOMPARE(overview.slice(6).byte_class, ByteClass::repeated);

    // Fewer bytes than slices: one slice per byte.
    overview.set_slice_count(1000);
    QVERIFY(file.open(pq_test::make_temp_file(0, QByteArray("ab\0", 3))));
    QVERIFY(completed.wait(20000));
    QCOMPARE(overview.geometry().count(), 3);
    QCOMPARE(overview.slice(2).byte_class, ByteClass::repeated);

    // A sparse 1 TiB file is counted through its holes.
    QVERIFY(file.open(sparse_file(qint64(1) << 40)));
    QVERIFY(completed.wait(20000));
    QCOMPARE(overview.slice(999).byte_class, ByteClass::repeated);

    // Closing stops the pass at once and leaves nothing to show.
    QVERIFY(file.open(slow));
    QCoreApplication::processEvents();
    QVERIFY(overview.is_running());
    QVERIFY(!file.open(QStringLiteral("/nonexistent/file")));
    QCOMPARE(overview.geometry().count(), 0);
    QCoreApplication::processEvents();
    QVERIFY(!overview.is_running());
    QCOMPARE(completed.count(), 4);
}

void TestFileOverview::markup_bands()
{
    EditedFile file;
    FileOverview overview(&file);
    overview.set_slice_count(10);
    QVERIFY(file.open(pq_test::make_temp_file(1000)));
    QCoreApplication::processEvents();
    QVERIFY(file.mark(95, 105));
    QVERIFY(file.mark(990, 999));
    MarkupNode *root = file.markup_model()->root();
    file.markup_tree()->set_colours(root->child(0), Qt::black, QColor(0xff0000));
    file.markup_tree()->set_colours(root->child(1), Qt::black, QColor(0x00ff00));
    const QVector<QRgb> bands = overview.markup_bands();
    QCOMPARE(bands.size(), 10);
    QCOMPARE(bands.at(0), QColor(0xff0000).rgb());
    QCOMPARE(bands.at(1), QColor(0xff0000).rgb());
    QCOMPARE(bands.at(2), QRgb(0));
    QCOMPARE(bands.at(9), QColor(0x00ff00).rgb());
}

QTEST_GUILESS_MAIN(TestFileOverview)
#include "tst_fileoverview.moc"
