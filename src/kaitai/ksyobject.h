#pragma once

#include "kaitai/ksyvalue.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <memory>
#include <utility>

class KsyStream;
struct KsyItem;
struct KsyType;

// An instance of a user type while the template is applied: its fields,
// parameters and computed instances by name, its stream, and where its
// fields lie in that stream (for _sizeof).
struct KsyObject
{
    const KsyType *type = nullptr;
    // Not owned: the parser keeps every object alive while it runs.
    KsyObject *parent = nullptr;
    // The same parent for `_parent` in expressions; weak, as the parent
    // holds this object among its values.
    std::weak_ptr<KsyObject> parent_ref;
    std::weak_ptr<KsyObject> self;
    KsyObject *root = nullptr;
    std::shared_ptr<KsyStream> io;
    QHash<QString, KsyValue> values;
    // Field name -> [start, end) in io.
    QHash<QString, std::pair<qint64, qint64>> ranges;
    // Instances being computed, to catch one that depends on itself.
    QSet<QString> computing;
    qint64 start = 0;
    qint64 end = 0;
    bool little_endian = false;
    bool endian_known = false;
    bool bits_little_endian = false;
    // The item of the field this object was read for; items of instances
    // computed later are added here when they fit.
    KsyItem *item = nullptr;
    // Nesting depth from the top-level object.
    int depth = 0;
    // The path of the field this object was read for ("chunks[3]").
    QString path;
};
