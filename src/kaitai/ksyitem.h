#pragma once

#include "document/valuedecoder.h"
#include "kaitai/ksyvalue.h"

#include <QString>

#include <memory>
#include <vector>

struct KsyAttribute;
struct KsyType;

// One parsed thing: a field, an array element, an array or an instance, with
// its place in the file. Items nest as the template nests: a user type's
// fields under it, an array's elements ("chunks[0]", ...) under the array.
//
// A parse holds one item per field read, so an item keeps what it needs
// and no more: its name, doc and type are the template's own (valid while
// the template lives, which KsyResult holds), an integer stays a number
// until it is shown, and an element's name is its array's with an index.
struct KsyItem
{
    // The field read; null for the top-level object.
    const KsyAttribute *attr = nullptr;
    // An array element's index; -1 for anything else.
    qint64 index = -1;
    // An integer or boolean's value (see kind); the other scalars keep
    // theirs in `text`. A struct has none and keeps its type here instead.
    union {
        qint64 number = 0;
        const KsyType *m_user_type;
    };
    // Absolute file offsets [start, end); -1 both when the item has no place
    // in the file (it was read from decoded bytes).
    qint64 start = -1;
    qint64 end = -1;
    // A scalar other than an integer or boolean: its value as shown
    // ("\"IHDR\"", "truecolor (2)"). A struct: how its type's
    // -webide-representation names it ("IHDR"), or empty. An instance that
    // could not be computed: why ("n/a: division by zero in '4 / a'").
    QString text;
    std::vector<std::unique_ptr<KsyItem>> children;
    // The built-in number type read (u1..u8, s1..s8, f4, f8) and its byte
    // order; has_value_type false for anything else.
    ValueDecoder::Type value_type = ValueDecoder::Type::uint8;
    // What was read, once kind_known.
    KsyValue::Kind kind = KsyValue::Kind::none;
    bool kind_known = false;
    bool is_struct = false;
    bool value_little_endian = false;
    bool has_value_type = false;
    bool is_array = false;
    bool number_unsigned = false;
    bool is_instance = false;
    bool is_scalar = false;
    // An instance that could not be computed; `text` says why.
    bool unavailable = false;
    // Read from bytes a `process:` decoded: no place in the file of its own.
    bool decoded = false;

    bool has_range() const { return start >= 0 && end > start; }
    // The user type read, for a struct (and for the top level); null for a scalar.
    const KsyType *user_type() const { return is_struct ? m_user_type : nullptr; }
    void set_user_type(const KsyType *type)
    {
        is_struct = true;
        m_user_type = type;
    }
    // The field id, "id[n]" for an array element, the type's name for the top level.
    QString name() const;
    // The field's `doc:`, else its user type's.
    const QString &doc() const;
    // What colours the markup: a user type's name, or the kind of scalar
    // ("integer", "string", "bytes", "enum", "float", "boolean", "array").
    QString type() const;
    // The value as shown ("640", "truecolor (2)", "\"IHDR\""); empty for
    // structs and arrays.
    QString value() const;
    // The struct's name by its type's representation; empty for a scalar.
    QString representation() const { return is_scalar ? QString() : text; }
    // Keeps a scalar's value: integers and booleans as a number, the rest in words.
    void set_value(const KsyValue &value);
};
