// Markup files come from anywhere: whatever the bytes, loading must not crash,
// must leave a consistent tree, and whatever was loaded must save and load
// back to the same document.
#include "fuzzsupport.h"

#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Walks the tree without recursion (inputs may nest deeply) and checks that
// every child points back at its parent and that the model agrees with the
// nodes. Returns the number of nodes seen.
int check_tree(MarkupModel &model)
{
    int nodes = 0;
    std::vector<std::pair<MarkupNode *, QModelIndex>> pending;
    pending.emplace_back(model.root(), QModelIndex());
    while (!pending.empty()) {
        auto [node, index] = pending.back();
        pending.pop_back();
        PQ_FUZZ_CHECK(model.node_from_index(index) == node);
        PQ_FUZZ_CHECK(model.rowCount(index) == node->child_count());
        for (int row = 0; row < node->child_count(); ++row) {
            MarkupNode *c = node->child(row);
            PQ_FUZZ_CHECK(c != nullptr);
            PQ_FUZZ_CHECK(c->parent_node() == node);
            const QModelIndex ci = model.index(row, 0, index);
            PQ_FUZZ_CHECK(ci.isValid());
            PQ_FUZZ_CHECK(model.node_from_index(ci) == c);
            PQ_FUZZ_CHECK(model.parent(ci) == index);
            // Length is stored as read; it must agree with the ends (as the
            // loader computes it: wrapping, since ends may be any 64-bit value).
            PQ_FUZZ_CHECK(c->length() == qint64(quint64(c->end()) - quint64(c->start()) + 1));
            pending.emplace_back(c, ci);
            ++nodes;
        }
        PQ_FUZZ_CHECK(node->child(node->child_count()) == nullptr);
        PQ_FUZZ_CHECK(node->child(-1) == nullptr);
    }
    return nodes;
}

// Whatever ranges the file holds (backwards, overlapping, outside their
// parent, at the ends of the 64-bit range), the mask's fill must answer every
// offset as a single lookup does. Windows at 0, at the first top-level
// markups' ends and at the top of the range.
void check_fill(MarkupTree &tree, MarkupModel &model)
{
    constexpr int window = 64;
    model.expand_all();
    const MarkupTree::LookupSnapshot snapshot = tree.lookup_snapshot();
    std::vector<qint64> firsts { 0, std::numeric_limits<qint64>::max() - (window - 1) };
    const int kids = std::min(model.root()->child_count(), 8);
    for (int i = 0; i < kids; ++i) {
        const MarkupNode *c = model.root()->child(i);
        // The mask's window never starts below 0.
        firsts.push_back(std::max<qint64>(0, c->start()));
        firsts.push_back(c->end() < window ? 0 : c->end() - window / 2);
    }
    std::atomic<MarkupNode *> out[window];
    for (const qint64 first : firsts) {
        const int count = first > std::numeric_limits<qint64>::max() - (window - 1)
                              ? int(std::numeric_limits<qint64>::max() - first) + 1
                              : window;
        PQ_FUZZ_CHECK(MarkupTree::fill(first, count, out, snapshot));
        for (int i = 0; i < count; ++i)
            PQ_FUZZ_CHECK(out[i].load() == MarkupTree::node_at(first + i, snapshot));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = MarkupTree::decode_markup_file(bytes);

    MarkupModel model;
    MarkupTree tree(&model);
    tree.load_xml(text);
    const int loaded = check_tree(model);
    check_fill(tree, model);

    // What was loaded (all of it, or what came before an error) is what a
    // save would write: it must read back whole and write out identically.
    const QString saved = tree.to_xml();
    const QByteArray file = MarkupTree::encode_markup_file(saved);
    MarkupModel model2;
    MarkupTree tree2(&model2);
    PQ_FUZZ_CHECK(tree2.load_xml(MarkupTree::decode_markup_file(file)));
    PQ_FUZZ_CHECK(check_tree(model2) == loaded);
    PQ_FUZZ_CHECK(tree2.to_xml() == saved);

    // The loaded tree stays usable: marking works afterwards (it may refuse
    // an overlap, but must not break the tree).
    tree.insert_range(0, 15);
    check_tree(model);
    tree.clear();
    PQ_FUZZ_CHECK(model.root()->child_count() == 0);
    return 0;
}
