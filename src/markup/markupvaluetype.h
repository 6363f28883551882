#pragma once

#include "document/valuedecoder.h"

#include <QString>

// The kind of value a markup was made for ("Mark as Int32" in the Inspector)
// with the byte order it was read in, or none (a markup marked by hand).
// Kept with the markup, in its file (the `type` attribute) and in the .ksy
// export, so the bytes can be read again as they were meant.
class MarkupValueType
{
public:
    // None.
    MarkupValueType() = default;
    // The byte order is kept only for types it changes.
    MarkupValueType(ValueDecoder::Type type, bool little_endian);

    bool is_none() const { return !m_set; }
    ValueDecoder::Type type() const { return m_type; }
    bool little_endian() const { return m_little; }

    // The markup file's spelling: "int32le", "uint8", "float64be", "ascii",
    // "unixtime32le"...; empty for none.
    QString to_text() const;
    // None for the empty text and for one this version does not know, so a
    // file from a later version still loads.
    static MarkupValueType from_text(QStringView text);

    // The Kaitai Struct type of a value of `size` bytes: "s4le", "u1",
    // "f8be", "str" for the text types (the caller adds size and encoding);
    // empty for none, or when `size` is not the type's own (the markup was
    // resized since).
    QString ksy_type(qint64 size) const;
    // "ASCII" or "UTF-8" for the text types, else empty.
    QString ksy_encoding() const;

    bool operator==(const MarkupValueType &other) const;
    bool operator!=(const MarkupValueType &other) const { return !(*this == other); }

private:
    ValueDecoder::Type m_type = ValueDecoder::Type::uint8;
    bool m_little = false;
    bool m_set = false;
};
