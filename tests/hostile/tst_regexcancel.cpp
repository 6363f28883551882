// A catastrophic regular expression over a megabyte, cancelled at once,
// halfway and after it ended: Cancel always gets through quickly, and the
// panel, the view and the next searches keep working.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/file_anchor.h"
#include "hexview/hexwidget.h"
#include "panels/searchwidget.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class tst_regexcancel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cancel_while_backtracking_data();
    void cancel_while_backtracking();
    void cancel_after_the_end();

private:
    template <typename T>
    T *child(const char *name)
    {
        T *w = panel->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no %s in the search panel", name);
        return w;
    }
    void run_search(const QString &expression, bool regex);

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<HexWidget> hex;
    std::unique_ptr<SearchWidget> panel;
    std::unique_ptr<QStatusBar> status;
};

void tst_regexcancel::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("as.bin"));
    // A megabyte of 'a' with one 'Z' at the very end.
    QByteArray bytes(1 << 20, 'a');
    bytes[bytes.size() - 1] = 'Z';
    QVERIFY(pq_hostile::write_all(path, bytes));
}

void tst_regexcancel::init()
{
    file_anchor::instance()->clear();
    hex = std::make_unique<HexWidget>();
    panel = std::make_unique<SearchWidget>();
    status = std::make_unique<QStatusBar>();
    hex->resize(hex->width(), 10 * hex->line_height());
    hex->show();
    panel->show();
    hex->open_file(path);
    panel->set_hex_widget(hex.get());
    panel->set_status_bar(status.get());
}

void tst_regexcancel::run_search(const QString &expression, bool regex)
{
    // Mode clicks and edits restart the range, so only make the ones needed.
    QRadioButton *mode = child<QRadioButton>(regex ? "regex_button" : "simple_button");
    if (!mode->isChecked())
        mode->click();
    if (!regex && !child<QRadioButton>("alpha_button")->isChecked())
        child<QRadioButton>("alpha_button")->click();
    if (child<QLineEdit>("expression_edit")->text() != expression)
        child<QLineEdit>("expression_edit")->setText(expression);
    child<QPushButton>("search_button")->click();
}

void tst_regexcancel::cancel_while_backtracking_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("delay_ms");
    QTest::newRow("nested-star-at-once") << "(a*)*b" << 0;
    QTest::newRow("nested-star-halfway") << "(a*)*b" << 100;
    QTest::newRow("nested-plus-halfway") << "(a+)+b" << 300;
    // The matcher's limits never stop these: only Cancel does.
    QTest::newRow("backreference-at-once") << "(a+)\\1+b" << 0;
    QTest::newRow("backreference-late") << "(a+)\\1+b" << 2000;
}

void tst_regexcancel::cancel_while_backtracking()
{
    QFETCH(QString, expression);
    QFETCH(int, delay_ms);
    QElapsedTimer clicked;
    QTimer::singleShot(delay_ms, panel.get(), [&] {
        clicked.start();
        child<QPushButton>("cancel_button")->click();
    });
    QElapsedTimer whole;
    whole.start();
    run_search(expression, true);
    const qint64 took = whole.elapsed();
    if (!clicked.isValid())
        QSKIP("the matcher gave up before Cancel was pressed");
    // Cancel gets through within a moment, however deep the backtracking.
    QVERIFY2(clicked.elapsed() < 2000, qPrintable(QString::number(clicked.elapsed())));
    QCOMPARE(status->currentMessage(), QStringLiteral("Search Operation Cancelled"));
    QVERIFY(!panel->searching());
    QVERIFY(took < delay_ms + 5000);

    // Everything works afterwards: a search from the start finds the 'Z'.
    run_search(QStringLiteral("Z"), false);
    QCOMPARE(hex->selection_start(), qint64((1 << 20) - 1));
    run_search(QStringLiteral("a{4}Z"), true);
    QCOMPARE(qMin(hex->selection_start(), hex->selection_end()), qint64((1 << 20) - 5));
    QVERIFY(!hex->grab().isNull());
}

void tst_regexcancel::cancel_after_the_end()
{
    // A search that ends by itself (the matcher's limit or no match).
    run_search(QStringLiteral("a{3}b"), true);
    QCOMPARE(status->currentMessage(), QStringLiteral("No Match Found"));
    // Cancel pressed with nothing running is ignored: the next search runs
    // to its end.
    child<QPushButton>("cancel_button")->click();
    QVERIFY(!file_anchor::instance()->is_cancelled());
    run_search(QStringLiteral("a{3}b"), true);
    QCOMPARE(status->currentMessage(), QStringLiteral("No Match Found"));
    run_search(QStringLiteral("Z"), false);
    QCOMPARE(hex->selection_start(), qint64((1 << 20) - 1));
    // Cancel after a hit changes nothing already found.
    child<QPushButton>("cancel_button")->click();
    QCOMPARE(hex->selection_start(), qint64((1 << 20) - 1));
}

QTEST_MAIN(tst_regexcancel)
#include "tst_regexcancel.moc"
