#include "kaitai/ksyitem.h"

#include "kaitai/ksyattribute.h"
#include "kaitai/ksytype.h"

QString KsyItem::name() const
{
    const QString &id = attr ? attr->id : is_struct ? m_user_type->name : QString();
    if (index < 0)
        return id;
    // One allocation: every element of an array is named when shown.
    const QString number = QString::number(index);
    QString text;
    text.reserve(id.size() + number.size() + 2);
    text.append(id).append(QLatin1Char('[')).append(number).append(QLatin1Char(']'));
    return text;
}

const QString &KsyItem::doc() const
{
    static const QString none;
    if (attr && !attr->doc.isEmpty())
        return attr->doc;
    return is_struct ? m_user_type->doc : none;
}

QString KsyItem::type() const
{
    if (is_struct)
        return m_user_type->name;
    if (is_array)
        return QStringLiteral("array");
    if (kind_known && kind != KsyValue::Kind::object)
        return KsyValue::kind_name(kind);
    return QString();
}

QString KsyItem::value() const
{
    if (!is_scalar)
        return QString();
    if (kind_known && kind == KsyValue::Kind::integer)
        return number_unsigned ? QString::number(quint64(number)) : QString::number(number);
    if (kind_known && kind == KsyValue::Kind::boolean)
        return number ? QStringLiteral("true") : QStringLiteral("false");
    return text;
}

void KsyItem::set_value(const KsyValue &value)
{
    kind = value.kind();
    kind_known = true;
    // A struct's type stays where a number would be.
    if (is_struct)
        return;
    if (kind == KsyValue::Kind::integer || kind == KsyValue::Kind::boolean) {
        number = value.to_int();
        number_unsigned = value.is_unsigned();
    } else if (kind != KsyValue::Kind::object) {
        // A struct's text is its representation, set as it was read.
        text = value.display();
    }
}
