#include "overview/byteclassifier.h"
#include "overview/overviewworker.h"
#include "testsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <memory>

class TestOverviewWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }
    void exact_pass_data();
    void exact_pass();
    void stop_before_counting();
};

void TestOverviewWorker::exact_pass_data()
{
    QTest::addColumn<int>("slices");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("first_slice");

    QTest::newRow("one-thread") << 37 << 1 << 0;
    QTest::newRow("three-threads-wrapping") << 37 << 3 << 30;
    QTest::newRow("more-threads-than-slices") << 2 << 8 << 1;
    QTest::newRow("one-per-core") << 37 << 0 << 0;
}

// Whatever the number of threads and the slice it starts at, every slice
// gets exactly what counting its bytes (edits applied) gives.
void TestOverviewWorker::exact_pass()
{
    QFETCH(int, slices);
    QFETCH(int, threads);
    QFETCH(int, first_slice);

    // Slices longer than a block, of zeros, text and random bytes.
    const int part = int(OverviewWorker::block_size) + 4097;
    QByteArray random(part, '\0');
    QRandomGenerator generator(3);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), part / 4);
    QByteArray bytes = QByteArray(part, '\0') + QByteArray("text\n").repeated(part / 5) + random;
    QMap<qint64, quint8> edits { { 0, 0x41 }, { part + 7, 0x00 }, { bytes.size() - 1, 0xff } };
    const QString path = pq_test::make_temp_file(0, bytes);
    for (auto it = edits.cbegin(); it != edits.cend(); ++it)
        bytes[int(it.key())] = char(it.value());

    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(handle >= 0);
    std::unique_ptr<std::atomic<quint16>[]> store(new std::atomic<quint16>[size_t(slices)]);
    for (int i = 0; i < slices; ++i)
        store[i].store(0);
    OverviewWorker::Job job;
    job.handle = handle;
    job.geometry = SliceGeometry(bytes.size(), slices);
    job.edits = edits;
    job.slices = store.get();
    job.first_slice = first_slice;
    job.threads = threads;
    OverviewWorker worker;
    worker.set_job(job);
    worker.start();
    QVERIFY(worker.wait(60000));
    ::close(handle);

    for (int i = 0; i < slices; ++i) {
        ByteClassifier oracle;
        oracle.add(bytes.constData() + job.geometry.first(i), job.geometry.length(i));
        const quint16 value = store[i].load();
        QVERIFY2(value & OverviewWorker::exact_flag, qPrintable(QString::number(i)));
        QCOMPARE(ByteClass(value >> OverviewWorker::class_shift & 0x7), oracle.byte_class());
        QCOMPARE(int(value & OverviewWorker::entropy_mask), int(std::lround(oracle.entropy() * 32)));
    }
}

// A stop asked for when the first picture is done leaves every slice sampled
// and none counted, on every thread.
void TestOverviewWorker::stop_before_counting()
{
    const int slices = 16;
    const QString path = pq_test::make_temp_file(qint64(16) << 20);
    const int handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(handle >= 0);
    std::unique_ptr<std::atomic<quint16>[]> store(new std::atomic<quint16>[size_t(slices)]);
    for (int i = 0; i < slices; ++i)
        store[i].store(0);
    OverviewWorker::Job job;
    job.handle = handle;
    job.geometry = SliceGeometry(QFileInfo(path).size(), slices);
    job.slices = store.get();
    job.threads = 4;
    OverviewWorker worker;
    worker.set_job(job);
    connect(&worker, &OverviewWorker::first_picture, &worker, &OverviewWorker::request_stop,
            Qt::DirectConnection);
    worker.start();
    QVERIFY(worker.wait(60000));
    ::close(handle);
    for (int i = 0; i < slices; ++i) {
        QVERIFY(store[i].load() != 0);
        QVERIFY(!(store[i].load() & OverviewWorker::exact_flag));
    }
}

QTEST_GUILESS_MAIN(TestOverviewWorker)
#include "tst_overviewworker.moc"
