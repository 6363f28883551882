#include "settings/config.h"
#include "document/documentfailure.h"
#include "treeview/hexoptionspinbox.h"
#include "treeview/hextreeview.h"
#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "testsettings.h"
#include "treeview/treeviewdelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <limits>
#include <memory>
#include <string>

namespace {

// Appends a markup first..last under parent, through the model's own API.
QModelIndex add_markup(MarkupModel &model, const QModelIndex &parent, qint64 first, qint64 last,
                       const QString &name)
{
    const int row = model.rowCount(parent);
    model.insertRow(row, parent);
    const QModelIndex index = model.index(row, 0, parent);
    model.setData(index, name);
    model.setData(index.siblingAtColumn(MarkupColumn::Start), first);
    model.setData(index.siblingAtColumn(MarkupColumn::End), last);
    model.setData(index.siblingAtColumn(MarkupColumn::Length), qint64(quint64(last) - quint64(first) + 1));
    model.setData(index.siblingAtColumn(MarkupColumn::Repeat), QStringLiteral("false"));
    return index;
}

constexpr qint64 big = 0x100000000LL; // 4 GiB

} // namespace

// Tree used throughout:
//   A   0x10..0x1f            children A1 0x10..0x13, A2 0x18..0x1b
//   B   0x40..0x4f
//   C   4 GiB .. 4 GiB + 0x10 (last top-level markup)
class TestTreeViewDelegate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MarkupModel> model;
    QModelIndex a, a1, a2, b, c;
    int modified_calls = 0;
    int reload_calls = 0;
    std::function<qint64()> size_answer;

    void wire(TreeViewDelegate &delegate)
    {
        delegate.set_markup_modified([this] { ++modified_calls; });
        delegate.set_reload_mask([this] { ++reload_calls; });
        delegate.set_document_size([this] { return size_answer(); });
    }

    QModelIndex cell(const char *name, int column) const
    {
        const QMap<QString, QModelIndex> rows = {{"A", a}, {"A1", a1}, {"A2", a2}, {"B", b}, {"C", c}};
        return rows.value(QLatin1String(name)).siblingAtColumn(column);
    }

    MarkupNode *node(const QModelIndex &index) const { return model->node_from_index(index); }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
    }

    void init()
    {
        Config::instance()->remove("Hex Markup Display");
        model = std::make_unique<MarkupModel>();
        a = add_markup(*model, QModelIndex(), 0x10, 0x1f, "A");
        a1 = add_markup(*model, a, 0x10, 0x13, "A1");
        a2 = add_markup(*model, a, 0x18, 0x1b, "A2");
        b = add_markup(*model, QModelIndex(), 0x40, 0x4f, "B");
        c = add_markup(*model, QModelIndex(), big, big + 0x10, "C");
        modified_calls = 0;
        reload_calls = 0;
        size_answer = [] { return 2 * big; };
    }

    void editor_range_from_neighbours_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("minimum");
        QTest::addColumn<qint64>("maximum");
        QTest::newRow("first-top-level-start-from-0") << "A" << int(MarkupColumn::Start) << qint64(0) << qint64(0x10);
        QTest::newRow("parent-end-after-last-child-before-next-sibling")
            << "A" << int(MarkupColumn::End) << qint64(0x1b) << qint64(0x3f);
        QTest::newRow("first-child-start-from-parent-start")
            << "A1" << int(MarkupColumn::Start) << qint64(0x10) << qint64(0x13);
        QTest::newRow("child-end-before-next-sibling") << "A1" << int(MarkupColumn::End) << qint64(0x10) << qint64(0x17);
        QTest::newRow("second-child-start-after-previous-end")
            << "A2" << int(MarkupColumn::Start) << qint64(0x14) << qint64(0x1b);
        QTest::newRow("last-child-end-up-to-parent-end") << "A2" << int(MarkupColumn::End) << qint64(0x18) << qint64(0x1f);
        QTest::newRow("top-level-start-after-previous-end")
            << "B" << int(MarkupColumn::Start) << qint64(0x20) << qint64(0x4f);
        QTest::newRow("top-level-end-before-next-start") << "B" << int(MarkupColumn::End) << qint64(0x40) << qint64(big - 1);
        QTest::newRow("last-top-level-end-up-to-last-file-byte")
            << "C" << int(MarkupColumn::End) << qint64(big) << qint64(2 * big - 1);
        QTest::newRow("length-has-no-range") << "C" << int(MarkupColumn::Length) << qint64(0) << qint64(-1);
    }

    void editor_range_from_neighbours()
    {
        QFETCH(QString, row);
        QFETCH(int, column);
        QFETCH(qint64, minimum);
        QFETCH(qint64, maximum);
        TreeViewDelegate delegate;
        wire(delegate);
        const QPair<qint64, qint64> range = delegate.editor_range(cell(qPrintable(row), column));
        QCOMPARE(range.first, minimum);
        QCOMPARE(range.second, maximum);
    }

    void last_end_without_open_file_is_unbounded()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        size_answer = []() -> qint64 { throw document_failure::not_open; };
        QCOMPARE(delegate.editor_range(cell("C", MarkupColumn::End)).second, std::numeric_limits<qint64>::max());
    }

    void extreme_offsets_never_overflow()
    {
        // Files from elsewhere may hold any 64-bit values in any order: the
        // bounds next to them stop at the ends of the range instead of
        // wrapping round, and Length wraps as the loader computes it.
        constexpr qint64 lo = std::numeric_limits<qint64>::min();
        constexpr qint64 hi = std::numeric_limits<qint64>::max();
        MarkupModel own;
        add_markup(own, QModelIndex(), 0, hi, "ends at the top");
        const QModelIndex middle = add_markup(own, QModelIndex(), 5, 7, "between");
        const QModelIndex whole = add_markup(own, QModelIndex(), lo, hi, "starts at the bottom");
        TreeViewDelegate delegate;
        wire(delegate);
        QCOMPARE(delegate.editor_range(middle.siblingAtColumn(MarkupColumn::Start)),
                 qMakePair(qint64(5), qint64(7)));
        QCOMPARE(delegate.editor_range(middle.siblingAtColumn(MarkupColumn::End)),
                 qMakePair(qint64(5), qint64(7)));

        QWidget parent;
        const QModelIndex end_cell = whole.siblingAtColumn(MarkupColumn::End);
        auto *spin = qobject_cast<HexOptionSpinBox *>(
            delegate.createEditor(&parent, QStyleOptionViewItem(), end_cell));
        delegate.setEditorData(spin, end_cell);
        spin->stepBy(-1);
        QCOMPARE(own.node_from_index(end_cell)->end(), hi - 1);
        QCOMPARE(own.node_from_index(end_cell)->length(), qint64(quint64(hi - 1) - quint64(lo) + 1));
    }

    void range_keeps_current_value_when_file_is_shorter()
    {
        // A markup file written for a longer file: opening the editor must not
        // pull End back by itself.
        TreeViewDelegate delegate;
        wire(delegate);
        size_answer = [] { return qint64(100); };
        const QPair<qint64, qint64> range = delegate.editor_range(cell("C", MarkupColumn::End));
        QCOMPARE(range.first, big);
        QCOMPARE(range.second, big + 0x10);
    }

    void set_editor_data_fills_range_value_and_text_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("text");
        QTest::newRow("hex-by-default") << QString() << "0x1f";
        QTest::newRow("decimal-when-no") << "no" << "31";
    }

    void set_editor_data_fills_range_value_and_text()
    {
        QFETCH(QString, setting);
        QFETCH(QString, text);
        if (!setting.isEmpty())
            Config::instance()->setValue("Hex Markup Display", setting);
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        auto *spin = qobject_cast<HexOptionSpinBox *>(
            delegate.createEditor(&parent, QStyleOptionViewItem(), cell("A", MarkupColumn::End)));
        QVERIFY(spin);
        QVERIFY(!spin->hasFrame());
        QVERIFY(!spin->isReadOnly());
        delegate.setEditorData(spin, cell("A", MarkupColumn::End));
        QCOMPARE(spin->minimum(), qint64(0x1b));
        QCOMPARE(spin->maximum(), qint64(0x3f));
        QCOMPARE(spin->value(), qint64(0x1f));
        QCOMPARE(spin->text(), text);
        QCOMPARE(reload_calls, 0); // filling is not an edit
    }

    void editors_by_column_and_modified_flag()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        const QStyleOptionViewItem option;
        QWidget *description = delegate.createEditor(&parent, option, cell("B", MarkupColumn::Description));
        QVERIFY(qobject_cast<QLineEdit *>(description));
        QVERIFY(!qobject_cast<QLineEdit *>(description)->hasFrame());
        QCOMPARE(modified_calls, 1);
        QVERIFY(qobject_cast<HexOptionSpinBox *>(delegate.createEditor(&parent, option, cell("B", MarkupColumn::Start))));
        QCOMPARE(modified_calls, 2);
        auto *repeat = qobject_cast<QComboBox *>(delegate.createEditor(&parent, option, cell("B", MarkupColumn::Repeat)));
        QVERIFY(repeat);
        QCOMPARE(repeat->count(), 2);
        QCOMPARE(repeat->itemText(0), QString("true"));
        QCOMPARE(repeat->itemText(1), QString("false"));
        QCOMPARE(modified_calls, 3);
        QCOMPARE(delegate.createEditor(&parent, option, cell("B", MarkupColumn::Length)), nullptr);
        QCOMPARE(modified_calls, 3); // no editor, no change
    }

    void description_and_repeat_round_trip()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        const QModelIndex repeat_cell = cell("B", MarkupColumn::Repeat);
        auto *combo = qobject_cast<QComboBox *>(delegate.createEditor(&parent, QStyleOptionViewItem(), repeat_cell));
        delegate.setEditorData(combo, repeat_cell);
        QCOMPARE(combo->currentIndex(), 1); // "false"
        combo->setCurrentIndex(0);
        delegate.setModelData(combo, model.get(), repeat_cell);
        QCOMPARE(repeat_cell.data().toString(), QString("true"));
        QVERIFY(node(repeat_cell)->is_repeat());

        const QModelIndex text_cell = cell("B", MarkupColumn::Description);
        auto *line = qobject_cast<QLineEdit *>(delegate.createEditor(&parent, QStyleOptionViewItem(), text_cell));
        delegate.setEditorData(line, text_cell);
        QCOMPARE(line->text(), QString("B"));
        line->setText("header");
        delegate.setModelData(line, model.get(), text_cell);
        QCOMPARE(text_cell.data().toString(), QString("header"));

        // Longer than a line edit holds by default: the edit keeps every character.
        const QString long_text = QString(40000, QChar('d')) + QStringLiteral("end");
        model->setData(text_cell, long_text);
        delegate.setEditorData(line, text_cell);
        line->setText(line->text() + QStringLiteral("!"));
        delegate.setModelData(line, model.get(), text_cell);
        QCOMPARE(text_cell.data().toString(), long_text + QStringLiteral("!"));
    }

    void spinning_end_updates_markup_and_length_live()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        const QModelIndex end_cell = cell("B", MarkupColumn::End);
        auto *spin = qobject_cast<HexOptionSpinBox *>(delegate.createEditor(&parent, QStyleOptionViewItem(), end_cell));
        delegate.setEditorData(spin, end_cell);
        QSignalSpy before(model.get(), &MarkupModel::about_to_change);
        QSignalSpy after(model.get(), &MarkupModel::change_finished);
        spin->stepBy(1);
        // Written into the markup before any commit.
        QCOMPARE(node(end_cell)->end(), qint64(0x50));
        QCOMPARE(node(end_cell)->length(), qint64(0x11));
        QCOMPARE(cell("B", MarkupColumn::Length).data().toLongLong(), qint64(0x11));
        QCOMPARE(reload_calls, 1);
        QCOMPARE(before.count(), 1); // the mask's worker is kept off the node
        QCOMPARE(after.count(), 1);
        spin->stepBy(-3);
        QCOMPARE(node(end_cell)->end(), qint64(0x4d));
        QCOMPARE(node(end_cell)->length(), qint64(0x0e));
        QCOMPARE(reload_calls, 2);
    }

    void spinning_start_beyond_4GiB()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        const QModelIndex start_cell = cell("C", MarkupColumn::Start);
        auto *spin = qobject_cast<HexOptionSpinBox *>(delegate.createEditor(&parent, QStyleOptionViewItem(), start_cell));
        delegate.setEditorData(spin, start_cell);
        QCOMPARE(spin->minimum(), qint64(0x50));
        QCOMPARE(spin->value(), big);
        QCOMPARE(spin->text(), QString("0x100000000"));
        spin->stepBy(2);
        QCOMPARE(node(start_cell)->start(), big + 2);
        QCOMPARE(node(start_cell)->length(), qint64(0x0f));
        delegate.setModelData(spin, model.get(), start_cell);
        QCOMPARE(start_cell.data().toLongLong(), big + 2);
        QCOMPARE(node(start_cell)->start(), big + 2);
    }

    void refilling_an_open_editor_does_not_write_back()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        const QModelIndex end_cell = cell("B", MarkupColumn::End);
        auto *spin = qobject_cast<HexOptionSpinBox *>(delegate.createEditor(&parent, QStyleOptionViewItem(), end_cell));
        delegate.setEditorData(spin, end_cell);
        model->setData(end_cell, qint64(0x48));
        delegate.setEditorData(spin, end_cell);
        QCOMPARE(spin->value(), qint64(0x48));
        QCOMPARE(reload_calls, 0);
        spin->stepBy(1); // one connection only: one update
        QCOMPARE(reload_calls, 1);
        QCOMPARE(node(end_cell)->end(), qint64(0x49));
    }

    void live_update_after_markup_removed_is_ignored()
    {
        TreeViewDelegate delegate;
        wire(delegate);
        QWidget parent;
        auto own = std::make_unique<MarkupModel>();
        const QModelIndex only = add_markup(*own, QModelIndex(), 5, 9, "X");
        const QModelIndex end_cell = only.siblingAtColumn(MarkupColumn::End);
        auto *spin = qobject_cast<HexOptionSpinBox *>(delegate.createEditor(&parent, QStyleOptionViewItem(), end_cell));
        delegate.setEditorData(spin, end_cell);
        own.reset(); // the model and its markups go away while the editor is open
        spin->stepBy(1);
        QCOMPARE(reload_calls, 0);
    }

    void position_text_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QVariant>("display");
        QTest::addColumn<QString>("text");
        QTest::newRow("hex-default-int") << QString() << QVariant(qint64(255)) << "0xff";
        QTest::newRow("hex-yes") << "yes" << QVariant(qint64(255)) << "0xff";
        QTest::newRow("hex-other-word") << "No" << QVariant(qint64(255)) << "0xff";
        QTest::newRow("decimal-no") << "no" << QVariant(qint64(255)) << "255";
        QTest::newRow("hex-from-xml-text") << QString() << QVariant(QString("255")) << "0xff";
        QTest::newRow("decimal-from-xml-text") << "no" << QVariant(QString("255")) << "255";
        QTest::newRow("hex-beyond-4GiB") << QString() << QVariant(big + 0x10) << "0x100000010";
        QTest::newRow("decimal-beyond-4GiB") << "no" << QVariant(big) << "4294967296";
        QTest::newRow("hex-zero") << QString() << QVariant(qint64(0)) << "0x0";
    }

    void position_text()
    {
        QFETCH(QString, setting);
        QFETCH(QVariant, display);
        QFETCH(QString, text);
        if (!setting.isEmpty())
            Config::instance()->setValue("Hex Markup Display", setting);
        QCOMPARE(TreeViewDelegate::position_text(display), text);
    }

    // Offsets beyond 4 GiB in a 75-pixel column: the cell elides visibly, the
    // view's columns widen to the largest offset, the editor shows every digit.
    void long_offsets_never_cut_silently_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::newRow("hex") << QString();
        QTest::newRow("decimal") << "no";
    }

    void long_offsets_never_cut_silently()
    {
        QFETCH(QString, setting);
        if (!setting.isEmpty())
            Config::instance()->setValue("Hex Markup Display", setting);
        const QVariant value(qint64(0x3FFFFFFC0));
        const QString whole = TreeViewDelegate::position_text(value);
        const QFontMetrics metrics(QApplication::font());
        const QString cut = TreeViewDelegate::fitted_position_text(value, metrics, 40);
        QVERIFY2(cut.endsWith(QChar(0x2026)), qPrintable(cut));
        QVERIFY(whole.startsWith(cut.chopped(1)));
        QCOMPARE(TreeViewDelegate::fitted_position_text(value, metrics,
                                                        TreeViewDelegate::position_cell_width(
                                                            0x3FFFFFFC0, metrics)),
                 whole);

        HexTreeView view;
        TreeViewDelegate delegate;
        wire(delegate);
        view.setModel(model.get());
        view.setItemDelegate(&delegate);
        for (int column = 1; column <= 3; ++column)
            view.setColumnWidth(column, 75);
        view.fit_position_columns(0x3FFFFFFC0);
        for (int column = 1; column <= 3; ++column)
            QVERIFY(view.columnWidth(column) > view.fontMetrics().horizontalAdvance(whole));
        // The same file again keeps what the user widened; a smaller file
        // narrows the columns back, no narrower than they started.
        view.setColumnWidth(MarkupColumn::End, 400);
        view.fit_position_columns(0x3FFFFFFC0);
        QCOMPARE(view.columnWidth(MarkupColumn::End), 400);
        view.fit_position_columns(0x10);
        for (int column = 1; column <= 3; ++column)
            QCOMPARE(view.columnWidth(column), 75);

        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QModelIndex start_cell = cell("C", MarkupColumn::Start);
        view.setCurrentIndex(start_cell);
        view.edit(start_cell);
        auto *spin = view.viewport()->findChild<HexOptionSpinBox *>();
        QVERIFY(spin);
        QCOMPARE(spin->text(), TreeViewDelegate::position_text(QVariant(big)));
        auto *line = spin->findChild<QLineEdit *>();
        QVERIFY(line);
        QVERIFY2(line->width() > line->fontMetrics().horizontalAdvance(spin->text()),
                 qPrintable(QString::number(line->width())));
        // The column widened to hold the editor: its arrows sit in the Start
        // cell, not over End.
        QVERIFY(view.columnWidth(MarkupColumn::Start) >= spin->sizeHint().width());
        QVERIFY2(view.visualRect(start_cell).contains(spin->geometry()),
                 qPrintable(QString("%1 %2").arg(spin->geometry().right()).arg(view.visualRect(start_cell).right())));
    }

    void typed_bound_that_cannot_stand_says_why_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<qint64>("typed");
        QTest::addColumn<QString>("reason");
        const int start = MarkupColumn::Start;
        const int end = MarkupColumn::End;
        QTest::newRow("end-before-start") << "B" << end << qint64(0x3f) << "End must not be before Start";
        QTest::newRow("start-after-end") << "B" << start << qint64(0x50) << "Start must not be after End";
        QTest::newRow("start-into-previous") << "B" << start << qint64(0x1f)
                                             << "Start must lie after the end of the markup before it";
        QTest::newRow("end-into-next") << "B" << end << qint64(big) << "End must lie before the start of the markup after it";
        QTest::newRow("child-start-before-parent") << "A1" << start << qint64(0xf)
                                                   << "Start must not be before the start of the markup it lies in";
        QTest::newRow("child-end-after-parent") << "A2" << end << qint64(0x20)
                                                << "End must not be after the end of the markup it lies in";
        QTest::newRow("parent-start-past-first-child") << "A" << start << qint64(0x11)
                                                       << "Start must not be after the start of the first markup inside it";
        QTest::newRow("parent-end-before-last-child") << "A" << end << qint64(0x1a)
                                                      << "End must not be before the end of the last markup inside it";
        QTest::newRow("last-end-beyond-file") << "C" << end << qint64(2 * big) << "End lies beyond the end of the file";
        QTest::newRow("in-range-no-reason") << "B" << end << qint64(0x60) << "";
    }

    // Typed into a real editor and committed with Enter: the bound keeps its
    // last good value and the owner hears why the typed one could not stand.
    void typed_bound_that_cannot_stand_says_why()
    {
        QFETCH(QString, row);
        QFETCH(int, column);
        QFETCH(qint64, typed);
        QFETCH(QString, reason);
        Config::instance()->setValue("Hex Markup Display", "no");
        HexTreeView view;
        TreeViewDelegate delegate;
        wire(delegate);
        QStringList messages;
        delegate.set_show_message([&messages](const QString &text) { messages << text; });
        view.setModel(model.get());
        view.setItemDelegate(&delegate);
        view.expandAll();
        view.resize(700, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QModelIndex index = cell(qPrintable(row), column);
        QCOMPARE(delegate.refusal_reason(index, typed), reason);
        const qint64 before = index.data().toLongLong();
        QSignalSpy closed(&delegate, &QAbstractItemDelegate::closeEditor);
        view.setCurrentIndex(index);
        view.edit(index);
        auto *spin = view.viewport()->findChild<HexOptionSpinBox *>();
        QVERIFY(spin);
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(typed));
        QTest::keyClick(spin, Qt::Key_Return);
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(messages, reason.isEmpty() ? QStringList() : QStringList{reason});
        QCOMPARE(index.data().toLongLong(), reason.isEmpty() ? typed : before);
    }

    void paint_colours_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("markup_colours");
        QTest::newRow("start-unselected") << int(MarkupColumn::Start) << false << true;
        QTest::newRow("end-unselected") << int(MarkupColumn::End) << false << true;
        QTest::newRow("length-unselected") << int(MarkupColumn::Length) << false << true;
        QTest::newRow("start-selected") << int(MarkupColumn::Start) << true << false;
        QTest::newRow("length-selected") << int(MarkupColumn::Length) << true << false;
    }

    void paint_colours()
    {
        QFETCH(int, column);
        QFETCH(bool, selected);
        QFETCH(bool, markup_colours);
        node(b)->set_foreground(QColor(0, 0, 200));
        node(b)->set_background(QColor(10, 200, 30));
        TreeViewDelegate delegate;
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 200, 20);
        option.palette.setBrush(QPalette::Active, QPalette::Highlight, QColor(120, 0, 120));
        option.state = QStyle::State_Enabled;
        if (selected)
            option.state |= QStyle::State_Selected;
        QImage image(200, 20, QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            delegate.paint(&painter, option, cell("B", column));
        }
        const QColor fill = markup_colours ? QColor(10, 200, 30) : QColor(120, 0, 120);
        // The text is left-aligned: the right end of the cell shows the fill.
        QCOMPARE(image.pixelColor(199, 10), fill);
        QCOMPARE(image.pixelColor(0, 0), fill);
        // Some pixels carry the text in the pen's colour.
        const QColor pen = markup_colours ? QColor(0, 0, 200) : QColor(255, 255, 255);
        bool pen_seen = false;
        for (int x = 0; x < 60 && !pen_seen; ++x) {
            for (int y = 0; y < 20 && !pen_seen; ++y)
                pen_seen = image.pixelColor(x, y) == pen;
        }
        QVERIFY(pen_seen);
    }

    void long_description_shows_a_bounded_prefix()
    {
        // A description of megabytes is measured and painted as its first
        // characters and an ellipsis (laying out all of it took the view
        // seconds per repaint); the model keeps every character.
        const QString text = QString(TreeViewDelegate::max_shown_description, QLatin1Char('w'))
                             + QString(4000000, QLatin1Char('x'));
        const QString shown = TreeViewDelegate::shown_description(text);
        QCOMPARE(shown, text.left(TreeViewDelegate::max_shown_description) + QChar(0x2026));
        QCOMPARE(TreeViewDelegate::shown_description(QStringLiteral("short")), QStringLiteral("short"));

        TreeViewDelegate delegate;
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 300, 20);
        option.state = QStyle::State_Enabled;
        auto render = [&](const QModelIndex &index) {
            QImage image(300, 20, QImage::Format_RGB32);
            image.fill(Qt::black);
            QPainter painter(&image);
            delegate.paint(&painter, option, index);
            return image;
        };
        QVERIFY(model->setData(b, shown));
        const QSize prefix_size = delegate.sizeHint(option, b);
        const QImage prefix_image = render(b);
        QVERIFY(model->setData(b, text));
        QCOMPARE(delegate.sizeHint(option, b), prefix_size);
        QCOMPARE(render(b), prefix_image);
        QCOMPARE(b.data().toString(), text);
    }

    void editor_takes_option_rectangle()
    {
        TreeViewDelegate delegate;
        QWidget parent;
        QLineEdit editor(&parent);
        QStyleOptionViewItem option;
        option.rect = QRect(7, 9, 75, 18);
        delegate.updateEditorGeometry(&editor, option, cell("B", MarkupColumn::Description));
        QCOMPARE(editor.geometry(), QRect(7, 9, 75, 18));
    }

    // In a real view: open the End editor, step, and see Length change before
    // the commit; Enter commits through the model and commitData fires.
    void view_edit_and_commit()
    {
        HexTreeView view;
        TreeViewDelegate delegate;
        wire(delegate);
        view.setModel(model.get());
        view.setItemDelegate(&delegate);
        view.expandAll();
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy commits(&delegate, &QAbstractItemDelegate::commitData);
        const QModelIndex end_cell = cell("B", MarkupColumn::End);
        view.setCurrentIndex(end_cell);
        view.edit(end_cell);
        auto *spin = view.viewport()->findChild<HexOptionSpinBox *>();
        QVERIFY(spin);
        QCOMPARE(modified_calls, 1);
        QCOMPARE(spin->text(), QString("0x4f"));
        spin->stepBy(1);
        QCOMPARE(cell("B", MarkupColumn::Length).data().toLongLong(), qint64(0x11));
        QTest::keyClick(spin, Qt::Key_Return);
        QTRY_COMPARE(commits.count(), 1); // the view commits through a queued call
        QCOMPARE(end_cell.data().toLongLong(), qint64(0x50));
    }

    void view_open_and_close_unchanged_sets_modified()
    {
        HexTreeView view;
        TreeViewDelegate delegate;
        wire(delegate);
        view.setModel(model.get());
        view.setItemDelegate(&delegate);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QModelIndex start_cell = cell("B", MarkupColumn::Start);
        view.setCurrentIndex(start_cell);
        view.edit(start_cell);
        auto *spin = view.viewport()->findChild<HexOptionSpinBox *>();
        QVERIFY(spin);
        QSignalSpy closed(&delegate, &QAbstractItemDelegate::closeEditor);
        QTest::keyClick(spin, Qt::Key_Escape);
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(modified_calls, 1);
        QCOMPARE(start_cell.data().toLongLong(), qint64(0x40));
        QCOMPARE(reload_calls, 0);
    }

    void view_spin_then_close_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("escape-puts-back-the-live-values") << int(Qt::Key_Escape);
        QTest::newRow("return-hands-before-and-after-to-the-owner") << int(Qt::Key_Return);
    }

    // A spun End is written live; Escape must leave the markup as it was,
    // Return hands the values from when the editor opened, and the new ones,
    // to the owner (which makes them one undoable step).
    void view_spin_then_close()
    {
        QFETCH(int, key);
        HexTreeView view;
        TreeViewDelegate delegate;
        wire(delegate);
        QList<TreeViewDelegate::Values> commits;
        delegate.set_commit_edit([&](const QModelIndex &, const TreeViewDelegate::Values &before,
                                     const TreeViewDelegate::Values &after) {
            commits << before << after;
        });
        view.setModel(model.get());
        view.setItemDelegate(&delegate);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy closed(&delegate, &QAbstractItemDelegate::closeEditor);
        const QModelIndex end_cell = cell("B", MarkupColumn::End);
        view.setCurrentIndex(end_cell);
        view.edit(end_cell);
        auto *spin = view.viewport()->findChild<HexOptionSpinBox *>();
        QVERIFY(spin);
        spin->stepBy(2);
        QCOMPARE(node(end_cell)->end(), qint64(0x51));
        QTest::keyClick(spin, Qt::Key(key));
        QTRY_COMPARE(closed.count(), 1);
        if (key == Qt::Key_Escape) {
            QCOMPARE(commits.size(), 0);
            QCOMPARE(node(end_cell)->end(), qint64(0x4f));
            QCOMPARE(node(end_cell)->length(), qint64(0x10));
            return;
        }
        QCOMPARE(commits.size(), 2);
        const TreeViewDelegate::Values before = {{MarkupColumn::End, qint64(0x4f)},
                                                 {MarkupColumn::Length, qint64(0x10)}};
        const TreeViewDelegate::Values after = {{MarkupColumn::End, qint64(0x51)},
                                                {MarkupColumn::Length, qint64(0x12)}};
        QCOMPARE(commits.at(0), before);
        QCOMPARE(commits.at(1), after);
    }
};

QTEST_MAIN(TestTreeViewDelegate)
#include "tst_treeviewdelegate.moc"
