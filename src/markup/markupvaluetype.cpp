#include "markup/markupvaluetype.h"

namespace {

using Type = ValueDecoder::Type;

// The file spelling without the byte order, and the Kaitai spelling of the
// same bytes ('s', 'u' or 'f' and the size; 0 for the text types).
struct Spelling
{
    Type type;
    const char *text;
    char ksy_kind;
    int size;
};

constexpr Spelling spellings[] = {
    { Type::int8, "int8", 's', 1 },         { Type::uint8, "uint8", 'u', 1 },
    { Type::int16, "int16", 's', 2 },       { Type::uint16, "uint16", 'u', 2 },
    { Type::int32, "int32", 's', 4 },       { Type::uint32, "uint32", 'u', 4 },
    { Type::int64, "int64", 's', 8 },       { Type::uint64, "uint64", 'u', 8 },
    { Type::float32, "float32", 'f', 4 },   { Type::float64, "float64", 'f', 8 },
    { Type::binary, "binary", 'u', 1 },     { Type::ascii, "ascii", 0, 0 },
    { Type::utf8, "utf8", 0, 0 },
    // Seconds since 1970 as a signed number, as the Inspector reads them.
    { Type::unix_time32, "unixtime32", 's', 4 }, { Type::unix_time64, "unixtime64", 's', 8 },
};

const Spelling &spelling_of(Type type)
{
    for (const Spelling &s : spellings) {
        if (s.type == type)
            return s;
    }
    return spellings[1];
}

} // namespace

MarkupValueType::MarkupValueType(ValueDecoder::Type type, bool little_endian)
    : m_type(type)
    , m_little(ValueDecoder::has_byte_order(type) && little_endian)
    , m_set(true)
{
}

QString MarkupValueType::to_text() const
{
    if (!m_set)
        return QString();
    QString text = QLatin1String(spelling_of(m_type).text);
    if (ValueDecoder::has_byte_order(m_type))
        text += m_little ? QLatin1String("le") : QLatin1String("be");
    return text;
}

MarkupValueType MarkupValueType::from_text(QStringView text)
{
    for (const Spelling &s : spellings) {
        const QLatin1String name(s.text);
        if (!text.startsWith(name))
            continue;
        const QStringView order = text.sliced(name.size());
        if (!ValueDecoder::has_byte_order(s.type)) {
            if (order.isEmpty())
                return MarkupValueType(s.type, false);
        } else if (order == QLatin1String("le") || order == QLatin1String("be")) {
            return MarkupValueType(s.type, order == QLatin1String("le"));
        }
    }
    return MarkupValueType();
}

QString MarkupValueType::ksy_type(qint64 size) const
{
    if (!m_set)
        return QString();
    const Spelling &s = spelling_of(m_type);
    if (s.ksy_kind == 0)
        return QStringLiteral("str");
    if (size != s.size)
        return QString();
    QString type = QLatin1Char(s.ksy_kind) + QString::number(s.size);
    if (s.size > 1)
        type += m_little ? QLatin1String("le") : QLatin1String("be");
    return type;
}

QString MarkupValueType::ksy_encoding() const
{
    if (m_set && m_type == Type::ascii)
        return QStringLiteral("ASCII");
    if (m_set && m_type == Type::utf8)
        return QStringLiteral("UTF-8");
    return QString();
}

bool MarkupValueType::operator==(const MarkupValueType &other) const
{
    if (m_set != other.m_set)
        return false;
    return !m_set || (m_type == other.m_type && m_little == other.m_little);
}
