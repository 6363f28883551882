#include "markup/markupcolumn.h"
#include "markup/markupnode.h"

#include <QTest>

class TestMarkupNode : public QObject
{
    Q_OBJECT

private slots:
    void new_node_defaults();
    void copy_takes_values_not_children();
    void child_list_operations();
    void shape_follows_changes();
    void offsets_read_as_64_bit_data();
    void offsets_read_as_64_bit();
    void repeat_reading_data();
    void repeat_reading();
    void deep_subtree_destroyed_without_recursion();
};

void TestMarkupNode::new_node_defaults()
{
    MarkupNode root(QStringLiteral("Description"), nullptr);
    MarkupNode n(QStringLiteral("d"), &root);
    QCOMPARE(n.parent_node(), &root);
    QCOMPARE(n.data(MarkupColumn::Description), QVariant(QStringLiteral("d")));
    QCOMPARE(n.start(), -1);
    QCOMPARE(n.end(), -2);
    QCOMPARE(n.length(), 0);
    QCOMPARE(n.data(MarkupColumn::Repeat), QVariant(false));
    QVERIFY(!n.is_repeat());
    QCOMPARE(n.foreground(), QColor(Qt::black));
    QCOMPARE(n.background(), QColor(Qt::white));
    QCOMPARE(n.child_count(), 0);
    QVERIFY(!n.data(5).isValid());
    QVERIFY(!n.data(-1).isValid());
    QCOMPARE(root.row(), 0);
}

void TestMarkupNode::copy_takes_values_not_children()
{
    MarkupNode parent(QStringLiteral("p"), nullptr);
    parent.set_data(MarkupColumn::Start, qint64(5));
    parent.set_data(MarkupColumn::End, QStringLiteral("9"));
    parent.set_data(MarkupColumn::Repeat, QStringLiteral("true"));
    parent.set_foreground(QColor(1, 2, 3));
    // Colours come back as given, in their own colour model.
    parent.set_background(QColor::fromHsl(200, 150, 222));
    parent.append_child(new MarkupNode(QStringLiteral("c"), &parent));
    MarkupNode copy(parent);
    QCOMPARE(copy.child_count(), 0);
    QCOMPARE(copy.parent_node(), nullptr);
    QCOMPARE(copy.start(), 5);
    QCOMPARE(copy.end(), 9);
    QCOMPARE(copy.data(MarkupColumn::End), QVariant(QStringLiteral("9")));
    QVERIFY(copy.is_repeat());
    QCOMPARE(copy.foreground(), QColor(1, 2, 3));
    QCOMPARE(copy.background(), QColor::fromHsl(200, 150, 222));
    // Equal only within one colour model: the copy is still HSL.
    QCOMPARE(copy.background().toHsl(), copy.background());
    QCOMPARE(copy.description(), QStringLiteral("p"));
}

void TestMarkupNode::child_list_operations()
{
    MarkupNode p(QStringLiteral("p"), nullptr);
    auto *a = new MarkupNode(QStringLiteral("a"), &p);
    auto *b = new MarkupNode(QStringLiteral("b"), &p);
    auto *c = new MarkupNode(QStringLiteral("c"), &p);
    p.insert_child(7, a); // empty list: appended whatever the row
    QCOMPARE(p.child(0), a);
    p.append_child(c);
    p.insert_child(1, b);
    QCOMPARE(p.child(1), b);
    QCOMPARE(c->row(), 2);
    QCOMPARE(p.child(3), nullptr);
    QCOMPARE(p.child(-1), nullptr);
    p.remove_child(5);
    p.remove_child(-1);
    QCOMPARE(p.child_count(), 3);
    p.remove_child(1); // taken out, not deleted
    QCOMPARE(p.child_count(), 2);
    QCOMPARE(c->row(), 1); // the rows after a removal move up
    QCOMPARE(b->row(), -1); // no longer listed
    p.insert_child(0, b);
    QCOMPARE(QList<int>({ b->row(), a->row(), c->row() }), QList<int>({ 0, 1, 2 }));
    QCOMPARE(p.child(0), b); // the first child is also kept apart
    p.remove_child(0);
    QCOMPARE(p.child(0), a);
    QCOMPARE(b->data(MarkupColumn::Description).toString(), QStringLiteral("b"));
    delete b;
    p.clear_children();
    QCOMPARE(p.child_count(), 0);
    QCOMPARE(p.child(0), nullptr);
    QCOMPARE(a->row(), -1);
    delete a;
    delete c;
}

// Whether the children are in order and whether any has children are
// cached: every change that can alter an answer must be seen.
void TestMarkupNode::shape_follows_changes()
{
    MarkupNode p(QStringLiteral("p"), nullptr);
    auto add = [&p](qint64 start, qint64 end) {
        auto *n = new MarkupNode(QStringLiteral("n"), &p);
        n->set_data(MarkupColumn::Start, start);
        n->set_data(MarkupColumn::End, end);
        p.append_child(n);
        return n;
    };
    MarkupNode *a = add(0, 9);
    MarkupNode *b = add(10, 19);
    MarkupNode *c = add(20, 29);
    QVERIFY(p.children_ordered());
    QVERIFY(!p.has_grandchildren());
    b->set_data(MarkupColumn::End, qint64(25)); // now overlaps c
    QVERIFY(!p.children_ordered());
    p.remove_child(2); // without c the list is in order again
    QVERIFY(p.children_ordered());
    p.remove_child(0); // a removal from an ordered list keeps it so
    QVERIFY(p.children_ordered());
    p.append_child(a); // 0..9 after 10..25
    QVERIFY(!p.children_ordered());
    c->set_parent_node(b);
    b->append_child(c);
    QVERIFY(p.has_grandchildren());
    b->remove_child(0);
    QVERIFY(!p.has_grandchildren());
    delete c;
}

void TestMarkupNode::offsets_read_as_64_bit_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("int64") << QVariant(qint64(5000000000LL)) << qint64(5000000000LL);
    QTest::newRow("int32-from-editor") << QVariant(int(77)) << qint64(77);
    QTest::newRow("text-from-file") << QVariant(QStringLiteral("3000000000")) << qint64(3000000000LL);
    QTest::newRow("negative-text") << QVariant(QStringLiteral("-5")) << qint64(-5);
    QTest::newRow("text-with-leading-zero") << QVariant(QStringLiteral("007")) << qint64(7);
    QTest::newRow("text-minus-zero") << QVariant(QStringLiteral("-0")) << qint64(0);
    QTest::newRow("not-a-number") << QVariant(QStringLiteral("12abc")) << qint64(0);
    QTest::newRow("hex-text-is-not-base-10") << QVariant(QStringLiteral("0x10")) << qint64(0);
    QTest::newRow("empty-text") << QVariant(QString()) << qint64(0);
    QTest::newRow("invalid-variant") << QVariant() << qint64(0);
    QTest::newRow("too-large-text") << QVariant(QStringLiteral("99999999999999999999")) << qint64(0);
}

void TestMarkupNode::offsets_read_as_64_bit()
{
    QFETCH(QVariant, value);
    QFETCH(qint64, expected);
    QCOMPARE(MarkupNode::to_offset(value), expected);
    MarkupNode n(QStringLiteral("n"), nullptr);
    n.set_data(MarkupColumn::Start, value);
    n.set_data(MarkupColumn::End, value);
    n.set_data(MarkupColumn::Length, value);
    QCOMPARE(n.start(), expected);
    QCOMPARE(n.end(), expected);
    QCOMPARE(n.length(), expected);
    // Kept compactly or not, each column returns exactly what was stored,
    // also in a copy and after a neighbour is replaced.
    const MarkupNode copy(n);
    n.set_data(MarkupColumn::End, qint64(1));
    for (const int c : { int(MarkupColumn::Start), int(MarkupColumn::Length) }) {
        for (const MarkupNode *node : { static_cast<const MarkupNode *>(&n), &copy }) {
            QCOMPARE(node->data(c), value);
            QCOMPARE(node->data(c).typeId(), value.typeId());
            QCOMPARE(node->data(c).toString(), value.toString());
        }
    }
    QCOMPARE(copy.end(), expected);
    QCOMPARE(n.data(MarkupColumn::End), QVariant(qint64(1)));
    // A range set at once reads as marking's plain integers.
    n.set_range(4, 9);
    QCOMPARE(QVariantList({ n.data(MarkupColumn::Start), n.data(MarkupColumn::End), n.data(MarkupColumn::Length) }),
             QVariantList({ QVariant(qint64(4)), QVariant(qint64(9)), QVariant(qint64(6)) }));
    QCOMPARE(n.data(MarkupColumn::Length).typeId(), int(QMetaType::LongLong));
}

void TestMarkupNode::repeat_reading_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("bool-true") << QVariant(true) << true;
    QTest::newRow("bool-false") << QVariant(false) << false;
    QTest::newRow("text-true") << QVariant(QStringLiteral("true")) << true;
    QTest::newRow("text-false") << QVariant(QStringLiteral("false")) << false;
    QTest::newRow("text-capitalised") << QVariant(QStringLiteral("True")) << false;
    QTest::newRow("text-empty") << QVariant(QString()) << false;
    QTest::newRow("text-one") << QVariant(QStringLiteral("1")) << false;
    QTest::newRow("int-one") << QVariant(1) << false;
    QTest::newRow("invalid") << QVariant() << false;
}

void TestMarkupNode::repeat_reading()
{
    QFETCH(QVariant, value);
    QFETCH(bool, expected);
    MarkupNode n(QStringLiteral("n"), nullptr);
    n.set_data(MarkupColumn::Repeat, value);
    QCOMPARE(n.is_repeat(), expected);
    QCOMPARE(MarkupNode::to_repeat(value), expected);
    QCOMPARE(n.data(MarkupColumn::Repeat).typeId(), value.typeId());
    QCOMPARE(MarkupNode(n).data(MarkupColumn::Repeat).toString(), value.toString());
}

void TestMarkupNode::deep_subtree_destroyed_without_recursion()
{
    // Deep enough to overflow the stack if each level's destructor recursed.
    auto *root = new MarkupNode(QStringLiteral("root"), nullptr);
    MarkupNode *at = root;
    const int depth = 200000;
    for (int i = 0; i < depth; ++i) {
        auto *c = new MarkupNode(QStringLiteral("n"), at);
        at->append_child(c);
        if (i % 3 == 0)
            at->append_child(new MarkupNode(QStringLiteral("leaf"), at));
        at = c;
    }
    int levels = 0;
    for (const MarkupNode *n = at; n->parent_node(); n = n->parent_node())
        ++levels;
    QCOMPARE(levels, depth);
    QCOMPARE(root->child_count(), 2);
    delete root; // a crash here is the failure this guards against
}

QTEST_GUILESS_MAIN(TestMarkupNode)
#include "tst_markupnode.moc"
