#include "hexview/hexwidget.h"
#include "panels/jumpwidget.h"
#include "testsettings.h"

#include <QGridLayout>
#include <QLabel>
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
    void refused_data();
    void refused();
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
    auto cell = [&](QWidget *w) {
        int row, column, rows, columns;
        grid->getItemPosition(grid->indexOf(w), &row, &column, &rows, &columns);
        return QList<int>{row, column, rows, columns};
    };
    // One control per row for a narrow dock: caption, field across, Go.
    auto *caption = panel->findChild<QLabel *>("address_caption");
    QVERIFY(caption);
    QCOMPARE(cell(caption), (QList<int>{0, 0, 1, 2}));
    QCOMPARE(caption->text(), QString("Goto Address"));
    QVERIFY(field()->placeholderText().contains("hexadecimal"));
    QCOMPARE(caption->buddy(), field());
    QCOMPARE(cell(field()), (QList<int>{1, 0, 1, 2}));
    QCOMPARE(cell(go()), (QList<int>{2, 1, 1, 1}));
    QCOMPARE(go()->text(), QString("Go"));
    QCOMPARE(field()->maxLength(), 999);
    QVERIFY(!field()->validator());
}

void TestJumpWidget::jump_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key"); // 0: click Go
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("top_row");

    QTest::newRow("lower-case-go") << "1f" << 0 << qint64(31) << qint64(1);
    QTest::newRow("upper-case-go") << "1F" << 0 << qint64(31) << qint64(1);
    QTest::newRow("lower-case-return") << "1f" << int(Qt::Key_Return) << qint64(31) << qint64(1);
    QTest::newRow("keypad-enter") << "1f" << int(Qt::Key_Enter) << qint64(31) << qint64(1);
    QTest::newRow("row-start") << "100" << int(Qt::Key_Return) << qint64(256) << qint64(16);
    QTest::newRow("zero") << "0" << 0 << qint64(0) << qint64(0);
    // The file holds 0x1000 bytes; the view cannot scroll this one to the top.
    QTest::newRow("last-byte") << "fff" << 0 << qint64(0xfff) << qint64(-1);
}

void TestJumpWidget::jump()
{
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(qint64, offset);
    QFETCH(qint64, top_row);

    QTest::keyClicks(field(), text);
    if (key)
        QTest::keyClick(field(), Qt::Key(key));
    else
        QTest::mouseClick(go(), Qt::LeftButton);
    QCOMPARE(hex->selection_start(), offset);
    QCOMPARE(hex->selection_end(), offset);
    if (top_row >= 0)
        QCOMPARE(hex->top_row(), top_row);
    QVERIFY(bar->currentMessage().isEmpty());
}

void TestJumpWidget::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("use_return");
    QTest::addColumn<bool>("file_open");
    QTest::addColumn<QString>("message");
    const QString not_hex("Enter a Hexadecimal Number");
    // What the tool refuses is tested with the tool; here the view's two
    // ways of going and the status bar.
    QTest::newRow("letters-go") << "xyz" << false << true << not_hex;
    QTest::newRow("letters-return") << "xyz" << true << true << not_hex;
    QTest::newRow("far-past-end") << "fffff" << true << true
                                  << "Address 0xfffff is past the end of the file (last address 0xfff)";
    QTest::newRow("no-file") << "0" << false << false << "No file is open";
}

void TestJumpWidget::refused()
{
    QFETCH(QString, text);
    QFETCH(bool, use_return);
    QFETCH(bool, file_open);
    QFETCH(QString, message);

    hex->set_selection(40, 44);
    HexWidget no_file;
    if (!file_open)
        panel->set_hex_widget(&no_file);
    const qint64 top = hex->top_row();
    QTest::keyClicks(field(), text);
    if (use_return)
        QTest::keyClick(field(), Qt::Key_Return);
    else
        QTest::mouseClick(go(), Qt::LeftButton);
    QCOMPARE(bar->currentMessage(), message);
    QCOMPARE(hex->selection_start(), qint64(40));
    QCOMPARE(hex->selection_end(), qint64(44));
    QCOMPARE(hex->top_row(), top);
    QCOMPARE(no_file.selection_start(), qint64(-1));
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
