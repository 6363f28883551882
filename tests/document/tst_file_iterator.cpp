#include "document/buffereddocument.h"
#include "documenttesthelpers.h"
#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "testsettings.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <type_traits>

using pq_test::thrown_text;

static_assert(std::is_same_v<std::iterator_traits<file_iterator>::iterator_category,
                             std::random_access_iterator_tag>,
              "the regex matcher scales its state limit only for random access");
static_assert(std::is_same_v<std::iterator_traits<file_iterator>::value_type, char>);
static_assert(sizeof(std::iterator_traits<file_iterator>::difference_type) == sizeof(qint64),
              "differences must span files beyond 4 GiB");

namespace {
std::string utf8(const QString &path)
{
    return path.toUtf8().toStdString();
}

// Moves `it` back and forth until the shared step counter reports, so that
// the next report is exactly 101 movements away. Returns the movements made.
int align_to_report(file_iterator &it, QSignalSpy &spy)
{
    const int before = spy.count();
    for (int moves = 1; moves <= 202; ++moves) {
        if (moves % 2)
            ++it;
        else
            --it;
        if (spy.count() != before)
            return moves;
    }
    return -1;
}
} // namespace

class TestFileIterator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }
    void cleanup() { file_anchor::instance()->clear(); }

    void walks_like_a_plain_read_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty") << qint64(0);
        QTest::newRow("one-byte") << qint64(1);
        QTest::newRow("window-minus-one") << qint64(65535);
        QTest::newRow("window-exactly") << qint64(65536);
        QTest::newRow("window-plus-one") << qint64(65537);
        QTest::newRow("several-windows") << qint64(300001);
    }

    void walks_like_a_plain_read()
    {
        QFETCH(qint64, size);
        const QString path = pq_test::make_temp_file(size);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        const file_iterator first(&doc);
        const file_iterator last = first.end();
        QCOMPARE(last.position(), size);

        QByteArray forward;
        for (file_iterator it = first; it != last; ++it)
            forward += *it;
        QCOMPARE(forward, oracle);

        QByteArray backward;
        for (file_iterator it = last; it != first;) {
            --it;
            backward += it.read_char();
        }
        std::reverse(backward.begin(), backward.end());
        QCOMPARE(backward, oracle);

        // Postfix forms hand back the iterator as it was.
        if (size >= 2) {
            file_iterator it = first;
            QCOMPARE(*it++, oracle.at(0));
            QCOMPARE(it.position(), qint64(1));
            QCOMPARE(*it--, oracle.at(1));
            QCOMPARE(it.position(), qint64(0));
        }
    }

    void random_access_agrees_with_plain_read()
    {
        const QString path = pq_test::make_temp_file(200000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        const file_iterator first(&doc);
        const file_iterator last = first.end();
        QCOMPARE(std::distance(first, last), std::ptrdiff_t(200000));
        QCOMPARE(last - first, std::ptrdiff_t(200000));
        QCOMPARE(first - last, std::ptrdiff_t(-200000));
        for (std::ptrdiff_t n : {0, 1, 65535, 65536, 131071, 199999}) {
            QCOMPARE(*(first + n), oracle.at(int(n)));
            QCOMPARE(*(n + first), oracle.at(int(n)));
            QCOMPARE(first[n], oracle.at(int(n)));
            QCOMPARE(*(last - (200000 - n)), oracle.at(int(n)));
            QCOMPARE(last[n - 200000], oracle.at(int(n)));
        }
        file_iterator it = first;
        std::advance(it, 150000);
        QCOMPARE(it.position(), qint64(150000));
        it -= 149999;
        QCOMPARE(*it, oracle.at(1));
        it += 100;
        QCOMPARE(*it, oracle.at(101));

        // Reading far apart in turn moves the shared window every time.
        for (int i = 0; i < 2000; i += 7) {
            QCOMPARE(first[i], oracle.at(i));
            QCOMPARE(last[-1 - i], oracle.at(199999 - i));
        }

        const QByteArray needle = oracle.mid(123456, 9);
        const auto hit = std::search(first, last, needle.begin(), needle.end());
        QCOMPARE(hit - first, std::ptrdiff_t(oracle.indexOf(needle)));
    }

    void ordering_and_equality()
    {
        const QString path = pq_test::make_temp_file(100);
        BufferedDocument doc;
        doc.open(utf8(path));
        BufferedDocument other;
        other.open(utf8(path));

        const file_iterator a = file_iterator(&doc) + 10;
        const file_iterator b = file_iterator(&doc) + 20;
        QVERIFY(a < b && a <= b && b > a && b >= a && a != b);
        QVERIFY(!(b < a) && !(a > b) && !(b <= a) && !(a >= b));
        const file_iterator a2 = file_iterator(&doc) + 10;
        QVERIFY(a == a2 && a <= a2 && a >= a2 && !(a < a2) && !(a > a2));

        // Same file, same position, different document: neither equal nor
        // ordered.
        const file_iterator c = file_iterator(&other) + 10;
        const file_iterator d = file_iterator(&other) + 20;
        QVERIFY(!(a == c) && a != c);
        QVERIFY(!(a < d) && !(d < a) && !(a <= c) && !(a >= c) && !(a > d) && !(d > a));

        // The stored size only scales progress: the file grows, equality holds.
        QFile grow(path);
        QVERIFY(grow.open(QIODevice::Append));
        grow.write(QByteArray(50, 'x'));
        grow.close();
        file_iterator later(&doc);
        QCOMPARE(later.stored_size(), qint64(150));
        later.set_position(10);
        QVERIFY(later == a);
        QCOMPARE(a.stored_size(), qint64(100));
    }

    // Bytes past the old end come from the file once it has grown; before
    // that they are refused, never taken from the unused part of the window.
    void growing_file_is_read_past_its_old_end()
    {
        const QString path = pq_test::make_temp_file(1000);
        BufferedDocument doc;
        doc.open(utf8(path));
        file_iterator it(&doc);
        it.set_position(1000);
        file_iterator::start_walk();
        {
            pq_test::StdoutCapture out;
            QCOMPARE(*it, '\0');
            QCOMPARE(out.text(), std::string("exception caught in file_iterator::read_char block request beyond EOF\n"));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(5000, '\x80'));
        f.close();
        pq_test::StdoutCapture out;
        QCOMPARE(*it, '\x80');
        QCOMPARE(it[4999], '\x80');
        QCOMPARE(it[-1], pq_test::whole_file(path).at(999));
        QCOMPARE(it.end().position(), qint64(6000));
        QCOMPARE(out.text(), std::string());
    }

    void end_of_an_empty_file_is_begin()
    {
        const QString path = pq_test::make_temp_file(0);
        BufferedDocument doc;
        doc.open(utf8(path));
        const file_iterator first(&doc);
        QVERIFY(first.end() == first);
        QCOMPARE(first.end().position(), qint64(0));
        QCOMPARE(first.end().stored_size(), qint64(0));
    }

    void failed_reads_are_logged_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<bool>("close_first");
        QTest::addColumn<QString>("expected");
        QTest::newRow("at-end") << qint64(50) << false
                                << "exception caught in file_iterator::read_char block request beyond EOF\n";
        QTest::newRow("before-begin") << qint64(-1) << false
                                      << "exception caught in file_iterator::read_char block request beyond EOF\n";
        QTest::newRow("closed-document") << qint64(3) << true
                                         << "exception caught in file_iterator::read_char file is not open\n";
    }

    void failed_reads_are_logged()
    {
        QFETCH(qint64, position);
        QFETCH(bool, close_first);
        QFETCH(QString, expected);
        const QString path = pq_test::make_temp_file(50);
        BufferedDocument doc;
        doc.open(utf8(path));
        file_iterator it(&doc);
        it.set_position(position);
        if (close_first)
            doc.close();
        file_iterator::start_walk();
        {
            // Once per walk: a matcher past an end reads there for every step.
            pq_test::StdoutCapture out;
            QCOMPARE(*it, '\0');
            QCOMPARE(it[0], '\0');
            QCOMPARE((it - 1000)[0], '\0');
            QCOMPARE(QString::fromStdString(out.text()), expected);
        }
        file_iterator::start_walk();
        pq_test::StdoutCapture out;
        QCOMPARE(*it, '\0');
        QCOMPARE(QString::fromStdString(out.text()), expected);
    }

    void closed_document_has_no_iterators()
    {
        BufferedDocument doc;
        QCOMPARE(thrown_text([&] { file_iterator it(&doc); }), std::string("file is not open"));
        QCOMPARE(thrown_text([&] { file_iterator it(nullptr); }), std::string("file is not open"));

        const QString path = pq_test::make_temp_file(30);
        doc.open(utf8(path));
        const file_iterator it(&doc);
        doc.close();
        pq_test::StdoutCapture out;
        const file_iterator last = it.end();
        QCOMPARE(last.position(), qint64(0));
        QCOMPARE(out.text(), std::string("error getting end iterator" "file is not open\n"));
    }

    void one_movement_in_101_reports_whichever_iterator_moves()
    {
        const QString path = pq_test::make_temp_file(1000);
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
        file_iterator a(&doc);
        QVERIFY(align_to_report(a, spy) > 0);

        file_iterator b = a + 0; // itself a movement
        file_iterator c(&doc);
        c.set_position(500);     // not a movement
        int reports = spy.count();
        for (int move = 2; move <= 303 + 5; ++move) {
            switch (move % 6) {
            case 0: ++a; break;
            case 1: b++; break;
            case 2: --c; break;
            case 3: c--; break;
            case 4: a += 3; break;
            default: b -= 2; break;
            }
            const bool due = move % 101 == 0;
            QVERIFY2(spy.count() == reports + (due ? 1 : 0), qPrintable(QString("movement %1").arg(move)));
            reports = spy.count();
        }
        QCOMPARE(reports - 1, 3); // the first report came from the alignment

        // Reading and placing are not movements.
        for (int i = 0; i < 300; ++i) {
            a.set_position(i);
            (void)*a;
            (void)a[3];
            (void)(b - a);
            (void)(a == b);
        }
        QCOMPARE(spy.count(), reports);
    }

    void reported_values_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<int>("value");
        QTest::newRow("middle") << qint64(1000) << qint64(500) << 5000;
        QTest::newRow("end") << qint64(1000) << qint64(1000) << 10000;
        QTest::newRow("near-start-truncates") << qint64(1000) << qint64(3) << 30;
        QTest::newRow("one-before-begin") << qint64(1000) << qint64(-1) << -10;
        QTest::newRow("truncates-not-rounds") << qint64(3) << qint64(2) << 6666;
        QTest::newRow("empty-file") << qint64(0) << qint64(5) << 0;
        QTest::newRow("beyond-32-bit-offsets") << qint64(0x300000000LL) << qint64(0x100000000LL) << 3333;
    }

    // The value goes out on the reporting movement, computed from the
    // position after it.
    void reported_values()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, position);
        QFETCH(int, value);
        const QString path = pq_test::make_temp_file(qMin<qint64>(size, 1000));
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
        file_iterator scratch(&doc);
        QVERIFY(align_to_report(scratch, spy) > 0);
        for (int i = 0; i < 50; ++i) {
            ++scratch;
            --scratch;
        }
        file_iterator it = scratch;
        if (size > 1000) {
            // A stored size the small file cannot have: take it from an
            // iterator made while the file was that long.
            QFile f(path);
            QVERIFY(f.resize(size));
            it = file_iterator(&doc);
            QVERIFY(f.resize(1000));
        }
        it.set_position(position - 1);
        QCOMPARE(it.stored_size(), size);
        const int before = spy.count();
        ++it;
        QCOMPARE(spy.count(), before + 1);
        QCOMPARE(spy.last().at(0).toInt(), value);
        QCOMPARE(it.progress_value(), value);
    }

    void cancel_throws_after_the_movement()
    {
        const QString path = pq_test::make_temp_file(1000);
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
        file_iterator it(&doc);
        QVERIFY(align_to_report(it, spy) > 0);
        it.set_position(200);
        const int reports = spy.count();

        file_anchor::instance()->cancel();
        for (int move = 1; move <= 100; ++move)
            ++it; // 100 quiet movements, cancel or not
        QCOMPARE(it.position(), qint64(300));
        QCOMPARE(thrown_text([&] { it += 7; }), std::string("operation cancelled"));
        QCOMPARE(it.position(), qint64(307));
        QCOMPARE(spy.count(), reports); // cancelled reports emit nothing

        // Still cancelled: the next reporting movement, 101 later, throws too.
        std::string text;
        int moves = 0;
        while (text.empty() && moves < 500) {
            ++moves;
            text = thrown_text([&] { --it; });
        }
        QCOMPARE(moves, 101);
        QCOMPARE(text, std::string("operation cancelled"));
        QCOMPARE(it.position(), qint64(307 - 101));

        file_anchor::instance()->clear();
        for (int move = 1; move <= 101; ++move)
            QCOMPARE(thrown_text([&] { ++it; }), std::string());
        QCOMPARE(spy.count(), reports + 1);
    }

    void notify_counts_like_a_movement()
    {
        file_anchor *anchor = file_anchor::instance();
        QCOMPARE(file_anchor::instance(), anchor);
        QSignalSpy spy(anchor, &file_anchor::iterator_changed);
        int calls = 0;
        while (spy.isEmpty() && calls < 200) {
            anchor->notify(calls);
            ++calls;
        }
        QVERIFY(calls >= 1 && calls <= 101);
        QCOMPARE(spy.last().at(0).toInt(), calls - 1);
        for (int i = 0; i < 100; ++i)
            anchor->notify(-1);
        QCOMPARE(spy.count(), 1);
        anchor->notify(4242);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.last().at(0).toInt(), 4242);
    }

    // An empty file's walker must not divide by zero however it moves.
    void empty_file_progress()
    {
        const QString path = pq_test::make_temp_file(0);
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
        file_iterator it(&doc);
        for (int i = 0; i < 250; ++i)
            i % 2 ? --it : ++it;
        QVERIFY(spy.count() >= 2);
        for (const QList<QVariant> &report : spy)
            QCOMPARE(report.at(0).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFileIterator)
#include "tst_file_iterator.moc"
