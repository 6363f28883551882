#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestMarkupModel : public QObject
{
    Q_OBJECT

private slots:
    void empty_model();
    void data_roles();
    void set_data_edit_role_only();
    void parent_of_nested_index_has_column_zero();
    void flags_all_columns_editable();
    void insert_row_appends_to_childless_parent_data();
    void insert_row_appends_to_childless_parent();
    void insert_row_places_among_siblings();
    void row_removal_refused();
    void change_bracket_signals();
    void expanded_flag_per_markup();
    void tester_through_tree_operations();
};

void TestMarkupModel::empty_model()
{
    MarkupModel model;
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 5);
    const char *titles[] = { "Description", "Start", "End", "Length", "Repeat" };
    for (int s = 0; s < 5; ++s) {
        QCOMPARE(model.headerData(s, Qt::Horizontal).toString(), QString::fromLatin1(titles[s]));
        QVERIFY(!model.headerData(s, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(s, Qt::Horizontal, Qt::EditRole).isValid());
    }
    QVERIFY(!model.index(0, 0).isValid());
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(!model.data(QModelIndex()).isValid());
}

void TestMarkupModel::data_roles()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(16, 31));
    MarkupNode *n = model.root()->child(0);
    n->set_foreground(QColor(1, 2, 3));
    n->set_background(QColor(200, 100, 50));
    for (int c = 0; c < 5; ++c) {
        const QModelIndex i = model.index(0, c);
        QCOMPARE(model.data(i, Qt::ForegroundRole).value<QColor>(), QColor(1, 2, 3));
        QCOMPARE(model.data(i, Qt::BackgroundRole).value<QColor>(), QColor(200, 100, 50));
        QVERIFY(!model.data(i, Qt::EditRole).isValid());
        QVERIFY(!model.data(i, Qt::ToolTipRole).isValid());
    }
    // The display role gives the stored value unchanged: an integer after marking.
    const QVariant start = model.data(model.index(0, MarkupColumn::Start));
    QCOMPARE(start.typeId(), int(QMetaType::LongLong));
    QCOMPARE(start.toLongLong(), 16);
    QVERIFY(tree.load_xml(QStringLiteral(
        "<pellowquarnbybook><node start=\"16\" end=\"31\"/></pellowquarnbybook>")));
    // ... and a text after loading.
    QCOMPARE(model.data(model.index(0, MarkupColumn::Start)), QVariant(QStringLiteral("16")));
    QCOMPARE(model.data(model.index(0, MarkupColumn::Length)).toLongLong(), 16);
}

void TestMarkupModel::set_data_edit_role_only()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(0, 9));
    const QModelIndex desc = model.index(0, MarkupColumn::Description);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.setData(desc, QStringLiteral("x"), Qt::DisplayRole));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(model.data(desc).toString(), QStringLiteral("Description"));
    QVERIFY(!model.setData(QModelIndex(), QStringLiteral("x")));
    // The editor stores 32-bit integers; kept as they are, read as offsets.
    QVERIFY(model.setData(model.index(0, MarkupColumn::End), int(20)));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(0, MarkupColumn::End));
    QCOMPARE(model.data(model.index(0, MarkupColumn::End)).typeId(), int(QMetaType::Int));
    QCOMPARE(model.root()->child(0)->end(), 20);
    QVERIFY(model.setData(model.index(0, MarkupColumn::Repeat), QStringLiteral("true")));
    QVERIFY(model.root()->child(0)->is_repeat());
}

void TestMarkupModel::parent_of_nested_index_has_column_zero()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(0, 100));
    QVERIFY(tree.insert_range(200, 300));
    QVERIFY(tree.insert_range(210, 220));
    QVERIFY(!model.parent(model.index(1, 3)).isValid());
    const QModelIndex child = model.index(0, 3, model.index(1, 0));
    QVERIFY(child.isValid());
    const QModelIndex p = model.parent(child);
    QCOMPARE(p.row(), 1);
    QCOMPARE(p.column(), 0);
    QCOMPARE(model.node_from_index(p), model.root()->child(1));
    QCOMPARE(model.rowCount(model.index(1, 0)), 1);
    // Children hang off column 0 only, so a view never sees them twice.
    QCOMPARE(model.rowCount(model.index(1, 4)), 0);
    QVERIFY(!model.index(0, 0, model.index(1, 4)).isValid());
    QVERIFY(!model.index(1, 0, model.index(1, 0)).isValid());
}

void TestMarkupModel::flags_all_columns_editable()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(0, 1));
    for (int c = 0; c < 5; ++c)
        QCOMPARE(model.flags(model.index(0, c)),
                 Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
}

void TestMarkupModel::insert_row_appends_to_childless_parent_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("row-zero") << 0;
    QTest::newRow("row-far-beyond") << 57;
    QTest::newRow("row-negative") << -3;
}

void TestMarkupModel::insert_row_appends_to_childless_parent()
{
    QFETCH(int, row);
    MarkupModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(model.insertRow(row));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    MarkupNode *n = model.root()->child(0);
    QCOMPARE(n->data(MarkupColumn::Description), QVariant(QStringLiteral("newnode")));
    QCOMPARE(n->start(), -1);
    QCOMPARE(n->end(), -2);
    QCOMPARE(n->length(), 0);
    QCOMPARE(n->data(MarkupColumn::Repeat), QVariant(false));
    QCOMPARE(n->parent_node(), model.root());
}

void TestMarkupModel::insert_row_places_among_siblings()
{
    MarkupModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.insertRow(0));
    QVERIFY(model.insertRow(1));
    MarkupNode *first = model.root()->child(0);
    QVERIFY(model.insertRow(1));
    QCOMPARE(model.root()->child(0), first);
    QCOMPARE(model.rowCount(), 3);
    // A row past the end is announced where the node really lands.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(model.insertRow(99));
    QCOMPARE(inserted.at(0).at(1).toInt(), 3);
    QVERIFY(model.insertRow(0, model.index(2, 0)));
    QCOMPARE(model.rowCount(model.index(2, 0)), 1);
}

void TestMarkupModel::row_removal_refused()
{
    MarkupModel model;
    QVERIFY(model.insertRow(0));
    QVERIFY(!model.removeRows(0, 1, QModelIndex()));
    QVERIFY(!model.removeRow(0));
    QCOMPARE(model.rowCount(), 1);
}

void TestMarkupModel::change_bracket_signals()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QSignalSpy about(&model, &MarkupModel::about_to_change);
    QSignalSpy finished(&model, &MarkupModel::change_finished);
    // One bracket per operation however many rows and cells it touches.
    QVERIFY(tree.insert_range(0, 10));
    QCOMPARE(about.count(), 1);
    QCOMPARE(finished.count(), 1);
    QVERIFY(model.setData(model.index(0, 0), QStringLiteral("x")));
    QCOMPARE(about.count(), 2);
    tree.load_xml(QStringLiteral("<pellowquarnbybook><node/><node/></pellowquarnbybook>"));
    QCOMPARE(about.count(), 3);
    QCOMPARE(finished.count(), 3);
    QVERIFY(!model.is_changing());
}

void TestMarkupModel::expanded_flag_per_markup()
{
    MarkupModel model;
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(0, 100) && tree.insert_range(10, 20));
    const QModelIndex outer = model.index(0, 0);
    QVERIFY(model.is_expanded(outer)); // marking expanded it
    QSignalSpy changed(&model, &MarkupModel::expanded_changed);
    // Any column names the markup; only a change is announced, for column 0;
    // the root stays expanded.
    model.set_expanded(outer.siblingAtColumn(MarkupColumn::End), false);
    model.set_expanded(outer, false);
    model.set_expanded(QModelIndex(), false);
    QVERIFY(!model.is_expanded(outer) && model.is_expanded(model.index(0, 0, outer)));
    QVERIFY(model.is_expanded(QModelIndex()));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), outer);
    QCOMPARE(changed.at(0).at(1).toBool(), false);
}

void TestMarkupModel::tester_through_tree_operations()
{
    MarkupModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    MarkupTree tree(&model);
    QVERIFY(tree.insert_range(100, 200));
    QVERIFY(tree.insert_range(120, 130));
    QVERIFY(tree.insert_range(5, 9));
    QVERIFY(tree.insert_range(30, 40));
    QVERIFY(tree.insert_range(0, 50));
    QVERIFY(tree.insert_range(0, 300));
    QCOMPARE(model.rowCount(), 1);
    const QModelIndex outer = model.index(0, 0);
    QCOMPARE(model.rowCount(outer), 2);
    QCOMPARE(model.data(model.index(1, MarkupColumn::Start, outer)).toLongLong(), 100);
    QVERIFY(tree.delete_markup(model.index(0, 0, outer)));
    QCOMPARE(model.rowCount(outer), 3);
    QCOMPARE(model.data(model.index(1, MarkupColumn::End, outer)).toLongLong(), 40);
    QVERIFY(tree.prune(model.index(2, 0, outer)));
    QCOMPARE(model.rowCount(outer), 2);
    // Indexes a view keeps follow their markups as rows move around them.
    QVERIFY(tree.insert_range(400, 500) && tree.insert_range(410, 420));
    QVERIFY(tree.insert_range(412, 413));
    MarkupNode *top_node = model.root()->child(1);
    const QPersistentModelIndex top(model.index(1, 0));
    const QPersistentModelIndex nested(model.index(0, MarkupColumn::End, top));
    const QPersistentModelIndex deepest(model.index(0, 0, nested.sibling(0, 0)));
    auto still_resolve = [&](int top_row) {
        return top.row() == top_row && !top.parent().isValid() && nested.parent() == top
               && deepest.parent() == nested.sibling(0, 0)
               && model.node_from_index(top) == top_node
               && model.node_from_index(nested) == top_node->child(0)
               && model.node_from_index(deepest) == top_node->child(0)->child(0)
               && model.index_of(top_node) == top;
    };
    MarkupNode *taken = tree.take_subtree(model.node_from_index(model.index(0, 0)));
    QVERIFY(still_resolve(0));
    tree.put_subtree(model.root(), 0, taken);
    QVERIFY(still_resolve(1));
    // A markup inserted before it, and one removed from beside its child.
    QVERIFY(tree.prune(model.index(0, 0)) && model.insertRow(0));
    QVERIFY(still_resolve(1));
    QVERIFY(model.insertRow(0, top) && tree.prune(model.index(0, 0, top)));
    QVERIFY(still_resolve(1));
    QCOMPARE(top_node->child(0)->start(), 410);
    // Marking around a markup and taking the mark back move it as a row,
    // without a reset: views keep their indexes and what they show.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    for (const qint64 last : {430, 405}) {
        QList<int> adopted;
        MarkupNode *mark = tree.mark_range(405, last, &adopted);
        QVERIFY(mark);
        QCOMPARE(adopted, last == 430 ? QList<int>{0} : QList<int>{});
        QCOMPARE(nested.parent().isValid() && model.node_from_index(nested.parent()) == mark, last == 430);
        QCOMPARE(model.hasChildren(model.index_of(mark)), last == 430);
        tree.unmark(mark, adopted);
        QVERIFY(still_resolve(1));
    }
    QCOMPARE(resets.count(), 0);
    tree.load_xml(tree.to_xml());
    QCOMPARE(model.rowCount(model.index(1, 0)), 1);
    QCOMPARE(model.rowCount(), 2);
    tree.clear();
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestMarkupModel)
#include "tst_markupmodel.moc"
