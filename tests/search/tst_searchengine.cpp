#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "search/searchengine.h"
#include "testsettings.h"

#include <QList>
#include <QPair>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <boost/regex.hpp>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using Outcome = SearchEngine::Outcome;
using Hit = QPair<qint64, qint64>;
using HitList = QList<Hit>;

Q_DECLARE_METATYPE(Outcome)

namespace {

QString latin(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

// Walks the engine hit by hit until the first result that is not a hit.
HitList walk(SearchEngine &engine, const std::function<Outcome()> &search, Outcome *stop)
{
    HitList hits;
    for (;;) {
        const Outcome outcome = search();
        if (outcome != Outcome::Hit) {
            *stop = outcome;
            return hits;
        }
        hits.append(Hit(engine.hit_first(), engine.hit_end()));
        if (hits.size() > 100000) {
            *stop = outcome;
            return hits;
        }
    }
}

// The oracle: each search starts where the previous hit ended.
HitList std_search_hits(const QByteArray &data, const QByteArray &pattern)
{
    HitList hits;
    auto from = data.cbegin();
    for (;;) {
        const auto at = std::search(from, data.cend(), pattern.cbegin(), pattern.cend());
        if (at == data.cend())
            return hits;
        const qint64 first = at - data.cbegin();
        hits.append(Hit(first, first + pattern.size()));
        from = at + pattern.size();
    }
}

HitList boost_hits(const QByteArray &data, const std::string &expression)
{
    HitList hits;
    const boost::regex re(expression, boost::regex::normal);
    const char *from = data.constData();
    const char *const to = data.constData() + data.size();
    boost::cmatch match;
    while (boost::regex_search(from, to, match, re, boost::match_default)) {
        hits.append(Hit(match[0].first - data.constData(), match[0].second - data.constData()));
        from = match[0].second;
    }
    return hits;
}

} // namespace

class TestSearchEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hex_to_bytes_data();
    void hex_to_bytes();

    void simple_walk_data();
    void simple_walk();
    void miss_then_reset_starts_again();
    void one_report_per_block_data();
    void one_report_per_block();
    void find_bytes_empty_pattern_finds_nothing();

    void regex_walk_data();
    void regex_walk();
    void empty_match_stays_in_place();
    void invalid_expression_says_what_and_where_data();
    void invalid_expression_says_what_and_where();
    void pattern_ends_at_zero_character();
    void pathological_expression_ends();

    void empty_text_is_refused_before_anything();
    void no_file_gives_empty_range();
    void range_made_for_another_file();
    void range_end_is_size_at_reset();

    void cancel_pending_stops_at_first_report_data();
    void cancel_pending_stops_at_first_report();
    void cancel_takes_effect_at_next_report();

    void differential_bytes_data();
    void differential_bytes();
    void differential_regex_data();
    void differential_regex();

    void status_texts();

private:
    HexDocument *open(const QByteArray &contents);
    // Walks `file` with `search` at each of `blocks` and at the default block
    // size (every size puts the joins somewhere else, down to one after every
    // byte): the hits must be `hits`, then no match.
    void walk_every_block(const QByteArray &file, const HitList &hits, std::initializer_list<qint64> blocks,
                          const std::function<Outcome(SearchEngine &)> &search);
    // Moves a spare iterator until the shared step counter has just reported,
    // so that the n-th movement after this call is the next reporting one when
    // `lead` = 101 - n further movements are made first.
    void align_reports(HexDocument *doc, int lead);

    HexDocument *document = nullptr;
};

void TestSearchEngine::initTestCase()
{
    pq_test::isolate_settings();
}

void TestSearchEngine::init()
{
    file_anchor::instance()->clear();
}

void TestSearchEngine::cleanup()
{
    delete document;
    document = nullptr;
    file_anchor::instance()->clear();
}

void TestSearchEngine::walk_every_block(const QByteArray &file, const HitList &hits,
                                        std::initializer_list<qint64> blocks,
                                        const std::function<Outcome(SearchEngine &)> &search)
{
    std::vector<qint64> sizes(blocks);
    sizes.push_back(default_search_block);
    for (qint64 block : sizes) {
        SearchEngine engine;
        engine.set_block_size(block);
        engine.reset(open(file));
        Outcome stop = Outcome::Hit;
        const HitList found = walk(engine, [&] { return search(engine); }, &stop);
        QVERIFY2(found == hits, qPrintable(QString("block %1").arg(block)));
        QCOMPARE(stop, Outcome::NoMatch);
    }
}

HexDocument *TestSearchEngine::open(const QByteArray &contents)
{
    delete document;
    document = new HexDocument;
    document->open(pq_test::make_temp_file(0, contents));
    return document;
}

void TestSearchEngine::align_reports(HexDocument *doc, int lead)
{
    QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
    file_iterator probe = doc->begin();
    int guard = 0;
    while (spy.isEmpty() && ++guard < 1000)
        ++probe;
    QVERIFY(!spy.isEmpty());
    for (int i = 0; i < lead; ++i)
        ++probe;
}

void TestSearchEngine::hex_to_bytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("lower-case") << "0aff" << true << QByteArray("\x0a\xff", 2);
    QTest::newRow("upper-case") << "0AFF" << true << QByteArray("\x0a\xff", 2);
    QTest::newRow("one-zero-byte") << "00" << true << QByteArray(1, '\0');
    QTest::newRow("prefix-cut-into-pairs") << "0x41" << true << QByteArray("\x00\x41", 2);
    QTest::newRow("high-bytes") << "80fe" << true << QByteArray("\x80\xfe", 2);
    QTest::newRow("pair-not-a-number") << "zz41" << true << QByteArray("\x00\x41", 2);
    QTest::newRow("signed-pair-is-no-byte") << "-141" << true << QByteArray("\x00\x41", 2);
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("odd-length") << "0aff0" << false << QByteArray("unchanged");
    QTest::newRow("single-digit") << "a" << false << QByteArray("unchanged");
}

void TestSearchEngine::hex_to_bytes()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, bytes);

    QString out = QStringLiteral("unchanged");
    QCOMPARE(SearchEngine::hex_to_bytes(text, out), accepted);
    QCOMPARE(out, latin(bytes));
}

void TestSearchEngine::simple_walk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<HitList>("hits");

    QTest::newRow("aa-in-aaaa-does-not-overlap")
        << QByteArray("aaaa") << QByteArray("aa") << HitList{{0, 2}, {2, 4}};
    QTest::newRow("hit-at-very-end")
        << QByteArray("xyzxyzabc") << QByteArray("abc") << HitList{{6, 9}};
    QTest::newRow("hit-at-very-start")
        << QByteArray("abcxyz") << QByteArray("abc") << HitList{{0, 3}};
    QTest::newRow("pattern-longer-than-file")
        << QByteArray("abc") << QByteArray("abcd") << HitList{};
    QTest::newRow("pattern-longer-than-rest")
        << QByteArray("abcab") << QByteArray("abc") << HitList{{0, 3}};
    QTest::newRow("whole-file") << QByteArray("abc") << QByteArray("abc") << HitList{{0, 3}};
    QTest::newRow("zero-bytes-kept")
        << QByteArray("a\0\0b\0c", 6) << QByteArray("\0", 1) << HitList{{1, 2}, {2, 3}, {4, 5}};
    QTest::newRow("zero-inside-pattern")
        << QByteArray("a\0b a\0c", 7) << QByteArray("a\0c", 3) << HitList{{4, 7}};
    QTest::newRow("bytes-0x80-and-above")
        << QByteArray("\x7f\x80\xff\x80\xff", 5) << QByteArray("\x80\xff", 2)
        << HitList{{1, 3}, {3, 5}};
    QTest::newRow("byte-0xff-alone")
        << QByteArray("\x00\xff\x7f\xff", 4) << QByteArray("\xff", 1) << HitList{{1, 2}, {3, 4}};
    QTest::newRow("one-byte-every-offset")
        << QByteArray("bbb") << QByteArray("b") << HitList{{0, 1}, {1, 2}, {2, 3}};
    QTest::newRow("mismatch-byte-later-in-pattern")
        << QByteArray("abacabad") << QByteArray("abad") << HitList{{4, 8}};
    QTest::newRow("periodic-pattern")
        << QByteArray("abababab") << QByteArray("abab") << HitList{{0, 4}, {4, 8}};
    QTest::newRow("empty-file") << QByteArray() << QByteArray("a") << HitList{};
}

void TestSearchEngine::simple_walk()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, pattern);
    QFETCH(HitList, hits);

    walk_every_block(file, hits, { 1, 2, 3, 5 },
                     [&](SearchEngine &engine) { return engine.search_simple(latin(pattern)); });
}

void TestSearchEngine::miss_then_reset_starts_again()
{
    SearchEngine engine;
    HexDocument *doc = open("aaaa");
    engine.reset(doc);
    QCOMPARE(engine.search_simple("aa"), Outcome::Hit);
    QCOMPARE(engine.next_start(), qint64(2));
    QCOMPARE(engine.search_simple("aa"), Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64(2));
    QCOMPARE(engine.search_simple("aa"), Outcome::NoMatch);
    engine.reset(doc);
    QCOMPARE(engine.search_simple("aa"), Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64(0));
    QCOMPARE(engine.hit_end(), qint64(2));
}

void TestSearchEngine::one_report_per_block_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("block");
    QTest::addColumn<QList<qint64>>("reports");

    // Each block starts pattern-length - 1 bytes before the last one ended.
    QTest::newRow("hit-straddles-first-join")
        << QByteArray("abc") << qint64(6) << qint64(8) << QList<qint64>{0, 6};
    QTest::newRow("hit-inside-fourth-block")
        << QByteArray("abc") << qint64(20) << qint64(8) << QList<qint64>{0, 6, 12, 18};
    QTest::newRow("one-byte-blocks-do-not-overlap")
        << QByteArray("a") << qint64(17) << qint64(8) << QList<qint64>{0, 8, 16};
    // A pattern longer than the block: blocks of twice the pattern.
    QTest::newRow("pattern-longer-than-block")
        << QByteArray("0123456789") << qint64(25) << qint64(4) << QList<qint64>{0, 11, 22};
}

void TestSearchEngine::one_report_per_block()
{
    QFETCH(QByteArray, pattern);
    QFETCH(qint64, at);
    QFETCH(qint64, block);
    QFETCH(QList<qint64>, reports);

    // 10,000 bytes: a progress report then carries the position itself.
    QByteArray file(10000, 'z');
    file.replace(int(at), pattern.size(), pattern);
    HexDocument *doc = open(file);
    // Wherever the iterators' shared step counter stands.
    for (int lead : {0, 37, 100}) {
        align_reports(doc, lead);
        QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
        file_iterator from = doc->begin();
        match_range result;
        QVERIFY(find_bytes(from, doc->end(), result, pattern.toStdString(), block));
        QList<qint64> seen;
        for (const QList<QVariant> &report : spy)
            seen.append(report.at(0).toLongLong());
        QCOMPARE(seen, reports);
        QCOMPARE(result.first, at);
        QCOMPARE(result.end, at + pattern.size());
        QVERIFY(!result.no_match);
        QCOMPARE(from.position(), at);
    }
}

void TestSearchEngine::find_bytes_empty_pattern_finds_nothing()
{
    HexDocument *doc = open("abc");
    file_iterator from = doc->begin();
    match_range result;
    result.first = 7;
    result.no_match = false;
    QVERIFY(!find_bytes(from, doc->end(), result, std::string()));
    QCOMPARE(from.position(), qint64(0));
    QCOMPARE(result.first, qint64(7));
    QVERIFY(!result.no_match);
}

void TestSearchEngine::regex_walk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<HitList>("hits");

    QTest::newRow("digits") << QByteArray("a12b345") << "[0-9]+" << HitList{{1, 3}, {4, 7}};
    QTest::newRow("match-at-very-end") << QByteArray("xxab99cd") << "ab[0-9]{2}cd" << HitList{{2, 8}};
    QTest::newRow("caret-anchors-at-range-start")
        << QByteArray("aab") << "^a" << HitList{{0, 1}, {1, 2}};
    QTest::newRow("caret-after-newline") << QByteArray("x\nab") << "^a" << HitList{{2, 3}};
    QTest::newRow("high-byte-literal") << QByteArray("a\xe9\xe9z", 4) << QString(QChar(0xe9)) + "+"
                                       << HitList{{1, 3}};
    QTest::newRow("greedy-to-end") << QByteArray("abcabc") << "b.*" << HitList{{1, 6}};
    QTest::newRow("case-sensitive") << QByteArray("ABCabc") << "abc" << HitList{{3, 6}};
    QTest::newRow("no-match") << QByteArray("abc") << "d" << HitList{};
    // Run at every block size below: each byte is somewhere at a join.
    QTest::newRow("caret-not-at-a-join") << QByteArray("xaa\na") << "^a" << HitList{{4, 5}};
    QTest::newRow("buffer-start-only-at-range-start")
        << QByteArray("xaa") << "\\Aa" << HitList{};
    QTest::newRow("word-boundary-at-join") << QByteArray("ab cd") << "\\bcd" << HitList{{3, 5}};
    QTest::newRow("no-word-boundary-inside-word")
        << QByteArray("abcd xd") << "\\bd|\\Bc" << HitList{{2, 3}, {3, 4}};
    QTest::newRow("dollar-before-newline-not-before-join")
        << QByteArray("abc\nab") << "b$|c$" << HitList{{2, 3}, {5, 6}};
    QTest::newRow("end-of-text-only-at-range-end") << QByteArray("abab") << "b\\z" << HitList{{3, 4}};
    QTest::newRow("word-end-at-range-end") << QByteArray("ab ab") << "b\\b" << HitList{{1, 2}, {4, 5}};
    QTest::newRow("greedy-run-across-joins")
        << QByteArray("xaaaaaaaaaay") << "a+" << HitList{{1, 11}};
    QTest::newRow("earlier-alternative-needs-bytes-after-join")
        << QByteArray("abbbbbbcab") << "ab*c|ab" << HitList{{0, 8}, {8, 10}};
    QTest::newRow("lazy-stops-at-first") << QByteArray("a123b45b") << "a.*?b" << HitList{{0, 5}};
    QTest::newRow("backreference-across-join")
        << QByteArray("xyzabcabc") << "(abc)\\1" << HitList{{3, 9}};
    QTest::newRow("lookbehind-across-join")
        << QByteArray("xxxxxab") << "(?<=xa)b" << HitList{{6, 7}};
    // Longer than 64 one-byte blocks: the match is finished by the iterator.
    QTest::newRow("partial-match-longer-than-largest-block")
        << (QByteArray("x") + QByteArray(200, 'a') + "yaay") << "a+y"
        << HitList{{1, 202}, {202, 205}};
}

void TestSearchEngine::regex_walk()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expression);
    QFETCH(HitList, hits);

    walk_every_block(file, hits, { 1, 2, 3, 7 },
                     [&](SearchEngine &engine) { return engine.search_regex(expression); });
}

void TestSearchEngine::empty_match_stays_in_place()
{
    SearchEngine engine;
    engine.reset(open("abcd"));
    QCOMPARE(engine.search_simple("ab"), Outcome::Hit);
    QCOMPARE(engine.next_start(), qint64(2));
    // x* matches the empty string where the search starts.
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(engine.search_regex("x*"), Outcome::Hit);
        QCOMPARE(engine.hit_first(), qint64(2));
        QCOMPARE(engine.hit_end(), qint64(2));
        QCOMPARE(engine.next_start(), qint64(2));
    }
}

void TestSearchEngine::invalid_expression_says_what_and_where_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("matcher_says");
    QTest::newRow("unmatched-bracket") << "[ab" << 3 << "Unmatched [ or [^ in character class";
    QTest::newRow("unbalanced-open-parenthesis") << "(ab" << 3 << "Unmatched marking parenthesis";
    QTest::newRow("unbalanced-close-parenthesis") << "ab)" << 2 << "closing ) with no corresponding";
    QTest::newRow("nothing-to-repeat") << "*a" << 0 << "cannot start a regular expression";
    QTest::newRow("repeat-of-a-repeat") << "a**" << 3 << "prior to repetition operator";
    QTest::newRow("bad-repeat-range") << "a{3,2}" << 4 << "Invalid content of repeat range";
    QTest::newRow("trailing-backslash") << "ab\\" << 3 << "Incomplete escape sequence";
}

void TestSearchEngine::invalid_expression_says_what_and_where()
{
    QFETCH(QString, expression);
    QFETCH(int, position);
    QFETCH(QString, matcher_says);
    SearchEngine engine;
    engine.reset(open("ab(ab)"));
    QCOMPARE(engine.search_regex(expression), Outcome::InvalidExpression);
    QCOMPARE(engine.message(Outcome::InvalidExpression), QStringLiteral("Search Runtime Error"));
    const QString message = engine.detail(Outcome::InvalidExpression);
    QVERIFY2(message.startsWith(QString("Invalid regular expression at position %1: ").arg(position)),
             qPrintable(message));
    QVERIFY2(message.contains(matcher_says), qPrintable(message));
    // Nothing was read: the next search still starts at the beginning.
    QCOMPARE(engine.search_regex("ab"), Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64(0));
}

void TestSearchEngine::pattern_ends_at_zero_character()
{
    SearchEngine engine;
    engine.reset(open("xaby"));
    // Everything from the zero character on is ignored: this looks for ab.
    QCOMPARE(engine.search_regex(QString("ab") + QChar(0) + "zzz"), Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64(1));
    QCOMPARE(engine.hit_end(), qint64(3));
}

void TestSearchEngine::pathological_expression_ends()
{
    // Catastrophic backtracking ends with the matcher's own limit; it must
    // neither hang nor crash.
    SearchEngine engine;
    engine.reset(open(QByteArray(1 << 20, 'a')));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(engine.search_regex("(a*)*b"), Outcome::RuntimeError);
    qInfo("pathological expression gave up after %lld ms", timer.elapsed());
}

void TestSearchEngine::empty_text_is_refused_before_anything()
{
    SearchEngine engine;
    engine.reset(open("abc"));
    QCOMPARE(engine.search_simple("b"), Outcome::Hit);
    QCOMPARE(engine.search_simple(QString()), Outcome::EmptyPattern);
    QCOMPARE(engine.search_regex(QString()), Outcome::EmptyPattern);
    // The range was left alone.
    QCOMPARE(engine.next_start(), qint64(2));
    SearchEngine closed;
    QCOMPARE(closed.search_simple(QString()), Outcome::EmptyPattern);
}

void TestSearchEngine::no_file_gives_empty_range()
{
    SearchEngine engine;
    QVERIFY(!engine.has_range());
    QCOMPARE(engine.search_simple("a"), Outcome::NoFile);
    QCOMPARE(engine.search_regex("a"), Outcome::NoFile);

    HexDocument closed;
    engine.reset(&closed);
    QVERIFY(!engine.has_range());
    QCOMPARE(engine.search_simple("a"), Outcome::NoFile);
    engine.reset(nullptr);
    QCOMPARE(engine.search_regex("a"), Outcome::NoFile);

    // A range that had a file becomes empty when reset with none.
    engine.reset(open("abc"));
    QVERIFY(engine.has_range());
    engine.reset(&closed);
    QCOMPARE(engine.search_simple("a"), Outcome::NoFile);
}

void TestSearchEngine::range_made_for_another_file()
{
    SearchEngine engine;
    HexDocument doc;
    const QString first = pq_test::make_temp_file(0, "abcabc");
    const QString second = pq_test::make_temp_file(0, "xyz");
    doc.open(first);
    QVERIFY(!engine.range_matches(&doc));
    engine.reset(&doc);
    QVERIFY(engine.range_matches(&doc));
    doc.open(second);
    QVERIFY(!engine.range_matches(&doc));
    engine.reset(&doc);
    QVERIFY(engine.range_matches(&doc));
    QCOMPARE(engine.range_end(), qint64(3));
    HexDocument other;
    other.open(second);
    QVERIFY(!engine.range_matches(&other));
}

void TestSearchEngine::range_end_is_size_at_reset()
{
    const QString path = pq_test::make_temp_file(0, "aaaa");
    HexDocument doc;
    doc.open(path);
    SearchEngine engine;
    engine.reset(&doc);
    // The file grows after the reset; the range still ends at 4.
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("bbbb");
    }
    QCOMPARE(engine.search_simple("b"), Outcome::NoMatch);
    engine.reset(&doc);
    QCOMPARE(engine.search_simple("b"), Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64(4));
}

void TestSearchEngine::cancel_pending_stops_at_first_report_data()
{
    QTest::addColumn<bool>("regex");
    QTest::newRow("byte-string") << false;
    QTest::newRow("regex") << true;
}

void TestSearchEngine::cancel_pending_stops_at_first_report()
{
    QFETCH(bool, regex);
    SearchEngine engine;
    engine.reset(open(QByteArray(100000, 'a')));
    QSignalSpy spy(file_anchor::instance(), &file_anchor::iterator_changed);
    file_anchor::instance()->cancel();
    const Outcome outcome = regex ? engine.search_regex("b") : engine.search_simple("b");
    QCOMPARE(outcome, Outcome::Cancelled);
    QCOMPARE(spy.size(), 0);
    // The request stays until it is cleared.
    QVERIFY(file_anchor::instance()->is_cancelled());
}

void TestSearchEngine::cancel_takes_effect_at_next_report()
{
    SearchEngine engine;
    engine.set_block_size(4096);
    engine.reset(open(QByteArray(100000, 'a')));
    int reports = 0;
    auto connection = connect(file_anchor::instance(), &file_anchor::iterator_changed, this, [&] {
        if (++reports == 3)
            file_anchor::instance()->cancel();
    });
    QCOMPARE(engine.search_simple("b"), Outcome::Cancelled);
    disconnect(connection);
    QCOMPARE(reports, 3);
}

void TestSearchEngine::differential_bytes_data()
{
    QTest::addColumn<int>("alphabet");
    QTest::addColumn<int>("length");
    QTest::addColumn<quint32>("seed");

    const int lengths[] = {1, 2, 3, 5, 16, 40};
    for (int alphabet : {2, 4, 256}) {
        for (int length : lengths) {
            for (quint32 seed : {1u, 2u}) {
                const QByteArray name = QByteArray("alphabet") + QByteArray::number(alphabet)
                    + "-length" + QByteArray::number(length) + "-seed" + QByteArray::number(seed);
                QTest::newRow(name.constData()) << alphabet << length << seed;
            }
        }
    }
}

void TestSearchEngine::differential_bytes()
{
    QFETCH(int, alphabet);
    QFETCH(int, length);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed * 1000 + quint32(alphabet * 50 + length));
    // Bytes spread over the whole 0..255 range even for small alphabets.
    auto byte = [&] { return char(0x7e + random.bounded(alphabet) * 3); };
    QByteArray data(150000 + int(random.bounded(50000)), '\0');
    for (char &c : data)
        c = byte();
    QByteArray pattern(length, '\0');
    for (char &c : pattern)
        c = byte();
    // Plant copies, including one at each end and two touching copies.
    for (int i = 0; i < 20; ++i)
        data.replace(int(random.bounded(data.size() - length)), length, pattern);
    data.replace(0, length, pattern);
    data.replace(data.size() - length, length, pattern);
    data.replace(data.size() / 2, length, pattern);
    data.replace(data.size() / 2 + length, length, pattern);

    const HitList expected = std_search_hits(data, pattern);
    QVERIFY(expected.size() >= 3);

    SearchEngine engine;
    engine.reset(open(data));
    Outcome stop = Outcome::Hit;
    const HitList found = walk(engine, [&] { return engine.search_simple(latin(pattern)); }, &stop);
    QCOMPARE(stop, Outcome::NoMatch);
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(found, expected);
}

void TestSearchEngine::differential_regex_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("literal-with-class") << "ab[0-9]{3}cd";
    QTest::newRow("alternation") << "cat|dog[0-9]";
    QTest::newRow("word-boundary") << "\\bab\\w*";
    QTest::newRow("lazy") << "a.+?d";
    QTest::newRow("high-bytes") << QString(QChar(0xc3)) + "[\\x80-\\xbf]";
    QTest::newRow("backreference") << "(a|b)\\1\\1";
}

void TestSearchEngine::differential_regex()
{
    QFETCH(QString, expression);

    QRandomGenerator random(42);
    QByteArray data(120000, '\0');
    const char pool[] = "abcdgot01239 \xc3\xa9\x80\xbf\n";
    for (char &c : data)
        c = pool[random.bounded(int(sizeof pool) - 1)];
    const char *planted[] = {"ab123cd", "dog7", "cat", "abd"};
    for (int i = 0; i < 40; ++i) {
        const QByteArray p = planted[i % 4];
        data.replace(int(random.bounded(data.size() - p.size())), p.size(), p);
    }
    const QByteArray pattern = expression.toLatin1();
    const HitList expected = boost_hits(data, pattern.toStdString());
    QVERIFY(!expected.isEmpty());

    open(data);
    for (qint64 block : {qint64(7), qint64(4096), default_search_block}) {
        SearchEngine engine;
        engine.set_block_size(block);
        engine.reset(document);
        Outcome stop = Outcome::Hit;
        const HitList found =
            walk(engine, [&] { return engine.search_regex(expression); }, &stop);
        QCOMPARE(stop, Outcome::NoMatch);
        QCOMPARE(found.size(), expected.size());
        QCOMPARE(found, expected);
    }
}

void TestSearchEngine::status_texts()
{
    QCOMPARE(SearchEngine::status_text(Outcome::NoMatch), QString("No Match Found"));
    QCOMPARE(SearchEngine::status_text(Outcome::Cancelled), QString("Search Operation Cancelled"));
    QCOMPARE(SearchEngine::status_text(Outcome::RuntimeError), QString("Search Runtime Error"));
    QCOMPARE(SearchEngine::status_text(Outcome::FileChanged), QString("The file changed during the search"));
    QCOMPARE(SearchEngine::status_text(Outcome::EmptyPattern), QString("Search String is Empty"));
    QCOMPARE(SearchEngine::status_text(Outcome::OddHexLength),
             QString("Hex string must have an even number of characters"));
    QVERIFY(SearchEngine::status_text(Outcome::NoFile).contains("No file"));
    QVERIFY(SearchEngine::status_text(Outcome::Hit).isEmpty());
}

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
