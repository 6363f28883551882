#include "markup/markupcolumn.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

using namespace pq_markup_test;

class TestMarkupMask : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void first_lookup_places_window_and_fills();
    void window_placement_data();
    void window_placement();
    void moved_window_never_shows_old_entries();
    void fill_matches_tree_lookup();
    void reload_during_fill_restarts_it();
    void reload_after_expanding_shows_children();
    void change_blanks_entries_before_nodes_go();
    void every_tree_operation_refills();
    void destroy_while_filling();
    void stop_is_prompt_among_unordered_children();
    void model_destroyed_before_mask();
    void tree_destroyed_while_filling();

private:
    bool wait_for_fill();
    std::unique_ptr<MarkupModel> model;
    std::unique_ptr<MarkupTree> tree;
    std::unique_ptr<MarkupMask> mask;
};

void TestMarkupMask::init()
{
    model = std::make_unique<MarkupModel>();
    tree = std::make_unique<MarkupTree>(model.get());
    mask = std::make_unique<MarkupMask>(tree.get());
}

void TestMarkupMask::cleanup()
{
    mask.reset();
    tree.reset();
    model.reset();
}

bool TestMarkupMask::wait_for_fill()
{
    // The completion arrives queued; once the worker is idle and the event is
    // delivered, the entries are final.
    QElapsedTimer timer;
    timer.start();
    while (mask->is_filling() && timer.elapsed() < 10000)
        QThread::msleep(1);
    QCoreApplication::processEvents();
    return !mask->is_filling();
}

void TestMarkupMask::first_lookup_places_window_and_fills()
{
    QVERIFY(tree->insert_range(100, 199));
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->window_start(), -10001);
    QSignalSpy completed(mask.get(), &MarkupMask::update_completed);
    QCOMPARE(mask->markup_at(150), nullptr); // a miss paints without colours
    QCOMPARE(mask->window_start(), 0);
    QVERIFY(completed.wait(10000) || completed.count() > 0);
    QCOMPARE(completed.count(), 1);
    QCOMPARE(mask->markup_at(150), model->root()->child(0));
    QCOMPARE(mask->markup_at(99), nullptr);
    QCOMPARE(mask->markup_at(200), nullptr);
    QCOMPARE(mask->window_start(), 0);
}

void TestMarkupMask::window_placement_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("second");
    QTest::addColumn<qint64>("expected_start");
    QTest::newRow("offset-12000-from-window-0") << qint64(0) << qint64(12000) << qint64(7000);
    QTest::newRow("last-entry-stays") << qint64(0) << qint64(9999) << qint64(0);
    QTest::newRow("one-past-window-moves") << qint64(0) << qint64(10000) << qint64(5000);
    QTest::newRow("near-start-clamped") << qint64(20000) << qint64(4999) << qint64(0);
    QTest::newRow("just-before-window") << qint64(20000) << qint64(14999) << qint64(9999);
    QTest::newRow("beyond-4-gib") << qint64(0) << qint64(5000000000LL) << qint64(4999995000LL);
    QTest::newRow("largest-offset") << qint64(0) << std::numeric_limits<qint64>::max()
                                    << std::numeric_limits<qint64>::max() - 5000;
}

void TestMarkupMask::window_placement()
{
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QFETCH(qint64, expected_start);
    mask->markup_at(first);
    QVERIFY(wait_for_fill());
    mask->markup_at(second);
    QCOMPARE(mask->window_start(), expected_start);
    QVERIFY(wait_for_fill());
}

void TestMarkupMask::moved_window_never_shows_old_entries()
{
    QVERIFY(tree->insert_range(0, 6999));
    QVERIFY(tree->insert_range(7000, 30000));
    MarkupNode *a = model->root()->child(0);
    MarkupNode *b = model->root()->child(1);
    mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(10), a);
    mask->markup_at(12000); // window now 7000..16999
    for (qint64 o = 7000; o < 17000; o += 7) {
        MarkupNode *n = mask->markup_at(o);
        QVERIFY2(n == nullptr || n == b, qPrintable(QString::number(o)));
    }
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(7000), b);
    QCOMPARE(mask->markup_at(16999), b);
}

void TestMarkupMask::fill_matches_tree_lookup()
{
    QRandomGenerator rng(31337);
    for (int round = 0; round < 10; ++round) {
        tree->clear();
        random_tree(*tree, rng, 200, 20000);
        mask->reload_mask(); // as the view's expanded() signal would
        mask->markup_at(3000 + round * 997);
        QVERIFY(wait_for_fill());
        const qint64 ws = mask->window_start();
        for (qint64 o = ws; o < ws + MarkupMask::window_size; ++o) {
            if (mask->markup_at(o) != tree->node_at(o))
                QFAIL(qPrintable(QStringLiteral("round %1 offset %2: mask %3, tree %4")
                                     .arg(round).arg(o)
                                     .arg(describe(mask->markup_at(o)), describe(tree->node_at(o)))));
        }
        QCOMPARE(mask->window_start(), ws);
    }
}

void TestMarkupMask::reload_during_fill_restarts_it()
{
    // A slow window: overlapping markups from a file are scanned one by one.
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 3000; i > 0; --i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(100000 + i).arg(100002 + i);
    xml += QStringLiteral("<node start=\"0\" end=\"9999\"><node start=\"10\" end=\"20\"/></node>"
                          "</pellowquarnbybook>");
    QVERIFY(tree->load_xml(xml));
    expand_only(*model, {});
    QVERIFY(wait_for_fill());
    MarkupNode *outer = model->root()->children().last();
    MarkupNode *inner = outer->child(0);
    QSignalSpy completed(mask.get(), &MarkupMask::update_completed);
    mask->markup_at(0);
    // The view expands the markup while the fill runs: the reload must not be
    // lost, or the children stay hidden.
    model->set_expanded(model->index_of(outer), true);
    mask->reload_mask();
    mask->reload_mask();
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), inner);
    QCOMPARE(mask->markup_at(25), outer);
    // Reloads restart rather than queue: at most one completion per reload,
    // and the stopped fills announce nothing.
    QVERIFY(completed.count() >= 1);
    QVERIFY(completed.count() <= 3);
}

void TestMarkupMask::reload_after_expanding_shows_children()
{
    QVERIFY(tree->insert_range(0, 100));
    QVERIFY(tree->insert_range(10, 20));
    MarkupNode *outer = model->root()->child(0);
    expand_only(*model, {});
    mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), outer);
    model->set_expanded(model->index_of(outer), true);
    QCOMPARE(mask->markup_at(15), outer); // nothing changes until the reload
    mask->reload_mask();
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), outer->child(0));
}

void TestMarkupMask::change_blanks_entries_before_nodes_go()
{
    QVERIFY(tree->insert_range(0, 100));
    QVERIFY(tree->insert_range(10, 20));
    MarkupNode *outer = model->root()->child(0);
    MarkupNode *inner = outer->child(0);
    mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), inner);
    const void *gone = inner;
    QVERIFY(tree->prune(model->index(0, 0, model->index(0, 0))));
    // Right after the change: blank or already refilled, never the pruned node.
    MarkupNode *now = mask->markup_at(15);
    QVERIFY(static_cast<const void *>(now) != gone);
    QVERIFY(now == nullptr || now == outer);
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), outer);
    tree->clear();
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(15), nullptr);
}

void TestMarkupMask::every_tree_operation_refills()
{
    mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QVERIFY(tree->insert_range(0, 9));
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(5), model->root()->child(0));
    QVERIFY(tree->insert_range(0, 50));
    QVERIFY(wait_for_fill());
    // Marking expanded the new markup: its child answers inside it.
    QCOMPARE(describe(mask->markup_at(5)), QStringLiteral("0..9"));
    QCOMPARE(describe(mask->markup_at(25)), QStringLiteral("0..50"));
    QVERIFY(tree->delete_markup(model->index(0, 0)));
    QVERIFY(wait_for_fill());
    QCOMPARE(describe(mask->markup_at(5)), QStringLiteral("0..9"));
    QCOMPARE(mask->markup_at(25), nullptr);
    // An edit through the model (as the tree view's editor commits it).
    QVERIFY(model->setData(model->index(0, MarkupColumn::End), int(30)));
    QVERIFY(wait_for_fill());
    QCOMPARE(describe(mask->markup_at(25)), QStringLiteral("0..30"));
    QVERIFY(tree->load_xml(QStringLiteral(
        "<pellowquarnbybook><node start=\"40\" end=\"60\"/></pellowquarnbybook>")));
    QVERIFY(wait_for_fill());
    QCOMPARE(mask->markup_at(5), nullptr);
    QCOMPARE(describe(mask->markup_at(45)), QStringLiteral("40..60"));
}

void TestMarkupMask::destroy_while_filling()
{
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 3000; i > 0; --i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(20000 + i).arg(20002 + i);
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(tree->load_xml(xml));
    QVERIFY(wait_for_fill());
    QSignalSpy completed(mask.get(), &MarkupMask::update_completed);
    mask->markup_at(0);
    QVERIFY(mask->is_filling());
    QElapsedTimer timer;
    timer.start();
    mask.reset();
    // The stop is honoured within a bounded slice of work, not a whole fill.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCoreApplication::processEvents();
}

void TestMarkupMask::stop_is_prompt_among_unordered_children()
{
    // Overlapping children (from a file) are scanned one by one for every
    // offset. Painting waits for the worker to stop whenever the window
    // moves or the tree changes, so the worker must notice a stop within a
    // slice of that scan, not after a thousand offsets of it.
    model->begin_change();
    MarkupNode *root = model->root();
    for (int i = 0; i < 200000; ++i) {
        auto *n = new MarkupNode(QStringLiteral("overlapping"), root);
        n->set_data(MarkupColumn::Start, qint64(1000000 + 2 * i));
        n->set_data(MarkupColumn::End, qint64(1000000 + 2 * i + 3));
        root->append_child(n);
    }
    model->end_change();
    mask->markup_at(0);
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int trial = 0; trial < 5; ++trial) {
        mask->reload_mask();
        QThread::msleep(20);
        QVERIFY(mask->is_filling());
        QElapsedTimer timer;
        timer.start();
        mask->stop_and_clear();
        fastest = std::min(fastest, timer.elapsed());
    }
    // Within a frame at 60 Hz.
    QVERIFY2(fastest < 16, qPrintable(QString::number(fastest) + " ms to stop"));
}

void TestMarkupMask::model_destroyed_before_mask()
{
    QVERIFY(tree->insert_range(0, 10));
    mask->markup_at(0);
    model.reset(); // stops the worker before the nodes go
    QVERIFY(!mask->is_filling());
    QCOMPARE(mask->markup_at(5), nullptr);
    mask->reload_mask();
    QVERIFY(!mask->is_filling());
    tree.reset();
    mask->reload_mask();
    QCOMPARE(mask->markup_at(50000), nullptr);
    QVERIFY(!mask->is_filling());
}

void TestMarkupMask::tree_destroyed_while_filling()
{
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 3000; i > 0; --i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(i).arg(i + 2);
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(tree->load_xml(xml));
    QVERIFY(wait_for_fill());
    mask->markup_at(20000);
    tree.reset(); // the worker only reads nodes, which the model still owns
    QVERIFY(wait_for_fill());
    mask->reload_mask(); // no tree: nothing to fill
    QVERIFY(!mask->is_filling());
    QVERIFY(model->insertRow(0)); // changes still stop the worker first
    model.reset();
    QVERIFY(!mask->is_filling());
}

QTEST_GUILESS_MAIN(TestMarkupMask)
#include "tst_markupmask.moc"
