#include "editedfile/editedfile.h"
#include "editedfile/findalltool.h"
#include "editedfile/hitlistmodel.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "search/searchengine.h"
#include "testsettings.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

using Outcome = SearchEngine::Outcome;
using Hits = std::vector<std::pair<qint64, qint64>>;

namespace {

// The oracle on the whole file in memory: each search from where the last
// hit ended, by std::search for bytes and std::regex for expressions.
Hits oracle(const QByteArray &data, const QByteArray &pattern, bool regex)
{
    Hits hits;
    const char *const begin = data.constData();
    const char *const end = begin + data.size();
    if (!regex) {
        for (const char *from = begin;;) {
            const char *at = std::search(from, end, pattern.cbegin(), pattern.cend());
            if (at == end)
                return hits;
            hits.emplace_back(at - begin, at - begin + pattern.size());
            from = at + pattern.size();
        }
    }
    const std::regex re(pattern.toStdString());
    std::cmatch m;
    for (const char *from = begin; from <= end && std::regex_search(from, end, m, re);) {
        const qint64 first = m[0].first - begin;
        const qint64 last = m[0].second - begin;
        hits.emplace_back(first, last);
        from = begin + (last == first ? last + 1 : last);
    }
    return hits;
}

Hits listed(const FindAllTool &tool)
{
    Hits hits;
    for (const SearchHit &h : tool.model()->hits())
        hits.emplace_back(h.first, h.end);
    return hits;
}

} // namespace

// Find All and Mark All without a window: the hit list against an
// independent search of the whole file, the list model, the limit, the
// stale flag and the markups Mark All makes.
class TestFindAllTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hits_match_independent_search_data();
    void hits_match_independent_search();
    void model_shows_offsets_and_previews();
    void list_stops_at_the_limit();
    void list_follows_its_file();
    void mark_all_names_skips_and_undoes();
};

void TestFindAllTool::initTestCase()
{
    pq_test::isolate_settings();
}

void TestFindAllTool::hits_match_independent_search_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<bool>("hex");
    // What is planted (the pattern's bytes when empty) and where; a
    // negative offset counts from the end.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<qint64>>("planted");
    QTest::addColumn<qint64>("block");
    const QByteArray own;

    // Blocks of 64 bytes put a join every 64 bytes of a 6,000-byte file.
    QTest::newRow("across-block-edge") << "needle" << false << false
                                       << own << QList<qint64>{61, 62, 63, 127, 190, 1000, 4093} << qint64(64);
    QTest::newRow("last-byte") << "Z" << false << false << own << QList<qint64>{0, 64, -1} << qint64(64);
    QTest::newRow("last-bytes-of-long-needle") << "tail-of-file" << false << false
                                               << own << QList<qint64>{-12, 500} << qint64(64);
    // "aaa" in runs of five: two hits would overlap; the list keeps the first.
    QTest::newRow("overlapping-needle") << "aaa" << false << false << QByteArray("aaaaa")
                                        << QList<qint64>{100, 197, 294, 1000, 4000} << qint64(16);
    QTest::newRow("hex") << "00ff7f80" << false << true << own << QList<qint64>{0, 63, 64, 999, -4} << qint64(64);
    QTest::newRow("regex") << "ab[0-9]+cd" << true << false
                           << QByteArray("ab123cd") << QList<qint64>{62, 3000, -7} << qint64(64);
    QTest::newRow("regex-across-block-edge") << "x[a-z]*y" << true << false
                                             << QByteArray("xqy") << QList<qint64>{58, 62, 126, 200} << qint64(8);
    // A match many blocks long, starting at a join and in the middle of a block.
    QTest::newRow("regex-longer-than-blocks") << "B[a-z]*E" << true << false
                                              << QByteArray("Babcdefghijklmnopqrstuvwxyzabcdefghijkl") + 'E'
                                              << QList<qint64>{64, 203, 300, -41} << qint64(8);
    QTest::newRow("regex-default-block") << "(IHDR|IDAT)" << true << false
                                         << QByteArray("IDAT") << QList<qint64>{0, 4096, -4} << default_search_block;
}

void TestFindAllTool::hits_match_independent_search()
{
    QFETCH(QString, typed);
    QFETCH(bool, regex);
    QFETCH(bool, hex);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<qint64>, planted);
    QFETCH(qint64, block);

    QString pattern = typed;
    if (hex)
        QVERIFY(SearchEngine::hex_to_bytes(typed, pattern));
    if (bytes.isEmpty())
        bytes = pattern.toLatin1();
    QRandomGenerator random(quint32(qHash(typed)));
    QByteArray data(6000, '\0');
    for (char &c : data)
        c = char(random.bounded(256));
    for (qint64 at : planted) {
        const qint64 where = at < 0 ? data.size() + at : at;
        data.replace(int(where), int(std::min<qint64>(bytes.size(), data.size() - where)), bytes);
    }
    const Hits expected = oracle(data, pattern.toLatin1(), regex);
    QVERIFY(expected.size() >= 2);

    EditedFile file;
    QVERIFY(file.open(pq_test::make_temp_file(0, data)));
    FindAllTool tool(&file);
    tool.set_block_size(block);
    QSignalSpy counts(&tool, &FindAllTool::count_changed);
    QCOMPARE(tool.run(pattern, regex, typed), Outcome::Hit);
    QCOMPARE(tool.model()->rowCount(), int(expected.size()));
    QCOMPARE(listed(tool), expected);
    QCOMPARE(counts.last().at(0).toLongLong(), qint64(expected.size()));
    QVERIFY(!file.is_busy());

    // Repeated Find Next from the start finds the same hits.
    SearchEngine engine;
    engine.set_block_size(block);
    engine.reset(file.document());
    Hits walked;
    while ((regex ? engine.search_regex(pattern) : engine.search_simple(pattern)) == Outcome::Hit)
        walked.emplace_back(engine.hit_first(), engine.hit_end());
    QCOMPARE(walked, expected);
}

void TestFindAllTool::model_shows_offsets_and_previews()
{
    QByteArray data(40, '.');
    data.replace(3, 4, "IHDR");
    data.replace(20, 18, QByteArray("\x00\x7f\x80\xff", 4) + QByteArray("abcdefghijklmn"));
    EditedFile file;
    QVERIFY(file.open(pq_test::make_temp_file(0, data)));
    FindAllTool tool(&file);
    QAbstractItemModelTester tester(tool.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(tool.run(QStringLiteral("IHDR|\\x00.{17}"), true, QStringLiteral("IHDR")), Outcome::Hit);
    const HitListModel *model = tool.model();
    QCOMPARE(model->rowCount(), 2);
    const auto cell = [&](int row, int column) { return model->index(row, column).data().toString(); };
    QCOMPARE(cell(0, HitListModel::Offset), QString("0x3"));
    QCOMPARE(cell(0, HitListModel::Length), QString("4"));
    QCOMPARE(cell(0, HitListModel::Hex), QString("49 48 44 52"));
    QCOMPARE(cell(0, HitListModel::Text), QString("IHDR"));
    // 18 bytes: the first 16 shown, then the mark of more.
    QCOMPARE(cell(1, HitListModel::Offset), QString("0x14"));
    QCOMPARE(cell(1, HitListModel::Hex), QString("00 7F 80 FF 61 62 63 64 65 66 67 68 69 6A 6B 6C ..."));
    QCOMPARE(cell(1, HitListModel::Text), QString("....abcdefghijkl..."));
    QCOMPARE(tool.count_text(), QString("2 hits"));
}

void TestFindAllTool::list_stops_at_the_limit()
{
    const qint64 limit = FindAllTool::hit_limit;
    for (const qint64 size : {limit, limit + 1}) {
        EditedFile file;
        QVERIFY(file.open(pq_test::make_temp_file(0, QByteArray(int(size), 'x'))));
        FindAllTool tool(&file);
        QCOMPARE(tool.run(QStringLiteral("x"), false, QStringLiteral("x")), Outcome::Hit);
        QCOMPARE(tool.count(), limit);
        QCOMPARE(tool.truncated(), size > limit);
        QCOMPARE(tool.count_text(), size > limit ? QString("Stopped at 100,000 hits") : QString("100,000 hits"));
    }
}

void TestFindAllTool::list_follows_its_file()
{
    EditedFile file;
    QVERIFY(file.open(pq_test::make_temp_file(0, QByteArray("abc abc abc"))));
    FindAllTool tool(&file);
    QSignalSpy stale(&tool, &FindAllTool::stale_changed);
    QCOMPARE(tool.run(QStringLiteral("abc"), false, QStringLiteral("abc")), Outcome::Hit);
    QVERIFY(!tool.stale());
    // A markup is no change to the bytes.
    QVERIFY(file.mark(0, 1));
    QVERIFY(stale.isEmpty());
    QVERIFY(file.type_byte(4, 'x', {}, {}));
    QCOMPARE(stale.size(), 1);
    QVERIFY(tool.stale());
    QCOMPARE(tool.mark_all(Qt::red, Qt::white), FindAllTool::stale_text());
    QCOMPARE(tool.run(QStringLiteral("abc"), false, QStringLiteral("abc")), Outcome::Hit);
    QVERIFY(!tool.stale());
    // The search reads the file as saved, as Find Next does; the preview
    // shows the edit.
    QCOMPARE(tool.count(), 3);
    QCOMPARE(tool.model()->index(1, HitListModel::Text).data().toString(), QString("xbc"));

    // Another program cuts the file to "abc ab": the hit at 8 lies past the
    // end and the one at 4 is cut; no row reaches beyond the last byte.
    QFile cut(file.path());
    QVERIFY(cut.open(QIODevice::ReadWrite) && cut.resize(6));
    cut.close();
    file.check_size();
    QVERIFY(tool.stale());
    QCOMPARE(tool.hit_in_file(0)->end, qint64(3));
    QCOMPARE(tool.hit_in_file(1)->end, qint64(6));
    QVERIFY(!tool.hit_in_file(2));
    QVERIFY(!tool.hit_in_file(3));

    // Another file: no row of the old one is left, stale or not.
    QSignalSpy counts(&tool, &FindAllTool::count_changed);
    QVERIFY(file.open(pq_test::make_temp_file(1, QByteArray("xyz"))));
    QCOMPARE(tool.model()->rowCount(), 0);
    QVERIFY(!tool.stale());
    QVERIFY(tool.expression().isEmpty());
    QCOMPARE(counts.size(), 1);
    QVERIFY(!tool.hit_in_file(0));
}

void TestFindAllTool::mark_all_names_skips_and_undoes()
{
    // Hits at 0, 10, 20, 30, 40; markups already over 8..12 (cut by the hit
    // at 10), 20..23 (the hit's exact range) and 29..35 (holds the hit at 30),
    // and 41..41 (inside the hit at 40).
    QByteArray data(50, '.');
    for (int at = 0; at < 50; at += 10)
        data.replace(at, 4, "IHDR");
    EditedFile file;
    QVERIFY(file.open(pq_test::make_temp_file(0, data)));
    QVERIFY(file.mark(8, 12, "cut"));
    QVERIFY(file.mark(20, 23, "same"));
    QVERIFY(file.mark(29, 35, "holder"));
    QVERIFY(file.mark(41, 41, "inner"));
    const QString before = file.markup_tree()->to_xml();
    FindAllTool tool(&file);
    QCOMPARE(tool.run(QStringLiteral("IHDR"), false, QStringLiteral("IHDR")), Outcome::Hit);
    QCOMPARE(tool.count(), 5);

    const int steps = file.history()->count();
    QCOMPARE(tool.mark_all(QColor(200, 0, 0), QColor(255, 255, 200)),
             QString("3 hits marked; 1 overlapped a markup and was skipped"
                     "; 1 coincided with a markup and was skipped"));
    QCOMPARE(file.history()->count(), steps + 1);
    MarkupNode *root = file.markup_model()->root();
    const auto at = [&](qint64 offset) { return file.markup_tree()->node_at(offset); };
    QCOMPARE(at(0)->data(MarkupColumn::Description).toString(), QString("hit 1 of 5: \"IHDR\""));
    QCOMPARE(at(0)->foreground(), QColor(200, 0, 0));
    QCOMPARE(at(0)->background(), QColor(255, 255, 200));
    QCOMPARE(at(30)->data(MarkupColumn::Description).toString(), QString("hit 4 of 5: \"IHDR\""));
    QCOMPARE(at(30)->parent_node()->data(MarkupColumn::Description).toString(), QString("holder"));
    // The hit at 40 holds the markup that was inside it.
    QCOMPARE(at(41)->data(MarkupColumn::Description).toString(), QString("inner"));
    QCOMPARE(at(41)->parent_node()->data(MarkupColumn::Description).toString(), QString("hit 5 of 5: \"IHDR\""));
    QCOMPARE(at(10)->data(MarkupColumn::Description).toString(), QString("cut"));
    QCOMPARE(root->child_count(), 5);
    QVERIFY(root->children_ordered());

    QVERIFY(file.undo());
    QCOMPARE(file.markup_tree()->to_xml(), before);
    QVERIFY(file.redo());
    QCOMPARE(at(40)->data(MarkupColumn::Description).toString(), QString("hit 5 of 5: \"IHDR\""));
}

QTEST_GUILESS_MAIN(TestFindAllTool)
#include "tst_findalltool.moc"
