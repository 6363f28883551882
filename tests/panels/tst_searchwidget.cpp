#include "document/file_anchor.h"
#include "editedfile/editedfile.h"
#include "hexview/hexwidget.h"
#include "editedfile/findalltool.h"
#include "editedfile/hitlistmodel.h"
#include "panels/searchresultswidget.h"
#include "panels/searchwidget.h"
#include "panels/statusdetail.h"
#include "testsettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBox>

#include <functional>
#include <memory>

// The panel as a user drives it: real clicks and key presses on its widgets,
// the hits read back from a real hex widget and the messages from a real
// status bar.
class TestSearchWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void starts_in_regex_alpha_mode();
    void grid_and_captions();
    void fits_narrow_width_data();
    void fits_narrow_width();
    void mode_buttons_switch_format_box();
    void hexadecimal_validator_data();
    void hexadecimal_validator();
    void validator_only_for_simple_hexadecimal();
    void typed_expression_runs_regex_search();
    void empty_regex_match_moves_on();
    void alpha_walk_restarts_after_miss();
    void hex_search_data();
    void hex_search();
    void perform_search_selects_first_occurrence();
    void perform_search_with_nothing_selected();
    void edit_or_mode_click_restarts_at_zero_data();
    void edit_or_mode_click_restarts_at_zero();
    void progress_back_to_zero_at_each_end_data();
    void progress_back_to_zero_at_each_end();
    void runtime_error_resets_range();
    void unsaved_edits_are_not_seen();
    void no_file_open();
    void other_file_opened_starts_again();
    void controls_locked_while_running();
    void focus_comes_back_after_search();
    void cancel_click_stops_search_data();
    void cancel_click_stops_search();
    void cancel_while_idle_is_ignored();
    void closing_window_cancels_search();
    void other_toolbox_page_does_not_cancel();
    void set_progress_shows_value();
    void find_all_lists_and_shows_hits();
    void find_all_cancel_keeps_hits_found();

private:
    QRadioButton *radio(const char *name) { return panel->findChild<QRadioButton *>(name); }
    QLineEdit *edit() { return panel->findChild<QLineEdit *>("expression_edit"); }
    QProgressBar *progress() { return panel->findChild<QProgressBar *>("progress_bar"); }
    QGroupBox *format_box() { return panel->findChild<QGroupBox *>("format_box"); }
    QPushButton *button(const char *name) { return panel->findChild<QPushButton *>(name); }
    void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton); }
    void click_search() { click(button("search_button")); }
    void open(const QByteArray &contents) { hex->open_file(pq_test::make_temp_file(0, contents)); }
    // Types into the field as a user does (so it counts as an edit).
    void type(const QString &text)
    {
        edit()->selectAll();
        QTest::keyClick(edit(), Qt::Key_Backspace);
        QTest::keyClicks(edit(), text);
    }
    QString status() const { return bar->currentMessage(); }
    qint64 sel_start() const { return hex->selection_start(); }
    qint64 sel_end() const { return hex->selection_end(); }

    std::unique_ptr<QWidget> window;
    HexWidget *hex = nullptr;
    QStatusBar *bar = nullptr;
    SearchWidget *panel = nullptr;
};

void TestSearchWidget::initTestCase()
{
    pq_test::isolate_settings();
}

void TestSearchWidget::init()
{
    file_anchor::instance()->clear();
    window = std::make_unique<QWidget>();
    auto *layout = new QGridLayout(window.get());
    hex = new HexWidget(window.get());
    bar = new QStatusBar(window.get());
    panel = new SearchWidget(window.get());
    panel->set_hex_widget(hex);
    panel->set_status_bar(bar);
    layout->addWidget(hex, 0, 0);
    layout->addWidget(panel, 0, 1);
    layout->addWidget(bar, 1, 0, 1, 2);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestSearchWidget::cleanup()
{
    window.reset();
    file_anchor::instance()->clear();
}

void TestSearchWidget::starts_in_regex_alpha_mode()
{
    QVERIFY(radio("regex_button")->isChecked());
    QVERIFY(radio("alpha_button")->isChecked());
    QVERIFY(!radio("simple_button")->isChecked());
    QVERIFY(!radio("hex_button")->isChecked());
    QVERIFY(!format_box()->isEnabled());
    QVERIFY(!edit()->validator());
    QCOMPARE(edit()->maxLength(), 999);
    QVERIFY(!panel->searching());
}

void TestSearchWidget::grid_and_captions()
{
    auto *grid = qobject_cast<QGridLayout *>(panel->layout());
    QVERIFY(grid);
    auto cell = [&](QLayoutItem *item) {
        int row, column, rows, columns;
        for (int i = 0; i < grid->count(); ++i)
            if (grid->itemAt(i) == item) {
                grid->getItemPosition(i, &row, &column, &rows, &columns);
                return QList<int>{row, column, rows, columns};
            }
        return QList<int>();
    };
    auto widget_cell = [&](QWidget *w) { return cell(grid->itemAt(grid->indexOf(w))); };
    // A narrow page: everything but the two buttons takes a row of its own.
    QCOMPARE(widget_cell(edit()), (QList<int>{1, 0, 1, 2}));
    QCOMPARE(cell(grid->itemAtPosition(2, 0)), (QList<int>{2, 0, 1, 2}));
    QCOMPARE(widget_cell(progress()), (QList<int>{3, 0, 1, 2}));
    // The bar names itself, at 0 before any search.
    QCOMPARE(progress()->text(), QString("Progress: 0%"));
    QCOMPARE(widget_cell(button("search_button")), (QList<int>{4, 0, 1, 1}));
    QCOMPARE(widget_cell(button("cancel_button")), (QList<int>{4, 1, 1, 1}));
    QCOMPARE(button("search_button")->text(), QString("Search"));
    QCOMPARE(button("cancel_button")->text(), QString("Cancel"));
    QCOMPARE(button("search_button")->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(button("cancel_button")->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(radio("alpha_button")->text(), QString("&Alpha"));
    QCOMPARE(radio("hex_button")->text(), QString("&Hexadecimal"));
    QCOMPARE(radio("regex_button")->text(), QString("&Regex"));
    QCOMPARE(radio("simple_button")->text(), QString("&Simple"));
    QCOMPARE(radio("alpha_button")->parentWidget(), format_box());
    QCOMPARE(radio("simple_button")->parentWidget(), radio("regex_button")->parentWidget());
}

void TestSearchWidget::fits_narrow_width_data()
{
    QTest::addColumn<int>("point_size");
    QTest::addColumn<bool>("side_by_side");
    QTest::newRow("default-font-stacked") << 0 << false;
    QTest::newRow("14-point-stacked") << 14 << false;
    QTest::newRow("14-point-side-by-side") << 14 << true;
}

void TestSearchWidget::fits_narrow_width()
{
    QFETCH(int, point_size);
    QFETCH(bool, side_by_side);
    if (point_size)
        window->setFont(QFont("DejaVu Sans Mono", point_size));
    panel->set_groups_side_by_side(side_by_side);
    QWidget *mode_box = radio("regex_button")->parentWidget();
    // Stacked, the page is no wider than its widest control plus margins.
    if (!side_by_side)
        QVERIFY(panel->minimumSizeHint().width()
                < mode_box->minimumSizeHint().width() + format_box()->minimumSizeHint().width());
    // Laid out at its minimum size, every control is whole and inside the page.
    panel->setParent(nullptr);
    panel->setFont(window->font());
    panel->resize(panel->minimumSizeHint());
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    const QRect page = panel->rect();
    for (QWidget *w : panel->findChildren<QWidget *>()) {
        if (!w->isVisible())
            continue;
        const QRect r(w->mapTo(panel, QPoint(0, 0)), w->size());
        QVERIFY2(page.contains(r), qPrintable(w->objectName()));
        QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(w->objectName()));
    }
    const int mode_y = mode_box->mapTo(panel, QPoint(0, 0)).y();
    const int format_y = format_box()->mapTo(panel, QPoint(0, 0)).y();
    QCOMPARE(format_y == mode_y, side_by_side);
    delete panel;
    panel = nullptr;
}

void TestSearchWidget::mode_buttons_switch_format_box()
{
    click(radio("simple_button"));
    QVERIFY(format_box()->isEnabled());
    click(radio("hex_button"));
    QVERIFY(radio("hex_button")->isChecked());
    click(radio("regex_button"));
    QVERIFY(!format_box()->isEnabled());
    // The format choice survives the trip through Regex.
    QVERIFY(radio("hex_button")->isChecked());
    click(radio("simple_button"));
    QVERIFY(format_box()->isEnabled());
}

void TestSearchWidget::hexadecimal_validator_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("word-cleared") << "hello" << "";
    QTest::newRow("digits-kept") << "0aff" << "0aff";
    QTest::newRow("prefix-kept") << "0x1f" << "0x1f";
    QTest::newRow("space-cleared") << "0a ff" << "";
}

void TestSearchWidget::hexadecimal_validator()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    click(radio("simple_button"));
    type(before);
    QCOMPARE(edit()->text(), before);
    click(radio("hex_button"));
    QCOMPARE(edit()->text(), after);
    QVERIFY(edit()->validator());
    // Typing is now restricted to hexadecimal digits.
    edit()->end(false);
    QTest::keyClicks(edit(), "zq7");
    QCOMPARE(edit()->text(), after + "7");
}

void TestSearchWidget::validator_only_for_simple_hexadecimal()
{
    click(radio("simple_button"));
    click(radio("hex_button"));
    QVERIFY(edit()->validator());
    // Regex drops it: a group can be typed.
    click(radio("regex_button"));
    QVERIFY(!edit()->validator());
    QTest::keyClicks(edit(), "(ab)");
    QCOMPARE(edit()->text(), QString("(ab)"));
    // Back to Simple with Hexadecimal still chosen: it returns, and clears
    // what is not hexadecimal, as a click on Hexadecimal does.
    click(radio("simple_button"));
    QVERIFY(radio("hex_button")->isChecked());
    QVERIFY(edit()->validator());
    QCOMPARE(edit()->text(), QString());
    click(radio("alpha_button"));
    QVERIFY(!edit()->validator());
    QTest::keyClicks(edit(), "hello");
    QCOMPARE(edit()->text(), QString("hello"));
    // Simple with Alpha chosen brings no validator.
    click(radio("regex_button"));
    click(radio("simple_button"));
    QVERIFY(!edit()->validator());
}

void TestSearchWidget::typed_expression_runs_regex_search()
{
    open("abc 123 xyz 45");
    QTest::keyClicks(edit(), "[0-9]+");
    click_search();
    QCOMPARE(sel_start(), qint64(4));
    QCOMPARE(sel_end(), qint64(6));
    // Enter in the field is Search, on either key.
    QTest::keyClick(edit(), Qt::Key_Return);
    QCOMPARE(sel_start(), qint64(12));
    QCOMPARE(sel_end(), qint64(13));
    QVERIFY(status().isEmpty());
    QTest::keyClick(edit(), Qt::Key_Enter);
    QCOMPARE(status(), QString("No Match Found"));
    QTest::keyClick(edit(), Qt::Key_Enter);
    QCOMPARE(sel_start(), qint64(4));
}

void TestSearchWidget::empty_regex_match_moves_on()
{
    open("xxab--");
    type("ab");
    click_search();
    QCOMPARE(sel_start(), qint64(2));
    // z* matches nothing at 4, the end of the previous hit: the cursor shows
    // the place, and each later search starts one byte on, up to the empty
    // match at the end of the file; then the walk ends and starts again.
    edit()->setText("z*");
    for (qint64 at : {4, 5, 6}) {
        click_search();
        QCOMPARE(sel_start(), at);
        QCOMPARE(sel_end(), at);
        QCOMPARE(status(), QString("Empty match at 0x%1").arg(at, 0, 16));
    }
    click_search();
    QCOMPARE(status(), QString("No Match Found"));
    QCOMPARE(sel_start(), qint64(-1));
    click_search();
    QCOMPARE(sel_start(), qint64(0));
    QCOMPARE(status(), QString("Empty match at 0x0"));
    // A real hit after an empty match is found from the byte after it.
    edit()->setText("x*");
    click_search();
    QCOMPARE(sel_start(), qint64(1));
    QCOMPARE(sel_end(), qint64(1));
    QVERIFY(status().isEmpty());
    click_search();
    QCOMPARE(status(), QString("Empty match at 0x2"));
    // An edit starts again at 0 and forgets the step.
    type("x*");
    click_search();
    QCOMPARE(sel_start(), qint64(0));
    QCOMPARE(sel_end(), qint64(1));
}

void TestSearchWidget::alpha_walk_restarts_after_miss()
{
    open("aaaa");
    click(radio("simple_button"));
    type("aa");
    click_search();
    QCOMPARE(sel_start(), qint64(0));
    QCOMPARE(sel_end(), qint64(1));
    click_search();
    QCOMPARE(sel_start(), qint64(2));
    QCOMPARE(sel_end(), qint64(3));
    click_search();
    QCOMPARE(status(), QString("No Match Found"));
    QCOMPARE(sel_start(), qint64(-1));
    click_search();
    QCOMPARE(sel_start(), qint64(0));
    QCOMPARE(sel_end(), qint64(1));
}

void TestSearchWidget::hex_search_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("message");

    const QByteArray file("\x41\x0a\xff\x00\x41\x80\x0a\xff", 8);
    QTest::newRow("lower-case") << file << "0aff" << qint64(1) << qint64(2) << "";
    QTest::newRow("upper-case") << file << "0AFF" << qint64(1) << qint64(2) << "";
    QTest::newRow("zero-byte") << file << "00" << qint64(3) << qint64(3) << "";
    QTest::newRow("prefix-is-a-zero-pair") << file << "0x41" << qint64(3) << qint64(4) << "";
    QTest::newRow("high-byte") << file << "80" << qint64(5) << qint64(5) << "";
    QTest::newRow("odd-length") << file << "0aff0" << qint64(7) << qint64(7)
                                << "Hex string must have an even number of characters";
    QTest::newRow("empty") << file << "" << qint64(7) << qint64(7) << "Search String is Empty";
}

void TestSearchWidget::hex_search()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QString, message);

    open(file);
    click(radio("simple_button"));
    click(radio("hex_button"));
    // A selection the refused searches must leave alone.
    hex->set_selection(7, 7);
    edit()->setText(text);
    click_search();
    QCOMPARE(sel_start(), start);
    QCOMPARE(sel_end(), end);
    QCOMPARE(status(), message);
}

void TestSearchWidget::perform_search_selects_first_occurrence()
{
    open("xyJKabJKJK");
    panel->perform_search("4a4b");
    QCOMPARE(sel_start(), qint64(2));
    QCOMPARE(sel_end(), qint64(3));
    QVERIFY(radio("simple_button")->isChecked());
    QVERIFY(radio("hex_button")->isChecked());
    QVERIFY(format_box()->isEnabled());
    QCOMPARE(edit()->text(), QString("4a4b"));
    // Again from the start, not after the previous hit.
    panel->perform_search("4a4b");
    QCOMPARE(sel_start(), qint64(2));
    // The hex widget's own request: the selected bytes, found from the start.
    connect(hex, &HexWidget::send_selection, panel, &SearchWidget::perform_search);
    hex->set_selection(8, 9);
    hex->search_triggered();
    QCOMPARE(sel_start(), qint64(2));
    QCOMPARE(sel_end(), qint64(3));
}

void TestSearchWidget::perform_search_with_nothing_selected()
{
    open("abc");
    type("hello");
    panel->perform_search(QString());
    QCOMPARE(status(), QString("Search String is Empty"));
    QCOMPARE(sel_start(), qint64(-1));
}

void TestSearchWidget::edit_or_mode_click_restarts_at_zero_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("edit") << "edit";
    QTest::newRow("simple-click") << "simple";
    QTest::newRow("alpha-click") << "alpha";
    QTest::newRow("nothing") << "none";
}

void TestSearchWidget::edit_or_mode_click_restarts_at_zero()
{
    QFETCH(QString, action);
    open("ab-ab-ab");
    click(radio("simple_button"));
    type("ab");
    click_search();
    click_search();
    QCOMPARE(sel_start(), qint64(3));
    if (action == "edit") {
        QTest::keyClick(edit(), Qt::Key_Backspace);
        QTest::keyClick(edit(), Qt::Key_B);
    } else if (action != "none") {
        click(radio(action == "simple" ? "simple_button" : "alpha_button"));
    }
    if (action != "none")
        QCOMPARE(sel_start(), qint64(-1));
    click_search();
    QCOMPARE(sel_start(), action == "none" ? qint64(6) : qint64(0));
}

void TestSearchWidget::progress_back_to_zero_at_each_end_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("message");
    QTest::newRow("hit") << "abc" << false << "";
    QTest::newRow("miss") << "abd" << false << "No Match Found";
    QTest::newRow("file-cut-short") << "abd" << true << "The file changed during the search";
}

void TestSearchWidget::progress_back_to_zero_at_each_end()
{
    QFETCH(QString, expression);
    QFETCH(bool, cut);
    QFETCH(QString, message);
    QByteArray file(300000, 'z');
    file.replace(290000, 3, "abc");
    open(file);
    const QString path = hex->edited_file()->path();
    click(radio("simple_button"));
    type(expression);
    panel->setProgress(1234);
    QSignalSpy values(progress(), &QProgressBar::valueChanged);
    QSignalSpy file_changes(hex->edited_file(), &EditedFile::file_changed);
    int reports = 0;
    auto connection = connect(file_anchor::instance(), &file_anchor::iterator_changed, this, [&] {
        if (++reports == 2 && cut)
            QVERIFY(QFile::resize(path, 1000));
    });
    click_search();
    disconnect(connection);
    QCOMPARE(status(), message);
    QCOMPARE(progress()->value(), 0);
    // Reset as the search started; one report per block read; reset again.
    QVERIFY(values.size() >= 3);
    QCOMPARE(values.first().at(0).toInt(), 0);
    if (message.isEmpty()) {
        QCOMPARE(sel_start(), qint64(290000));
        // The last report came from the block holding the hit.
        const int last = values.at(values.size() - 2).at(0).toInt();
        QVERIFY2(last > 5000 && last <= 290000LL * 10000 / 300000, qPrintable(QString::number(last)));
    }
    // The views are told when the file is not what they knew.
    QCOMPARE(file_changes.size(), cut ? 1 : 0);
    QCOMPARE(hex->edited_file()->size(), cut ? qint64(1000) : qint64(300000));
}

void TestSearchWidget::runtime_error_resets_range()
{
    open("abcabc");
    type("b");
    click_search();
    QCOMPARE(sel_start(), qint64(1));
    edit()->setText("(b");
    click_search();
    QCOMPARE(status(), QString("Search Runtime Error"));
    QVERIFY2(StatusDetail::detail(bar).startsWith(
                 "Invalid regular expression at position 2: Unmatched marking parenthesis"),
             qPrintable(StatusDetail::detail(bar)));
    QCOMPARE(sel_start(), qint64(-1));
    QCOMPARE(progress()->value(), 0);
    edit()->setText("c");
    click_search();
    QCOMPARE(sel_start(), qint64(2));
}

void TestSearchWidget::unsaved_edits_are_not_seen()
{
    open("abcd");
    hex->edit_triggered();
    hex->set_selection(1, 1);
    hex->setFocus();
    QTest::keyClicks(hex, "7a");
    QCOMPARE(hex->edited_value(1), 0x7a);
    click(radio("simple_button"));
    type("z");
    click_search();
    QCOMPARE(status(), QString("No Match Found"));
    type("b");
    click_search();
    QCOMPARE(sel_start(), qint64(1));
}

void TestSearchWidget::no_file_open()
{
    // An edit resets the range with no file open; nothing may escape.
    type("abc");
    QCOMPARE(edit()->text(), QString("abc"));
    click_search();
    QVERIFY2(status().contains("No file"), qPrintable(status()));
    click(radio("simple_button"));
    click_search();
    QVERIFY2(status().contains("No file"), qPrintable(status()));
    // Opening a file afterwards is enough; no further edit is needed.
    open("xxabc");
    click_search();
    QCOMPARE(sel_start(), qint64(2));
    QCOMPARE(sel_end(), qint64(4));
}

void TestSearchWidget::other_file_opened_starts_again()
{
    open("abcabc");
    click(radio("simple_button"));
    type("c");
    click_search();
    click_search();
    QCOMPARE(sel_start(), qint64(5));
    open("cc");
    click_search();
    QCOMPARE(sel_start(), qint64(0));
    click_search();
    QCOMPARE(sel_start(), qint64(1));
}

void TestSearchWidget::controls_locked_while_running()
{
    QByteArray file(2000000, 'a');
    file.replace(1999990, 3, "JKL");
    open(file);
    click(radio("simple_button"));
    type("JKL");
    bool checked = false;
    int text_before = 0;
    // Runs inside the search's first event processing.
    QTimer::singleShot(0, this, [&] {
        checked = true;
        QVERIFY(panel->searching());
        QVERIFY(!button("search_button")->isEnabled());
        QVERIFY(button("cancel_button")->isEnabled());
        QVERIFY(!edit()->isEnabled());
        QVERIFY(!radio("regex_button")->isEnabled());
        QVERIFY(!radio("alpha_button")->isEnabled());
        text_before = edit()->text().size();
        // Neither a second search nor the hex widget's request starts anything.
        panel->search();
        panel->perform_search("4142");
        QCOMPARE(edit()->text(), QString("JKL"));
        QVERIFY(radio("alpha_button")->isChecked());
    });
    click_search();
    QVERIFY(checked);
    QCOMPARE(text_before, 3);
    QCOMPARE(sel_start(), qint64(1999990));
    QVERIFY(!panel->searching());
    QVERIFY(button("search_button")->isEnabled());
    QVERIFY(edit()->isEnabled());
    QVERIFY(format_box()->isEnabled());
}

void TestSearchWidget::focus_comes_back_after_search()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    open(QByteArray(500000, 'a'));
    type("b");
    edit()->setFocus();
    QCOMPARE(QApplication::focusWidget(), edit());
    bool moved = false;
    QTimer::singleShot(0, this, [&] { moved = QApplication::focusWidget() != edit(); });
    panel->search();
    QVERIFY(moved);
    QCOMPARE(status(), QString("No Match Found"));
    QCOMPARE(QApplication::focusWidget(), edit());
}

void TestSearchWidget::cancel_click_stops_search_data()
{
    QTest::addColumn<bool>("regex");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<int>("delay_ms");
    QTest::newRow("byte-string") << false << QByteArray(8 << 20, 'a') << "b" << 0;
    QTest::newRow("regex") << true << QByteArray(8 << 20, 'a') << "a{3}b" << 0;
    // Backtracks for seconds before the matcher's own limit; Cancel pressed
    // well into it must still get through at once.
    QTest::newRow("pathological-regex") << true << QByteArray(4 << 20, 'a') << "(a*)*b" << 100;
}

void TestSearchWidget::cancel_click_stops_search()
{
    QFETCH(bool, regex);
    QFETCH(QByteArray, file);
    QFETCH(QString, expression);
    QFETCH(int, delay_ms);
    open(file);
    if (!regex)
        click(radio("simple_button"));
    type(expression);
    QElapsedTimer clicked;
    QTimer::singleShot(delay_ms, this, [&] {
        clicked.start();
        click(button("cancel_button"));
    });
    click_search();
    QVERIFY(clicked.isValid());
    QVERIFY2(clicked.elapsed() < 500, qPrintable(QString::number(clicked.elapsed())));
    QCOMPARE(status(), QString("Search Operation Cancelled"));
    QCOMPARE(progress()->value(), 0);
    QCOMPARE(sel_start(), qint64(-1));
    // The reset dropped the request: the next search runs to its end.
    QVERIFY(!file_anchor::instance()->is_cancelled());
}

void TestSearchWidget::cancel_while_idle_is_ignored()
{
    QByteArray file(100000, 'a');
    file.replace(50000, 1, "b");
    open(file);
    click(radio("simple_button"));
    type("b");
    // Before any search, and after a hit: neither stops the next search.
    click(button("cancel_button"));
    QVERIFY(!file_anchor::instance()->is_cancelled());
    click_search();
    QCOMPARE(sel_start(), qint64(50000));
    click(button("cancel_button"));
    click_search();
    QCOMPARE(status(), QString("No Match Found"));
    // A request left by anything else does not reach a new search either.
    file_anchor::instance()->cancel();
    click_search();
    QCOMPARE(sel_start(), qint64(50000));
}

void TestSearchWidget::closing_window_cancels_search()
{
    open(QByteArray(8 << 20, 'a'));
    type("a{2}b");
    bool closed = false;
    QTimer::singleShot(0, this, [&] { closed = window->close(); });
    click_search();
    QVERIFY(closed);
    QCOMPARE(status(), QString("Search Operation Cancelled"));
}

void TestSearchWidget::other_toolbox_page_does_not_cancel()
{
    auto *toolbox = new QToolBox(window.get());
    window->layout()->addWidget(toolbox);
    toolbox->addItem(panel, "Search");
    toolbox->addItem(new QWidget, "Goto");
    QByteArray file(8 << 20, 'a');
    file.replace((8 << 20) - 10, 2, "ab");
    open(file);
    type("a{1}b");
    bool switched = false;
    QTimer::singleShot(0, this, [&] {
        toolbox->setCurrentIndex(1);
        switched = !panel->isVisible();
    });
    click_search();
    QVERIFY(switched);
    QCOMPARE(sel_start(), qint64((8 << 20) - 10));
    QVERIFY(status().isEmpty());
}

void TestSearchWidget::set_progress_shows_value()
{
    type("x");
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    panel->setProgress(1234);
    QCOMPARE(progress()->value(), 1234);
    // Outside a search every call lets pending events run.
    QVERIFY(ran);
    // Another file's progress starts from nothing.
    open("abc");
    QCOMPARE(progress()->value(), 0);
}

void TestSearchWidget::find_all_lists_and_shows_hits()
{
    QByteArray file(300, '.');
    for (int at : {5, 100, 296})
        file.replace(at, 4, "IHDR");
    open(file);
    click(radio("simple_button"));
    click(radio("hex_button"));
    type("49484452");
    click(button("find_all_button"));
    QCOMPARE(status(), QString("3 hits"));
    QVERIFY(!hex->edited_file()->is_busy());

    SearchResultsWidget results;
    results.set_tool(panel->find_all_tool());
    results.set_hex_widget(hex);
    results.resize(600, 300);
    results.show();
    QVERIFY(QTest::qWaitForWindowExposed(&results));
    QCOMPARE(results.findChild<QLabel *>("count_label")->text(), QString("3 hits"));
    QVERIFY(results.findChild<QPushButton *>("mark_all_button")->isEnabled());
    QTableView *view = results.view();
    const QModelIndex second = view->model()->index(1, 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(second).center());
    QCOMPARE(sel_start(), qint64(100));
    QCOMPARE(sel_end(), qint64(103));
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(sel_start(), qint64(296));
    QCOMPARE(sel_end(), qint64(299));
    // Every row the same height, whatever its contents.
    QCOMPARE(view->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);

    // A changed byte: the list says it may be stale.
    QVERIFY(hex->edited_file()->type_byte(0, 'x', {}, {}));
    QVERIFY(results.findChild<QLabel *>("stale_label")->isVisible());
    click(button("find_all_button"));
    QVERIFY(!results.findChild<QLabel *>("stale_label")->isVisible());

    // Stale again: the sentence wraps rather than widen the list.
    QVERIFY(hex->edited_file()->type_byte(1, 'y', {}, {}));
    QVERIFY(results.minimumSizeHint().width()
            < results.fontMetrics().horizontalAdvance(FindAllTool::stale_text()));
    // Another file: no row of the old one is offered.
    open("abc");
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(!results.findChild<QPushButton *>("mark_all_button")->isEnabled());
    QVERIFY(!results.findChild<QLabel *>("stale_label")->isVisible());
}

void TestSearchWidget::find_all_cancel_keeps_hits_found()
{
    QByteArray file(8000000, 'a');
    for (int at = 0; at < file.size(); at += 1000)
        file.replace(at, 3, "JKL");
    open(file);
    click(radio("simple_button"));
    type("JKL");
    bool locked = false;
    // Runs inside the search's first event processing, after the first block.
    QTimer::singleShot(0, this, [&] {
        locked = panel->searching() && hex->edited_file()->is_busy()
                 && !button("find_all_button")->isEnabled();
        click(button("cancel_button"));
    });
    click(button("find_all_button"));
    QVERIFY(locked);
    QCOMPARE(status(), QString("Search Operation Cancelled"));
    const qint64 found = panel->find_all_tool()->count();
    QVERIFY(found > 0 && found < 8000);
    QCOMPARE(panel->find_all_tool()->model()->hit(int(found) - 1).first, (found - 1) * 1000);
    QVERIFY(!hex->edited_file()->is_busy());
}

QTEST_MAIN(TestSearchWidget)
#include "tst_searchwidget.moc"
