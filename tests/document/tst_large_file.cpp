#include "document/buffereddocument.h"
#include "documenttesthelpers.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "testsettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr qint64 gib = qint64(1) << 30;
constexpr qint64 file_size = 16 * gib + 5;
constexpr qint64 middle_mark = 8 * gib - 3;  // straddles 8 GiB
constexpr qint64 low_mark = 4 * gib - 2;     // straddles 4 GiB
const QByteArray middle_bytes("\x00\x7F\x80\xFF\x4A\x0A", 6);
const QByteArray low_bytes("FOUR", 4);
const QByteArray tail_bytes("TAIL!", 5);

// Resident memory in KiB, or -1 where the system does not say.
qint64 resident_kib()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
} // namespace

// Offsets beyond 32 bits on a sparse file: nothing is truncated, and the
// whole file never comes into memory.
class TestLargeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
        QVERIFY(dir.isValid());
        path = dir.filePath("sparse.bin");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(file_size)) {
            f.close();
            QFile::remove(path);
            QSKIP("the temporary folder's file system holds no 16 GiB sparse file");
        }
        QVERIFY(f.seek(low_mark));
        QCOMPARE(f.write(low_bytes), qint64(low_bytes.size()));
        QVERIFY(f.seek(middle_mark));
        QCOMPARE(f.write(middle_bytes), qint64(middle_bytes.size()));
        QVERIFY(f.seek(file_size - tail_bytes.size()));
        QCOMPARE(f.write(tail_bytes), qint64(tail_bytes.size()));
        f.close();
        QCOMPARE(QFileInfo(path).size(), file_size);
    }

    void cleanupTestCase()
    {
        QFile::remove(path);
        QVERIFY(!QFile::exists(path));
    }

    void rows_beyond_32_bits_data()
    {
        QTest::addColumn<qint64>("pos");
        QTest::addColumn<int>("len");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("across-4-gib") << low_mark - 1 << 6 << QByteArray("\0FOUR\0", 6);
        QTest::newRow("across-8-gib") << middle_mark << 6 << middle_bytes;
        QTest::newRow("hole-after-8-gib") << middle_mark + 6 << 16 << QByteArray(16, '\0');
        QTest::newRow("cut-at-end") << file_size - 5 << 16 << tail_bytes;
        QTest::newRow("past-end") << file_size << 16 << QByteArray();
    }

    void rows_beyond_32_bits()
    {
        QFETCH(qint64, pos);
        QFETCH(int, len);
        QFETCH(QByteArray, expected);
        HexDocument doc;
        doc.open(path);
        QCOMPARE(doc.size(), file_size);
        doc.load(pos, len);
        QCOMPARE(doc.row_size(), expected.size());
        QString hex;
        for (char c : expected)
            hex += QString::asprintf("%02X ", unsigned(static_cast<unsigned char>(c)));
        QCOMPARE(QString::fromStdString(doc.to_hex()), hex.trimmed());
        if (doc.row_size() > 0) {
            const qint64 start = doc.buffered_document()->window_start();
            QVERIFY(start <= pos && pos < start + 65536);
            QCOMPARE(doc.buffered_document()->window_valid(), 65536);
        }
    }

    void iterator_walks_beyond_32_bits()
    {
        const qint64 before = resident_kib();
        BufferedDocument doc;
        doc.open(path.toUtf8().toStdString());
        const file_iterator first(&doc);
        const file_iterator last = first.end();
        QCOMPARE(last.position(), file_size);
        QCOMPARE(last - first, std::ptrdiff_t(file_size));

        QByteArray seen;
        for (file_iterator it = first + middle_mark; it != first + (middle_mark + 6); ++it)
            seen += *it;
        QCOMPARE(seen, middle_bytes);
        QByteArray around4;
        for (file_iterator it = first + (low_mark + 3); it.position() >= low_mark - 1; --it)
            around4.prepend(*it);
        QCOMPARE(around4, QByteArray("\0FOUR", 5));
        QCOMPARE(last[-1], '!');
        QCOMPARE(*(last - 5), 'T');
        QCOMPARE((first + middle_mark).progress_value(), 4999);
        QCOMPARE((first + 8 * gib).progress_value(), 4999);
        QCOMPARE(last.progress_value(), 10000);

        // Walk two windows' worth of the hole across 12 GiB.
        int nonzero = 0;
        file_iterator it = first + (12 * gib - 65536);
        for (int i = 0; i < 131072; ++i, ++it)
            nonzero += *it != 0;
        QCOMPARE(nonzero, 0);
        QVERIFY(doc.window_start() > 12 * gib - 65536);

        const qint64 after = resident_kib();
        if (before < 0 || after < 0)
            QSKIP("no resident memory figure on this system");
        QVERIFY2(after - before < 8 * 1024, qPrintable(QString("grew by %1 KiB").arg(after - before)));
    }

private:
    QTemporaryDir dir;
    QString path;
};

QTEST_GUILESS_MAIN(TestLargeFile)
#include "tst_large_file.moc"
