#pragma once

#include "kaitai/ksyprimitive.h"
#include "kaitai/ksyvalue.h"

#include <QByteArray>
#include <QString>

class KsyStream;
struct KsyAttribute;
struct KsyType;

// Reads the primitive types from a stream and turns a sized field's bytes
// into what the template asks for, apart from the interpreter that walks
// the types: adding a primitive type is a change here.
class KsyPrimitiveReader
{
public:
    // An integer or a float of p's size in the byte order given; false,
    // the position unchanged, when fewer bytes remain.
    static bool read_number(KsyStream *io, const KsyPrimitive &p, bool little, KsyValue *out);
    // A bit field; one bit reads as a boolean unless `as_integer` (an enum's
    // key). False when the stream ends first.
    static bool read_bits(KsyStream *io, const KsyPrimitive &p, bool little, bool as_integer, KsyValue *out);
    // What ends the field: its `terminator` byte, or for strz a zero
    // character of its encoding (two zero bytes in UTF-16, four in UTF-32);
    // empty when nothing does.
    static QByteArray terminator(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type);
    // A sized field's bytes as the reference reads them: `pad-right` bytes
    // stripped, then cut at the terminator (kept with `include`), which a
    // string of two- or four-byte characters finds only at a character's start.
    static void trim_sized(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type, QByteArray *data);
    // The encoding a string field is read in: its own, its type's or an
    // enclosing type's, else UTF-8.
    static QString encoding_of(const KsyAttribute &attr, const KsyType *type);
    // Bytes as the field's value: bytes as they are, a string decoded in
    // its encoding (an error value for an unknown encoding).
    static KsyValue finish(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type,
                           const QByteArray &data);
};
