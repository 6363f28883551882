#include "documenttesthelpers.h"
#include "document/documentfailure.h"
#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "search/searchengine.h"
#include "testsettings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <array>
#include <string>

// find_bytes reads its bytes in blocks and reports once per block; the
// Boyer-Moore scan written out plainly over file_iterator is the oracle for
// what it finds and where it leaves the iterator on a hit. Its reports must
// still move forward through the file, and a cancel must strike at the next
// report whatever phase the iterators' shared step counter is in.
namespace {

bool plain_find_bytes(file_iterator &from, const file_iterator &to, match_range &result,
                      const std::string &pattern)
{
    const int m = int(pattern.size());
    if (m == 0)
        return false;
    std::array<int, 256> table;
    table.fill(m);
    for (int i = 0; i <= m - 2; ++i)
        table[static_cast<unsigned char>(pattern[size_t(i)])] = m - 1 - i;
    int shift = m - 1;
    for (;;) {
        from += shift;
        if (!(from < to)) {
            result.no_match = true;
            return false;
        }
        int i = m - 1;
        while (*from == pattern[size_t(i)]) {
            if (i == 0) {
                result.first = from.position();
                result.end = result.first + m;
                result.no_match = false;
                return true;
            }
            --from;
            --i;
        }
        const unsigned char c = static_cast<unsigned char>(*from);
        shift = std::max(table[c], m - i);
    }
}

using Finder = bool (*)(file_iterator &, const file_iterator &, match_range &, const std::string &);

// Small blocks: hundreds of joins in a megabyte, several reports in the
// cancel tests' file.
constexpr qint64 test_block = 4096;

bool block_find_bytes(file_iterator &from, const file_iterator &to, match_range &result,
                      const std::string &pattern)
{
    return find_bytes(from, to, result, pattern, test_block);
}

struct Run
{
    QList<int> reports;
    bool found = false;
    qint64 first = -1;
    qint64 from_after = -1;
    std::string thrown;

    // The same outcome; the reports and where a miss leaves the iterator
    // are the scan's own business.
    bool operator==(const Run &o) const
    {
        return found == o.found && first == o.first && thrown == o.thrown
            && (!found || from_after == o.from_after);
    }
};

char *to_string_run(const Run &r)
{
    QString text = QString("found %1 first %2 from %3 thrown '%4' reports %5:")
                       .arg(r.found)
                       .arg(r.first)
                       .arg(r.from_after)
                       .arg(QString::fromStdString(r.thrown))
                       .arg(r.reports.size());
    for (int i = 0; i < qMin(12, int(r.reports.size())); ++i)
        text += ' ' + QString::number(r.reports.at(i));
    return qstrdup(qPrintable(text));
}

} // namespace

class TestFindBytesMoves : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void same_movements_data();
    void same_movements();
    void same_point_of_cancel_data();
    void same_point_of_cancel();
    void shrunk_file_ends_the_scan();

private:
    // Leaves the shared step counter `phase` movements past a report.
    void set_phase(HexDocument &doc, int phase);
    Run run(Finder finder, HexDocument &doc, qint64 start, const std::string &pattern);
};

void TestFindBytesMoves::initTestCase()
{
    pq_test::isolate_settings();
}

void TestFindBytesMoves::cleanup()
{
    file_anchor::instance()->clear();
}

void TestFindBytesMoves::set_phase(HexDocument &doc, int phase)
{
    QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
    file_iterator probe = doc.begin();
    for (int guard = 0; spy.isEmpty() && guard < 200; ++guard)
        ++probe;
    QVERIFY(!spy.isEmpty());
    for (int i = 0; i < phase; ++i)
        ++probe;
}

Run TestFindBytesMoves::run(Finder finder, HexDocument &doc, qint64 start, const std::string &pattern)
{
    Run r;
    QList<int> reports;
    auto connection = connect(file_anchor::instance(), &file_anchor::iterator_changed, this,
                              [&](int value) { reports.append(value); });
    file_iterator from = doc.iterator_at(start);
    match_range result;
    try {
        r.found = finder(from, doc.end(), result, pattern);
    } catch (const std::string &failure) {
        r.thrown = failure;
    }
    disconnect(connection);
    r.reports = reports;
    r.first = r.found ? result.first : -1;
    r.from_after = from.position();
    return r;
}

void TestFindBytesMoves::same_movements_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<qint64>("start");

    // 10,000 bytes: each report is the position itself.
    QTest::newRow("one-byte-absent") << 10000 << 4 << QByteArray("\x7f") << qint64(0);
    QTest::newRow("one-byte-present") << 10000 << 200 << QByteArray("\x05") << qint64(3);
    QTest::newRow("two-bytes-small-alphabet") << 10000 << 2 << QByteArray("\x01\x00", 2) << qint64(0);
    QTest::newRow("periodic-pattern") << 10000 << 2 << QByteArray("\x00\x01\x00\x01\x00", 5) << qint64(7);
    QTest::newRow("sixteen-bytes") << 10000 << 256 << QByteArray("0123456789abcdef") << qint64(0);
    QTest::newRow("repeated-byte-pattern") << 10000 << 3 << QByteArray(6, '\x01') << qint64(1);
    // Over a megabyte: the scan crosses the blocks it reads.
    // Over a megabyte: the scan crosses the blocks it reads. The pattern holds
    // a byte the random data lacks, so the first hit is the planted one.
    QTest::newRow("one-byte-across-blocks") << 1200000 << 200 << QByteArray("\xfe") << qint64(0);
    QTest::newRow("three-bytes-across-blocks") << 1200000 << 2 << QByteArray("\x01\x02\x01") << qint64(0);
}

void TestFindBytesMoves::same_movements()
{
    QFETCH(int, size);
    QFETCH(int, alphabet);
    QFETCH(QByteArray, pattern);
    QFETCH(qint64, start);

    QRandomGenerator random(quint32(size + alphabet * 7 + pattern.size()));
    QByteArray data(size, '\0');
    for (char &c : data)
        c = char(random.bounded(alphabet));
    // A hit far from the start, and one straddling a megabyte.
    if (size > 9000)
        data.replace(size - 900, pattern.size(), pattern);
    // Straddling the first megabyte's end, or just past it for one byte.
    if (size > (1 << 20))
        data.replace(pattern.size() == 1 ? (1 << 20) + 5 : (1 << 20) - 1, pattern.size(), pattern);
    HexDocument doc;
    doc.open(pq_test::make_temp_file(0, data));
    const std::string needle = pattern.toStdString();

    for (int phase = 0; phase < 101; ++phase) {
        set_phase(doc, phase);
        const Run plain = run(plain_find_bytes, doc, start, needle);
        set_phase(doc, phase);
        const Run ours = run(block_find_bytes, doc, start, needle);
        // Progress only moves forward, never past the hit, and reaches the
        // end of the file on a miss.
        QVERIFY(!ours.reports.isEmpty());
        QVERIFY(std::is_sorted(ours.reports.begin(), ours.reports.end()));
        const qint64 last_report = qint64(ours.reports.last()) * size / 10000;
        if (ours.found)
            QVERIFY(last_report <= ours.first + 1);
        else
            QVERIFY(size - last_report <= test_block + 1);
        if (!(ours == plain)) {
            QFAIL(qPrintable(QString("phase %1\n  ours : %2\n  plain: %3")
                                 .arg(phase)
                                 .arg(to_string_run(ours))
                                 .arg(to_string_run(plain))));
        }
    }
}

void TestFindBytesMoves::same_point_of_cancel_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::newRow("one-byte") << QByteArray("z");
    QTest::newRow("four-bytes") << QByteArray("zyxw");
}

void TestFindBytesMoves::same_point_of_cancel()
{
    QFETCH(QByteArray, pattern);
    HexDocument doc;
    doc.open(pq_test::make_temp_file(0, QByteArray(300000, 'a')));
    for (int phase : {0, 1, 50, 100}) {
        for (int cancel_after : {1, 5}) {
            Run runs[2];
            const Finder finders[2] = {plain_find_bytes, block_find_bytes};
            for (int k = 0; k < 2; ++k) {
                set_phase(doc, phase);
                int seen = 0;
                auto connection = connect(file_anchor::instance(), &file_anchor::iterator_changed, this,
                                          [&] {
                                              if (++seen == cancel_after)
                                                  file_anchor::instance()->cancel();
                                          });
                runs[k] = run(finders[k], doc, 11, pattern.toStdString());
                disconnect(connection);
                file_anchor::instance()->clear();
            }
            QCOMPARE(runs[1].thrown, std::string("operation cancelled"));
            QCOMPARE(runs[1].reports.size(), cancel_after);
            QVERIFY(runs[1] == runs[0]);
            // Stopped on the block it did not read, past the one it did.
            QVERIFY(runs[1].from_after > 11);
            QVERIFY(runs[1].from_after < 300000);
        }
    }
}

void TestFindBytesMoves::shrunk_file_ends_the_scan()
{
    // Longer than the document's window, which still holds bytes of the
    // file as it was: the scan by iterator fails once it leaves the window.
    QByteArray data(200000, 'a');
    data.replace(150000, 3, "xyz");
    const QString path = pq_test::make_temp_file(0, data);
    HexDocument doc;
    doc.open(path);
    const file_iterator end = doc.end();
    QVERIFY(QFile::resize(path, 3000));

    // In a search's walk the first read past the new end ends the scan.
    Run runs[2];
    const Finder finders[2] = {plain_find_bytes, block_find_bytes};
    for (int k = 0; k < 2; ++k) {
        pq_test::StdoutCapture quiet;
        file_iterator::start_walk(file_iterator::FailedRead::ends_walk);
        file_iterator from = doc.begin();
        match_range result;
        try {
            runs[k].found = finders[k](from, end, result, "xyz");
        } catch (const std::string &failure) {
            runs[k].thrown = failure;
        }
        file_iterator::end_walk();
        runs[k].from_after = from.position();
    }
    QCOMPARE(runs[1].thrown, std::string("block request beyond EOF"));
    QVERIFY(runs[1] == runs[0]);
    // On the block it could not read.
    QCOMPARE(runs[1].from_after, qint64(0));
}

QTEST_GUILESS_MAIN(TestFindBytesMoves)
#include "tst_findbytesmoves.moc"
