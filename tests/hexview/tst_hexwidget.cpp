#include "hexviewfixture.h"
#include "testsettings.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <limits>

// Selection, mouse, keys, wheel, context menu and jumps of the hex widget,
// driven by real input events over small temporary files.
class TestHexWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void geometry_is_in_character_widths_data();
    void geometry_is_in_character_widths();
    void offset_at_data();
    void offset_at();
    void row_layout_data();
    void row_layout();
    void visible_rows_ignores_partial_row();
    void new_file_starts_clean_data();
    void new_file_starts_clean();

    void backward_drag_copies_in_file_order();
    void plain_click_selects_one_byte();
    void click_in_offset_column_selects_nothing();
    void shift_click_without_selection_selects_nothing();
    void shift_click_extends_selection();
    void keys_after_shift_click_data();
    void keys_after_shift_click();
    void drag_through_gap_keeps_range();
    void edit_mode_drag_leaves_one_byte();
    void release_sets_active_column_data();
    void release_sets_active_column();
    void drag_below_widget_autoscrolls();

    void arrows_data();
    void arrows();
    void arrow_scrolls_one_row_at_edge();
    void page_down_past_end_clamps_view();
    void page_up_at_top();
    void other_keys_ignored_outside_edit_mode();
    void home_end_and_shift_extension_data();
    void home_end_and_shift_extension();
    void tab_switches_column_and_keeps_focus();

    void wheel_moves_three_rows_data();
    void wheel_moves_three_rows();
    void resize_sets_page_step();
    void set_selection_scrolls_row_to_top();

    void selection_text_data();
    void selection_text();
    void selection_text_without_selection_reports();

    void endian_jump_data();
    void endian_jump();
    void jump_all_ff_clears_selection_and_shows_top();
    void jump_more_than_eight_bytes_refused();
    void jump_past_end_refused_data();
    void jump_past_end_refused();
    void jump_without_selection_reports();

    void context_menu_entries_in_order();
    void context_menu_actions_emit();
    void search_and_goto_bring_panels_forward();
    void edit_entry_toggles_mode_and_background();
    void pick_random_colors_needs_selection();

private:
    QString file_with(const QByteArray &bytes) { return pq_test::make_temp_file(0, bytes); }
};

void TestHexWidget::initTestCase()
{
    pq_test::isolate_settings();
}

void TestHexWidget::geometry_is_in_character_widths_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points");
    QTest::newRow("default-courier-12") << QStringLiteral("Courier") << 12;
    QTest::newRow("proportional-family") << QStringLiteral("DejaVu Sans") << 11;
    QTest::newRow("generic-sans-large") << QStringLiteral("Sans Serif") << 20;
}

void TestHexWidget::geometry_is_in_character_widths()
{
    QFETCH(QString, family);
    QFETCH(int, points);
    HexViewFixture f;
    f.hex->set_font(QFont(family, points));
    QVERIFY(f.cw() > 0);
    QVERIFY(f.lh() > 0);
    QCOMPARE(f.hex->sizeHint().width(), 76 * f.cw());
    QCOMPARE(f.hex->minimumHeight(), 100);
    // Whatever was asked for, the columns only line up with a fixed pitch and
    // a whole-pixel advance equal to the measured character width.
    const QFont font = f.hex->hex_font();
    QVERIFY(font.fixedPitch());
    QCOMPARE(font.styleHint(), QFont::TypeWriter);
    QCOMPARE(QFontInfo(font).pointSize(), points);
    const QFontMetrics metrics(font);
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("0123456789ABCDEF")), 16 * f.cw());
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("WWWW")), metrics.horizontalAdvance(QStringLiteral("iiii")));
    QVERIFY(f.lh() >= metrics.lineSpacing());

    // A cell reaches from its row's top down to the lowest descender: every
    // printable character drawn on the baseline stays inside the fill, and
    // the fill stays off the rows above and below. Scrolling moves the
    // cells, not the rows.
    QString printable;
    for (char c = 0x20; c < 0x7F; ++c)
        printable.append(QLatin1Char(c));
    const QRect glyphs = metrics.boundingRect(printable);
    for (const int row : {0, 3}) {
        const QRect cells = f.hex->cell_rect(row, true, 3, 2);
        QCOMPARE(cells.topLeft(), QPoint(13 * f.cw(), row * f.lh()));
        QCOMPARE(cells.width(), 2 * f.cw());
        QVERIFY(cells.height() >= metrics.ascent() + metrics.descent());
        QVERIFY(f.hex->baseline(row) + glyphs.top() >= cells.top());
        QVERIFY(f.hex->baseline(row) + glyphs.bottom() <= cells.bottom());
        QVERIFY(cells.bottom() < (row + 1) * f.lh());
        QCOMPARE(f.hex->cell_rect(row, false, 15, 1).right(), 76 * f.cw() - 1);
    }
    f.hex->resize(40 * f.cw(), f.hex->height());
    f.hex->set_horizontal_offset(100 * f.cw());
    QCOMPARE(f.hex->horizontal_offset(), 36 * f.cw()); // clamped: the row's end at the edge
    QCOMPARE(f.hex->cell_rect(0, false, 15, 1).right(), 40 * f.cw() - 1);
}

void TestHexWidget::offset_at_data()
{
    QTest::addColumn<int>("x_in_cw");   // x in character widths (times 2, for halves)
    QTest::addColumn<int>("row");
    QTest::addColumn<qint64>("expected");

    // The file has 100 bytes: rows 0..6, the last one holding bytes 96..99.
    QTest::newRow("offset-column") << 2 * 3 << 0 << qint64(-1);
    QTest::newRow("hex-left-edge") << 2 * 10 << 0 << qint64(0);
    QTest::newRow("hex-space-after-first-pair") << 2 * 12 << 0 << qint64(0);
    QTest::newRow("hex-second-pair") << 2 * 13 << 0 << qint64(1);
    QTest::newRow("hex-right-edge") << 2 * 57 << 1 << qint64(31);
    QTest::newRow("gap-left") << 2 * 57 + 1 << 0 << qint64(-1);
    QTest::newRow("gap-right") << 2 * 60 - 1 << 0 << qint64(-1);
    QTest::newRow("char-left-edge") << 2 * 60 << 2 << qint64(32);
    QTest::newRow("char-last-cell") << 2 * 75 + 1 << 2 << qint64(47);
    QTest::newRow("char-right-edge-is-last-byte") << 2 * 76 << 2 << qint64(47);
    QTest::newRow("past-right-edge") << 2 * 76 + 1 << 2 << qint64(-1);
    QTest::newRow("last-row-after-last-byte") << 2 * 70 << 6 << qint64(99);
    QTest::newRow("below-file-clamps-to-last-byte") << 2 * 20 << 7 << qint64(99);
}

void TestHexWidget::offset_at()
{
    QFETCH(int, x_in_cw);
    QFETCH(int, row);
    QFETCH(qint64, expected);
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(100));
    const int x = x_in_cw * f.cw() / 2;
    const int y = row * f.lh() + f.lh() / 2;
    QCOMPARE(f.hex->offset_at(x, y), expected);
    // Narrower than a row and scrolled sideways: the same byte lies that
    // much further left, and the columns' edges move with it.
    f.hex->resize(50 * f.cw(), f.hex->height());
    f.hex->set_horizontal_offset(7 * f.cw());
    QCOMPARE(f.hex->horizontal_offset(), 7 * f.cw());
    QCOMPARE(f.hex->offset_at(x - 7 * f.cw(), y), expected);
    QCOMPARE(f.hex->in_char_column(x - 7 * f.cw()), f.hex->row_layout().in_char_column(x, f.cw()));
}

void TestHexWidget::row_layout_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("digits");
    QTest::newRow("no-file-or-empty") << qint64(0) << 8;
    QTest::newRow("one-byte") << qint64(1) << 8;
    QTest::newRow("4GiB-exactly") << qint64(0x100000000) << 8;
    QTest::newRow("4GiB-plus-one") << qint64(0x100000001) << 9;
    QTest::newRow("1TiB") << (qint64(1) << 40) << 10;
    QTest::newRow("largest-file") << std::numeric_limits<qint64>::max() << 16;
}

// Every digit past eight moves the other columns one character right; up to
// 4 GiB the layout is the classic one.
void TestHexWidget::row_layout()
{
    QFETCH(qint64, size);
    QFETCH(int, digits);
    const RowLayout layout(RowLayout::offset_digits_for(size));
    QCOMPARE(layout.offset_digits(), digits);
    const int extra = digits - 8;
    QCOMPARE(layout.hex_start(), 10 + extra);
    QCOMPARE(layout.hex_end(), 57 + extra);
    QCOMPARE(layout.char_start(), 60 + extra);
    QCOMPARE(layout.char_end(), 76 + extra);
    const int cw = 7;
    QCOMPARE(layout.byte_at(layout.hex_start() * cw - 1, cw), -1);
    QCOMPARE(layout.byte_at(layout.hex_start() * cw, cw), 0);
    QCOMPARE(layout.byte_at((layout.hex_start() + 3) * cw, cw), 1);
    QCOMPARE(layout.byte_at(layout.hex_end() * cw, cw), 15);
    QCOMPARE(layout.byte_at(layout.char_start() * cw - 1, cw), -1);
    QCOMPARE(layout.byte_at((layout.char_start() + 15) * cw, cw), 15);
    QCOMPARE(layout.byte_at(layout.char_end() * cw + 1, cw), -1);
    // The last row's offset fills the column exactly; a longer one is not drawn.
    const qint64 last_row = qMax<qint64>(0, size - 1) / 16 * 16;
    QCOMPARE(layout.offset_text(last_row).size(), digits);
    QCOMPARE(layout.offset_text(0), QString(digits, QLatin1Char('0')));
    if (digits < 16)
        QCOMPARE(layout.offset_text(qint64(1) << (4 * digits)), QString());
}

void TestHexWidget::visible_rows_ignores_partial_row()
{
    HexViewFixture f;
    f.hex->resize(f.hex->width(), 10 * f.lh() - 1);
    QCOMPARE(f.hex->visible_rows(), 9);
    f.hex->resize(f.hex->width(), 10 * f.lh());
    QCOMPARE(f.hex->visible_rows(), 10);
}

void TestHexWidget::backward_drag_copies_in_file_order()
{
    HexViewFixture f;
    const QByteArray bytes = pattern_bytes(64);
    f.hex->open_file(file_with(bytes));
    QTest::mousePress(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(40));
    QTest::mouseMove(f.hex.get(), f.hex_point(30));
    QTest::mouseMove(f.hex.get(), f.hex_point(20));
    QTest::mouseRelease(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(20));
    QCOMPARE(f.hex->selection_start(), qint64(40));
    QCOMPARE(f.hex->selection_end(), qint64(20));
    QCOMPARE(f.hex->selection_text(), QString::fromLatin1(bytes.mid(20, 21).toHex()));
}

void TestHexWidget::plain_click_selects_one_byte()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->set_selection(3, 9);
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.char_point(17));
    QCOMPARE(f.hex->selection_start(), qint64(17));
    QCOMPARE(f.hex->selection_end(), qint64(17));
}

void TestHexWidget::click_in_offset_column_selects_nothing()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->set_selection(3, 9);
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, QPoint(f.cw(), f.lh() / 2));
    QCOMPARE(f.hex->selection_start(), qint64(-1));
    QCOMPARE(f.hex->selection_end(), qint64(-1));
}

void TestHexWidget::shift_click_without_selection_selects_nothing()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::ShiftModifier, f.hex_point(12));
    QCOMPARE(f.hex->selection_start(), qint64(-1));
    QCOMPARE(f.hex->selection_end(), qint64(-1));
}

void TestHexWidget::new_file_starts_clean_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("scrolled-then-open") << "scrolled";
    QTest::newRow("scrolled-sideways-then-open") << "sideways";
    QTest::newRow("selected-then-open") << "selected";
    QTest::newRow("edit-mode-then-open") << "edit";
    QTest::newRow("no-file-click") << "no-file";
}

// Whatever the last file showed, the next one starts at its first byte with
// nothing selected and edit mode off; with no file a click or a key selects
// nothing, so no offset is announced.
void TestHexWidget::new_file_starts_clean()
{
    QFETCH(QString, before);
    HexViewFixture f(8);
    if (before != "no-file")
        f.hex->open_file(file_with(pattern_bytes(16 * 100)));
    if (before == "scrolled")
        f.hex->set_cursor(16 * 90);
    else if (before == "sideways") {
        f.hex->resize(40 * f.cw(), f.hex->height());
        f.hex->set_horizontal_offset(10 * f.cw());
    } else if (before == "selected")
        f.hex->set_selection(5, 40);
    else if (before == "edit")
        f.hex->edit_triggered();
    QSignalSpy moved(f.hex.get(), &HexWidget::selection_changed);
    const bool had_selection = f.hex->selection_start() >= 0;

    if (before == "no-file") {
        QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(17));
        QTest::keyClick(f.hex.get(), Qt::Key_Right);
        QTest::keyClick(f.hex.get(), Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(moved.count(), 0);
    } else {
        f.hex->open_file(file_with(pattern_bytes(16 * 50)));
        QCOMPARE(moved.count(), had_selection ? 1 : 0);
    }
    QCOMPARE(f.hex->top_row(), qint64(0));
    QCOMPARE(f.bar->value(), 0);
    QCOMPARE(f.hex->horizontal_offset(), 0);
    QCOMPARE(f.hex->selection_start(), qint64(-1));
    QCOMPARE(f.hex->selection_end(), qint64(-1));
    QVERIFY(!f.hex->edit_mode());
    QCOMPARE(f.hex->backgroundRole(), QPalette::Window);
}

void TestHexWidget::shift_click_extends_selection()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(5));
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::ShiftModifier, f.hex_point(37));
    QCOMPARE(f.hex->selection_start(), qint64(5));
    QCOMPARE(f.hex->selection_end(), qint64(37));
    // Shift+click before the start extends backwards from the same start.
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::ShiftModifier, f.char_point(2));
    QCOMPARE(f.hex->selection_start(), qint64(5));
    QCOMPARE(f.hex->selection_end(), qint64(2));
}

void TestHexWidget::keys_after_shift_click_data()
{
    QTest::addColumn<qint64>("clicked");
    QTest::addColumn<qint64>("shift_clicked");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<qint64>("new_start");
    QTest::addColumn<qint64>("new_end");
    const int shift = Qt::ShiftModifier;
    QTest::newRow("right-moves-on-from-shift-clicked") << 20LL << 40LL << int(Qt::Key_Right) << 0 << 41LL << 41LL;
    QTest::newRow("shift-right-extends-shift-clicked-end") << 20LL << 40LL << int(Qt::Key_Right) << shift << 20LL << 41LL;
    QTest::newRow("shift-up-crosses-the-anchor") << 20LL << 24LL << int(Qt::Key_Up) << shift << 20LL << 8LL;
    QTest::newRow("shift-clicked-before-anchor-shift-left") << 40LL << 20LL << int(Qt::Key_Left) << shift << 40LL << 19LL;
    QTest::newRow("shift-clicked-before-anchor-down") << 40LL << 20LL << int(Qt::Key_Down) << 0 << 36LL << 36LL;
}

// The end a Shift+click moved is the one the status bar and the inspector
// show (selection_changed's second value): the keys go on from there.
void TestHexWidget::keys_after_shift_click()
{
    QFETCH(qint64, clicked);
    QFETCH(qint64, shift_clicked);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(qint64, new_start);
    QFETCH(qint64, new_end);
    HexViewFixture f(8);
    f.hex->open_file(pq_test::make_temp_file(200));
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(clicked));
    QSignalSpy moved(f.hex.get(), &HexWidget::selection_changed);
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::ShiftModifier, f.char_point(shift_clicked));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.last().at(1).toLongLong(), shift_clicked);
    QTest::keyClick(f.hex.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.hex->selection_start(), new_start);
    QCOMPARE(f.hex->selection_end(), new_end);
    QCOMPARE(moved.count(), 2);
    QCOMPARE(moved.last().at(0).toLongLong(), new_start);
    QCOMPARE(moved.last().at(1).toLongLong(), new_end);
}

void TestHexWidget::drag_through_gap_keeps_range()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    QTest::mousePress(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(20));
    QTest::mouseMove(f.hex.get(), f.hex_point(25));
    const QPoint gap(58 * f.cw(), f.hex_point(25).y());
    QTest::mouseMove(f.hex.get(), gap);
    QTest::mouseRelease(f.hex.get(), Qt::LeftButton, Qt::NoModifier, gap);
    QCOMPARE(f.hex->selection_start(), qint64(20));
    QCOMPARE(f.hex->selection_end(), qint64(25));
}

void TestHexWidget::edit_mode_drag_leaves_one_byte()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->edit_triggered();
    QTest::mousePress(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(10));
    QTest::mouseMove(f.hex.get(), f.hex_point(20));
    QCOMPARE(f.hex->selection_start(), qint64(20));
    QCOMPARE(f.hex->selection_end(), qint64(20));
    QTest::mouseMove(f.hex.get(), f.hex_point(33));
    QTest::mouseRelease(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(33));
    QCOMPARE(f.hex->selection_start(), qint64(33));
    QCOMPARE(f.hex->selection_end(), qint64(33));
}

void TestHexWidget::release_sets_active_column_data()
{
    QTest::addColumn<int>("x_in_cw");
    QTest::addColumn<bool>("start_active");
    QTest::addColumn<bool>("expected_active");
    QTest::newRow("char-column-activates-chars") << 65 << true << false;
    QTest::newRow("hex-column-activates-hex") << 20 << false << true;
    QTest::newRow("gap-keeps-hex") << 58 << true << true;
    QTest::newRow("gap-keeps-chars") << 58 << false << false;
    QTest::newRow("offset-column-keeps-chars") << 3 << false << false;
}

void TestHexWidget::release_sets_active_column()
{
    QFETCH(int, x_in_cw);
    QFETCH(bool, start_active);
    QFETCH(bool, expected_active);
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    if (f.hex->hex_column_active() != start_active)
        QTest::keyClick(f.hex.get(), Qt::Key_Tab);
    QCOMPARE(f.hex->hex_column_active(), start_active);
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x_in_cw * f.cw() + 1, f.lh() / 2));
    QCOMPARE(f.hex->hex_column_active(), expected_active);
}

void TestHexWidget::drag_below_widget_autoscrolls()
{
    HexViewFixture f(6);
    f.hex->open_file(pq_test::make_temp_file(16 * 100));
    QTest::mousePress(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(0));
    QTest::mouseMove(f.hex.get(), QPoint(f.hex_point(0).x(), f.hex->height() + 10));
    QTRY_VERIFY(f.bar->value() > 2);
    QTest::mouseRelease(f.hex.get(), Qt::LeftButton, Qt::NoModifier,
                        QPoint(f.hex_point(0).x(), f.hex->height() + 10));
    const int stopped = f.bar->value();
    QTest::qWait(50);
    QCOMPARE(f.bar->value(), stopped);
    QCOMPARE(f.hex->top_row(), qint64(stopped));
}

void TestHexWidget::arrows_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("right-without-selection-gives-0") << qint64(-1) << int(Qt::Key_Right) << qint64(0);
    QTest::newRow("down-without-selection-gives-15") << qint64(-1) << int(Qt::Key_Down) << qint64(15);
    QTest::newRow("left-at-0-stays") << qint64(0) << int(Qt::Key_Left) << qint64(0);
    QTest::newRow("up-in-first-row-clamps-to-0") << qint64(5) << int(Qt::Key_Up) << qint64(0);
    QTest::newRow("right") << qint64(17) << int(Qt::Key_Right) << qint64(18);
    QTest::newRow("left") << qint64(17) << int(Qt::Key_Left) << qint64(16);
    QTest::newRow("down") << qint64(17) << int(Qt::Key_Down) << qint64(33);
    QTest::newRow("up") << qint64(17) << int(Qt::Key_Up) << qint64(1);
    QTest::newRow("right-past-last-byte") << qint64(63) << int(Qt::Key_Right) << qint64(64);
}

void TestHexWidget::arrows()
{
    QFETCH(qint64, start);
    QFETCH(int, key);
    QFETCH(qint64, expected);
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    if (start >= 0) {
        // The keys move from the end moved last, here the lesser one.
        f.hex->set_selection(start + 3, start);
    }
    QTest::keyClick(f.hex.get(), Qt::Key(key));
    QCOMPARE(f.hex->selection_start(), expected);
    // The selection collapses to the cursor.
    QCOMPARE(f.hex->selection_end(), expected);
}

void TestHexWidget::home_end_and_shift_extension_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<qint64>("new_start");
    QTest::addColumn<qint64>("new_end");
    const int shift = Qt::ShiftModifier;
    const int ctrl = Qt::ControlModifier;
    // 1000 bytes: rows 0..62, the last row holds 992..999.
    QTest::newRow("home-mid-row") << 21LL << 21LL << false << int(Qt::Key_Home) << 0 << 16LL << 16LL;
    QTest::newRow("home-at-row-start-stays") << 16LL << 16LL << false << int(Qt::Key_Home) << 0 << 16LL << 16LL;
    QTest::newRow("home-without-selection") << -1LL << -1LL << false << int(Qt::Key_Home) << 0 << 0LL << 0LL;
    QTest::newRow("end-mid-row") << 21LL << 21LL << false << int(Qt::Key_End) << 0 << 31LL << 31LL;
    QTest::newRow("end-of-short-last-row") << 993LL << 993LL << false << int(Qt::Key_End) << 0 << 999LL << 999LL;
    QTest::newRow("ctrl-home") << 500LL << 510LL << false << int(Qt::Key_Home) << ctrl << 0LL << 0LL;
    QTest::newRow("ctrl-end-scrolls-to-last-byte") << 5LL << 5LL << false << int(Qt::Key_End) << ctrl << 999LL << 999LL;
    QTest::newRow("shift-right-keeps-anchor") << 20LL << 20LL << false << int(Qt::Key_Right) << shift << 20LL << 21LL;
    QTest::newRow("shift-left-backward") << 20LL << 20LL << false << int(Qt::Key_Left) << shift << 20LL << 19LL;
    QTest::newRow("shift-down-after-drag") << 20LL << 40LL << false << int(Qt::Key_Down) << shift << 20LL << 56LL;
    QTest::newRow("shift-up-clamps-to-0") << 5LL << 5LL << false << int(Qt::Key_Up) << shift << 5LL << 0LL;
    QTest::newRow("shift-down-clamps-to-last-byte") << 990LL << 990LL << false << int(Qt::Key_Down) << shift << 990LL << 999LL;
    QTest::newRow("shift-page-down") << 0LL << 0LL << false << int(Qt::Key_PageDown) << shift << 0LL << 128LL;
    QTest::newRow("shift-end") << 20LL << 20LL << false << int(Qt::Key_End) << shift << 20LL << 31LL;
    QTest::newRow("ctrl-shift-home") << 20LL << 40LL << false << int(Qt::Key_Home) << (ctrl | shift) << 20LL << 0LL;
    QTest::newRow("shift-right-without-selection") << -1LL << -1LL << false << int(Qt::Key_Right) << shift << 0LL << 0LL;
    // The plain keys move on from the end the user moved last and collapse the selection.
    QTest::newRow("right-after-extension-moves-from-moved-end") << 20LL << 23LL << false << int(Qt::Key_Right) << 0 << 24LL << 24LL;
    QTest::newRow("home-after-extension-from-moved-end") << 20LL << 40LL << false << int(Qt::Key_Home) << 0 << 32LL << 32LL;
    QTest::newRow("ctrl-left-is-left") << 20LL << 20LL << false << int(Qt::Key_Left) << ctrl << 19LL << 19LL;
    // Edit mode keeps a one-byte cursor: Shift does not extend.
    QTest::newRow("edit-mode-shift-right-moves") << 20LL << 20LL << true << int(Qt::Key_Right) << shift << 21LL << 21LL;
    QTest::newRow("edit-mode-end") << 20LL << 20LL << true << int(Qt::Key_End) << 0 << 31LL << 31LL;
}

void TestHexWidget::home_end_and_shift_extension()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, edit);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(qint64, new_start);
    QFETCH(qint64, new_end);
    HexViewFixture f(8);
    f.hex->open_file(pq_test::make_temp_file(1000));
    if (edit)
        f.hex->edit_triggered();
    f.hex->set_selection(start, end);
    QSignalSpy moved(f.hex.get(), &HexWidget::selection_changed);
    QTest::keyClick(f.hex.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.hex->selection_start(), new_start);
    QCOMPARE(f.hex->selection_end(), new_end);
    // One announcement when an end moved, none otherwise.
    if (new_start == start && new_end == end) {
        QCOMPARE(moved.count(), 0);
    } else {
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toLongLong(), new_start);
        QCOMPARE(moved.at(0).at(1).toLongLong(), new_end);
    }
    // The moved end is on screen.
    const qint64 row = new_end / 16;
    QVERIFY2(row >= f.hex->top_row() && row < f.hex->top_row() + f.hex->visible_rows(),
             qPrintable(QString::number(f.hex->top_row())));
    QCOMPARE(f.hex->edit_mode(), edit);
}

void TestHexWidget::arrow_scrolls_one_row_at_edge()
{
    HexViewFixture f(8);
    const int rows = f.hex->visible_rows();
    QCOMPARE(rows, 8);
    f.hex->open_file(pq_test::make_temp_file(16 * 50));
    f.hex->set_selection(3 * 16 + 2, 3 * 16 + 2);
    QCOMPARE(f.hex->top_row(), qint64(3));
    // The cursor on the last visible row; Down moves it one row below the view.
    f.hex->set_selection((3 + rows - 1) * 16 + 2, (3 + rows - 1) * 16 + 2);
    f.bar->setValue(3);
    QCOMPARE(f.hex->top_row(), qint64(3));
    QTest::keyClick(f.hex.get(), Qt::Key_Down);
    QCOMPARE(f.hex->top_row(), qint64(4));
    QCOMPARE(f.bar->value(), 4);
    // Far below the view the view still moves by one row only.
    f.bar->setValue(0);
    QTest::keyClick(f.hex.get(), Qt::Key_Down);
    QCOMPARE(f.hex->top_row(), qint64(1));
    f.hex->set_selection(4 * 16, 4 * 16);
    QTest::keyClick(f.hex.get(), Qt::Key_Left);   // row 3, one above the view
    QCOMPARE(f.hex->top_row(), qint64(3));
    QCOMPARE(f.bar->value(), 3);
}

void TestHexWidget::page_down_past_end_clamps_view()
{
    HexViewFixture f(8);
    const int rows = f.hex->visible_rows();
    f.hex->open_file(pq_test::make_temp_file(16 * 10));   // rows 0..9, maximum 10
    QCOMPARE(f.bar->maximum(), 10);
    f.hex->set_selection(8 * 16 + 1, 8 * 16 + 1);
    QTest::keyClick(f.hex.get(), Qt::Key_PageDown);
    // The cursor moves a whole page even past the last byte.
    const qint64 cursor = (8 + rows) * 16 + 1;
    QCOMPARE(f.hex->selection_start(), cursor);
    QCOMPARE(f.hex->selection_end(), cursor);
    QCOMPARE(f.bar->value(), 10);
    QCOMPARE(f.hex->top_row(), qint64(10));
    // Nothing of the file is selected, so there is nothing to copy.
    QCOMPARE(f.hex->selection_text(), QString());
}

void TestHexWidget::page_up_at_top()
{
    HexViewFixture f(8);
    f.hex->open_file(pq_test::make_temp_file(16 * 10));
    f.hex->set_selection(2 * 16 + 5, 2 * 16 + 5);
    QTest::keyClick(f.hex.get(), Qt::Key_PageUp);
    QCOMPARE(f.hex->selection_start(), qint64(0));
    QCOMPARE(f.hex->top_row(), qint64(0));
}

void TestHexWidget::other_keys_ignored_outside_edit_mode()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->set_selection(4, 9);
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(f.hex.get(), &press);
    QVERIFY(!press.isAccepted());
    QCOMPARE(f.hex->selection_start(), qint64(4));
    QCOMPARE(f.hex->selection_end(), qint64(9));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!f.hex->has_edits());
}

void TestHexWidget::tab_switches_column_and_keeps_focus()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QLineEdit;
    auto *hex = new HexWidget;
    auto *other = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(hex);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    hex->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(hex));
    QVERIFY(hex->hex_column_active());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(hex));
    QVERIFY(!hex->hex_column_active());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(hex));
    QVERIFY(hex->hex_column_active());
    // Shift+Tab is the keyboard's way out: focus goes back, the column stays.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(before));
    QVERIFY(hex->hex_column_active());
}

void TestHexWidget::wheel_moves_three_rows_data()
{
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("expected");
    QTest::newRow("one-notch-down") << -120 << 23;
    QTest::newRow("tiny-delta-down") << -1 << 23;
    QTest::newRow("huge-delta-down") << -1200 << 23;
    QTest::newRow("one-notch-up") << 120 << 17;
}

void TestHexWidget::wheel_moves_three_rows()
{
    QFETCH(int, delta);
    QFETCH(int, expected);
    HexViewFixture f(6);
    f.hex->open_file(pq_test::make_temp_file(16 * 100));
    f.bar->setValue(20);
    const QPoint pos = f.hex_point(20 * 16);
    QWheelEvent wheel(pos, f.hex->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.hex.get(), &wheel);
    QVERIFY(wheel.isAccepted());
    QCOMPARE(f.bar->value(), expected);
    QCOMPARE(f.hex->top_row(), qint64(expected));
}

void TestHexWidget::resize_sets_page_step()
{
    HexViewFixture f(7);
    QCOMPARE(f.bar->pageStep(), 6);
    f.hex->resize(f.hex->width(), 12 * f.lh() + 3);
    QCOMPARE(f.bar->pageStep(), 11);
}

void TestHexWidget::set_selection_scrolls_row_to_top()
{
    HexViewFixture f(6);
    f.hex->open_file(pq_test::make_temp_file(0x2000));
    f.hex->set_selection(0x1234, 0x1240);
    QCOMPARE(f.bar->value(), 0x123);
    QCOMPARE(f.hex->top_row(), qint64(0x123));
    QCOMPARE(f.hex->selection_start(), qint64(0x1234));
    QCOMPARE(f.hex->selection_end(), qint64(0x1240));
    // Beyond the last row the scroll bar clamps the view.
    f.hex->set_selection(0x5000, 0x5000);
    QCOMPARE(f.bar->value(), 0x200);
    QCOMPARE(f.hex->top_row(), qint64(0x200));
}

void TestHexWidget::selection_text_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lowercase-leading-zero") << QByteArray("\x0a\xff\x00", 3) << qint64(0) << qint64(2)
                                            << QStringLiteral("0aff00");
    QTest::newRow("backward-ends") << QByteArray("\x10\x7f\x80", 3) << qint64(2) << qint64(0)
                                   << QStringLiteral("107f80");
    QTest::newRow("one-byte") << QByteArray("\x10\x7f\x80", 3) << qint64(1) << qint64(1)
                              << QStringLiteral("7f");
    QTest::newRow("end-past-last-byte") << QByteArray("\x10\x7f\x80", 3) << qint64(1) << qint64(9)
                                        << QStringLiteral("7f80");
}

void TestHexWidget::selection_text()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QString, expected);
    HexViewFixture f;
    f.hex->open_file(file_with(bytes));
    f.hex->set_selection(start, end);
    QCOMPARE(f.hex->selection_text(), expected);
}

void TestHexWidget::selection_text_without_selection_reports()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    QCOMPARE(f.hex->selection_text(), QString());
    QCOMPARE(f.message(), QStringLiteral("Select some bytes first"));
}

void TestHexWidget::endian_jump_data()
{
    QTest::addColumn<QByteArray>("selected");
    QTest::addColumn<bool>("little");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("little-10-02") << QByteArray("\x10\x02", 2) << true << qint64(0x0210);
    QTest::newRow("big-10-02") << QByteArray("\x10\x02", 2) << false << qint64(0x1002);
    QTest::newRow("one-byte-jumps-to-own-value") << QByteArray("\xff", 1) << true << qint64(0xff);
    QTest::newRow("high-bit-bytes-unsigned") << QByteArray("\x80\x10", 2) << false << qint64(0x8010);
    QTest::newRow("eight-bytes-little") << QByteArray("\x05\x20\x00\x00\x00\x00\x00\x00", 8) << true
                                        << qint64(0x2005);
}

void TestHexWidget::endian_jump()
{
    QFETCH(QByteArray, selected);
    QFETCH(bool, little);
    QFETCH(qint64, expected);
    HexViewFixture f(6);
    QByteArray bytes(0x9000, '\x55');
    bytes.replace(0x40, selected.size(), selected);
    f.hex->open_file(file_with(bytes));
    f.hex->set_selection(0x40 + selected.size() - 1, 0x40);
    if (little)
        f.hex->little_endian_jump();
    else
        f.hex->big_endian_jump();
    QCOMPARE(f.hex->selection_start(), expected);
    QCOMPARE(f.hex->selection_end(), expected);
    QCOMPARE(f.hex->top_row(), expected / 16);
    QCOMPARE(f.bar->value(), int(expected / 16));
}

void TestHexWidget::jump_all_ff_clears_selection_and_shows_top()
{
    HexViewFixture f(6);
    QByteArray bytes(0x400, '\0');
    bytes.replace(0x300, 8, QByteArray(8, '\xff'));
    f.hex->open_file(file_with(bytes));
    f.hex->set_selection(0x300, 0x307);
    QCOMPARE(f.hex->top_row(), qint64(0x30));
    f.hex->little_endian_jump();
    QCOMPARE(f.hex->selection_start(), qint64(-1));
    QCOMPARE(f.hex->selection_end(), qint64(-1));
    QCOMPARE(f.hex->top_row(), qint64(0));
    QCOMPARE(f.bar->value(), 0);
}

void TestHexWidget::jump_more_than_eight_bytes_refused()
{
    HexViewFixture f(6);
    f.hex->open_file(pq_test::make_temp_file(0x400));
    f.hex->set_selection(0x108, 0x100);
    f.hex->big_endian_jump();
    QCOMPARE(f.message(), QStringLiteral("Jump selection maximum length is 8 bytes"));
    QCOMPARE(f.hex->selection_start(), qint64(0x108));
    QCOMPARE(f.hex->selection_end(), qint64(0x100));
    QCOMPARE(f.hex->top_row(), qint64(0x10));
}

void TestHexWidget::jump_past_end_refused_data()
{
    QTest::addColumn<QByteArray>("selected");
    QTest::addColumn<QString>("target");
    QTest::newRow("exactly-size") << QByteArray("\x04\x00", 2) << QStringLiteral("0x400");
    QTest::newRow("size-plus-one") << QByteArray("\x04\x01", 2) << QStringLiteral("0x401");
    QTest::newRow("negative-as-signed") << QByteArray("\x80\x00\x00\x00\x00\x00\x00\x00", 8)
                                       << QStringLiteral("0x8000000000000000");
}

void TestHexWidget::jump_past_end_refused()
{
    QFETCH(QByteArray, selected);
    QFETCH(QString, target);
    HexViewFixture f(6);
    QByteArray bytes(0x400, '\0');
    bytes.replace(0x200, selected.size(), selected);
    f.hex->open_file(file_with(bytes));
    const qint64 last = 0x200 + selected.size() - 1;
    f.hex->set_selection(0x200, last);
    f.hex->big_endian_jump();
    QVERIFY2(f.message().contains(target), qPrintable(f.message()));
    QCOMPARE(f.hex->selection_start(), qint64(0x200));
    QCOMPARE(f.hex->selection_end(), last);
    QCOMPARE(f.hex->top_row(), qint64(0x20));
    QCOMPARE(f.bar->value(), 0x20);
}

void TestHexWidget::jump_without_selection_reports()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    f.hex->little_endian_jump();
    QCOMPARE(f.message(), QStringLiteral("Select some bytes first"));
    QCOMPARE(f.hex->selection_start(), qint64(-1));
}

void TestHexWidget::context_menu_entries_in_order()
{
    HexViewFixture f;
    std::unique_ptr<QMenu> menu(f.hex->create_context_menu());
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text();
    QCOMPARE(texts, QStringList({"Mark", "Pick Random Colors", "Little Endian Jump", "Big Endian Jump",
                                 "Goto", "Search", "Copy to Clipboard", "Edit"}));
    QVERIFY(menu->actions().last()->isCheckable());
    QVERIFY(!menu->actions().last()->isChecked());
    f.hex->edit_triggered();
    std::unique_ptr<QMenu> second(f.hex->create_context_menu());
    QVERIFY(second->actions().last()->isChecked());
}

void TestHexWidget::context_menu_actions_emit()
{
    HexViewFixture f;
    f.hex->open_file(file_with(QByteArray("\x01\x02\x03\x04", 4)));
    f.hex->set_selection(1, 2);
    QSignalSpy mark(f.hex.get(), &HexWidget::mark_requested);
    QSignalSpy colours(f.hex.get(), &HexWidget::pick_random_colors_requested);
    QSignalSpy copy(f.hex.get(), &HexWidget::copy_action);
    QSignalSpy search(f.hex.get(), &HexWidget::send_selection);
    std::unique_ptr<QMenu> menu(f.hex->create_context_menu());
    const QList<QAction *> actions = menu->actions();
    actions[0]->trigger();
    QCOMPARE(mark.count(), 1);
    actions[1]->trigger();
    QCOMPARE(colours.count(), 1);
    actions[6]->trigger();
    QCOMPARE(copy.count(), 1);
    actions[5]->trigger();
    QCOMPARE(search.count(), 1);
    QCOMPARE(search.at(0).at(0).toString(), QStringLiteral("0203"));
    actions[3]->trigger();   // big endian: 0x0203 is past the end of 4 bytes
    QCOMPARE(f.hex->selection_start(), qint64(1));
    QCOMPARE(mark.count(), 1);
    QCOMPARE(colours.count(), 1);
    QCOMPARE(copy.count(), 1);
}

void TestHexWidget::search_and_goto_bring_panels_forward()
{
    HexViewFixture f;
    f.hex->open_file(file_with(QByteArray("\xab\xcd", 2)));
    QSignalSpy goto_asked(f.hex.get(), &HexWidget::goto_requested);
    QSignalSpy search_asked(f.hex.get(), &HexWidget::search_requested);
    f.hex->go_to_triggered();
    QCOMPARE(goto_asked.count(), 1);
    QCOMPARE(search_asked.count(), 0);

    QSignalSpy search(f.hex.get(), &HexWidget::send_selection);
    // Without a selection the panel still comes forward with the empty text.
    f.hex->search_triggered();
    QCOMPARE(search_asked.count(), 1);
    QCOMPARE(search.count(), 1);
    QCOMPARE(search.at(0).at(0).toString(), QString());
    QCOMPARE(f.message(), QStringLiteral("Select some bytes first"));

    f.hex->set_selection(1, 0);
    f.hex->search_triggered();
    QCOMPARE(search_asked.count(), 2);
    QCOMPARE(search.at(1).at(0).toString(), QStringLiteral("abcd"));
    QCOMPARE(goto_asked.count(), 1);
}

void TestHexWidget::edit_entry_toggles_mode_and_background()
{
    HexViewFixture f;
    QCOMPARE(f.hex->backgroundRole(), QPalette::Window);
    QVERIFY(f.hex->autoFillBackground());
    std::unique_ptr<QMenu> menu(f.hex->create_context_menu());
    menu->actions().last()->trigger();
    QVERIFY(f.hex->edit_mode());
    QCOMPARE(f.hex->backgroundRole(), QPalette::Base);
    f.hex->edit_triggered();
    QVERIFY(!f.hex->edit_mode());
    QCOMPARE(f.hex->backgroundRole(), QPalette::Window);
}

void TestHexWidget::pick_random_colors_needs_selection()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(64));
    QSignalSpy colours(f.hex.get(), &HexWidget::pick_random_colors_requested);
    std::unique_ptr<QMenu> menu(f.hex->create_context_menu());
    menu->actions()[1]->trigger();
    QCOMPARE(colours.count(), 0);
    QCOMPARE(f.message(), QStringLiteral("Select some bytes first"));
}

QTEST_MAIN(TestHexWidget)
#include "tst_hexwidget.moc"
