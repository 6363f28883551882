#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "search/searchengine.h"
#include "testsettings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <boost/regex.hpp>

using Outcome = SearchEngine::Outcome;

// Ordinary expressions over a file far larger than the matcher's fixed state
// budget for unsized input: the budget must grow with the file, so a search
// ends with a hit or a miss, never with the matcher's complexity error.
class TestSearchLargeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void regex_over_whole_file_data();
    void regex_over_whole_file();
    void byte_string_at_the_end();

private:
    static constexpr qint64 file_size = qint64(256) << 20;
    static constexpr qint64 planted_at = file_size - 100;

    QTemporaryDir dir;
    QString path;
    QByteArray tail;
};

void TestSearchLargeFile::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    path = dir.filePath("random.bin");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QRandomGenerator random(20261207);
    QByteArray block(1 << 20, '\0');
    for (qint64 written = 0; written < file_size; written += block.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        if (written + block.size() == file_size) {
            // Digits around the plant so that it is matched exactly as placed.
            block.replace(block.size() - 100, 10, "QWERT12345");
            tail = block.right(100);
        }
        QCOMPARE(f.write(block), qint64(block.size()));
    }
    f.close();
    QCOMPARE(QFileInfo(path).size(), file_size);
}

void TestSearchLargeFile::cleanupTestCase()
{
    // The directory and its file go with `dir`; say so if that failed.
    QFile::remove(path);
    QVERIFY(!QFile::exists(path));
}

void TestSearchLargeFile::regex_over_whole_file_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("must_hit");
    QTest::newRow("letters-then-digits") << "[A-Z]{5}[0-9]{5}" << true;
    QTest::newRow("absent-literal-run") << "ab[0-9]{3}cd[0-9]{9}xy" << false;
}

void TestSearchLargeFile::regex_over_whole_file()
{
    QFETCH(QString, expression);
    QFETCH(bool, must_hit);

    HexDocument doc;
    doc.open(path);
    QVERIFY(doc.is_open());
    SearchEngine engine;
    engine.reset(&doc);
    QElapsedTimer timer;
    timer.start();
    const Outcome outcome = engine.search_regex(expression);
    qInfo("%s over 256 MiB: %lld ms", qPrintable(expression), timer.elapsed());
    QVERIFY2(outcome == Outcome::Hit || outcome == Outcome::NoMatch,
             qPrintable(SearchEngine::status_text(outcome)));
    if (must_hit) {
        QCOMPARE(outcome, Outcome::Hit);
        // The plant, or a random occurrence before it; either really matches.
        QVERIFY(engine.hit_first() <= planted_at);
        QCOMPARE(engine.hit_end() - engine.hit_first(), qint64(10));
        doc.load(engine.hit_first(), 10);
        const std::string text = doc.to_ascii();
        QVERIFY2(boost::regex_match(text, boost::regex("[A-Z]{5}[0-9]{5}")), text.c_str());
    }
}

void TestSearchLargeFile::byte_string_at_the_end()
{
    HexDocument doc;
    doc.open(path);
    SearchEngine engine;
    engine.reset(&doc);
    const QString needle = QString::fromLatin1(tail.left(10) + tail.mid(10, 6));
    QCOMPARE(engine.search_simple(needle), Outcome::Hit);
    QCOMPARE(engine.hit_first(), planted_at);
    QCOMPARE(engine.hit_end(), planted_at + 16);
    QCOMPARE(engine.search_simple(needle), Outcome::NoMatch);
}

QTEST_GUILESS_MAIN(TestSearchLargeFile)
#include "tst_searchlargefile.moc"
