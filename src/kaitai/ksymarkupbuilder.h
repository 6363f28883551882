#pragma once

#include "kaitai/ksymarkup.h"

#include <QColor>
#include <QString>

#include <vector>

struct KsyItem;

// Turns parsed items into markups: one per item with a non-empty place in
// the file, nested as the items nest. Pure: needs no tree and no file.
//
// An item covering exactly its parent's bytes adds its text to the parent's
// instead of making a duplicate. Items without a place (read from decoded
// bytes, or value instances) make none; their children move up. A child
// that does not lie inside its parent, or overlaps a sibling before it, is
// left out with its children and counted: instances (read from anywhere in
// the file) apart from fields.
class KsyMarkupBuilder
{
public:
    struct Outcome
    {
        std::vector<KsyMarkup> markups;
        qint64 count = 0;
        qint64 merged = 0;
        qint64 instances_not_nested = 0;
        qint64 fields_not_nested = 0;
    };

    static Outcome build(const KsyItem &root);

    // "width = 640" for a scalar, the name alone otherwise.
    static QString description(const KsyItem &item);
    // Light fills by type (user types by a hash of their name, scalars by
    // kind), the same in every run, with dark text of at least 4.5:1 contrast.
    static QColor background(const QString &type);
    static QColor foreground();
};
