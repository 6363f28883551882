// Markup commands of the main window: mark, manual marking, colours, delete,
// prune, clear, save, load, export and linking markup files to data files.

#include "settings/config.h"
#include "document/hexdocument.h"
#include "treeview/hexoptionspinbox.h"
#include "treeview/hextreeview.h"
#include "editedfile/editedfile.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow_script.h"
#include "mask/markupmask.h"
#include "markup/markupcolumn.h"
#include "markup/markupexporter.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupcolumn.h"
#include "markup/markuptree.h"
#include "markup/markupxmlhandler.h"
#include "hostilehelpers.h"
#include "kaitai/ksygallery.h"
#include "panels/formatbar.h"
#include "panels/inspectorwidget.h"
#include "markuptesthelpers.h"
#include "testsettings.h"
#include "treeview/treeviewdelegate.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Range
{
    qint64 start;
    qint64 end;
};

} // namespace

class TestMainWindowMarkup : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;
    pq_test::DialogScript script;
    QTemporaryDir dir;
    QString data;

    MarkupModel *model() const { return window->markup_model(); }

    MarkupNode *top(int row) const { return model()->root()->child(row); }

    // Every markup as "start..end" in depth-first order, children in brackets.
    static QString shape(const MarkupNode *node)
    {
        QStringList parts;
        for (const MarkupNode *child : node->children()) {
            QString part = QString("%1..%2").arg(child->start()).arg(child->end());
            if (child->child_count() > 0)
                part += "[" + shape(child) + "]";
            parts << part;
        }
        return parts.join(' ');
    }

    QString tree_shape() const { return shape(model()->root()); }

    void mark(qint64 from, qint64 to)
    {
        window->hex_widget()->set_selection(from, to);
        window->mark_action();
    }

    void select_row(MarkupNode *node)
    {
        const QModelIndex index = model()->index_of(node);
        QVERIFY(index.isValid());
        // As a click does: the row becomes current and selected.
        window->markup_tree_view()->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Everything a step may change: each markup's values and colours, and
    // every unsaved byte of the open file.
    QString markup_state() const { return window->markup_tree()->to_xml(); }
    QString byte_state() const
    {
        QStringList edits;
        for (qint64 o = 0; o < 4096; ++o) {
            const int value = window->hex_widget()->edited_value(o);
            if (value >= 0)
                edits << QString("%1=%2").arg(o).arg(value);
        }
        return edits.join(',');
    }

    QAction *edit_entry(const QString &name) const
    {
        for (QAction *menu : window->menuBar()->actions()) {
            if (menu->text() == "Edit" && menu->menu())
                return menu->menu()->actions().value(name == "Undo" ? 0 : 1);
        }
        return nullptr;
    }

    // A tree-view edit through the delegate, as the view makes it.
    void edit_cell(MarkupNode *node, int column, QRandomGenerator &rng)
    {
        HexTreeView *view = window->markup_tree_view();
        QAbstractItemDelegate *delegate = view->itemDelegate();
        const QModelIndex index = model()->index_of(node).siblingAtColumn(column);
        std::unique_ptr<QWidget> editor(
            delegate->createEditor(view->viewport(), QStyleOptionViewItem(), index));
        QVERIFY(editor);
        delegate->setEditorData(editor.get(), index);
        if (auto *line = qobject_cast<QLineEdit *>(editor.get()))
            line->setText(QString("d%1").arg(rng.bounded(50)));
        else if (auto *combo = qobject_cast<QComboBox *>(editor.get()))
            combo->setCurrentIndex(rng.bounded(2));
        else if (auto *spin = qobject_cast<HexOptionSpinBox *>(editor.get()))
            spin->setValue(rng.bounded(spin->minimum(), spin->maximum() + 1));
        delegate->setModelData(editor.get(), model(), index);
    }

    // One or two hexadecimal digits, or one character, typed at a random byte.
    void type_bytes(QRandomGenerator &rng)
    {
        HexWidget *hex = window->hex_widget();
        if (!hex->edit_mode())
            hex->edit_triggered();
        const qint64 at = rng.bounded(4096);
        hex->set_selection(at, at);
        const bool hex_column = rng.bounded(3) > 0;
        if (hex->hex_column_active() != hex_column)
            QTest::keyClick(hex, Qt::Key_Tab);
        if (!hex_column) {
            QTest::keyClick(hex, char('a' + rng.bounded(26)));
            return;
        }
        const int digits = 1 + rng.bounded(2);
        for (int i = 0; i < digits; ++i) {
            const int nibble = rng.bounded(16);
            QTest::keyClick(hex, Qt::Key(nibble < 10 ? Qt::Key_0 + nibble : Qt::Key_A + nibble - 10));
        }
    }

    QString write_file(const QString &name, const QByteArray &content)
    {
        const QString path = dir.path() + "/" + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(content);
        return path;
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
        window = MainWindow::instance();
        QVERIFY(dir.isValid());
    }

    void init()
    {
        data = pq_test::make_temp_file(4096);
        pq_test::reset_window(window, script, data);
        QCOMPARE(model()->rowCount(), 0);
        QVERIFY(!window->markup_modified());
    }

    void mark_backward_selection()
    {
        mark(40, 30);
        QCOMPARE(tree_shape(), QString("30..40"));
        QCOMPARE(top(0)->length(), qint64(11));
        QCOMPARE(window->hex_widget()->selection_start(), qint64(-1));
        QCOMPARE(window->statusBar()->currentMessage(), QString());
        QVERIFY(window->markup_modified());
    }

    // A markup chosen in the tree shows its bytes: the hex view selects
    // exactly its range, scrolled into view, and the inspector reads from
    // its start; a backward selection is read from its start too.
    void tree_row_shows_its_bytes()
    {
        window->open_named_file(pq_test::make_temp_file(0x100000));
        window->show();
        mark(0x80000, 0x8000f);
        mark(0x10, 0x1f);
        HexWidget *hex = window->hex_widget();
        InspectorWidget *inspector = window->findChild<InspectorWidget *>();
        QVERIFY(inspector);
        hex->set_cursor(0);
        QCOMPARE(hex->top_row(), qint64(0));

        select_row(top(1));
        QCOMPARE(hex->selection_start(), qint64(0x80000));
        QCOMPARE(hex->selection_end(), qint64(0x8000f));
        QVERIFY(hex->top_row() <= 0x8000 && 0x8000 < hex->top_row() + qMax(1, hex->visible_rows()));
        QCOMPARE(inspector->offset(), qint64(0x80000));

        // Clicking the chosen row again after the view moved on shows it again.
        hex->set_cursor(5);
        const QModelIndex index = model()->index_of(top(1));
        const QRect cell = window->markup_tree_view()->visualRect(index);
        QTest::mouseClick(window->markup_tree_view()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(hex->selection_end(), qint64(0x8000f));

        hex->set_selection(0x8000f, 0x80000);
        QCOMPARE(inspector->offset(), qint64(0x80000));
        // Undo, as every command, first clears what the last one said.
        window->show_status("Markup Saved");
        window->undo_action();
        QCOMPARE(window->statusBar()->currentMessage(), QString());
        window->hide();
    }

    void mark_without_selection()
    {
        window->mark_action();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Select a region to mark"));
        QCOMPARE(model()->rowCount(), 0);
        QVERIFY(!window->markup_modified());
    }

    void mark_needs_an_open_file()
    {
        window->hex_widget()->open_file(dir.path()); // a folder: the open fails, no file is left
        QVERIFY(!window->hex_widget()->document()->is_open());
        mark(35, 35); // what a click in the empty view leaves selected
        QCOMPARE(window->statusBar()->currentMessage(), QString("No File"));
        QCOMPARE(model()->rowCount(), 0);
    }

    void refused_mark_changes_nothing_and_keeps_selection()
    {
        mark(10, 20);
        window->load_file(data); // clears the modified flag, keeps the markups
        QVERIFY(!window->markup_modified());
        mark(15, 25);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Selections cannot overlap"));
        QCOMPARE(tree_shape(), QString("10..20"));
        // The tree is as saved: no step, nothing to ask about.
        QVERIFY(!window->markup_modified());
        QVERIFY(!window->edit_history()->canUndo());
        QCOMPARE(window->hex_widget()->selection_start(), qint64(15));
    }

    void undo_all_then_redo_all_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("steps");
        QTest::newRow("seed-1") << 1u << 150;
        QTest::newRow("seed-7") << 7u << 150;
        QTest::newRow("seed-2026-long") << 2026u << 400;
    }

    // A random run of markup commands, tree edits, byte edits and some undos
    // and redos on the way; undoing everything must give back the tree and
    // bytes it started from, and redoing everything the state it ended in.
    void undo_all_then_redo_all()
    {
        QFETCH(quint32, seed);
        QFETCH(int, steps);
        QRandomGenerator rng(seed);
        EditHistory *history = window->edit_history();
        mark(0, 1000);
        mark(100, 200);
        mark(2000, 3000);
        history->restart();
        history->mark_saved(EditHistory::markup);
        script.answers["Clear All markup"] = QMessageBox::Yes;
        const QString start_tree = markup_state();
        const QString start_bytes = byte_state();

        for (int step = 0; step < steps; ++step) {
            const std::vector<MarkupNode *> nodes = pq_markup_test::all_nodes(model()->root());
            MarkupNode *node = nodes.empty() ? nullptr : nodes[rng.bounded(int(nodes.size()))];
            const int what = rng.bounded(100);
            if (what < 30 && node && rng.bounded(2) == 0) {
                // Around a markup: it is adopted, maybe with its neighbours.
                mark(qMax<qint64>(0, node->start() - rng.bounded(80)),
                     node->end() + rng.bounded(80));
            } else if (what < 30) {
                const qint64 a = rng.bounded(3700);
                mark(a, a + rng.bounded(300));
            } else if (what < 45) {
                type_bytes(rng);
            } else if (what < 55 && node) {
                edit_cell(node, QList<int>{0, 1, 2, 4}[rng.bounded(4)], rng);
            } else if (what < 70 && node) {
                select_row(node);
                script.colours << QColor(rng.bounded(256), rng.bounded(256), rng.bounded(256));
                script.randoms << rng.bounded(256) << rng.bounded(256) << rng.bounded(256);
                const int kind = rng.bounded(3);
                if (kind == 0)
                    window->mark_color_action();
                else if (kind == 1)
                    window->mark_background_color_action();
                else
                    window->pick_random_color_action();
            } else if (what < 78 && node) {
                select_row(node);
                window->delete_markup_action();
            } else if (what < 84 && node) {
                select_row(node);
                window->prune_markup_action();
            } else if (what < 86) {
                window->clear_marks_action();
            } else if (what < 95) {
                window->undo_action();
            } else {
                window->redo_action();
            }
        }
        const QString end_tree = markup_state();
        const QString end_bytes = byte_state();

        int undone = 0;
        while (history->canUndo() && undone <= EditHistory::step_limit) {
            window->undo_action();
            ++undone;
        }
        QVERIFY(undone > 0);
        QCOMPARE(markup_state(), start_tree);
        QCOMPARE(byte_state(), start_bytes);
        QVERIFY(!window->markup_modified());
        QVERIFY(!window->document_modified());
        // The mask's refill shows the restored colours, not stale nodes.
        MarkupMask *mask = window->markup_mask();
        mask->markup_at(150);
        QTRY_VERIFY(!mask->is_filling() && mask->markup_at(150) == pq_markup_test::find_range(model()->root(), 100, 200));

        int redone = 0;
        // The run may have ended with an undo: its end is `undone` steps on.
        while (history->canRedo() && redone < undone) {
            window->redo_action();
            ++redone;
        }
        QCOMPARE(redone, undone);
        QCOMPARE(markup_state(), end_tree);
        QCOMPARE(byte_state(), end_bytes);

        HexWidget *hex = window->hex_widget();
        if (!hex->hex_column_active())
            QTest::keyClick(hex, Qt::Key_Tab);
        if (hex->edit_mode())
            hex->edit_triggered();
    }

    // The Edit entries name the step; the flags follow saves through undo and
    // redo; a save keeps the markup history, a byte save ends the byte steps.
    void undo_entries_and_modified_flags()
    {
        QAction *undo = edit_entry("Undo");
        QAction *redo = edit_entry("Redo");
        QVERIFY(undo && redo);
        QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
        QVERIFY(redo->shortcuts().contains(QKeySequence(QKeySequence::Redo)));
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QString("Undo"));

        mark(0, 100);
        mark(10, 20);
        QCOMPARE(undo->text(), QString("Undo Mark"));
        script.file_names << dir.path() + "/flags.xml";
        window->save_markup_as_action();
        QVERIFY(!window->markup_modified());
        QCOMPARE(undo->text(), QString("Undo Mark"));

        select_row(top(0)->child(0));
        window->prune_markup_action();
        QCOMPARE(undo->text(), QString("Undo Prune"));
        QVERIFY(window->markup_modified());
        undo->trigger();
        QCOMPARE(tree_shape(), QString("0..100[10..20]"));
        QVERIFY(!window->markup_modified());
        QCOMPARE(redo->text(), QString("Redo Prune"));
        // The restored markup is selected again.
        const QModelIndexList selected = window->markup_tree_view()->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(model()->node_from_index(selected.first()), top(0)->child(0));
        undo->trigger();
        QCOMPARE(tree_shape(), QString("0..100"));
        QVERIFY(window->markup_modified());
        redo->trigger();
        QVERIFY(!window->markup_modified());

        // A nibble pair is one step.
        HexWidget *hex = window->hex_widget();
        if (!hex->edit_mode())
            hex->edit_triggered();
        hex->set_selection(5, 5);
        QTest::keyClick(hex, Qt::Key_4);
        QTest::keyClick(hex, Qt::Key_1);
        QCOMPARE(undo->text(), QString("Undo Edit Byte"));
        QVERIFY(window->document_modified());
        undo->trigger();
        QCOMPARE(hex->edited_value(5), -1);
        QVERIFY(!window->document_modified());
        QCOMPARE(undo->text(), QString("Undo Mark"));
        redo->trigger();
        QCOMPARE(hex->edited_value(5), 0x41);
        window->save_action();
        QVERIFY(!window->document_modified());
        // The saved step can still be taken back: the old byte returns as an edit.
        QCOMPARE(undo->text(), QString("Undo Edit Byte"));
        QCOMPARE(redo->text(), QString("Redo"));
        undo->trigger();
        QVERIFY(window->document_modified());
        QVERIFY(hex->edited_value(5) >= 0 && hex->edited_value(5) != 0x41);
        redo->trigger();
        QVERIFY(!window->document_modified());
        hex->edit_triggered();

        // Loading a markup file starts a new history.
        script.file_names << dir.path() + "/flags.xml";
        window->load_markup_action();
        QCOMPARE(tree_shape(), QString("0..100[10..20]"));
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QString("Undo"));
    }

    // The inspector marks a value field by field: the markup is described by
    // the type, the cursor moves past it, Mark's refusal applies, and Undo
    // takes the field back.
    void mark_as_from_inspector()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *inspector = window->findChild<InspectorWidget *>();
        QVERIFY(inspector && inspector->isVisible());
        window->hex_widget()->set_selection(16, 16);
        inspector->mark_as(ValueDecoder::Type::uint32);
        QCOMPARE(tree_shape(), QString("16..19"));
        QCOMPARE(top(0)->data(MarkupColumn::Description).toString(), QString("UInt32"));
        QCOMPARE(window->hex_widget()->selection_start(), qint64(20));
        QCOMPARE(inspector->offset(), qint64(20));
        inspector->mark_as(ValueDecoder::Type::uint16);
        QCOMPARE(tree_shape(), QString("16..19 20..21"));
        QCOMPARE(top(1)->data(MarkupColumn::Description).toString(), QString("UInt16"));
        QVERIFY(window->markup_modified());

        window->hex_widget()->set_selection(18, 18);
        inspector->mark_as(ValueDecoder::Type::uint32);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Selections cannot overlap"));
        QCOMPARE(tree_shape(), QString("16..19 20..21"));
        QCOMPARE(window->hex_widget()->selection_start(), qint64(18));

        window->edit_history()->undo();
        QCOMPARE(tree_shape(), QString("16..19"));
        window->edit_history()->redo();
        QCOMPARE(top(1)->data(MarkupColumn::Description).toString(), QString("UInt16"));
        window->hide();
    }

    void mark_nests_and_colours_the_view()
    {
        mark(0, 100);
        mark(10, 20);
        mark(30, 40);
        QCOMPARE(tree_shape(), QString("0..100[10..20 30..40]"));
        // The mask is rebuilt after marking: the inner markup colours its bytes.
        MarkupMask *mask = window->markup_mask();
        mask->markup_at(15);
        QTRY_VERIFY(!mask->is_filling() && mask->markup_at(15) != nullptr);
        QCOMPARE(mask->markup_at(15), top(0)->child(0));
        QCOMPARE(mask->markup_at(50), top(0));
        QCOMPARE(mask->markup_at(101), nullptr);
    }

    void manual_selection_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hex-start-with-length") << QStringList{"0x10", "", "4"} << "16..19";
        QTest::newRow("octal-start-hex-end") << QStringList{"020", "0x1f", ""} << "16..31";
        QTest::newRow("start-after-end") << QStringList{"100", "90", ""} << "90..100";
        QTest::newRow("decimal-start-end") << QStringList{"16", "20", ""} << "16..20";
        QTest::newRow("all-empty-marks-byte-0") << QStringList{"", "", ""} << "0..0";
        QTest::newRow("length-wins-over-end") << QStringList{"16", "100", "2"} << "16..17";
    }

    void manual_selection()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, expected);
        window->hex_widget()->set_selection(200, 210);
        script.manual_fields = {fields};
        window->manual_selection_action();
        QCOMPARE(script.events, QStringList{"manual"});
        QCOMPARE(tree_shape(), expected);
        QVERIFY(window->markup_modified());
        QCOMPARE(window->hex_widget()->selection_start(), qint64(-1));
        // Coloured at once, without waiting for another reload.
        const qint64 first = top(0)->start();
        MarkupMask *mask = window->markup_mask();
        mask->markup_at(first);
        QTRY_COMPARE(mask->markup_at(first), top(0));
    }

    void manual_selection_cancelled()
    {
        window->manual_selection_action();
        QCOMPARE(model()->rowCount(), 0);
        QVERIFY(!window->markup_modified());
    }

    void manual_selection_out_of_range_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("start-beyond-signed-range") << QStringList{"0xffffffffffffffff", "", ""};
        QTest::newRow("end-beyond-signed-range") << QStringList{"0", "0x8000000000000000", ""};
        QTest::newRow("length-wraps") << QStringList{"0x7fffffffffffffff", "", "2"};
    }

    void manual_selection_out_of_range()
    {
        QFETCH(QStringList, fields);
        script.manual_fields = {fields};
        window->manual_selection_action();
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Position out of range"));
        QVERIFY(!window->markup_modified());
    }

    void manual_overlap_refused()
    {
        mark(10, 20);
        script.manual_fields = {{"15", "25", ""}};
        window->manual_selection_action();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Selections cannot overlap"));
        QCOMPARE(tree_shape(), QString("10..20"));
    }

    void commands_need_a_selected_row_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("foreground") << "mark_color_action";
        QTest::newRow("background") << "mark_background_color_action";
        QTest::newRow("random") << "pick_random_color_action";
        QTest::newRow("delete") << "delete_markup_action";
        QTest::newRow("prune") << "prune_markup_action";
    }

    void commands_need_a_selected_row()
    {
        QFETCH(QString, command);
        mark(10, 20);
        window->load_file(data);
        window->markup_tree_view()->selectionModel()->clearSelection();
        QVERIFY(QMetaObject::invokeMethod(window, command.toLatin1().constData()));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QString("Select a row from the markup tree"));
        QCOMPARE(tree_shape(), QString("10..20"));
        QVERIFY(!window->markup_modified());
        QVERIFY(script.events.isEmpty());
    }

    void colour_commands_data()
    {
        QTest::addColumn<bool>("foreground");
        QTest::newRow("foreground") << true;
        QTest::newRow("background") << false;
    }

    void colour_commands()
    {
        QFETCH(bool, foreground);
        mark(10, 20);
        window->load_file(data);
        select_row(top(0));
        script.colours = {QColor(1, 2, 3)};
        // New colours repaint the view; the mask keeps its entries.
        QSignalSpy refill(model(), &MarkupModel::about_to_change);
        QSignalSpy repaint(window->edited_file(), &EditedFile::markups_changed);
        if (foreground)
            window->mark_color_action();
        else
            window->mark_background_color_action();
        QCOMPARE(foreground ? top(0)->foreground() : top(0)->background(), QColor(1, 2, 3));
        QCOMPARE(foreground ? top(0)->background() : top(0)->foreground(),
                 foreground ? QColor(Qt::white) : QColor(Qt::black));
        QVERIFY(window->markup_modified());
        // The dialog opens on the colour it replaces (cancelled the second time).
        if (foreground)
            window->mark_color_action();
        else
            window->mark_background_color_action();
        QCOMPARE(script.colour_initials,
                 (QList<QColor>{foreground ? QColor(Qt::black) : QColor(Qt::white), QColor(1, 2, 3)}));
        window->undo_action();
        QCOMPARE(top(0)->foreground(), QColor(Qt::black));
        QCOMPARE(refill.count(), 0);
        QCOMPARE(repaint.count(), 2);
    }

    void colour_dialog_cancelled_changes_nothing()
    {
        mark(10, 20);
        window->load_file(data);
        select_row(top(0));
        window->mark_color_action();
        window->mark_background_color_action();
        QCOMPARE(script.events, (QStringList{"colour", "colour"}));
        QCOMPARE(top(0)->foreground(), QColor(Qt::black));
        QCOMPARE(top(0)->background(), QColor(Qt::white));
        QVERIFY(!window->markup_modified());
    }

    // The background is the text shifted by 128 in every component, modulo 256.
    void contrast_colour_data()
    {
        QTest::addColumn<QColor>("foreground");
        QTest::addColumn<QColor>("background");
        QTest::newRow("white-wraps") << QColor(255, 255, 255) << QColor(127, 127, 127);
        QTest::newRow("green") << QColor(10, 200, 128) << QColor(138, 72, 0);
    }

    void contrast_colour()
    {
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);
        QCOMPARE(MainWindow::contrast_colour(foreground), background);
        QCOMPARE(MainWindow::contrast_colour(foreground).alpha(), 255);
    }

    void random_colours_from_tree()
    {
        mark(10, 20);
        window->load_file(data);
        select_row(top(0));
        // Draws larger than 255 are reduced modulo 256.
        script.randoms = {10, 200, 128 + 256 * 7};
        window->pick_random_color_action();
        QCOMPARE(top(0)->foreground(), QColor(10, 200, 128));
        QCOMPARE(top(0)->background(), QColor(138, 72, 0));
        QVERIFY(window->markup_modified());
        QVERIFY(!window->markup_tree_view()->selectionModel()->hasSelection());
    }

    void random_colours_from_hex_view_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<bool>("coloured");
        QTest::addColumn<QString>("status");
        QTest::newRow("inside-markup") << qint64(15) << qint64(12) << true << "";
        QTest::newRow("no-markup-there") << qint64(50) << qint64(60) << false
                                         << "No markup under the selection";
        QTest::newRow("no-selection") << qint64(-1) << qint64(-1) << false
                                      << "Select some bytes first";
    }

    void random_colours_from_hex_view()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(bool, coloured);
        QFETCH(QString, status);
        mark(10, 20);
        window->load_file(data);
        window->statusBar()->clearMessage();
        window->hex_widget()->set_selection(from, to);
        script.randoms = {1, 2, 3};
        emit window->hex_widget()->pick_random_colors_requested();
        QCOMPARE(top(0)->foreground(), coloured ? QColor(1, 2, 3) : QColor(Qt::black));
        QCOMPARE(window->markup_modified(), coloured);
        if (!coloured)
            QCOMPARE(window->statusBar()->currentMessage(), status);
    }

    void delete_keeps_children()
    {
        mark(0, 100);
        mark(10, 20);
        mark(30, 40);
        mark(200, 300);
        window->load_file(data);
        select_row(top(0));
        window->delete_markup_action();
        QCOMPARE(tree_shape(), QString("10..20 30..40 200..300"));
        QVERIFY(window->markup_modified());
        QVERIFY(!window->markup_tree_view()->currentIndex().isValid());
        window->delete_markup_action(); // nothing is left chosen to act on
        QCOMPARE(tree_shape(), QString("10..20 30..40 200..300"));
    }

    void prune_removes_subtree()
    {
        mark(0, 100);
        mark(10, 20);
        mark(200, 300);
        window->load_file(data);
        select_row(top(0));
        window->prune_markup_action();
        QCOMPARE(tree_shape(), QString("200..300"));
        QVERIFY(window->markup_modified());
        // The next row is neither current nor selected: a second Prune must
        // not remove a markup the user never chose.
        QVERIFY(!window->markup_tree_view()->currentIndex().isValid());
        window->prune_markup_action();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Select a row from the markup tree"));
        QCOMPARE(tree_shape(), QString("200..300"));
        // No stale node is handed out by the mask afterwards.
        MarkupMask *mask = window->markup_mask();
        mask->markup_at(50);
        QTRY_VERIFY(!mask->is_filling());
        QCOMPARE(mask->markup_at(50), nullptr);
    }

    void clear_answered_no_changes_nothing()
    {
        mark(10, 20);
        window->load_file(data);
        window->clear_marks_action();
        QCOMPARE(script.events, QStringList{"question:Clear All markup"});
        QCOMPARE(script.question_texts.value(0),
                 QString("<font size =4>This operation will clear all markups. Is this what you "
                         "really want to do?</font>"));
        QCOMPARE(tree_shape(), QString("10..20"));
        QVERIFY(!window->markup_modified());
    }

    void clear_answered_yes()
    {
        mark(10, 20);
        window->load_file(data);
        script.answers["Clear All markup"] = QMessageBox::Yes;
        window->clear_marks_action();
        QCOMPARE(model()->rowCount(), 0);
        QVERIFY(window->markup_modified());
    }

    void save_markup_target_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("asks_name");
        QTest::newRow("no-markup-file-asks-a-name") << "nothing" << true;
        QTest::newRow("markup-file-written-without-asking") << "saved" << false;
        // The part read must never replace the whole damaged file.
        QTest::newRow("after-failed-load-asks-a-name") << "failed-load" << true;
    }

    void save_markup_target()
    {
        QFETCH(QString, before);
        QFETCH(bool, asks_name);
        const QString target = dir.path() + "/target-" + QTest::currentDataTag() + ".xml";
        const QByteArray damaged = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n"
                                   " <node start=\"1\" end=\"2\"/>\n <node st\n";
        const QString damaged_path = write_file("damaged.xml", damaged);
        if (before == "saved") {
            mark(10, 20);
            script.file_names = {target};
            window->save_markup_as_action();
        } else if (before == "failed-load") {
            script.file_names = {damaged_path};
            window->load_markup_action();
        }
        mark(30, 40);
        script.events.clear();
        script.file_names = {target};
        window->statusBar()->clearMessage();
        window->save_markup_action();
        QCOMPARE(script.events, asks_name ? QStringList{"save:Save Markup XML File"} : QStringList{});
        QCOMPARE(window->current_markup_file(), target);
        QVERIFY(!window->markup_modified());
        QCOMPARE(window->statusBar()->currentMessage(), QString("Markup Saved"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = MarkupTree::decode_markup_file(file.readAll());
        QVERIFY(text.contains("start=\"30\""));
        QVERIFY(text.contains("<!DOCTYPE PQML>"));
        QFile unchanged(damaged_path);
        QVERIFY(unchanged.open(QIODevice::ReadOnly));
        QCOMPARE(unchanged.readAll(), damaged);
    }

    void save_markup_as_existing_answered_no()
    {
        mark(10, 20);
        const QString target = write_file("existing.xml", "keep me");
        script.file_names = {target};
        window->save_markup_as_action();
        QCOMPARE(script.events,
                 (QStringList{"save:Save Markup XML File", "question:File Exists"}));
        QCOMPARE(script.save_dialog_asks, QList<bool>{false}); // asked once, by the command
        QCOMPARE(script.question_texts.value(0),
                 QString("<font size =4>XML File Exists, Overwrite?</font>"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
        QVERIFY(window->current_markup_file().isEmpty());
        QVERIFY(window->markup_modified());
    }

    void save_markup_failure_keeps_markups()
    {
        mark(10, 20);
        script.file_names = {dir.path() + "/missing/folder/out.xml"};
        window->save_markup_as_action();
        QCOMPARE(script.events.last(), QString("warning:File Error"));
        QCOMPARE(script.warning_texts.value(0),
                 QString("<font size =4>Could not open XML file for output.</font>"));
        QVERIFY(window->markup_modified());
        QCOMPARE(tree_shape(), QString("10..20"));
        // The failed name did not become the markup file: Save asks for a
        // name again (cancelled here).
        QCOMPARE(window->current_markup_file(), QString());
        script.events.clear();
        window->save_markup_action();
        QCOMPARE(script.events, QStringList{"save:Save Markup XML File"});
        QVERIFY(window->markup_modified());
    }

    void save_and_load_round_trip()
    {
        mark(0, 100);
        mark(10, 20);
        mark(300, 310);
        const QString target = dir.path() + "/round.xml";
        script.file_names = {target};
        window->save_markup_as_action();
        script.answers["Clear All markup"] = QMessageBox::Yes;
        window->clear_marks_action();
        QCOMPARE(model()->rowCount(), 0);

        // The clear left the markup modified: loading first asks to save it
        // (answered No here).
        script.events.clear();
        script.file_names = {target};
        window->load_markup_action();
        QCOMPARE(script.events,
                 (QStringList{"question:Markup Has Changed", "open:Load XML Markup File"}));
        QCOMPARE(tree_shape(), QString("0..100[10..20] 300..310"));
        QCOMPARE(window->statusBar()->currentMessage(), QString("Markup Loaded"));
        QCOMPARE(window->current_markup_file(), target);
        QVERIFY(!window->markup_modified());
        QVERIFY(window->markup_tree_view()->isExpanded(model()->index_of(top(0))));
    }

    void unsaved_markup_is_not_discarded_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("close") << "close";
        QTest::newRow("load-markup") << "load_markup_action";
        QTest::newRow("open-file") << "open_action";
    }

    void unsaved_markup_is_not_discarded()
    {
        // Yes to "Markup Has Changed", then the save dialog is cancelled: the
        // markups are still unsaved, so the command must not drop them.
        QFETCH(QString, command);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        mark(10, 20);
        script.answers["Markup Has Changed"] = QMessageBox::Yes;
        QVERIFY(QMetaObject::invokeMethod(window, command.toLatin1().constData()));
        QCOMPARE(script.events,
                 (QStringList{"question:Markup Has Changed", "save:Save Markup XML File"}));
        QVERIFY(window->isVisible());
        QCOMPARE(tree_shape(), QString("10..20"));
        QVERIFY(window->markup_modified());
    }

    void failed_parse_stays_on_status_bar()
    {
        const QString bad = write_file(
            "bad.xml", "<!DOCTYPE PQML>\n<pellowquarnbybook>\n <node start=\"1\" end=\"2\"/>\n"
                       " <markup/>\n</pellowquarnbybook>\n");
        script.file_names = {bad};
        window->load_markup_action();
        QCOMPARE(window->statusBar()->currentMessage(), QString("Markup load failed"));
        const QString detail("Read 1 markup, stopped at line 4, column 10: unknown element markup");
        QCOMPARE(window->statusBar()->toolTip(), detail);
        // The detail holds while the message stays, through a resize too.
        window->statusBar()->resize(window->statusBar()->width() - 10, window->statusBar()->height());
        QCOMPARE(window->statusBar()->toolTip(), detail);
        QCOMPARE(tree_shape(), QString("1..2"));
        // Never the file a save writes over: it holds more than was read.
        QCOMPARE(window->current_markup_file(), QString());
    }

    void unreadable_markup_file_keeps_tree_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("warning");
        const QString input = "<font size =4>Could not open XML file for input.</font>";
        QTest::newRow("missing") << "does-not-exist.xml" << input;
        QTest::newRow("fifo") << "fifo.xml" << input;
        // Markups that would not fit in memory: refused before reading.
        QTest::newRow("beyond-memory") << "dense.xml" << "Markup file too large for the memory available";
    }

    void unreadable_markup_file_keeps_tree()
    {
        QFETCH(QString, file);
        QFETCH(QString, warning);
        mark(10, 20);
        window->load_file(data);
        const QString name = dir.path() + "/" + file;
        std::unique_ptr<pq_hostile::FifoGuard> guard;
        if (file == "fifo.xml")
            guard = std::make_unique<pq_hostile::FifoGuard>(name);
        if (file == "dense.xml") {
            QByteArray head = "<pellowquarnbybook>";
            while (head.size() < (1 << 20))
                head += "<node/>";
            QFile dense(name);
            QVERIFY(dense.open(QIODevice::WriteOnly) && dense.write(head) == head.size());
            QVERIFY(dense.resize(MarkupTree::max_markup_file_size));
            if (MarkupXMLHandler::memory_needed(head, MarkupTree::max_markup_file_size)
                <= MarkupTree::available_memory())
                QSKIP("this machine could hold the markups of the file");
        }
        script.file_names = {name};
        window->load_markup_action();
        if (guard)
            QVERIFY2(!guard->fired(), "Load Markup waited on a FIFO");
        QCOMPARE(script.events.last(), QString("warning:File Error"));
        QVERIFY2(script.warning_texts.value(0).startsWith(warning), qPrintable(script.warning_texts.value(0)));
        QCOMPARE(tree_shape(), QString("10..20"));
        QVERIFY(window->current_markup_file().isEmpty());
    }

    void link_key_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("key");
        QTest::newRow("single-a") << "a" << "Link/177670";
        QTest::newRow("empty") << "" << "Link/5381";
        QTest::newRow("two-chars") << "ab" << "Link/5863208";
        // 0xE9 is taken as -23.
        QTest::newRow("latin1-high-byte") << QString(QChar(0xE9)) << "Link/177550";
    }

    void link_key()
    {
        QFETCH(QString, path);
        QFETCH(QString, key);
        QCOMPARE(MainWindow::link_key(path), key);
    }

    void link_key_wraps_and_masks()
    {
        // Oracle: the same hash in plain 32-bit unsigned arithmetic.
        const QString path = "/some/rather/long/path/to/a/data/file/\u00ff\u0080.bin";
        quint32 h = 5381;
        for (char c : path.toLatin1())
            h = h * 33 + quint32(int(static_cast<signed char>(c)));
        QCOMPARE(MainWindow::link_key(path), "Link/" + QString::number(h & 0x7fffffff));
        QVERIFY(MainWindow::link_key(path).mid(5).toLongLong() <= 0x7fffffff);
    }

    void link_stored_and_reloaded_on_open()
    {
        Config::instance()->setValue("Link Markup", "yes");
        mark(10, 20);
        mark(12, 14);
        const QString markup = dir.path() + "/linked.xml";
        script.file_names = {markup};
        window->save_markup_as_action();
        QCOMPARE(Config::instance()->value(MainWindow::link_key(data)).toString(),
                 data + "|" + markup);

        // Another file first, then the data file again: its markup comes back.
        script.file_names = {pq_test::make_temp_file(64)};
        window->open_action();
        QCOMPARE(model()->rowCount(), 0);
        script.file_names = {data};
        window->open_action();
        QCOMPARE(tree_shape(), QString("10..20[12..14]"));
        QCOMPARE(window->current_markup_file(), markup);
        QCOMPARE(window->statusBar()->currentMessage(), QString("Markup loaded successfully"));
        QVERIFY(!window->markup_modified());
        Config::instance()->setValue("Link Markup", "no");
    }

    void link_with_bar_in_paths()
    {
        Config::instance()->setValue("Link Markup", "yes");
        QVERIFY(QDir(dir.path()).mkpath("a|b"));
        const QString bar_data = dir.path() + "/a|b/data.bin";
        QVERIFY(QFile::copy(data, bar_data));
        script.file_names = {bar_data};
        window->open_action();
        mark(10, 20);
        const QString markup = dir.path() + "/a|b/markup.xml";
        script.file_names = {markup};
        window->save_markup_as_action();
        script.file_names = {data};
        window->open_action();
        script.file_names = {bar_data};
        window->open_action();
        QCOMPARE(window->current_markup_file(), markup);
        QCOMPARE(tree_shape(), QString("10..20"));
        Config::instance()->setValue("Link Markup", "no");
    }

    void link_off_stores_and_loads_nothing()
    {
        Config::instance()->setValue("Link Markup", "no");
        mark(10, 20);
        const QString markup = dir.path() + "/unlinked.xml";
        script.file_names = {markup};
        window->save_markup_as_action();
        QVERIFY(!Config::instance()->contains(MainWindow::link_key(data)));
        QVERIFY(QFile::exists(markup));

        // Even an entry stored earlier is ignored while linking is off.
        Config::instance()->setValue(MainWindow::link_key(data), data + "|" + markup);
        script.file_names = {data};
        window->open_action();
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(window->statusBar()->currentMessage(), QString("File Loaded"));
        Config::instance()->remove(MainWindow::link_key(data));
    }

    void linked_markup_missing_warns_and_keeps_file_open_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("missing") << false;
        QTest::newRow("fifo") << true;
    }

    void linked_markup_missing_warns_and_keeps_file_open()
    {
        QFETCH(bool, fifo);
        const QString markup = dir.path() + (fifo ? "/linked-fifo.xml" : "/gone.xml");
        std::unique_ptr<pq_hostile::FifoGuard> guard;
        if (fifo)
            guard = std::make_unique<pq_hostile::FifoGuard>(markup);
        Config::instance()->setValue("Link Markup", "yes");
        Config::instance()->setValue(MainWindow::link_key(data), data + "|" + markup);
        script.file_names = {data};
        window->open_action();
        if (guard)
            QVERIFY2(!guard->fired(), "opening the data file waited on its linked FIFO");
        QVERIFY(script.events.contains("warning:File Error"));
        QCOMPARE(window->windowTitle(), data);
        QCOMPARE(model()->rowCount(), 0);
        Config::instance()->setValue("Link Markup", "no");
        Config::instance()->remove(MainWindow::link_key(data));
    }

    // A command run from a menu, the toolbar or a context menu leaves its own
    // outcome, never the complaint of the command before it.
    void command_replaces_earlier_message_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("entry");
        QTest::newRow("copy") << "Edit" << "Copy to Clipboard";
        QTest::newRow("clear-marks") << "Markup" << "Clear Marks";
        QTest::newRow("manual-selection-cancelled") << "Markup" << "Manual Selection";
    }

    void command_replaces_earlier_message()
    {
        QFETCH(QString, menu);
        QFETCH(QString, entry);
        window->hex_widget()->set_selection(4, 9);
        QScopedPointer<QMenu> context(window->hex_widget()->create_context_menu());
        for (QAction *action : context->actions()) {
            if (action->text() == "Pick Random Colors")
                action->trigger();
        }
        QCOMPARE(window->statusBar()->currentMessage(), QString("No markup under the selection"));

        script.answers["Clear All markup"] = QMessageBox::Yes;
        QAction *command = nullptr;
        for (QAction *top_entry : window->menuBar()->actions()) {
            if (top_entry->text() == menu) {
                for (QAction *action : top_entry->menu()->actions())
                    command = action->text() == entry ? action : command;
            }
        }
        QVERIFY(command);
        command->trigger();
        QCOMPARE(window->statusBar()->currentMessage(), QString());
    }

    // Turning hexadecimal display off or on shows at once, in columns wide
    // enough for the largest offset of the file.
    void hex_display_choice_repaints_tree_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("hex-to-decimal") << "yes";
        QTest::newRow("decimal-to-hex") << "no";
    }

    void hex_display_choice_repaints_tree()
    {
        QFETCH(QString, before);
        Config::instance()->setValue("Hex Markup Display", before);
        const QString huge = dir.path() + "/huge.bin";
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(Q_INT64_C(1) << 40))
            QSKIP("this file system cannot hold a sparse 1 TiB file");
        file.close();
        window->load_file(huge);
        mark(Q_INT64_C(0x3FFFFFFC0), Q_INT64_C(0x3FFFFFFFF));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        HexTreeView *view = window->markup_tree_view();
        // Whatever marking and showing left to paint is painted first.
        QTest::qWait(200);

        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        view->viewport()->installEventFilter(&counter);
        window->exec_preferences_dialog = [](QDialog *dialog) {
            auto *check = dialog->findChild<QCheckBox *>("hex_display_check");
            check->setChecked(!check->isChecked());
            dialog->findChild<QPushButton *>("save_button")->click();
            return dialog->result();
        };
        window->prefs_action();
        QTest::qWait(200);
        QVERIFY(counter.paints > 0);
        QVERIFY(Config::instance()->value("Hex Markup Display").toString() != before);

        const QString last = TreeViewDelegate::position_text(QVariant((Q_INT64_C(1) << 40) - 1));
        for (const int column : {MarkupColumn::Start, MarkupColumn::End, MarkupColumn::Length})
            QVERIFY(view->columnWidth(column) > view->fontMetrics().horizontalAdvance(last));
        window->load_file(data);
        QFile::remove(huge);
        Config::instance()->remove("Hex Markup Display");
        script.install(window);
    }

    void name_for_filter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("expected");
        QTest::newRow("typed-suffix-wins") << "/x/a.csv" << "JSON (*.json)" << "/x/a.csv";
        QTest::newRow("suffix-case-ignored") << "/x/A.KSY" << "JSON (*.json)" << "/x/A.KSY";
        QTest::newRow("bare-name-gets-selected") << "/x/a" << "CSV (*.csv)" << "/x/a.csv";
        QTest::newRow("other-suffix-gets-selected") << "/x/a.txt" << "JSON (*.json)" << "/x/a.txt.json";
        QTest::newRow("no-selection") << "/x/a" << "" << "/x/a";
    }

    void name_for_filter()
    {
        QFETCH(QString, name);
        QFETCH(QString, selected);
        QFETCH(QString, expected);
        QCOMPARE(MainWindow::name_for_filter(name, MarkupExporter::file_filter(), selected), expected);
    }

    void export_markup_data()
    {
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QString>("name"); // answered by the file dialog, in the scratch folder
        QTest::addColumn<bool>("exists");  // already there; the question is answered No
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("events");
        const QStringList dialog { "save:Export Markup" };
        QTest::newRow("no-markup") << false << "a.json" << false << "No markup to export" << QStringList();
        QTest::newRow("json") << true << "b.json" << false << "Markup Exported" << dialog;
        QTest::newRow("csv-upper-case") << true << "c.CSV" << false << "Markup Exported" << dialog;
        QTest::newRow("ksy") << true << "d.ksy" << false << "Markup Exported" << dialog;
        QTest::newRow("unknown-suffix") << true << "e.txt" << false
                                        << "Export needs a file name ending in .json, .csv or .ksy" << dialog;
        QTest::newRow("existing-kept") << true << "f.json" << true << "before"
                                       << (dialog + QStringList("question:File Exists"));
        QTest::newRow("unwritable") << true << "no/dir/g.json" << false << "before"
                                    << (dialog + QStringList("warning:File Error"));
    }

    // Export writes the format its suffix names, for the open data file, and
    // leaves the markups, their file and their modified flag alone.
    void export_markup()
    {
        QFETCH(bool, marked);
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QFETCH(QString, status);
        QFETCH(QStringList, events);
        if (marked) {
            mark(0, 99);
            mark(10, 19);
            mark(200, 203);
            top(1)->set_data(MarkupColumn::Repeat, true);
            window->load_file(data); // clears the modified flag, keeps the markups
        }
        const QString xml = window->markup_tree()->to_xml();
        const QString path = dir.path() + "/" + name;
        if (exists)
            QVERIFY(!write_file(name, "old").isEmpty());
        script.file_names = { path };
        window->statusBar()->showMessage("before");

        window->export_markup_action();
        QCOMPARE(script.events, events);
        // Only the command asks about replacing a file, never the dialog too.
        QVERIFY(!script.save_dialog_asks.contains(true));
        QCOMPARE(window->statusBar()->currentMessage(), status);
        QCOMPARE(window->markup_tree()->to_xml(), xml);
        QVERIFY(!window->markup_modified());
        QCOMPARE(window->current_markup_file(), QString());

        QFile file(path);
        if (status == "Markup Exported") {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), MarkupExporter::write(MarkupExporter::format_of(name),
                                                           model()->root(), data, 4096));
        } else if (exists) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("old"));
        } else {
            QVERIFY(!file.exists());
        }
        if (events.contains("warning:File Error"))
            QCOMPARE(script.warning_texts,
                     QStringList("<font size =4>Could not open export file for output.</font>"));
    }

    // A file whose first bytes match a gallery description is offered that
    // template above the hex view; Apply applies it, as the menu would.
    void offers_template_on_open_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("offer");
        const QByteArray gif("GIF89a\x01\x00\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x00;", 27);
        QTest::newRow("gif") << gif << "" << "This looks like: GIF (Graphics Interchange Format) image file Apply gif.ksy";
        QTest::newRow("switched-off") << gif << "no" << "";
    }

    void offers_template_on_open()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, setting);
        QFETCH(QString, offer);
        // Read now, so that the offer follows the open at once.
        QVERIFY(KsyGallery::installed().entries().size() >= 150);
        Config::instance()->setValue("Recognise Formats", setting);
        const QString path = dir.filePath("offered.bin");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        auto *bar = window->findChild<FormatBar *>();
        QVERIFY(bar);
        window->open_named_file(path);
        Config::instance()->remove("Recognise Formats");
        QCOMPARE(bar->isHidden(), offer.isEmpty());
        if (offer.isEmpty())
            return;
        QCOMPARE(bar->text(), offer);
        bar->findChild<QPushButton *>("apply_format_button")->click();
        QVERIFY(bar->isHidden());
        QVERIFY2(window->statusBar()->currentMessage().contains("markups added from gif.ksy"),
                 qPrintable(window->statusBar()->currentMessage()));
        window->undo_action();
        window->open_named_file(data);
        QVERIFY(bar->isHidden());
    }

    // Markup > Apply Template: a description becomes nested markups in one
    // undo step; a template that cannot be read or that stops says where.
    void apply_template_data()
    {
        QTest::addColumn<QByteArray>("ksy");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("shape");
        QTest::newRow("gallery-png") << QByteArray() << "markups added from png.ksy"
                                     << "0..%1[0..7 8..11 12..15 16..28[";
        QTest::newRow("other-file-png") << QByteArray("other") << "markups added from png.ksy"
                                        << "0..%1[0..7 8..11 12..15 16..28[";
        QTest::newRow("unreadable-yaml") << QByteArray("meta:\n  id: x\nseq: [\n")
                                         << "bad.ksy:4:1:" << "";
        // The file's first check fails: nothing is applied.
        QTest::newRow("does-not-match")
            << QByteArray("meta:\n  id: x\nseq:\n  - id: head\n    type: u1\n"
                          "  - id: zip\n    contents: [0x50, 0x4b]\n")
            << "bad.ksy does not match this file: contents [50 4B] expected, [50 4E] found at 0x1 in zip "
               "(bad.ksy:6:5)" << "";
        QTest::newRow("stops-partway")
            << QByteArray("meta:\n  id: x\nseq:\n  - id: head\n    contents: [0x89]\n"
                          "  - id: zip\n    contents: [0x50, 0x4b]\n")
            << "3 markups added from bad.ksy; Template stopped at 0x1 in zip (bad.ksy:6:5):" << "0..2[0..0 1..2]";
    }

    void apply_template()
    {
        QFETCH(QByteArray, ksy);
        QFETCH(QString, status);
        QFETCH(QString, shape);
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString png = dir.filePath("t.png");
        QVERIFY(image.save(png));
        window->open_named_file(png);
        QString path = QStringLiteral(PQ_SOURCE_DIR "/ksy/image/png.ksy");
        // The gallery beside the program lists the shipped descriptions by
        // folder and title; one is applied from there, others through Other File.
        const QString installed = QCoreApplication::applicationDirPath() + "/../ksy/image/png.ksy";
        if (ksy.isEmpty())
            script.template_choice = QFileInfo(installed).absoluteFilePath();
        if (!ksy.isEmpty() && ksy != "other") {
            path = dir.filePath("bad.ksy");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ksy);
        }
        script.file_names << path;
        for (QAction *top_entry : window->menuBar()->actions())
            for (QAction *action : top_entry->menu()->actions())
                if (action->text() == QString::fromUtf8("Apply Template\u2026"))
                    action->trigger();
        QVERIFY2(window->statusBar()->currentMessage().contains(status),
                 qPrintable(window->statusBar()->currentMessage()));
        QVERIFY2(script.template_rows.contains("image/PNG (Portable Network Graphics) file"),
                 qPrintable(script.template_rows.mid(0, 5).join(", ")));
        QVERIFY(script.template_rows.size() >= 150);
        if (shape.isEmpty()) {
            QCOMPARE(model()->rowCount(), 0);
            return;
        }
        // Shapes over the whole PNG name its last offset as %1.
        const QString expected = shape.contains("%1") ? shape.arg(QFileInfo(png).size() - 1) : shape;
        QVERIFY2(tree_shape().startsWith(expected), qPrintable(tree_shape()));
        if (!ksy.isEmpty())
            QCOMPARE(Config::instance()->value("Template Dir").toString(), QFileInfo(path).absolutePath());
        window->undo_action();
        QCOMPARE(model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestMainWindowMarkup)
#include "tst_mainwindow_markup.moc"
