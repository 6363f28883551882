// A markup file whose one attribute is 100 MB long: it loads (or fails) in
// bounded time and memory, and the tree stays usable afterwards.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QElapsedTimer>
#include <QTest>

class tst_hugeattribute_slow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }
    void hundred_megabyte_attribute_data();
    void hundred_megabyte_attribute();
};

void tst_hugeattribute_slow::hundred_megabyte_attribute_data()
{
    QTest::addColumn<QByteArray>("attribute");
    QTest::addColumn<bool>("closed");
    QTest::newRow("description-complete") << QByteArray("description") << true;
    QTest::newRow("start-complete") << QByteArray("start") << true;
    QTest::newRow("description-never-closed") << QByteArray("description") << false;
}

void tst_hugeattribute_slow::hundred_megabyte_attribute()
{
    QFETCH(QByteArray, attribute);
    QFETCH(bool, closed);
    const qsizetype length = 100 * 1000 * 1000;
    QByteArray doc = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n <node start=\"0\" end=\"9\"/>\n <node "
        + attribute + "=\"";
    doc.reserve(doc.size() + length + 200);
    doc.append(length, attribute == "start" ? '7' : 'x');
    if (closed)
        doc += "\" end=\"99\"/>\n</pellowquarnbybook>\n";

    MarkupModel model;
    MarkupTree tree(&model);
    QElapsedTimer clock;
    clock.start();
    const bool ok = tree.load_xml(MarkupTree::decode_markup_file(doc));
    doc = QByteArray();
    QVERIFY2(clock.elapsed() < 120000, "the load took minutes");
    QCOMPARE(ok, closed);
    QString why;
    const int loaded = pq_hostile::check_tree(model, &why);
    QCOMPARE(loaded, closed ? 2 : 1);
    if (closed && attribute == "description")
        QCOMPARE(model.root()->child(1)->data(MarkupColumn::Description).toString().size(), length);
    if (closed && attribute == "start")
        // Not a 64-bit number: reads as 0, like any unreadable offset.
        QCOMPARE(model.root()->child(1)->start(), qint64(0));

    // Marking and writing out still work.
    QVERIFY(tree.insert_range(1000, 1009));
    const QString xml = tree.to_xml();
    MarkupModel model2;
    MarkupTree tree2(&model2);
    QVERIFY(tree2.load_xml(xml));
    QCOMPARE(pq_hostile::check_tree(model2, &why), loaded + 1);
}

QTEST_GUILESS_MAIN(tst_hugeattribute_slow)
#include "tst_hugeattribute_slow.moc"
