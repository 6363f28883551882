// Hostile markup files: whatever a file holds, loading either fails cleanly
// or loads what is valid, never reads anything the file points at, and the
// tree stays usable (marking, writing and reading back) afterwards.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char secret[] = "PQ-SECRET-7f3a9c-must-never-appear";

QByteArray nested_document(int depth)
{
    QByteArray doc = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
    doc.reserve(depth * 80);
    for (int i = 0; i < depth; ++i)
        doc += "<node description=\"d\" start=\"" + QByteArray::number(i) + "\" end=\""
            + QByteArray::number(2 * depth - i) + "\" repeat=\"false\">";
    for (int i = 0; i < depth; ++i)
        doc += "</node>";
    doc += "\n</pellowquarnbybook>\n";
    return doc;
}

QByteArray flat_document(int count)
{
    QByteArray doc = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
    for (int i = 0; i < count; ++i)
        doc += " <node description=\"n" + QByteArray::number(i) + "\" start=\""
            + QByteArray::number(i * 10) + "\" end=\"" + QByteArray::number(i * 10 + 5)
            + "\" repeat=\"false\"/>\n";
    doc += "</pellowquarnbybook>\n";
    return doc;
}

QByteArray laughs()
{
    QByteArray doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE PQML [\n <!ENTITY l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i) {
        doc += " <!ENTITY l" + QByteArray::number(i) + " \"";
        for (int k = 0; k < 10; ++k)
            doc += "&l" + QByteArray::number(i - 1) + ";";
        doc += "\">\n";
    }
    doc += "]>\n<pellowquarnbybook><node description=\"&l9;\" start=\"0\" end=\"1\"/>"
           "</pellowquarnbybook>\n";
    return doc;
}

QByteArray garbage(quint32 seed, int size)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

} // namespace

class tst_markupfiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hostile_file_data();
    void hostile_file();
    void truncated_keeps_what_came_before_data();
    void truncated_keeps_what_came_before();
    void deep_nesting_survives_every_walk();
    void only_regular_files_are_read_data();
    void only_regular_files_are_read();

private:
    // Marks a new range, writes the tree out and reads it back: what a user
    // does next after a load, good or bad.
    void check_still_usable(MarkupTree &tree, MarkupModel &model, int loaded);

    QTemporaryDir m_dir;
    QString m_secret_path;
};

void tst_markupfiles::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(m_dir.isValid());
    m_secret_path = m_dir.filePath(QStringLiteral("secret.txt"));
    QVERIFY(pq_hostile::write_all(m_secret_path, QByteArray(secret) + "\n"));
}

void tst_markupfiles::check_still_usable(MarkupTree &tree, MarkupModel &model, int loaded)
{
    QString why;
    // Far past anything the documents mark, so it can never overlap.
    QVERIFY(tree.insert_range(Q_INT64_C(1) << 50, (Q_INT64_C(1) << 50) + 15));
    QCOMPARE(pq_hostile::check_tree(model, &why), loaded + 1);

    const QString xml = tree.to_xml();
    MarkupModel model2;
    MarkupTree tree2(&model2);
    QVERIFY(tree2.load_xml(MarkupTree::decode_markup_file(MarkupTree::encode_markup_file(xml))));
    QCOMPARE(pq_hostile::check_tree(model2, &why), loaded + 1);
    QCOMPARE(tree2.to_xml(), xml);
}

void tst_markupfiles::hostile_file_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("markups");

    const QByteArray secret_url = "file://" + QFile::encodeName(m_secret_path);
    QTest::newRow("empty-file") << QByteArray() << false << 0;
    QTest::newRow("only-whitespace") << QByteArray("  \n\t\n") << false << 0;
    QTest::newRow("entity-expansion-bomb") << laughs() << false << 0;
    QTest::newRow("quadratic-blowup")
        << ("<!DOCTYPE PQML [<!ENTITY a \"" + QByteArray(50000, 'a') + "\">]>"
            "<pellowquarnbybook><node description=\"" + QByteArray("&a;").repeated(50000)
            + "\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << false << 0;
    QTest::newRow("external-entity-local-file")
        << ("<!DOCTYPE PQML [<!ENTITY s SYSTEM \"" + secret_url + "\">]>\n"
            "<pellowquarnbybook><node description=\"&s;\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << false << 0;
    QTest::newRow("external-parameter-entity")
        << ("<!DOCTYPE PQML [<!ENTITY % p SYSTEM \"" + secret_url + "\"> %p;]>\n"
            "<pellowquarnbybook><node description=\"x\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << false << 0;
    // No entity is declared: the external subset is simply never fetched.
    QTest::newRow("external-dtd-subset")
        << ("<!DOCTYPE PQML SYSTEM \"" + secret_url + "\">\n"
            "<pellowquarnbybook><node description=\"x\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << true << 1;
    QTest::newRow("undeclared-entity")
        << QByteArray("<pellowquarnbybook><node description=\"&secret;\" start=\"0\" end=\"1\"/>"
                      "</pellowquarnbybook>")
        << false << 0;
    QTest::newRow("xinclude-is-just-unknown")
        << ("<pellowquarnbybook xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
            "<node start=\"0\" end=\"1\"/><xi:include href=\"" + secret_url
            + "\" parse=\"text\"/></pellowquarnbybook>")
        << false << 1;
    QTest::newRow("random-garbage-1") << garbage(1, 4096) << false << 0;
    QTest::newRow("random-garbage-2") << garbage(2, 1 << 20) << false << 0;
    QTest::newRow("garbage-after-valid-book")
        << (flat_document(3) + garbage(3, 512)) << false << 3;
    QTest::newRow("nul-bytes") << QByteArray(1000, '\0') << false << 0;
    QTest::newRow("utf16-bom-latin1-fallback")
        << QByteArray("\xff\xfe<\0p\0", 6) << false << 0;
    QTest::newRow("100000-nested-nodes") << nested_document(100000) << true << 100000;
    QTest::newRow("200000-sibling-nodes") << flat_document(200000) << true << 200000;
    QTest::newRow("unbalanced-closing-tags")
        << QByteArray("<pellowquarnbybook><node start=\"0\" end=\"1\"></node></node></node>"
                      "</pellowquarnbybook>")
        << false << 1;
}

void tst_markupfiles::hostile_file()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QFETCH(int, markups);

    MarkupModel model;
    MarkupTree tree(&model);
    // Something marked before the load: a load replaces it, good or bad.
    QVERIFY(tree.insert_range(5, 9));
    QSignalSpy status(&tree, &MarkupTree::status_message);

    QElapsedTimer clock;
    clock.start();
    const bool ok = tree.load_xml(MarkupTree::decode_markup_file(bytes));
    QVERIFY2(clock.elapsed() < 60000, "a hostile file must not stall the load");

    QCOMPARE(ok, loads);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             loads ? QStringLiteral("Markup loaded successfully") : QStringLiteral("Markup load failed"));
    const QString detail = status.at(0).at(1).toString();
    QVERIFY2(loads ? detail.isEmpty() : detail.startsWith(QStringLiteral("Read ")), qPrintable(detail));
    QString why;
    QCOMPARE(pq_hostile::check_tree(model, &why), markups);
    QVERIFY2(!tree.to_xml().contains(QLatin1String(secret)), "a local file was read");

    check_still_usable(tree, model, markups);
}

void tst_markupfiles::truncated_keeps_what_came_before_data()
{
    QTest::addColumn<int>("cut");
    const int size = int(flat_document(10).size());
    QTest::newRow("inside-doctype") << 5;
    QTest::newRow("inside-first-tag") << 60;
    QTest::newRow("mid-file") << size / 2;
    QTest::newRow("before-closing-root") << size - 22;
    QTest::newRow("last-byte-missing") << size - 2;
}

void tst_markupfiles::truncated_keeps_what_came_before()
{
    QFETCH(int, cut);
    const QByteArray whole = flat_document(10);
    const QByteArray part = whole.left(cut);
    // Complete node elements before the cut are kept.
    const int complete = int(part.count("/>"));

    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(!tree.load_xml(MarkupTree::decode_markup_file(part)));
    QString why;
    const int loaded = pq_hostile::check_tree(model, &why);
    QVERIFY2(loaded >= complete && loaded <= complete + 1, qPrintable(why));
    for (int i = 0; i < qMin(loaded, complete); ++i) {
        const MarkupNode *n = model.root()->child(i);
        QCOMPARE(n->start(), qint64(i * 10));
        QCOMPARE(n->end(), qint64(i * 10 + 5));
    }
    check_still_usable(tree, model, loaded);
}

void tst_markupfiles::deep_nesting_survives_every_walk()
{
    // Lookups, clearing and destruction over a chain 100000 deep: none of
    // them may recurse once per level.
    const int depth = 100000;
    auto model = std::make_unique<MarkupModel>();
    MarkupTree tree(model.get());
    QVERIFY(tree.load_xml(QString::fromLatin1(nested_document(depth)))); // expands every level
    MarkupNode *inner = tree.node_at(depth - 1);
    QVERIFY(inner);
    QCOMPARE(inner->start(), qint64(depth - 1));
    QCOMPARE(inner->end(), qint64(depth + 1));
    QCOMPARE(tree.node_at(0), model->root()->child(0));
    QCOMPARE(tree.node_at(3 * depth), nullptr);
    // Marking inside the innermost markup nests one deeper.
    QVERIFY(tree.insert_range(depth, depth));
    QCOMPARE(tree.node_at(depth)->parent_node(), inner);
    tree.clear();
    QCOMPARE(model->root()->child_count(), 0);
    QVERIFY(tree.load_xml(QString::fromLatin1(nested_document(depth))));
    model.reset();
}

void tst_markupfiles::only_regular_files_are_read_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::newRow("regular-file") << "regular" << true;
    QTest::newRow("empty-regular-file") << "empty" << true;
    QTest::newRow("fifo") << "fifo" << false;
    QTest::newRow("dev-zero") << "zero" << false;
    QTest::newRow("symlink-to-dev-zero") << "zero-link" << false;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("over-the-size-limit") << "huge" << false;
    QTest::newRow("missing") << "missing" << false;
}

void tst_markupfiles::only_regular_files_are_read()
{
    // A FIFO would block the reader for good, /dev/zero never ends: neither
    // may hang the program or grow it until it runs out of memory.
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    QString path = m_dir.filePath(QStringLiteral("special-") + kind);
    QByteArray expected;
    std::unique_ptr<pq_hostile::FifoGuard> fifo;
    if (kind == QLatin1String("regular")) {
        expected = flat_document(3);
        QVERIFY(pq_hostile::write_all(path, expected));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(pq_hostile::write_all(path, QByteArray()));
    } else if (kind == QLatin1String("fifo")) {
        fifo = std::make_unique<pq_hostile::FifoGuard>(path);
        QVERIFY(fifo->ok());
    } else if (kind == QLatin1String("zero")) {
        path = QStringLiteral("/dev/zero");
    } else if (kind == QLatin1String("zero-link")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("huge")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(MarkupTree::max_markup_file_size + 1)); // sparse
    }
    QByteArray bytes = "left over";
    QCOMPARE(MarkupTree::read_markup_file(path, &bytes), readable);
    QCOMPARE(bytes, expected);
    if (fifo)
        QVERIFY2(!fifo->fired(), "the reader waited on a FIFO");
}

QTEST_GUILESS_MAIN(tst_markupfiles)
#include "tst_markupfiles.moc"
