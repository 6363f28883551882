#include "hexview/hexwidget.h"
#include "panels/jumpwidget.h"
#include "testsettings.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>

class TestJumpWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_and_field();
    void jump_data();
    void jump();
    void not_a_number_data();
    void not_a_number();
    void jump_clears_status_message();

private:
    QLineEdit *field() { return panel->findChild<QLineEdit *>("address_edit"); }
    QPushButton *go() { return panel->findChild<QPushButton *>("go_button"); }

    std::unique_ptr<QWidget> window;
    HexWidget *hex = nullptr;
    QStatusBar *bar = nullptr;
    JumpWidget *panel = nullptr;
};

void TestJumpWidget::initTestCase()
{
    pq_test::isolate_settings();
}

void TestJumpWidget::init()
{
    window = std::make_unique<QWidget>();
    auto *layout = new QGridLayout(window.get());
    hex = new HexWidget(window.get());
    bar = new QStatusBar(window.get());
    panel = new JumpWidget(window.get());
    panel->set_hex_widget(hex);
    panel->set_status_bar(bar);
    layout->addWidget(hex, 0, 0);
    layout->addWidget(panel, 0, 1);
    layout->addWidget(bar, 1, 0, 1, 2);
    hex->open_file(pq_test::make_temp_file(4096));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestJumpWidget::cleanup()
{
    window.reset();
}

void TestJumpWidget::layout_and_field()
{
    auto *grid = qobject_cast<QGridLayout *>(panel->layout());
    QVERIFY(grid);
    int row, column, rows, columns;
    grid->getItemPosition(grid->indexOf(field()), &row, &column, &rows, &columns);
    QCOMPARE(QList<int>({row, column}), QList<int>({0, 1}));
    grid->getItemPosition(grid->indexOf(go()), &row, &column, &rows, &columns);
    QCOMPARE(QList<int>({row, column}), QList<int>({1, 1}));
    QCOMPARE(go()->text(), QString("Go"));
    QCOMPARE(field()->maxLength(), 999);
    QVERIFY(!field()->validator());
}

void TestJumpWidget::jump_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("use_return");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("top_row");

    QTest::newRow("lower-case-go") << "1f" << false << qint64(31) << qint64(1);
    QTest::newRow("upper-case-go") << "1F" << false << qint64(31) << qint64(1);
    QTest::newRow("lower-case-return") << "1f" << true << qint64(31) << qint64(1);
    QTest::newRow("row-start") << "100" << true << qint64(256) << qint64(16);
    QTest::newRow("zero") << "0" << false << qint64(0) << qint64(0);
    // Passed on unchecked; where the view goes is the hex widget's business.
    QTest::newRow("past-the-end") << "fffff" << false << qint64(0xfffff) << qint64(-1);
}

void TestJumpWidget::jump()
{
    QFETCH(QString, text);
    QFETCH(bool, use_return);
    QFETCH(qint64, offset);
    QFETCH(qint64, top_row);

    QTest::keyClicks(field(), text);
    if (use_return)
        QTest::keyClick(field(), Qt::Key_Return);
    else
        QTest::mouseClick(go(), Qt::LeftButton);
    QCOMPARE(hex->selection_start(), offset);
    QCOMPARE(hex->selection_end(), offset);
    if (top_row >= 0)
        QCOMPARE(hex->top_row(), top_row);
    QVERIFY(bar->currentMessage().isEmpty());
}

void TestJumpWidget::not_a_number_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("use_return");
    QTest::newRow("letters-go") << "xyz" << false;
    QTest::newRow("letters-return") << "xyz" << true;
    QTest::newRow("empty-go") << "" << false;
    QTest::newRow("empty-return") << "" << true;
    QTest::newRow("digit-then-space") << "1f 2" << false;
}

void TestJumpWidget::not_a_number()
{
    QFETCH(QString, text);
    QFETCH(bool, use_return);

    hex->set_selection(40, 44);
    const qint64 top = hex->top_row();
    QTest::keyClicks(field(), text);
    if (use_return)
        QTest::keyClick(field(), Qt::Key_Return);
    else
        QTest::mouseClick(go(), Qt::LeftButton);
    QCOMPARE(bar->currentMessage(), QString("Enter a Hexadecimal Number"));
    QCOMPARE(hex->selection_start(), qint64(40));
    QCOMPARE(hex->selection_end(), qint64(44));
    QCOMPARE(hex->top_row(), top);
}

void TestJumpWidget::jump_clears_status_message()
{
    bar->showMessage("Select some bytes first", 0);
    QTest::keyClicks(field(), "20");
    QTest::mouseClick(go(), Qt::LeftButton);
    QVERIFY(bar->currentMessage().isEmpty());
    QCOMPARE(hex->selection_start(), qint64(32));
    // A failed jump after a good one replaces nothing but the message.
    field()->setText("zz");
    QTest::mouseClick(go(), Qt::LeftButton);
    QCOMPARE(bar->currentMessage(), QString("Enter a Hexadecimal Number"));
    QCOMPARE(hex->selection_start(), qint64(32));
}

QTEST_MAIN(TestJumpWidget)
#include "tst_jumpwidget.moc"
