#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace pq_markup_test;

Q_DECLARE_METATYPE(QList<qint64>)

class TestMarkupTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void insert_rules_data();
    void insert_rules();
    void refusal_changes_nothing();
    void new_markup_values();
    void adoption_keeps_order_and_subtrees();
    void delete_moves_children_up();
    void prune_removes_subtree();
    void clear_keeps_titles();
    void reshaping_expands_everything_data();
    void reshaping_expands_everything();

    void node_at_collapsed_and_expanded();
    void node_at_repeat_data();
    void node_at_repeat();
    void node_at_repeat_bounded_by_parent();
    void node_at_repeat_after_repeat_sibling();
    void node_at_matches_reference_on_random_trees();
    void node_at_matches_reference_on_unordered_trees();
    void unsorted_disjoint_file_order_data();
    void unsorted_disjoint_file_order();
    void fill_matches_node_at_on_random_trees();
    void edits_that_reorder_siblings();
    void fill_stops_when_asked();
    void lookup_survives_extreme_offsets();

private:
    std::unique_ptr<MarkupModel> m_model;
    std::unique_ptr<MarkupTree> m_tree;
    QSet<const MarkupNode *> m_expanded;
    void expand_everything();
};

void TestMarkupTree::init()
{
    m_model = std::make_unique<MarkupModel>();
    m_tree = std::make_unique<MarkupTree>(m_model.get());
    m_expanded.clear();
}

void TestMarkupTree::cleanup()
{
    m_tree.reset();
    m_model.reset();
}

void TestMarkupTree::expand_everything()
{
    for (MarkupNode *n : all_nodes(m_model->root()))
        m_expanded.insert(n);
    expand_only(*m_model, m_expanded);
}

void TestMarkupTree::insert_rules_data()
{
    // Pairs of (a, b) marked in order; the expected acceptance of the last
    // one, and the resulting shape.
    QTest::addColumn<QList<qint64>>("marks");
    QTest::addColumn<bool>("last_accepted");
    QTest::addColumn<QString>("expected");

    using L = QList<qint64>;
    QTest::newRow("reversed-ends-equal-range") << L { 10, 20, 20, 10 } << false << "10..20";
    QTest::newRow("backward-selection") << L { 20, 10 } << true << "10..20";
    QTest::newRow("child-inside") << L { 0, 100, 10, 20 } << true << "0..100(10..20)";
    QTest::newRow("partial-overlap-at-depth-1") << L { 0, 100, 10, 20, 15, 30 } << false
                                                 << "0..100(10..20)";
    QTest::newRow("partial-overlap-at-depth-3") << L { 0, 100, 10, 50, 20, 30, 25, 35 } << false
                                                 << "0..100(10..50(20..30))";
    QTest::newRow("adopt-two") << L { 5, 9, 30, 40, 0, 50 } << true << "0..50(5..9,30..40)";
    QTest::newRow("overlap-right") << L { 10, 20, 15, 25 } << false << "10..20";
    QTest::newRow("overlap-left") << L { 10, 20, 5, 15 } << false << "10..20";
    QTest::newRow("same-start-longer-adopts") << L { 10, 20, 10, 25 } << true << "10..25(10..20)";
    QTest::newRow("same-start-shorter-nests") << L { 10, 20, 10, 15 } << true << "10..20(10..15)";
    QTest::newRow("same-end-shorter-nests") << L { 10, 20, 15, 20 } << true << "10..20(15..20)";
    QTest::newRow("exact-duplicate-nested") << L { 0, 100, 10, 20, 10, 20 } << false
                                             << "0..100(10..20)";
    QTest::newRow("exact-duplicate-deep") << L { 0, 100, 10, 50, 20, 30, 20, 30 } << false
                                           << "0..100(10..50(20..30))";
    QTest::newRow("touching-siblings") << L { 10, 20, 21, 30 } << true << "10..20,21..30";
    QTest::newRow("overlap-by-one-byte") << L { 10, 20, 20, 30 } << false << "10..20";
    QTest::newRow("gap-of-one") << L { 10, 20, 22, 30 } << true << "10..20,22..30";
    QTest::newRow("insert-before-sibling") << L { 30, 40, 10, 20 } << true << "10..20,30..40";
    QTest::newRow("insert-between") << L { 0, 5, 30, 40, 10, 20 } << true << "0..5,10..20,30..40";
    QTest::newRow("one-byte") << L { 7, 7 } << true << "7..7";
    QTest::newRow("one-byte-in-one-byte-refused") << L { 7, 7, 7, 7 } << false << "7..7";
    QTest::newRow("adopt-only-contained") << L { 0, 9, 10, 19, 25, 30, 10, 40 } << true
                                           << "0..9,10..40(10..19,25..30)";
    QTest::newRow("adopt-partly-overlapping-refused") << L { 0, 9, 10, 19, 5, 40 } << false
                                                       << "0..9,10..19";
    QTest::newRow("wide-64-bit") << L { 3000000000LL, 5000000000LL, 4000000000LL, 4000000001LL }
                                 << true << "3000000000..5000000000(4000000000..4000000001)";
    QTest::newRow("adopt-with-subtree") << L { 10, 20, 12, 14, 0, 50 } << true
                                         << "0..50(10..20(12..14))";
}

void TestMarkupTree::insert_rules()
{
    QFETCH(QList<qint64>, marks);
    QFETCH(bool, last_accepted);
    QFETCH(QString, expected);
    for (int i = 0; i + 2 < marks.size(); i += 2)
        QVERIFY(m_tree->insert_range(marks.at(i), marks.at(i + 1)));
    QCOMPARE(m_tree->insert_range(marks.at(marks.size() - 2), marks.last()), last_accepted);
    QCOMPARE(shape(m_model->root()), expected);
    // Parent pointers must agree with the lists, or the model's parent() lies.
    for (MarkupNode *n : all_nodes(m_model->root()))
        for (MarkupNode *c : n->children())
            QCOMPARE(c->parent_node(), n);
}

void TestMarkupTree::refusal_changes_nothing()
{
    QVERIFY(m_tree->insert_range(0, 100));
    QVERIFY(m_tree->insert_range(10, 20));
    QSignalSpy about(m_model.get(), &MarkupModel::about_to_change);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QVERIFY(!m_tree->insert_range(15, 30));
    QVERIFY(!m_tree->insert_range(20, 10));
    QCOMPARE(about.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(reset.count(), 0);
}

void TestMarkupTree::new_markup_values()
{
    QVERIFY(m_tree->insert_range(0x30, 0x10));
    MarkupNode *n = m_model->root()->child(0);
    QVERIFY(n);
    QCOMPARE(n->data(MarkupColumn::Description), QVariant(QStringLiteral("Description")));
    // Marking stores 64-bit integers and a boolean false.
    QCOMPARE(n->data(MarkupColumn::Start).typeId(), int(QMetaType::LongLong));
    QCOMPARE(n->data(MarkupColumn::Start).toLongLong(), 0x10);
    QCOMPARE(n->data(MarkupColumn::End).toLongLong(), 0x30);
    QCOMPARE(n->data(MarkupColumn::Length).toLongLong(), 0x21);
    QCOMPARE(n->data(MarkupColumn::Repeat), QVariant(false));
    QCOMPARE(n->foreground(), QColor(Qt::black));
    QCOMPARE(n->background(), QColor(Qt::white));
    QVERIFY(m_tree->insert_range(5, 5));
    QCOMPARE(m_model->root()->child(0)->length(), 1);
}

void TestMarkupTree::adoption_keeps_order_and_subtrees()
{
    QVERIFY(m_tree->insert_range(60, 70));
    QVERIFY(m_tree->insert_range(5, 9));
    QVERIFY(m_tree->insert_range(30, 40));
    QVERIFY(m_tree->insert_range(32, 33));
    QVERIFY(m_tree->insert_range(200, 300));
    QVERIFY(m_tree->insert_range(0, 100));
    QCOMPARE(shape(m_model->root()), QStringLiteral("0..100(5..9,30..40(32..33),60..70),200..300"));
    MarkupNode *outer = m_model->root()->child(0);
    QCOMPARE(outer->child(1)->row(), 1);
    QCOMPARE(outer->child(1)->child(0)->parent_node(), outer->child(1));
}

void TestMarkupTree::delete_moves_children_up()
{
    // Parent P with children 0..1, 2..3, X (4..90 with A, B, C), 95..99.
    QVERIFY(m_tree->insert_range(0, 200));
    QVERIFY(m_tree->insert_range(0, 1));
    QVERIFY(m_tree->insert_range(2, 3));
    QVERIFY(m_tree->insert_range(4, 90));
    QVERIFY(m_tree->insert_range(10, 20));
    QVERIFY(m_tree->insert_range(11, 12));
    QVERIFY(m_tree->insert_range(30, 40));
    QVERIFY(m_tree->insert_range(50, 60));
    QVERIFY(m_tree->insert_range(95, 99));
    MarkupNode *p = m_model->root()->child(0);
    MarkupNode *x = p->child(2);
    QCOMPARE(describe(x), QStringLiteral("4..90"));
    MarkupNode *a = x->child(0);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QVERIFY(m_tree->delete_markup(m_model->index_of(x)));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(shape(m_model->root()),
             QStringLiteral("0..200(0..1,2..3,10..20(11..12),30..40,50..60,95..99)"));
    QCOMPARE(p->child(2), a);
    QCOMPARE(a->parent_node(), p);
    QCOMPARE(a->row(), 2);
    QCOMPARE(p->child(4)->row(), 4);
}

void TestMarkupTree::prune_removes_subtree()
{
    QVERIFY(m_tree->insert_range(0, 200));
    QVERIFY(m_tree->insert_range(0, 1));
    QVERIFY(m_tree->insert_range(4, 90));
    QVERIFY(m_tree->insert_range(10, 20));
    QVERIFY(m_tree->insert_range(30, 40));
    QVERIFY(m_tree->insert_range(95, 99));
    MarkupNode *p = m_model->root()->child(0);
    const QModelIndex pi = m_model->index_of(p);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(m_tree->prune(m_model->index_of(p->child(1))));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).value<QModelIndex>(), pi);
    QCOMPARE(removed.at(0).at(1).toInt(), 1);
    QCOMPARE(removed.at(0).at(2).toInt(), 1);
    QCOMPARE(shape(m_model->root()), QStringLiteral("0..200(0..1,95..99)"));
    // An invalid index names no markup: nothing happens.
    QVERIFY(m_tree->prune(QModelIndex()));
    QVERIFY(m_tree->delete_markup(QModelIndex()));
    QCOMPARE(shape(m_model->root()), QStringLiteral("0..200(0..1,95..99)"));
}

void TestMarkupTree::clear_keeps_titles()
{
    QVERIFY(m_tree->insert_range(0, 10));
    QVERIFY(m_tree->insert_range(2, 3));
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    m_tree->clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Start"));
    QCOMPARE(m_tree->node_at(5), nullptr);
    QVERIFY(m_tree->insert_range(0, 10));
}

void TestMarkupTree::reshaping_expands_everything_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("expands");
    QTest::newRow("mark") << "mark" << true;
    QTest::newRow("refused-mark") << "refused-mark" << false;
    QTest::newRow("delete") << "delete" << true;
    QTest::newRow("prune") << "prune" << false;
    QTest::newRow("load") << "load" << true;
    QTest::newRow("undo-mark") << "unmark" << true;
    QTest::newRow("undo-prune") << "put-subtree" << true;
    QTest::newRow("undo-delete") << "lower-children" << true;
    QTest::newRow("undo-clear") << "restore-all" << true;
}

void TestMarkupTree::reshaping_expands_everything()
{
    // Whatever changes the tree's shape, except taking markups out, shows
    // every markup expanded: the flags are set and views are told once.
    QFETCH(QString, operation);
    QFETCH(bool, expands);
    QVERIFY(m_tree->insert_range(0, 100) && m_tree->insert_range(10, 50));
    QVERIFY(m_tree->insert_range(20, 30) && m_tree->insert_range(200, 300));
    expand_only(*m_model, {});
    MarkupNode *middle = find_range(m_model->root(), 10, 50);
    std::function<void()> run;
    if (operation == QLatin1String("mark")) {
        run = [&] { QVERIFY(m_tree->insert_range(40, 45)); };
    } else if (operation == QLatin1String("refused-mark")) {
        run = [&] { QVERIFY(!m_tree->insert_range(25, 35)); };
    } else if (operation == QLatin1String("delete")) {
        run = [&] { QVERIFY(m_tree->delete_markup(m_model->index_of(middle))); };
    } else if (operation == QLatin1String("prune")) {
        run = [&] { QVERIFY(m_tree->prune(m_model->index_of(middle))); };
    } else if (operation == QLatin1String("load")) {
        const QString xml = m_tree->to_xml();
        run = [this, xml] { QVERIFY(m_tree->load_xml(xml)); };
    } else if (operation == QLatin1String("unmark")) {
        QList<int> rows;
        MarkupNode *node = m_tree->mark_range(40, 45, &rows);
        run = [this, node, rows] { m_tree->unmark(node, rows); };
    } else if (operation == QLatin1String("put-subtree")) {
        MarkupNode *taken = m_tree->take_subtree(middle->child(0));
        run = [this, middle, taken] { m_tree->put_subtree(middle, 0, taken); };
    } else if (operation == QLatin1String("lower-children")) {
        MarkupNode *parent = middle->parent_node();
        const int row = middle->row();
        int moved = 0;
        MarkupNode *lifted = m_tree->lift_children(middle, &moved);
        run = [this, parent, row, lifted, moved] { m_tree->lower_children(parent, row, lifted, moved); };
    } else {
        MarkupNode *old_root = m_tree->take_all();
        run = [this, old_root] { m_tree->restore_all(old_root); };
    }
    // The preparation may have expanded what is in the tree again.
    expand_only(*m_model, {});
    QSignalSpy all(m_model.get(), &MarkupModel::all_expanded);
    QSignalSpy one(m_model.get(), &MarkupModel::expanded_changed);
    QSignalSpy shown(m_model.get(), &MarkupModel::shown_opened);
    run();
    // Marking and its undo announce rows, not a reset: views keep what they
    // show and hear of each markup that now shows children, once.
    const bool row_by_row = operation == QLatin1String("mark") || operation == QLatin1String("unmark");
    QCOMPARE(all.count(), expands && !row_by_row ? 1 : 0);
    QCOMPARE(one.count(), 0);
    QSet<const MarkupNode *> told;
    for (const QList<QVariant> &arguments : std::as_const(shown))
        told.insert(m_model->node_from_index(arguments.at(0).toModelIndex()));
    QSet<const MarkupNode *> parents;
    for (MarkupNode *n : all_nodes(m_model->root())) {
        if (n->child_count() > 0)
            parents.insert(n);
    }
    QCOMPARE(told, row_by_row ? parents : QSet<const MarkupNode *>());
    QCOMPARE(shown.count(), told.size());
    QVERIFY(m_model->root()->child_count() > 0);
    for (MarkupNode *n : all_nodes(m_model->root()))
        QCOMPARE(n->is_expanded(), expands);
}

void TestMarkupTree::node_at_collapsed_and_expanded()
{
    QVERIFY(m_tree->insert_range(0, 100));
    QVERIFY(m_tree->insert_range(10, 20));
    QVERIFY(m_tree->insert_range(12, 14));
    QVERIFY(m_tree->insert_range(300, 310));
    MarkupNode *outer = m_model->root()->child(0);
    MarkupNode *mid = outer->child(0);
    expand_only(*m_model, {});
    QCOMPARE(m_tree->node_at(150), nullptr);
    QCOMPARE(m_tree->node_at(-1), nullptr);
    QCOMPARE(m_tree->node_at(13), outer); // collapsed: answers for its whole range
    m_model->set_expanded(m_model->index_of(outer), true);
    QCOMPARE(m_tree->node_at(13), mid);
    QCOMPARE(m_tree->node_at(21), outer);
    m_model->set_expanded(m_model->index_of(mid).siblingAtColumn(MarkupColumn::End), true);
    QCOMPARE(describe(m_tree->node_at(13)), QStringLiteral("12..14"));
    QCOMPARE(m_tree->node_at(10), mid);
    QCOMPARE(m_tree->node_at(100), outer);
    QCOMPARE(describe(m_tree->node_at(305)), QStringLiteral("300..310"));
    // A collapsed middle hides the deeper markup even with it marked expanded.
    m_model->set_expanded(m_model->index_of(outer), false);
    QCOMPARE(m_tree->node_at(13), outer);
    QVERIFY(mid->is_expanded());
}

void TestMarkupTree::node_at_repeat_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("expanded_answer");
    QTest::addColumn<QString>("collapsed_answer");
    QTest::newRow("before-first-record") << qint64(99) << "null" << "null";
    QTest::newRow("record-start") << qint64(100) << "100..103" << "100..103";
    QTest::newRow("child-in-first-record") << qint64(101) << "101..101" << "100..103";
    QTest::newRow("child-second-record") << qint64(105) << "101..101" << "100..103";
    QTest::newRow("child-third-record") << qint64(109) << "101..101" << "100..103";
    QTest::newRow("middle-of-run") << qint64(150) << "100..103" << "100..103";
    QTest::newRow("last-whole-record") << qint64(199) << "100..103" << "100..103";
    QTest::newRow("child-last-whole-record") << qint64(197) << "101..101" << "100..103";
    QTest::newRow("next-sibling") << qint64(200) << "200..210" << "200..210";
    QTest::newRow("after-next-sibling") << qint64(211) << "null" << "null";
}

void TestMarkupTree::node_at_repeat()
{
    QFETCH(qint64, offset);
    QFETCH(QString, expanded_answer);
    QFETCH(QString, collapsed_answer);
    QVERIFY(m_tree->insert_range(100, 103));
    QVERIFY(m_tree->insert_range(101, 101));
    QVERIFY(m_tree->insert_range(200, 210));
    MarkupNode *r = m_model->root()->child(0);
    // Repeat set as the tree view's editor stores it: the text "true".
    QVERIFY(m_model->setData(m_model->index(0, MarkupColumn::Repeat), QStringLiteral("true")));
    QVERIFY(r->is_repeat());
    expand_only(*m_model, {});
    QCOMPARE(describe(m_tree->node_at(offset)), collapsed_answer);
    expand_only(*m_model, { r });
    QCOMPARE(describe(m_tree->node_at(offset)), expanded_answer);
}

void TestMarkupTree::node_at_repeat_bounded_by_parent()
{
    // Parent 0..50 holding a repeat record 10..13: records run up to the
    // parent's end, and a record cut off by it falls to the parent.
    QVERIFY(m_tree->insert_range(0, 50));
    QVERIFY(m_tree->insert_range(10, 13));
    QVERIFY(m_tree->insert_range(60, 70));
    MarkupNode *p = m_model->root()->child(0);
    MarkupNode *r = p->child(0);
    QVERIFY(m_model->setData(m_model->index_of(r).siblingAtColumn(MarkupColumn::Repeat), true));
    expand_only(*m_model, { p });
    QCOMPARE(m_tree->node_at(9), p);
    QCOMPARE(m_tree->node_at(45), r);   // record 42..45
    QCOMPARE(m_tree->node_at(49), r);   // record 46..49, the last whole one
    QCOMPARE(m_tree->node_at(50), p);   // record 50..53 passes the parent's end
    QCOMPARE(describe(m_tree->node_at(55)), QStringLiteral("null"));
    QCOMPARE(describe(m_tree->node_at(60)), QStringLiteral("60..70"));
}

void TestMarkupTree::node_at_repeat_after_repeat_sibling()
{
    // Two repeat markups in a row: the second one's records are answered too.
    QVERIFY(m_tree->insert_range(0, 3));
    QVERIFY(m_tree->insert_range(10, 11));
    for (int row = 0; row < 2; ++row)
        QVERIFY(m_model->setData(m_model->index(row, MarkupColumn::Repeat), true));
    QCOMPARE(describe(m_tree->node_at(5)), QStringLiteral("0..3"));
    QCOMPARE(describe(m_tree->node_at(9)), QStringLiteral("null")); // record 8..11 hits 10
    QCOMPARE(describe(m_tree->node_at(25)), QStringLiteral("10..11"));
    QCOMPARE(describe(m_tree->node_at(1000001)), QStringLiteral("10..11"));
}

void TestMarkupTree::node_at_matches_reference_on_random_trees()
{
    QRandomGenerator rng(20261207);
    for (int round = 0; round < 60; ++round) {
        m_tree->clear();
        m_expanded = random_tree(*m_tree, rng, 5 + int(rng.bounded(60)), 400);
        auto is_expanded = [this](const MarkupNode *n) { return m_expanded.contains(n); };
        for (qint64 o = -3; o < 1200; ++o) {
            MarkupNode *want = reference_lookup(m_model->root(), o, is_expanded);
            MarkupNode *got = m_tree->node_at(o);
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("round %1 offset %2: got %3, want %4 in %5")
                                     .arg(round).arg(o).arg(describe(got), describe(want),
                                                            shape(m_model->root()))));
        }
    }
}

void TestMarkupTree::node_at_matches_reference_on_unordered_trees()
{
    // Files may hold anything: overlapping, unsorted and inverted ranges.
    QRandomGenerator rng(77);
    for (int round = 0; round < 40; ++round) {
        QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n");
        int open = 0;
        for (int i = 0; i < 30; ++i) {
            const qint64 s = rng.bounded(200);
            const qint64 e = s + rng.bounded(40) - 5;
            xml += QStringLiteral("<node start=\"%1\" end=\"%2\" repeat=\"%3\">")
                       .arg(s).arg(e).arg(rng.bounded(3) == 0 ? "true" : "false");
            ++open;
            const int closing = int(rng.bounded(open + 1));
            for (int k = 0; k < closing; ++k, --open)
                xml += QStringLiteral("</node>");
        }
        for (; open > 0; --open)
            xml += QStringLiteral("</node>");
        xml += QStringLiteral("</pellowquarnbybook>\n");
        QVERIFY(m_tree->load_xml(xml));
        m_expanded.clear();
        for (MarkupNode *n : all_nodes(m_model->root()))
            if (rng.bounded(4) != 0)
                m_expanded.insert(n);
        expand_only(*m_model, m_expanded);
        auto is_expanded = [this](const MarkupNode *n) { return m_expanded.contains(n); };
        for (qint64 o = -10; o < 600; ++o)
            QCOMPARE(describe(m_tree->node_at(o)),
                     describe(reference_lookup(m_model->root(), o, is_expanded)));
    }
}

void TestMarkupTree::unsorted_disjoint_file_order_data()
{
    QTest::addColumn<bool>("with_repeat");
    QTest::newRow("reversed-plain") << false;
    QTest::newRow("reversed-with-repeat") << true;
}

void TestMarkupTree::unsorted_disjoint_file_order()
{
    // Siblings written last to first: disjoint, but not in ascending order.
    QFETCH(bool, with_repeat);
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 50; i >= 0; --i) {
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\" repeat=\"%3\">"
                              "<node start=\"%4\" end=\"%4\"/><node start=\"%1\" end=\"%1\"/></node>")
                   .arg(i * 10).arg(i * 10 + 3)
                   .arg(with_repeat && i % 7 == 0 ? "true" : "false")
                   .arg(i * 10 + 2);
    }
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(m_tree->load_xml(xml));
    expand_everything();
    auto is_expanded = [this](const MarkupNode *n) { return m_expanded.contains(n); };
    const MarkupTree::LookupSnapshot snapshot = m_tree->lookup_snapshot();
    QCOMPARE(snapshot.sorted.contains(m_model->root()), !with_repeat);
    std::vector<std::atomic<MarkupNode *>> out(600);
    QVERIFY(m_tree->fill(-20, 600, out.data(), snapshot));
    for (qint64 o = -20; o < 580; ++o) {
        MarkupNode *want = reference_lookup(m_model->root(), o, is_expanded);
        QCOMPARE(describe(m_tree->node_at(o)), describe(want));
        QCOMPARE(describe(out[o + 20].load()), describe(want));
    }
}

void TestMarkupTree::fill_matches_node_at_on_random_trees()
{
    QRandomGenerator rng(4242);
    std::vector<std::atomic<MarkupNode *>> out(3000);
    for (int round = 0; round < 60; ++round) {
        m_tree->clear();
        m_expanded = random_tree(*m_tree, rng, 5 + int(rng.bounded(80)), 600);
        const MarkupTree::LookupSnapshot snapshot = m_tree->lookup_snapshot();
        const qint64 first = qint64(rng.bounded(700)) - 50;
        const int count = 1 + int(rng.bounded(int(out.size())));
        // Filled as the mask fills: from a snapshot of its window only.
        QVERIFY(m_tree->fill(first, count, out.data(), m_tree->lookup_snapshot(first, first + count - 1)));
        for (int i = 0; i < count; ++i) {
            MarkupNode *want = m_tree->node_at(first + i, snapshot);
            if (out[i].load() != want)
                QFAIL(qPrintable(QStringLiteral("round %1 offset %2: fill %3, node_at %4 in %5")
                                     .arg(round).arg(first + i)
                                     .arg(describe(out[i].load()), describe(want),
                                          shape(m_model->root()))));
        }
    }
}

void TestMarkupTree::edits_that_reorder_siblings()
{
    // The editor changes one markup's range; lookups must see the new order
    // at once, at the top level and below an expanded markup.
    QVERIFY(m_tree->insert_range(0, 9));
    QVERIFY(m_tree->insert_range(20, 29));
    QVERIFY(m_tree->insert_range(40, 49));
    QVERIFY(m_tree->insert_range(100, 200));
    QVERIFY(m_tree->insert_range(110, 120));
    QVERIFY(m_tree->insert_range(150, 160));
    expand_everything();
    auto is_expanded = [this](const MarkupNode *n) { return m_expanded.contains(n); };
    auto check_all = [&] {
        std::vector<std::atomic<MarkupNode *>> out(260);
        const MarkupTree::LookupSnapshot snapshot = m_tree->lookup_snapshot();
        QVERIFY(m_tree->fill(-5, 260, out.data(), snapshot));
        for (qint64 o = -5; o < 255; ++o) {
            const QString want = describe(reference_lookup(m_model->root(), o, is_expanded));
            QCOMPARE(describe(m_tree->node_at(o)), want);
            QCOMPARE(describe(out[o + 5].load()), want);
        }
    };
    check_all();
    QVERIFY(m_model->setData(m_model->index(2, MarkupColumn::Start), int(5)));
    QCOMPARE(describe(m_tree->node_at(7)), QStringLiteral("0..9"));
    check_all();
    QVERIFY(m_model->setData(m_model->index(0, MarkupColumn::End), QStringLiteral("3")));
    QCOMPARE(describe(m_tree->node_at(7)), QStringLiteral("5..49"));
    check_all();
    const QModelIndex outer = m_model->index(3, 0);
    QVERIFY(m_model->setData(m_model->index(1, MarkupColumn::Start, outer), int(105)));
    QVERIFY(m_model->setData(m_model->index(1, MarkupColumn::End, outer), int(108)));
    QCOMPARE(describe(m_tree->node_at(106)), QStringLiteral("105..108"));
    check_all();
}

void TestMarkupTree::fill_stops_when_asked()
{
    QVERIFY(m_tree->insert_range(0, 100));
    std::vector<std::atomic<MarkupNode *>> out(500);
    for (auto &e : out)
        e.store(m_model->root());
    std::atomic_bool stop { true };
    QVERIFY(!m_tree->fill(0, 500, out.data(), m_tree->lookup_snapshot(), &stop));
    QCOMPARE(out[0].load(), m_model->root()); // untouched
    stop = false;
    QVERIFY(m_tree->fill(0, 500, out.data(), m_tree->lookup_snapshot(), &stop));
    QCOMPARE(out[0].load(), m_model->root()->child(0));
    QCOMPARE(out[101].load(), nullptr);
}

void TestMarkupTree::lookup_survives_extreme_offsets()
{
    const qint64 max = std::numeric_limits<qint64>::max();
    QVERIFY(m_tree->insert_range(max - 10, max - 7));
    QVERIFY(m_tree->insert_range(0, 0));
    for (int row = 0; row < 2; ++row)
        QVERIFY(m_model->setData(m_model->index(row, MarkupColumn::Repeat), true));
    QCOMPARE(describe(m_tree->node_at(max)), QStringLiteral("null")); // record would pass the end
    QCOMPARE(m_tree->node_at(max - 8), m_model->root()->child(1));
    QCOMPARE(m_tree->node_at(max - 11), m_model->root()->child(0)); // one-byte record repeats
    std::vector<std::atomic<MarkupNode *>> out(20);
    QVERIFY(m_tree->fill(max - 19, 20, out.data(), m_tree->lookup_snapshot()));
    for (int i = 0; i < 20; ++i)
        QCOMPARE(out[i].load(), m_tree->node_at(max - 19 + i));
    // A repeat markup whose End lies before its Start (from a file) never repeats.
    QVERIFY(m_tree->load_xml(QStringLiteral(
        "<pellowquarnbybook><node start=\"10\" end=\"5\" repeat=\"true\"/></pellowquarnbybook>")));
    QCOMPARE(m_tree->node_at(20), nullptr);
}

QTEST_GUILESS_MAIN(TestMarkupTree)
#include "tst_markuptree.moc"
