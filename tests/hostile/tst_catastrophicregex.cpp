// Catastrophic regular expressions left to run: the matcher's own limits
// must end each one with an error (or a plain answer) in bounded time, and
// the engine must answer the next search normally.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "search/searchengine.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

class tst_catastrophicregex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_to_the_matchers_limit_data();
    void runs_to_the_matchers_limit();

private:
    QTemporaryDir dir;
    QString path;
};

void tst_catastrophicregex::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("as.bin"));
    QByteArray bytes(1 << 20, 'a');
    bytes[bytes.size() - 1] = 'Z';
    QVERIFY(pq_hostile::write_all(path, bytes));
}

void tst_catastrophicregex::runs_to_the_matchers_limit_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("nested-star") << "(a*)*b";
    QTest::newRow("nested-plus") << "(a+)+b";
    QTest::newRow("overlapping-alternation") << "(a|aa)+b";
    QTest::newRow("repeated-wildcard-group") << "(.*a){12}b";
    // Back-references are compared outside the matcher's state count, so
    // nothing but Cancel bounds them: see the cancel tests.
}

void tst_catastrophicregex::runs_to_the_matchers_limit()
{
    QFETCH(QString, expression);
    file_anchor::instance()->clear();
    HexDocument doc;
    doc.open(path);
    SearchEngine engine;
    engine.reset(&doc);

    QElapsedTimer clock;
    clock.start();
    const SearchEngine::Outcome outcome = engine.search_regex(expression);
    qInfo("%s: %s after %lld ms", qPrintable(expression),
          qPrintable(SearchEngine::status_text(outcome)), clock.elapsed());
    QVERIFY2(outcome == SearchEngine::Outcome::RuntimeError
                 || outcome == SearchEngine::Outcome::NoMatch,
             qPrintable(SearchEngine::status_text(outcome)));
    QVERIFY2(clock.elapsed() < 240000, "the matcher's limits did not end the search");

    // The engine answers the next question normally.
    engine.reset(&doc);
    QCOMPARE(engine.search_regex(QStringLiteral("a{3}Z")), SearchEngine::Outcome::Hit);
    QCOMPARE(engine.hit_first(), qint64((1 << 20) - 4));
    QCOMPARE(engine.hit_end(), qint64(1 << 20));
}

QTEST_GUILESS_MAIN(tst_catastrophicregex)
#include "tst_catastrophicregex.moc"
