#include "treeview/hextreeview.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "testsettings.h"

#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

class TestHexTreeView : public QObject
{
    Q_OBJECT

private:
    static QAction *action_named(QMenu *menu, const QString &text)
    {
        const auto actions = menu->actions();
        for (QAction *action : actions) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
    }

    void menu_entries_in_order()
    {
        HexTreeView view;
        QStandardItemModel model(3, 5);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QStringList texts;
        view.exec_menu = [&texts](QMenu *menu, const QPoint &) -> QAction * {
            for (QAction *action : menu->actions())
                texts << action->text();
            return nullptr;
        };
        QTest::mousePress(view.viewport(), Qt::RightButton, {}, view.visualRect(model.index(0, 0)).center());
        QCOMPARE(texts, QStringList({"Foreground Color", "Background Color", "Pick Random Colors", "Delete", "Prune"}));
    }

    void entry_emits_its_signal_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("signal");
        // Whether the press then selects the right-clicked row: not after
        // Delete or Prune, which move the rows under the cursor.
        QTest::addColumn<bool>("selects");
        QTest::newRow("foreground") << "Foreground Color" << 0 << true;
        QTest::newRow("background") << "Background Color" << 1 << true;
        QTest::newRow("random") << "Pick Random Colors" << 2 << true;
        QTest::newRow("delete") << "Delete" << 3 << false;
        QTest::newRow("prune") << "Prune" << 4 << false;
        QTest::newRow("dismissed") << QString() << -1 << true;
    }

    void entry_emits_its_signal()
    {
        QFETCH(QString, entry);
        QFETCH(int, signal);
        HexTreeView view;
        QStandardItemModel model(3, 5);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.exec_menu = [&entry](QMenu *menu, const QPoint &) { return action_named(menu, entry); };
        QSignalSpy foreground(&view, &HexTreeView::foreground_color_requested);
        QSignalSpy background(&view, &HexTreeView::background_color_requested);
        QSignalSpy random(&view, &HexTreeView::pick_random_colors_requested);
        QSignalSpy remove(&view, &HexTreeView::delete_requested);
        QSignalSpy prune(&view, &HexTreeView::prune_requested);
        QTest::mousePress(view.viewport(), Qt::RightButton, {}, view.visualRect(model.index(1, 0)).center());
        const QList<int> counts = {int(foreground.count()), int(background.count()), int(random.count()),
                                   int(remove.count()), int(prune.count())};
        for (int i = 0; i < counts.size(); ++i)
            QCOMPARE(counts.at(i), i == signal ? 1 : 0);
        QFETCH(bool, selects);
        QCOMPARE(view.selectionModel()->isRowSelected(1, QModelIndex()), selects);
    }

    // The command runs on the markup selected before the right click.
    void command_sees_previous_selection()
    {
        HexTreeView view;
        QStandardItemModel model(3, 5);
        view.setModel(&model);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setCurrentIndex(model.index(0, 0));
        int selected_row_at_command = -1;
        connect(&view, &HexTreeView::delete_requested, &view, [&] {
            selected_row_at_command = view.selectionModel()->selectedIndexes().value(0).row();
        });
        view.exec_menu = [](QMenu *menu, const QPoint &) { return action_named(menu, "Delete"); };
        QTest::mousePress(view.viewport(), Qt::RightButton, {}, view.visualRect(model.index(2, 0)).center());
        QCOMPARE(selected_row_at_command, 0);
    }

    void press_takes_focus_and_left_button_opens_no_menu()
    {
        QWidget window;
        auto *view = new HexTreeView(&window);
        QStandardItemModel model(3, 5);
        view->setModel(&model);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool menu_opened = false;
        view->exec_menu = [&menu_opened](QMenu *, const QPoint &) -> QAction * {
            menu_opened = true;
            return nullptr;
        };
        view->clearFocus();
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->visualRect(model.index(1, 0)).center());
        QVERIFY(!menu_opened);
        QVERIFY(view->hasFocus());
        QCOMPARE(view->currentIndex().row(), 1);
    }

    void mirrors_the_models_expanded_flags()
    {
        MarkupModel model;
        MarkupTree tree(&model);
        HexTreeView view;
        view.setModel(&model);
        QSignalSpy shown(&view, &QTreeView::expanded);
        QVERIFY(tree.insert_range(0, 100) && tree.insert_range(10, 50));
        QVERIFY(tree.insert_range(20, 30) && tree.insert_range(200, 300));
        // Marking and loading expand everything, and the view shows it
        // without a signal per markup.
        QVERIFY(view.isExpanded(model.index(0, 0)));
        QVERIFY(tree.load_xml(tree.to_xml()));
        const QModelIndex outer = model.index(0, 0);
        const QModelIndex middle = model.index(0, 0, outer);
        QVERIFY(view.isExpanded(outer) && view.isExpanded(middle));
        QCOMPARE(shown.count(), 0);
        // The user's collapsing and expanding is stored in the model.
        view.collapse(outer);
        QVERIFY(!model.is_expanded(outer) && model.is_expanded(middle));
        view.expand(outer);
        QVERIFY(model.is_expanded(outer));
        // A flag changed in the model is shown.
        model.set_expanded(middle, false);
        QVERIFY(!view.isExpanded(middle));
        model.set_expanded(middle, true);
        QVERIFY(view.isExpanded(middle));
        // A reset view (the flags untouched) shows everything again when the
        // model asks, quietly again.
        view.reset();
        QVERIFY(!view.isExpanded(outer) && model.is_expanded(outer));
        const int signals_before = shown.count();
        model.expand_all();
        QVERIFY(view.isExpanded(outer) && view.isExpanded(middle));
        QCOMPARE(shown.count(), signals_before);
    }

    // What a markup documents is the tool tip of every cell of its row,
    // after the description when that is cut short; copies keep it.
    void documented_markup_tip()
    {
        MarkupModel model;
        MarkupTree tree(&model);
        HexTreeView view;
        view.setModel(&model);
        view.resize(400, 200);
        QVERIFY(tree.insert_range(0, 9) && tree.insert_range(10, 19));
        MarkupNode *documented = model.root()->child(0);
        documented->set_doc(QStringLiteral("The magic number."));
        for (int column = 0; column < MarkupColumn::count; ++column) {
            QCOMPARE(view.row_tip(model.index(0, column)), QStringLiteral("The magic number."));
            QCOMPARE(view.row_tip(model.index(1, column)), QString());
        }
        QCOMPARE(MarkupNode(*documented).doc(), QStringLiteral("The magic number."));
        view.setColumnWidth(MarkupColumn::Description, 20);
        const QString tip = view.row_tip(model.index(0, MarkupColumn::Description));
        QVERIFY2(tip.endsWith(QStringLiteral("\n\nThe magic number.")) && tip.size() > 20, qPrintable(tip));
        documented->set_doc(QString());
        QCOMPARE(view.row_tip(model.index(0, MarkupColumn::Start)), QString());
    }
};

QTEST_MAIN(TestHexTreeView)
#include "tst_hextreeview.moc"
