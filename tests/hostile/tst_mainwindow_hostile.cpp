// The whole program facing hostile files: markup files that are deep, huge,
// broken or malicious loaded through the main window's Load command, and a
// 1 TiB data file opened, marked near its end and saved. After each, marking
// and saving still work.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/hexdocument.h"
#include "treeview/hextreeview.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char secret[] = "PQ-SECRET-0b7e-main-window";

QByteArray nested_document(int depth)
{
    QByteArray doc = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
    for (int i = 0; i < depth; ++i)
        doc += "<node description=\"d\" start=\"" + QByteArray::number(i) + "\" end=\""
            + QByteArray::number(2 * depth - i) + "\">";
    for (int i = 0; i < depth; ++i)
        doc += "</node>";
    doc += "</pellowquarnbybook>\n";
    return doc;
}

} // namespace

class tst_mainwindow_hostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void load_hostile_markup_data();
    void load_hostile_markup();
    void terabyte_file_in_the_window();

private:
    // Marks bytes through the hex view's selection and the Mark command, then
    // saves the markups and reads the file back.
    void mark_and_save(qint64 first, qint64 last);

    QTemporaryDir dir;
    QString data_path;
    QStringList warnings;
    QString open_answer;
    QString save_answer;
    int serial = 0;
};

void tst_mainwindow_hostile::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    data_path = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(pq_hostile::write_all(data_path, QByteArray(256 * 1024, 'd')));
    QVERIFY(pq_hostile::write_all(dir.filePath(QStringLiteral("secret.txt")), secret));

    MainWindow *w = MainWindow::instance();
    w->show_warning = [this](const QString &title, const QString &) { warnings << title; };
    w->ask_question = [](const QString &, const QString &, QMessageBox::StandardButton) {
        return QMessageBox::No;
    };
    w->get_open_file_name = [this](const QString &, const QString &, const QString &) {
        return open_answer;
    };
    w->get_save_file_name = [this](const QString &, const QString &, const QString &) {
        return save_answer;
    };
    w->resize(1000, 700);
    w->show();
}

void tst_mainwindow_hostile::init()
{
    warnings.clear();
    MainWindow *w = MainWindow::instance();
    w->load_file(data_path);
    w->markup_tree()->clear();
}

void tst_mainwindow_hostile::mark_and_save(qint64 first, qint64 last)
{
    MainWindow *w = MainWindow::instance();
    QString why;
    const int before = pq_hostile::check_tree(*w->markup_model(), &why);
    w->hex_widget()->set_selection(first, last);
    w->mark_action();
    QVERIFY(w->is_markup_modified());
    QCOMPARE(pq_hostile::check_tree(*w->markup_model(), &why), before + 1);
    const QString expected = w->markup_tree()->to_xml();

    save_answer = dir.filePath(QStringLiteral("saved-%1.xml").arg(++serial));
    w->save_markup_as_action();
    QCOMPARE(warnings, QStringList());
    QVERIFY(!w->is_markup_modified());
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(save_answer)), expected);
}

void tst_mainwindow_hostile::load_hostile_markup_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("markups");
    const QByteArray secret_url = "file://" + QFile::encodeName(dir.filePath(QStringLiteral("secret.txt")));
    QByteArray noise(1 << 16, '\0');
    QRandomGenerator gen(7);
    for (char &c : noise)
        c = char(gen.bounded(256));

    QTest::newRow("100000-nested") << nested_document(100000) << 100000;
    QTest::newRow("entity-bomb")
        << QByteArray("<!DOCTYPE PQML [<!ENTITY a \"aaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                      "<pellowquarnbybook><node description=\"&d;&d;&d;&d;\" start=\"0\" end=\"1\"/>"
                      "</pellowquarnbybook>")
        << 0;
    QTest::newRow("external-entity")
        << ("<!DOCTYPE PQML [<!ENTITY s SYSTEM \"" + secret_url + "\">]>"
            "<pellowquarnbybook><node description=\"&s;\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << 0;
    QTest::newRow("random-garbage") << noise << 0;
    QTest::newRow("truncated")
        << QByteArray("<pellowquarnbybook><node start=\"0\" end=\"9\"/><node start=\"20\" en") << 1;
    QTest::newRow("empty-file") << QByteArray() << 0;
}

void tst_mainwindow_hostile::load_hostile_markup()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, markups);
    MainWindow *w = MainWindow::instance();
    QVERIFY(w->markup_tree()->insert_range(100, 199));
    open_answer = dir.filePath(QStringLiteral("hostile-%1.xml").arg(++serial));
    QVERIFY(pq_hostile::write_all(open_answer, bytes));

    QElapsedTimer clock;
    clock.start();
    w->load_markup_action();
    QVERIFY2(clock.elapsed() < 120000, "loading a hostile file must not stall the window");
    QString why;
    QCOMPARE(pq_hostile::check_tree(*w->markup_model(), &why), markups);
    QVERIFY(!w->markup_tree()->to_xml().contains(QLatin1String(secret)));
    // The window paints and its views cope with whatever was loaded.
    QVERIFY(!w->grab().isNull());
    QVERIFY(!w->markup_tree_view()->grab().isNull());

    // Marking past everything loaded, and saving, still work.
    w->load_file(data_path);
    // Past every markup the files hold, so it can never overlap one.
    mark_and_save(250000, 250015);
}

void tst_mainwindow_hostile::terabyte_file_in_the_window()
{
    const qint64 size = Q_INT64_C(1) << 40;
    const QString path = dir.filePath(QStringLiteral("tebibyte.bin"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(size))
            QSKIP("this file system cannot hold a sparse 1 TiB file");
    }
    MainWindow *w = MainWindow::instance();
    w->load_file(path);
    QCOMPARE(w->hex_widget()->document()->size(), size);
    w->hex_widget()->set_selection(size - 1, size - 1);
    QCOMPARE(w->hex_widget()->selection_text(), QStringLiteral("00"));
    QVERIFY(!w->grab().isNull());
    mark_and_save(size - 32, size - 1);
    MarkupNode *n = w->markup_model()->root()->child(0);
    QCOMPARE(n->start(), size - 32);
    QCOMPARE(n->end(), size - 1);
    // The mask colours the marked bytes once it has filled.
    QTRY_COMPARE_WITH_TIMEOUT(w->markup_mask()->markup_at(size - 1), n, 10000);
    QVERIFY(!w->grab().isNull());
    w->load_file(data_path);
    QVERIFY(QFile::remove(path));
}

QTEST_MAIN(tst_mainwindow_hostile)
#include "tst_mainwindow_hostile.moc"
