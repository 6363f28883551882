#include "kaitai/ksyprimitive.h"

KsyPrimitive KsyPrimitive::of(const QString &type)
{
    KsyPrimitive b;
    if (type.isEmpty()) {
        b.kind = Kind::bytes;
        return b;
    }
    if (type == QLatin1String("str")) {
        b.kind = Kind::str;
        return b;
    }
    if (type == QLatin1String("strz")) {
        b.kind = Kind::strz;
        return b;
    }
    // A letter, digits, maybe an endian.
    const QChar k = type.at(0);
    if (k != QLatin1Char('u') && k != QLatin1Char('s') && k != QLatin1Char('f') && k != QLatin1Char('b'))
        return b;
    qsizetype digits_end = 1;
    while (digits_end < type.size() && type.at(digits_end).isDigit() && type.at(digits_end).unicode() < 0x80)
        ++digits_end;
    const qsizetype digits = digits_end - 1;
    const QStringView suffix = QStringView(type).mid(digits_end);
    const bool has_suffix = suffix == QLatin1String("le") || suffix == QLatin1String("be");
    if (digits == 0 || (!suffix.isEmpty() && !has_suffix))
        return b;
    if (k == QLatin1Char('b')) {
        const int count = digits > 9 ? 0 : QStringView(type).mid(1, digits).toInt();
        if (count < 1 || count > 64)
            return b;
        b.kind = Kind::bits;
        b.size = count;
    } else {
        if (digits != 1)
            return b;
        const int size = type.at(1).digitValue();
        const bool valid = k == QLatin1Char('f') ? (size == 4 || size == 8)
                                                 : (size == 1 || size == 2 || size == 4 || size == 8);
        if (!valid)
            return b;
        b.kind = k == QLatin1Char('f') ? Kind::floating : Kind::integer;
        b.size = size;
        b.is_signed = k == QLatin1Char('s');
    }
    if (has_suffix)
        b.little = suffix == QLatin1String("le") ? 1 : 0;
    return b;
}

int KsyPrimitive::bits() const
{
    if (kind == Kind::integer || kind == Kind::floating)
        return size * 8;
    if (kind == Kind::bits)
        return size;
    return -1;
}
