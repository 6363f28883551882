#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <variant>
#include <vector>

class KsyObject;
class KsyStream;
struct KsyEnum;

// A value of the template's expression language: what a field reads, a
// parameter holds or an expression yields. Integers keep 64 bits either
// signed or unsigned, so a u8 above 2^63 stays exact. An error is a value too
// (with its message), so evaluation never throws and the first error
// travels up to whoever asked.
class KsyValue
{
public:
    enum class Kind : quint8 { none, integer, floating, boolean, string, bytes, object, array, enumeration, stream, error };

    KsyValue() = default;
    static KsyValue from_int(qint64 value);
    static KsyValue from_uint(quint64 value);
    // Exact when the value fits in 64 bits signed or unsigned; an error otherwise.
    static KsyValue from_wide(__int128 value);
    static KsyValue from_float(double value);
    static KsyValue from_bool(bool value);
    static KsyValue from_string(const QString &value);
    // `length` may exceed the bytes kept: a long field keeps only its head,
    // and only its length may then be used.
    static KsyValue from_bytes(const QByteArray &value, qint64 length = -1);
    // `length` bytes at `pos` of `io`, of which only `head` is held: the
    // rest is read again when asked for (a parse holds millions of fields,
    // and most bytes are never looked at).
    static KsyValue from_stream_bytes(const QByteArray &head, qint64 length, const std::shared_ptr<KsyStream> &io,
                                      qint64 pos);
    static KsyValue from_object(const std::shared_ptr<KsyObject> &object);
    static KsyValue from_array(std::vector<KsyValue> items);
    // An array whose items its owner may still add to (a repeated field
    // being read: its expressions see the items read so far).
    static KsyValue from_shared_array(std::shared_ptr<const std::vector<KsyValue>> items);
    static KsyValue from_enum(const KsyEnum *type, qint64 value);
    static KsyValue from_stream(const std::shared_ptr<KsyStream> &stream);
    static KsyValue error(const QString &message);

    Kind kind() const { return m_kind; }
    bool is_error() const { return m_kind == Kind::error; }
    bool is_none() const { return m_kind == Kind::none; }
    bool is_integer() const { return m_kind == Kind::integer; }
    bool is_number() const { return m_kind == Kind::integer || m_kind == Kind::floating; }
    bool is_unsigned() const { return m_unsigned; }

    // Integers, booleans (0/1) and enums as an integer; wide keeps the sign
    // of unsigned values above 2^63.
    qint64 to_int() const { return m_int; }
    __int128 wide() const { return m_unsigned ? __int128(quint64(m_int)) : __int128(m_int); }
    double to_float() const;
    bool to_bool() const { return m_int != 0; }
    // The string, the error message or the enum's name.
    const QString &text() const { return held<QString>(); }
    // The bytes held: all of them, or the head of a long field.
    const QByteArray &bytes() const;
    // Full length of a bytes value (see from_bytes).
    qint64 bytes_length() const { return m_kind == Kind::bytes ? m_length : 0; }
    // Whether all_bytes() gives every byte.
    bool bytes_complete() const;
    // Every byte, read again from the stream when only the head is held;
    // the head alone when they cannot be.
    QByteArray all_bytes() const;
    const std::shared_ptr<KsyObject> &object() const { return held<std::shared_ptr<KsyObject>>(); }
    const std::vector<KsyValue> &array() const;
    const KsyEnum *enum_type() const { return m_kind == Kind::enumeration ? m_enum : nullptr; }
    const std::shared_ptr<KsyStream> &stream() const { return held<std::shared_ptr<KsyStream>>(); }

    // How a markup shows the value: 640, 1.5, "text", [89 50 4E 47],
    // truecolor (2), [3 items]. Long bytes and texts are cut.
    QString display() const;
    // The kind's name for messages: "integer", "string", ...
    static QString kind_name(Kind kind);

private:
    using Array = std::shared_ptr<const std::vector<KsyValue>>;
    struct StreamBytes
    {
        QByteArray head;
        std::shared_ptr<KsyStream> io;
        qint64 pos = 0;
    };

    // The payload when it is a T, else an empty T.
    template<typename T>
    const T &held() const
    {
        static const T none;
        const T *p = std::get_if<T>(&m_payload);
        return p ? *p : none;
    }

    Kind m_kind = Kind::none;
    bool m_unsigned = false;
    qint64 m_int = 0;
    // Each kind uses one of these at most (floating, bytes, enumeration):
    // read only through the accessors above, which look at the kind.
    union {
        double m_float = 0;
        qint64 m_length;
        const KsyEnum *m_enum;
    };
    // A value holds one of these at most (a parse keeps millions of values:
    // they share their room).
    std::variant<std::monostate, QString, QByteArray, std::shared_ptr<KsyObject>, Array,
                 std::shared_ptr<KsyStream>, std::shared_ptr<const StreamBytes>>
        m_payload;
};
