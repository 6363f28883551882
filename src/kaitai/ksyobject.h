#pragma once

#include "kaitai/ksypath.h"
#include "kaitai/ksyvalue.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

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
    // A field, parameter or computed instance: its value and, for a field
    // read from io, where it lies there ([start, end); -1 both otherwise).
    // The name is the template's (its id or parameter), not a copy: a parse
    // holds millions of fields.
    struct Field
    {
        const QString *name;
        KsyValue value;
        qint64 start = -1;
        qint64 end = -1;
    };
    // In the order set. An object holds a handful: a list searched in order
    // costs a fraction of a hash table's memory, and is as quick at this size.
    std::vector<Field> fields;
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
    // The object that read this one (whatever `parent:` says) and the last
    // part of the path of the field it read it for: the whole path
    // ("header.sections[2]") is put together from these when needed,
    // not held by each object.
    const KsyObject *path_parent = nullptr;
    KsyPath::Part path_part;

    KsyPath path() const
    {
        KsyPath path;
        for (const KsyObject *o = this; o && o->path_part.id; o = o->path_parent)
            path.push(o->path_part);
        path.reverse();
        return path;
    }

    // Null when `name` was not set.
    const Field *field(const QString &name) const
    {
        for (const Field &f : fields) {
            if (*f.name == name)
                return &f;
        }
        return nullptr;
    }
    // `name` must outlive the object: the template's id or parameter.
    void set(const QString &name, const KsyValue &value, qint64 start = -1, qint64 end = -1)
    {
        for (Field &f : fields) {
            if (f.name == &name || *f.name == name) {
                f.value = value;
                f.start = start;
                f.end = end;
                return;
            }
        }
        fields.push_back({ &name, value, start, end });
    }
    void remove(const QString &name)
    {
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            if (*it->name == name) {
                fields.erase(it);
                return;
            }
        }
    }
};
