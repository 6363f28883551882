#pragma once

#include <QString>

// A primitive type of the template language by its name: "u4", "s2be",
// "f8le", "b12", "b3le", "str", "strz", or none for bytes (empty name).
// Anything else is a user type (kind none).
struct KsyPrimitive
{
    enum class Kind { none, integer, floating, bits, str, strz, bytes };
    Kind kind = Kind::none;
    // Bytes; bits for Kind::bits.
    int size = 0;
    bool is_signed = false;
    // -1: from the type's endianness, 0: big, 1: little.
    int little = -1;

    static KsyPrimitive of(const QString &type);
    // Bits a value takes in the stream, -1 when that is not fixed.
    int bits() const;
};
