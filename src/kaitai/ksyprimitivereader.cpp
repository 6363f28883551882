#include "kaitai/ksyprimitivereader.h"

#include "kaitai/ksyattribute.h"
#include "kaitai/ksyevaluator.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytype.h"

#include <cstring>

bool KsyPrimitiveReader::read_number(KsyStream *io, const KsyPrimitive &p, bool little, KsyValue *out)
{
    quint64 u = 0;
    if (!io->read_uint(p.size, little, &u))
        return false;
    if (p.kind == KsyPrimitive::Kind::floating) {
        if (p.size == 4) {
            float f;
            const quint32 u32 = quint32(u);
            std::memcpy(&f, &u32, 4);
            *out = KsyValue::from_float(f);
        } else {
            double d;
            std::memcpy(&d, &u, 8);
            *out = KsyValue::from_float(d);
        }
    } else if (p.is_signed) {
        const int shift = 64 - 8 * p.size;
        *out = KsyValue::from_int(qint64(u << shift) >> shift);
    } else {
        *out = KsyValue::from_uint(u);
    }
    return true;
}

bool KsyPrimitiveReader::read_bits(KsyStream *io, const KsyPrimitive &p, bool little, bool as_integer,
                                   KsyValue *out)
{
    quint64 u = 0;
    if (!io->read_bits(p.size, !little, &u))
        return false;
    *out = p.size == 1 && !as_integer ? KsyValue::from_bool(u != 0) : KsyValue::from_uint(u);
    return true;
}

QByteArray KsyPrimitiveReader::terminator(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type)
{
    if (attr.terminator >= 0)
        return QByteArray(1, char(attr.terminator));
    if (p.kind != KsyPrimitive::Kind::strz)
        return QByteArray();
    QString encoding = encoding_of(attr, type).toUpper();
    encoding.remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    if (encoding.startsWith(QLatin1String("UTF16")) || encoding.startsWith(QLatin1String("UCS2")))
        return QByteArray(2, '\0');
    if (encoding.startsWith(QLatin1String("UTF32")) || encoding.startsWith(QLatin1String("UCS4")))
        return QByteArray(4, '\0');
    return QByteArray(1, '\0');
}

void KsyPrimitiveReader::trim_sized(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type,
                                    QByteArray *data)
{
    if (attr.pad_right >= 0) {
        while (!data->isEmpty() && quint8(data->back()) == attr.pad_right)
            data->chop(1);
    }
    const QByteArray unit = terminator(attr, p, type);
    if (unit.isEmpty())
        return;
    for (qsizetype at = 0; at + unit.size() <= data->size(); at += unit.size()) {
        if (QByteArrayView(*data).sliced(at, unit.size()) == unit) {
            data->truncate(at + (attr.include ? unit.size() : 0));
            return;
        }
    }
}

QString KsyPrimitiveReader::encoding_of(const KsyAttribute &attr, const KsyType *type)
{
    if (!attr.encoding.isEmpty())
        return attr.encoding;
    for (const KsyType *t = type; t; t = t->parent) {
        if (!t->encoding.isEmpty())
            return t->encoding;
    }
    return QStringLiteral("UTF-8");
}

KsyValue KsyPrimitiveReader::finish(const KsyAttribute &attr, const KsyPrimitive &p, const KsyType *type,
                                    const QByteArray &data)
{
    if (p.kind == KsyPrimitive::Kind::bytes)
        return KsyValue::from_bytes(data);
    return KsyEvaluator::decode(data, encoding_of(attr, type));
}
