// A markup file whose one attribute is 100 MB long: it loads (or fails) in
// bounded time and memory, and the tree stays usable afterwards. A file of
// the size limit, one description, loads within about two copies of it.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "editedfile/editedfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Resident memory: the peak so far (getrusage) and now (/proc/self/statm).
qint64 peak_memory()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

qint64 memory_now()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE)
               : -1;
}

} // namespace

class tst_hugeattribute_slow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }
    void hundred_megabyte_attribute_data();
    void hundred_megabyte_attribute();
    void file_of_the_size_limit();
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

void tst_hugeattribute_slow::file_of_the_size_limit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("limit.xml"));
    const QByteArray head = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n <node description=\"";
    const QByteArray tail = "\" start=\"0\" end=\"9\"/>\n</pellowquarnbybook>\n";
    const qint64 length = MarkupTree::max_markup_file_size - head.size() - tail.size();
    {
        QByteArray doc = head;
        doc.append(length, 'x').append(tail);
        QVERIFY(pq_hostile::write_all(path, doc));
    }
    EditedFile edited;
    QVERIFY(edited.open(pq_test::make_temp_file(16)));
    QVERIFY(edited.mark(0, 3, QStringLiteral("before")));

    // The reader's copy of the description and the markup's, two bytes a
    // character, and little else.
    const qint64 memory_before = memory_now();
    QVERIFY(memory_before > 0);
    QList<qint64> told;
    QCOMPARE(edited.read_markup(path, [&told](qint64 done, qint64) { told << done; return true; }),
             EditedFile::MarkupRead::loaded);
    const qint64 used = peak_memory() - memory_before;
    qInfo("peak memory of the load: %lld MiB", used >> 20);
    QVERIFY2(used < 4 * MarkupTree::max_markup_file_size + (qint64(300) << 20),
             "more than two copies of the description");
    QVERIFY(told.size() > 100 && told.last() == MarkupTree::max_markup_file_size);
    QCOMPARE(edited.markup_model()->root()->child(0)->data(0).toString().size(), length);
}

QTEST_GUILESS_MAIN(tst_hugeattribute_slow)
#include "tst_hugeattribute_slow.moc"
