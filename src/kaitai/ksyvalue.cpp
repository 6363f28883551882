#include "kaitai/ksyvalue.h"

#include "kaitai/ksyenum.h"
#include "kaitai/ksystream.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>

KsyValue KsyValue::from_int(qint64 value)
{
    KsyValue v;
    v.m_kind = Kind::integer;
    v.m_int = value;
    return v;
}

KsyValue KsyValue::from_uint(quint64 value)
{
    KsyValue v = from_int(qint64(value));
    // Only values beyond the signed range need the flag; the rest compare
    // and print the same either way.
    v.m_unsigned = value > quint64(std::numeric_limits<qint64>::max());
    return v;
}

KsyValue KsyValue::from_wide(__int128 value)
{
    if (value >= std::numeric_limits<qint64>::min() && value <= std::numeric_limits<qint64>::max())
        return from_int(qint64(value));
    if (value > 0 && value <= __int128(std::numeric_limits<quint64>::max()))
        return from_uint(quint64(value));
    return error(QCoreApplication::translate("KsyValue", "integer overflow"));
}

KsyValue KsyValue::from_float(double value)
{
    KsyValue v;
    v.m_kind = Kind::floating;
    v.m_float = value;
    return v;
}

KsyValue KsyValue::from_bool(bool value)
{
    KsyValue v;
    v.m_kind = Kind::boolean;
    v.m_int = value ? 1 : 0;
    return v;
}

KsyValue KsyValue::from_string(const QString &value)
{
    KsyValue v;
    v.m_kind = Kind::string;
    v.m_payload = value;
    return v;
}

KsyValue KsyValue::from_bytes(const QByteArray &value, qint64 length)
{
    KsyValue v;
    v.m_kind = Kind::bytes;
    v.m_payload = value;
    v.m_length = length < 0 ? value.size() : length;
    return v;
}

KsyValue KsyValue::from_stream_bytes(const QByteArray &head, qint64 length, const std::shared_ptr<KsyStream> &io,
                                     qint64 pos)
{
    KsyValue v;
    v.m_kind = Kind::bytes;
    v.m_payload = std::make_shared<const StreamBytes>(StreamBytes { head, io, pos });
    v.m_length = length;
    return v;
}

const QByteArray &KsyValue::bytes() const
{
    if (const auto *s = std::get_if<std::shared_ptr<const StreamBytes>>(&m_payload))
        return (*s)->head;
    return held<QByteArray>();
}

bool KsyValue::bytes_complete() const
{
    return std::holds_alternative<std::shared_ptr<const StreamBytes>>(m_payload) || bytes_length() == bytes().size();
}

QByteArray KsyValue::all_bytes() const
{
    const auto *s = std::get_if<std::shared_ptr<const StreamBytes>>(&m_payload);
    if (!s)
        return bytes();
    const QByteArray all = (*s)->io->peek((*s)->pos, m_length);
    return all.size() == m_length ? all : (*s)->head;
}

KsyValue KsyValue::from_object(const std::shared_ptr<KsyObject> &object)
{
    KsyValue v;
    v.m_kind = Kind::object;
    v.m_payload = object;
    return v;
}

KsyValue KsyValue::from_array(std::vector<KsyValue> items)
{
    KsyValue v;
    v.m_kind = Kind::array;
    v.m_payload = Array(std::make_shared<const std::vector<KsyValue>>(std::move(items)));
    return v;
}

KsyValue KsyValue::from_shared_array(std::shared_ptr<const std::vector<KsyValue>> items)
{
    KsyValue v;
    v.m_kind = Kind::array;
    v.m_payload = Array(std::move(items));
    return v;
}

KsyValue KsyValue::from_enum(const KsyEnum *type, qint64 value)
{
    KsyValue v;
    v.m_kind = Kind::enumeration;
    v.m_enum = type;
    v.m_int = value;
    if (type)
        v.m_payload = type->names.value(value);
    return v;
}

KsyValue KsyValue::from_stream(const std::shared_ptr<KsyStream> &stream)
{
    KsyValue v;
    v.m_kind = Kind::stream;
    v.m_payload = stream;
    return v;
}

KsyValue KsyValue::error(const QString &message)
{
    KsyValue v;
    v.m_kind = Kind::error;
    v.m_payload = message;
    return v;
}

double KsyValue::to_float() const
{
    if (m_kind == Kind::floating)
        return m_float;
    return m_unsigned ? double(quint64(m_int)) : double(m_int);
}

const std::vector<KsyValue> &KsyValue::array() const
{
    static const std::vector<KsyValue> empty;
    const Array &a = held<Array>();
    return a ? *a : empty;
}

QString KsyValue::display() const
{
    constexpr int shown_bytes = 16;
    constexpr int shown_chars = 64;
    switch (m_kind) {
    case Kind::none:
        return QString();
    case Kind::integer:
        return m_unsigned ? QString::number(quint64(m_int)) : QString::number(m_int);
    case Kind::floating:
        return QString::number(m_float, 'g', 17);
    case Kind::boolean:
        return m_int ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::string: {
        QString shown = text().left(shown_chars);
        const auto escaped = [](QChar c) {
            return c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
                || c == QLatin1Char('\0');
        };
        if (std::any_of(shown.cbegin(), shown.cend(), escaped))
            shown.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                .replace(QLatin1Char('"'), QLatin1String("\\\""))
                .replace(QLatin1Char('\n'), QLatin1String("\\n"))
                .replace(QLatin1Char('\r'), QLatin1String("\\r"))
                .replace(QLatin1Char('\0'), QLatin1String("\\0"));
        // Built in one piece: every string field of a parse is shown.
        QString out;
        out.reserve(shown.size() + 3);
        out += QLatin1Char('"');
        out += shown;
        out += text().size() > shown_chars ? QStringLiteral("…\"") : QStringLiteral("\"");
        return out;
    }
    case Kind::bytes: {
        const QByteArray head = bytes().left(shown_bytes);
        QString out;
        out.reserve(3 * head.size() + 32);
        out += QLatin1Char('[');
        out += QLatin1String(head.toHex(' ').toUpper());
        if (m_length > head.size())
            out += QStringLiteral(" … (%1 bytes)").arg(m_length);
        out += QLatin1Char(']');
        return out;
    }
    case Kind::object:
        return QString();
    case Kind::array:
        return QCoreApplication::translate("KsyValue", "[%n item(s)]", nullptr, int(array().size()));
    case Kind::enumeration:
        if (text().isEmpty())
            return QString::number(m_int);
        return text() + QStringLiteral(" (") + QString::number(m_int) + QLatin1Char(')');
    case Kind::stream:
        return QString();
    case Kind::error:
        return text();
    }
    return QString();
}

QString KsyValue::kind_name(Kind kind)
{
    switch (kind) {
    case Kind::none: return QStringLiteral("nothing");
    case Kind::integer: return QStringLiteral("integer");
    case Kind::floating: return QStringLiteral("float");
    case Kind::boolean: return QStringLiteral("boolean");
    case Kind::string: return QStringLiteral("string");
    case Kind::bytes: return QStringLiteral("bytes");
    case Kind::object: return QStringLiteral("struct");
    case Kind::array: return QStringLiteral("array");
    case Kind::enumeration: return QStringLiteral("enum");
    case Kind::stream: return QStringLiteral("stream");
    case Kind::error: return QStringLiteral("error");
    }
    return QString();
}
