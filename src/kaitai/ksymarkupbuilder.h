#pragma once

#include "markup/markupnode.h"

#include <QColor>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct KsyItem;

// Turns parsed items into markups: one per item with a non-empty place in
// the file, nested by their ranges. The markups are made as the nodes the
// markup tree takes, shown expanded, so that adding them costs no copy.
// Needs no tree and no file.
//
// Items are taken in the order they were read, an object's fields before
// its instances, and each goes in when its range nests with the markups
// already placed (overlaps none of them only in part): inside the innermost
// one holding it. Usually that is its parent's markup; an item outside its
// parent (an instance at a `pos:`, say) moves up to the nearest markup that
// holds it, the whole file's at worst, and says where it came from with its
// path ("header.section_headers[3]"). Its own children stay under it.
//
// An item with exactly the range of a markup already placed (a field
// covering its parent's bytes) adds its text to that markup instead of
// making a duplicate. Items read from bytes a `process:` decoded have no
// place of their own: each becomes a markup "x = 5 (decoded)" of the range
// and colours of the nearest markup above (the processed field's), after
// that markup's other children, nested as they were read. Value instances
// make none; their children are placed on their own. An
// instance that could not be computed adds "q = n/a: <why>" to the markup
// of the object it belongs to. An
// item that overlaps a placed markup in part is left out and counted; its
// children are still tried. The root's markup covers everything read under
// it, so the whole file's structure hangs from one markup.
class KsyMarkupBuilder
{
public:
    // Markups nested deeper than this are left out (counted), so that
    // whoever walks the result may recurse.
    static constexpr int max_depth = 256;

    struct Outcome
    {
        // The top markups with their subtrees (ranges inclusive, Repeat
        // off), not yet in any tree. A markup with exactly its parent's
        // range holds what was read from that parent's decoded bytes.
        std::vector<std::unique_ptr<MarkupNode>> markups;
        // Markups in `markups`, at every level.
        qint64 count = 0;
        // Items whose text joined a markup of the same range.
        qint64 merged = 0;
        // Items placed outside their parent's markup.
        qint64 moved = 0;
        // Items left out because they overlap a placed markup in part.
        qint64 overlapping = 0;
        // Markups left out (with what lies inside them) for nesting deeper
        // than max_depth.
        qint64 too_deep = 0;
        // The poll asked to stop: `markups` is empty.
        bool cancelled = false;
    };
    // Called every poll_every steps with the work done out of all of it:
    // first the items placed out of all items (making false), then the
    // markups made out of all to make (making true). Returns false to stop
    // the build.
    using Poll = std::function<bool(qint64 done, qint64 total, bool making)>;
    static constexpr qint64 poll_every = 1024;

    static Outcome build(const KsyItem &root, const Poll &poll = Poll());
    // The same, freeing each item's children once they are made into
    // markups, so the items and the markups are not held whole together.
    static Outcome build(std::unique_ptr<KsyItem> root, const Poll &poll = Poll());

    // "width = 640" for a scalar, "chunks[4] = IHDR" for an object whose
    // type names it, the name alone otherwise.
    static QString description(const KsyItem &item);
    // Light fills by type (user types by a hash of their name, scalars by
    // kind), the same in every run, with dark text of at least 4.5:1 contrast.
    static QColor background(const QString &type);
    static QColor foreground();
};
