// The GUI thread changes markups as fast as it can while the mask's worker
// fills; build with -fsanitize=thread to check the hand-off between them.

#include "markup/markupcolumn.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <unordered_set>

using namespace pq_markup_test;

class TestMarkupMaskStress : public QObject
{
    Q_OBJECT

private slots:
    void mutations_while_filling();
};

void TestMarkupMaskStress::mutations_while_filling()
{
    MarkupModel model;
    MarkupTree tree(&model);
    MarkupMask mask(&tree);
    QSignalSpy completed(&mask, &MarkupMask::update_completed);
    QRandomGenerator rng(8086);
    const qint64 span = 30000;
    QString saved;

    QElapsedTimer timer;
    timer.start();
    int operations = 0;
    qint64 lookups = 0;
    int live_answers = 0;
    while (timer.elapsed() < 6000) {
        const auto nodes = all_nodes(model.root());
        const int op = int(rng.bounded(100));
        if (op < 40 || nodes.empty()) {
            const qint64 a = rng.bounded(span);
            tree.insert_range(a, a + rng.bounded(1 + rng.bounded(2000)));
        } else if (op < 50) {
            tree.prune(model.index_of(nodes[rng.bounded(quint32(nodes.size()))]));
        } else if (op < 60) {
            tree.delete_markup(model.index_of(nodes[rng.bounded(quint32(nodes.size()))]));
        } else if (op < 63) {
            saved = tree.to_xml();
            tree.clear();
        } else if (op < 66 && !saved.isEmpty()) {
            tree.load_xml(saved);
        } else if (op < 76) {
            MarkupNode *n = nodes[rng.bounded(quint32(nodes.size()))];
            model.setData(model.index_of(n).siblingAtColumn(MarkupColumn::Repeat),
                          rng.bounded(2) == 0);
        } else if (op < 90) {
            // The view expands or collapses a markup and asks for a reload.
            MarkupNode *n = nodes[rng.bounded(quint32(nodes.size()))];
            model.set_expanded(model.index_of(n), !n->is_expanded());
            mask.reload_mask();
        } else {
            mask.reload_mask();
        }
        ++operations;

        // Paint-like lookups, some of them moving the window. Every answer
        // must be a markup that is in the tree right now.
        const auto live_list = all_nodes(model.root());
        const std::unordered_set<const MarkupNode *> live(live_list.cbegin(), live_list.cend());
        const qint64 base = rng.bounded(4) == 0 ? rng.bounded(span) : mask.window_start();
        for (int k = 0; k < 200; ++k) {
            const qint64 o = base + rng.bounded(MarkupMask::window_size);
            MarkupNode *n = mask.markup_at(o);
            ++lookups;
            if (!n)
                continue;
            if (live.count(n) == 0)
                QFAIL(qPrintable(QStringLiteral("offset %1 answered a markup no longer in the tree")
                                     .arg(o)));
            // What painting does with an answer: read its colours.
            if (n->foreground().isValid() || n->background().isValid())
                ++live_answers;
        }
        if (operations % 16 == 0)
            QCoreApplication::processEvents();
        // Now and then let a fill run to its end, so answers are delivered
        // mid-churn even on a slow (sanitizer) build where every change would
        // otherwise restart the fill before it completes.
        if (operations % 64 == 0)
            QTRY_VERIFY_WITH_TIMEOUT(!mask.is_filling(), 10000);
    }
    qInfo("%d operations, %lld lookups, %d coloured answers, %lld completions", operations,
          lookups, live_answers, qint64(completed.count()));
    QVERIFY(operations > 100);
    QVERIFY(live_answers > 0); // the fills did deliver while the tree changed

    // Once quiet, the window agrees with the tree exactly.
    mask.reload_mask();
    QTRY_VERIFY_WITH_TIMEOUT(!mask.is_filling(), 10000);
    const qint64 ws = mask.window_start();
    for (qint64 o = ws; o < ws + MarkupMask::window_size; ++o)
        QCOMPARE(mask.markup_at(o), tree.node_at(o));
}

QTEST_GUILESS_MAIN(TestMarkupMaskStress)
#include "tst_markupmask_stress.moc"
