#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Decodes the bytes at an offset as the values a reverse engineer looks for:
// integers, IEEE floats, the byte in binary, text, Unix times. It only
// interprets bytes that the caller read; the caller hands in the bytes from
// the offset to at most max_bytes further, fewer at the end of the file.
class ValueDecoder
{
public:
    enum class Type {
        int8, uint8, int16, uint16, int32, uint32, int64, uint64,
        float32, float64, binary, ascii, utf8, unix_time32, unix_time64
    };

    // The most bytes any type looks at (the text types).
    static constexpr int max_bytes = 16;

    // Every type, in the order a user reads them.
    static QList<Type> types();
    // The type's name as shown and as a markup's description ("UInt32").
    static QString name(Type type);
    // Whether the byte order changes the value.
    static bool has_byte_order(Type type);
    // How many of `bytes` a value of `type` covers: its fixed size, the text
    // types what they show; 0 when the bytes end before the value does.
    static int size(Type type, const QByteArray &bytes);
    // The value as text; empty when the bytes end before the value does.
    // Times are UTC; characters outside printable ASCII (ASCII) or control
    // characters (UTF-8) show as ".", as in the hex view.
    static QString decode(Type type, const QByteArray &bytes, bool little_endian);
};
