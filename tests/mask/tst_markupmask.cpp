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
    std::unique_ptr<MarkupModel> m_model;
    std::unique_ptr<MarkupTree> m_tree;
    std::unique_ptr<MarkupMask> m_mask;
};

void TestMarkupMask::init()
{
    m_model = std::make_unique<MarkupModel>();
    m_tree = std::make_unique<MarkupTree>(m_model.get());
    m_mask = std::make_unique<MarkupMask>(m_tree.get());
}

void TestMarkupMask::cleanup()
{
    m_mask.reset();
    m_tree.reset();
    m_model.reset();
}

bool TestMarkupMask::wait_for_fill()
{
    // The completion arrives queued; once the worker is idle and the event is
    // delivered, the entries are final.
    QElapsedTimer timer;
    timer.start();
    while (m_mask->is_filling() && timer.elapsed() < 10000)
        QThread::msleep(1);
    QCoreApplication::processEvents();
    return !m_mask->is_filling();
}

void TestMarkupMask::first_lookup_places_window_and_fills()
{
    QVERIFY(m_tree->insert_range(100, 199));
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->window_start(), -10001);
    QSignalSpy completed(m_mask.get(), &MarkupMask::update_completed);
    QCOMPARE(m_mask->markup_at(150), nullptr); // a miss paints without colours
    QCOMPARE(m_mask->window_start(), 0);
    QVERIFY(completed.wait(10000) || completed.count() > 0);
    QCOMPARE(completed.count(), 1);
    QCOMPARE(m_mask->markup_at(150), m_model->root()->child(0));
    QCOMPARE(m_mask->markup_at(99), nullptr);
    QCOMPARE(m_mask->markup_at(200), nullptr);
    QCOMPARE(m_mask->window_start(), 0);
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
    m_mask->markup_at(first);
    QVERIFY(wait_for_fill());
    m_mask->markup_at(second);
    QCOMPARE(m_mask->window_start(), expected_start);
    QVERIFY(wait_for_fill());
}

void TestMarkupMask::moved_window_never_shows_old_entries()
{
    QVERIFY(m_tree->insert_range(0, 6999));
    QVERIFY(m_tree->insert_range(7000, 30000));
    MarkupNode *a = m_model->root()->child(0);
    MarkupNode *b = m_model->root()->child(1);
    m_mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(10), a);
    m_mask->markup_at(12000); // window now 7000..16999
    for (qint64 o = 7000; o < 17000; o += 7) {
        MarkupNode *n = m_mask->markup_at(o);
        QVERIFY2(n == nullptr || n == b, qPrintable(QString::number(o)));
    }
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(7000), b);
    QCOMPARE(m_mask->markup_at(16999), b);
}

void TestMarkupMask::fill_matches_tree_lookup()
{
    QRandomGenerator rng(31337);
    for (int round = 0; round < 10; ++round) {
        m_tree->clear();
        random_tree(*m_tree, rng, 200, 20000);
        m_mask->reload_mask(); // as the view's expanded() signal would
        m_mask->markup_at(3000 + round * 997);
        QVERIFY(wait_for_fill());
        const qint64 ws = m_mask->window_start();
        for (qint64 o = ws; o < ws + MarkupMask::window_size; ++o) {
            if (m_mask->markup_at(o) != m_tree->node_at(o))
                QFAIL(qPrintable(QStringLiteral("round %1 offset %2: mask %3, tree %4")
                                     .arg(round).arg(o)
                                     .arg(describe(m_mask->markup_at(o)), describe(m_tree->node_at(o)))));
        }
        QCOMPARE(m_mask->window_start(), ws);
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
    QVERIFY(m_tree->load_xml(xml));
    expand_only(*m_model, {});
    QVERIFY(wait_for_fill());
    MarkupNode *outer = m_model->root()->children().last();
    MarkupNode *inner = outer->child(0);
    QSignalSpy completed(m_mask.get(), &MarkupMask::update_completed);
    m_mask->markup_at(0);
    // The view expands the markup while the fill runs: the reload must not be
    // lost, or the children stay hidden.
    m_model->set_expanded(m_model->index_of(outer), true);
    m_mask->reload_mask();
    m_mask->reload_mask();
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), inner);
    QCOMPARE(m_mask->markup_at(25), outer);
    // Reloads restart rather than queue: at most one completion per reload,
    // and the stopped fills announce nothing.
    QVERIFY(completed.count() >= 1);
    QVERIFY(completed.count() <= 3);
}

void TestMarkupMask::reload_after_expanding_shows_children()
{
    QVERIFY(m_tree->insert_range(0, 100));
    QVERIFY(m_tree->insert_range(10, 20));
    MarkupNode *outer = m_model->root()->child(0);
    expand_only(*m_model, {});
    m_mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), outer);
    m_model->set_expanded(m_model->index_of(outer), true);
    QCOMPARE(m_mask->markup_at(15), outer); // nothing changes until the reload
    m_mask->reload_mask();
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), outer->child(0));
}

void TestMarkupMask::change_blanks_entries_before_nodes_go()
{
    QVERIFY(m_tree->insert_range(0, 100));
    QVERIFY(m_tree->insert_range(10, 20));
    MarkupNode *outer = m_model->root()->child(0);
    MarkupNode *inner = outer->child(0);
    m_mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), inner);
    const void *gone = inner;
    QVERIFY(m_tree->prune(m_model->index(0, 0, m_model->index(0, 0))));
    // Right after the change: blank or already refilled, never the pruned node.
    MarkupNode *now = m_mask->markup_at(15);
    QVERIFY(static_cast<const void *>(now) != gone);
    QVERIFY(now == nullptr || now == outer);
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), outer);
    m_tree->clear();
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(15), nullptr);
}

void TestMarkupMask::every_tree_operation_refills()
{
    m_mask->markup_at(0);
    QVERIFY(wait_for_fill());
    QVERIFY(m_tree->insert_range(0, 9));
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(5), m_model->root()->child(0));
    QVERIFY(m_tree->insert_range(0, 50));
    QVERIFY(wait_for_fill());
    // Marking expanded the new markup: its child answers inside it.
    QCOMPARE(describe(m_mask->markup_at(5)), QStringLiteral("0..9"));
    QCOMPARE(describe(m_mask->markup_at(25)), QStringLiteral("0..50"));
    QVERIFY(m_tree->delete_markup(m_model->index(0, 0)));
    QVERIFY(wait_for_fill());
    QCOMPARE(describe(m_mask->markup_at(5)), QStringLiteral("0..9"));
    QCOMPARE(m_mask->markup_at(25), nullptr);
    // An edit through the model (as the tree view's editor commits it).
    QVERIFY(m_model->setData(m_model->index(0, MarkupColumn::End), int(30)));
    QVERIFY(wait_for_fill());
    QCOMPARE(describe(m_mask->markup_at(25)), QStringLiteral("0..30"));
    QVERIFY(m_tree->load_xml(QStringLiteral(
        "<pellowquarnbybook><node start=\"40\" end=\"60\"/></pellowquarnbybook>")));
    QVERIFY(wait_for_fill());
    QCOMPARE(m_mask->markup_at(5), nullptr);
    QCOMPARE(describe(m_mask->markup_at(45)), QStringLiteral("40..60"));
}

void TestMarkupMask::destroy_while_filling()
{
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 3000; i > 0; --i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(20000 + i).arg(20002 + i);
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(m_tree->load_xml(xml));
    QVERIFY(wait_for_fill());
    QSignalSpy completed(m_mask.get(), &MarkupMask::update_completed);
    m_mask->markup_at(0);
    QVERIFY(m_mask->is_filling());
    QElapsedTimer timer;
    timer.start();
    m_mask.reset();
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
    m_model->begin_change();
    MarkupNode *root = m_model->root();
    for (int i = 0; i < 200000; ++i) {
        auto *n = new MarkupNode(QStringLiteral("overlapping"), root);
        n->set_data(MarkupColumn::Start, qint64(1000000 + 2 * i));
        n->set_data(MarkupColumn::End, qint64(1000000 + 2 * i + 3));
        root->append_child(n);
    }
    m_model->end_change();
    m_mask->markup_at(0);
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int trial = 0; trial < 5; ++trial) {
        m_mask->reload_mask();
        QThread::msleep(20);
        QVERIFY(m_mask->is_filling());
        QElapsedTimer timer;
        timer.start();
        m_mask->stop_and_clear();
        fastest = std::min(fastest, timer.elapsed());
    }
    // Within a frame at 60 Hz.
    QVERIFY2(fastest < 16, qPrintable(QString::number(fastest) + " ms to stop"));
}

void TestMarkupMask::model_destroyed_before_mask()
{
    QVERIFY(m_tree->insert_range(0, 10));
    m_mask->markup_at(0);
    m_model.reset(); // stops the worker before the nodes go
    QVERIFY(!m_mask->is_filling());
    QCOMPARE(m_mask->markup_at(5), nullptr);
    m_mask->reload_mask();
    QVERIFY(!m_mask->is_filling());
    m_tree.reset();
    m_mask->reload_mask();
    QCOMPARE(m_mask->markup_at(50000), nullptr);
    QVERIFY(!m_mask->is_filling());
}

void TestMarkupMask::tree_destroyed_while_filling()
{
    QString xml = QStringLiteral("<pellowquarnbybook>");
    for (int i = 3000; i > 0; --i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(i).arg(i + 2);
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(m_tree->load_xml(xml));
    QVERIFY(wait_for_fill());
    m_mask->markup_at(20000);
    m_tree.reset(); // the worker only reads nodes, which the model still owns
    QVERIFY(wait_for_fill());
    m_mask->reload_mask(); // no tree: nothing to fill
    QVERIFY(!m_mask->is_filling());
    QVERIFY(m_model->insertRow(0)); // changes still stop the worker first
    m_model.reset();
    QVERIFY(!m_mask->is_filling());
}

QTEST_GUILESS_MAIN(TestMarkupMask)
#include "tst_markupmask.moc"
