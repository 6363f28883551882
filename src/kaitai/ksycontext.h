#pragma once

#include "kaitai/ksyvalue.h"

#include <QString>
#include <QStringList>

// What an expression can see besides its literals: the names of the scope it
// is evaluated in. The interpreter answers from the object being parsed; a
// test can answer from a table. Every answer may be an error value.
class KsyContext
{
public:
    virtual ~KsyContext() = default;

    // A bare name: a field, parameter or instance of the current object, or
    // _root, _parent, _io, _index, _ (the element just read) or _sizeof.
    virtual KsyValue name(const QString &name) = 0;
    // `object.name` for a struct value: its field, parameter or instance, or
    // _root, _parent, _io, _sizeof.
    virtual KsyValue member(const KsyValue &object, const QString &name) = 0;
    // `owner.field._sizeof` (owner none: the current object): the field's size in bytes.
    virtual KsyValue field_size(const KsyValue &owner, const QString &field) = 0;
    // `enum_name::identifier`, maybe qualified by type names before it;
    // `path` is the expression's own, which outlives the evaluation.
    virtual KsyValue enum_value(const QStringList &path) = 0;
    // sizeof<type> (bits: bitsizeof<type>) for a type of fixed size.
    virtual KsyValue type_size(const QString &type, bool bits) = 0;
};
