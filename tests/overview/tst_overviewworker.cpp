#include "overview/byteclassifier.h"
#include "overview/overviewworker.h"
#include "testsettings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <vector>

class TestOverviewWorker : public QObject
{
    Q_OBJECT

private slots:
    void exact_pass_data();
    void exact_pass();
};

void TestOverviewWorker::exact_pass_data()
{
    QTest::addColumn<int>("slices");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("first_slice");
    QTest::addColumn<bool>("stop_at_first_picture");

    QTest::newRow("one-thread") << 37 << 1 << 0 << false;
    QTest::newRow("one-per-core") << 37 << 0 << 0 << false;
    QTest::newRow("three-threads-wrapping") << 37 << 3 << 30 << false;
    QTest::newRow("more-threads-than-slices") << 2 << 8 << 1 << false;
    QTest::newRow("stopped-before-counting") << 37 << 4 << 0 << true;
}

// Whatever the number of threads and the slice it starts at, every slice
// gets exactly what counting its bytes (edits applied) gives; a stop asked
// for when the first picture is done leaves every slice sampled and none
// counted, on every thread.
void TestOverviewWorker::exact_pass()
{
    QFETCH(int, slices);
    QFETCH(int, threads);
    QFETCH(int, first_slice);
    QFETCH(bool, stop_at_first_picture);

    // Slices longer than a block, of zeros, text and random bytes.
    const int part = int(OverviewWorker::block_size) + 4097;
    QByteArray random(part, '\0');
    QRandomGenerator generator(3);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), part / 4);
    QByteArray bytes = QByteArray(part, '\0') + QByteArray("text\n").repeated(part / 5) + random;
    const QMap<qint64, quint8> edits { { 0, 0x41 }, { part + 7, 0x00 }, { bytes.size() - 1, 0xff } };
    const QString path = pq_test::make_temp_file(0, bytes);
    for (auto it = edits.cbegin(); it != edits.cend(); ++it)
        bytes[int(it.key())] = char(it.value());

    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(handle >= 0);
    std::vector<std::atomic<quint16>> store(static_cast<size_t>(slices));
    OverviewWorker::Job job;
    job.handle = handle;
    job.geometry = SliceGeometry(bytes.size(), slices);
    job.edits = edits;
    job.slices = store.data();
    job.first_slice = first_slice;
    job.threads = threads;
    OverviewWorker worker;
    worker.set_job(job);
    if (stop_at_first_picture)
        connect(&worker, &OverviewWorker::first_picture, &worker, &OverviewWorker::request_stop,
                Qt::DirectConnection);
    worker.start();
    QVERIFY(worker.wait(60000));
    ::close(handle);

    for (int i = 0; i < slices; ++i) {
        const quint16 value = store[i].load();
        QVERIFY(value != 0);
        QCOMPARE(bool(value & OverviewWorker::exact_flag), !stop_at_first_picture);
        if (stop_at_first_picture)
            continue;
        ByteClassifier oracle;
        oracle.add(bytes.constData() + job.geometry.first(i), job.geometry.length(i));
        QCOMPARE(ByteClass(value >> OverviewWorker::class_shift & 0x7), oracle.byte_class());
        QCOMPARE(int(value & OverviewWorker::entropy_mask), int(std::lround(oracle.entropy() * 32)));
    }
}

QTEST_GUILESS_MAIN(TestOverviewWorker)
#include "tst_overviewworker.moc"
