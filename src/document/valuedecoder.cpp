#include "document/valuedecoder.h"

#include <QDateTime>

#include <cstring>

namespace {

int fixed_size(ValueDecoder::Type type)
{
    using Type = ValueDecoder::Type;
    switch (type) {
    case Type::int8:
    case Type::uint8:
    case Type::binary:
        return 1;
    case Type::int16:
    case Type::uint16:
        return 2;
    case Type::int32:
    case Type::uint32:
    case Type::float32:
    case Type::unix_time32:
        return 4;
    case Type::int64:
    case Type::uint64:
    case Type::float64:
    case Type::unix_time64:
        return 8;
    case Type::ascii:
    case Type::utf8:
        break;
    }
    return 0;
}

// The first `count` bytes as an unsigned number in the given order.
quint64 unsigned_value(const QByteArray &bytes, int count, bool little_endian)
{
    quint64 value = 0;
    for (int i = 0; i < count; ++i) {
        const int at = little_endian ? count - 1 - i : i;
        value = (value << 8) | quint8(bytes.at(at));
    }
    return value;
}

// The same bits read as a two's complement number of `count` bytes.
qint64 signed_value(quint64 value, int count)
{
    if (count < 8 && (value >> (count * 8 - 1)) & 1)
        value |= ~quint64(0) << (count * 8);
    return qint64(value);
}

// The length of the UTF-8 sequence at `at`: its whole length when complete,
// 1 for a byte that starts no valid sequence, 0 when the bytes end inside it.
int utf8_sequence(const QByteArray &bytes, int at)
{
    const quint8 lead = quint8(bytes.at(at));
    int length;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 1;
    for (int i = 1; i < length; ++i) {
        if (at + i >= bytes.size())
            return 0;
        if ((quint8(bytes.at(at + i)) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

int utf8_size(const QByteArray &bytes)
{
    const int limit = int(qMin<qsizetype>(bytes.size(), ValueDecoder::max_bytes));
    const QByteArray window = bytes.left(limit);
    int at = 0;
    while (at < limit) {
        const int length = utf8_sequence(window, at);
        if (length == 0)
            break;
        at += length;
    }
    return at;
}

QString unix_time(qint64 seconds)
{
    // Years 1 to 9999: what a date can show, and far beyond any file's times.
    constexpr qint64 first = -62135596800LL;
    constexpr qint64 last = 253402300799LL;
    if (seconds < first || seconds > last)
        return QStringLiteral("out of range");
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
           + QStringLiteral(" UTC");
}

} // namespace

QList<ValueDecoder::Type> ValueDecoder::types()
{
    return {Type::int8,    Type::uint8,   Type::int16,  Type::uint16, Type::int32,
            Type::uint32,  Type::int64,   Type::uint64, Type::float32, Type::float64,
            Type::binary,  Type::ascii,   Type::utf8,   Type::unix_time32, Type::unix_time64};
}

QString ValueDecoder::name(Type type)
{
    switch (type) {
    case Type::int8: return QStringLiteral("Int8");
    case Type::uint8: return QStringLiteral("UInt8");
    case Type::int16: return QStringLiteral("Int16");
    case Type::uint16: return QStringLiteral("UInt16");
    case Type::int32: return QStringLiteral("Int32");
    case Type::uint32: return QStringLiteral("UInt32");
    case Type::int64: return QStringLiteral("Int64");
    case Type::uint64: return QStringLiteral("UInt64");
    case Type::float32: return QStringLiteral("Float32");
    case Type::float64: return QStringLiteral("Float64");
    case Type::binary: return QStringLiteral("Binary");
    case Type::ascii: return QStringLiteral("ASCII");
    case Type::utf8: return QStringLiteral("UTF-8");
    case Type::unix_time32: return QStringLiteral("Unix Time32");
    case Type::unix_time64: return QStringLiteral("Unix Time64");
    }
    return QString();
}

bool ValueDecoder::has_byte_order(Type type)
{
    return fixed_size(type) > 1;
}

int ValueDecoder::size(Type type, const QByteArray &bytes)
{
    const int fixed = fixed_size(type);
    if (fixed > 0)
        return bytes.size() >= fixed ? fixed : 0;
    if (type == Type::ascii)
        return int(qMin<qsizetype>(bytes.size(), max_bytes));
    return utf8_size(bytes);
}

QString ValueDecoder::decode(Type type, const QByteArray &bytes, bool little_endian)
{
    const int count = size(type, bytes);
    if (count == 0)
        return QString();
    const quint64 raw = fixed_size(type) > 0 ? unsigned_value(bytes, count, little_endian) : 0;
    switch (type) {
    case Type::int8:
    case Type::int16:
    case Type::int32:
    case Type::int64:
        return QString::number(signed_value(raw, count));
    case Type::uint8:
    case Type::uint16:
    case Type::uint32:
    case Type::uint64:
        return QString::number(raw);
    case Type::float32: {
        const quint32 bits = quint32(raw);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return QString::number(double(value), 'g', 9);
    }
    case Type::float64: {
        double value;
        std::memcpy(&value, &raw, sizeof value);
        return QString::number(value, 'g', 17);
    }
    case Type::binary:
        return QStringLiteral("%1").arg(raw, 8, 2, QLatin1Char('0'));
    case Type::ascii: {
        QString text(count, QLatin1Char('.'));
        for (int i = 0; i < count; ++i) {
            const quint8 byte = quint8(bytes.at(i));
            if (byte >= 0x20 && byte <= 0x7E)
                text[i] = QLatin1Char(char(byte));
        }
        return text;
    }
    case Type::utf8: {
        QString text = QString::fromUtf8(bytes.left(count));
        for (QChar &c : text)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('.');
        return text;
    }
    case Type::unix_time32:
    case Type::unix_time64:
        return unix_time(signed_value(raw, count));
    }
    return QString();
}
