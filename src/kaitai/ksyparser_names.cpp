#include "kaitai/ksyparser.h"

#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyexpression.h"
#include "kaitai/ksyprimitive.h"
#include "kaitai/ksyobject.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytemplate.h"

// What expressions see: evaluation in the current scope and the names it
// answers (fields, instances computed on demand, _root, _parent, _io, ...).

QString KsyParser::represent(KsyObject *object)
{
    // Integers show in hexadecimal unless asked for decimal, strings without
    // quotes, enums by name.
    const KsyType *type = object->type;
    const Scope saved = m_scope;
    m_scope = Scope { object };
    QString text;
    for (const KsyType::RepresentationPart &part : type->representation_parts) {
        text += part.literal;
        const KsyValue v = eval_value(part.field);
        if (v.is_error()) {
            m_scope = saved;
            return QString();
        }
        if (v.kind() == KsyValue::Kind::integer)
            text += part.format == QLatin1String("dec")
                ? QString::number(v.to_int())
                : QStringLiteral("0x") + QString::number(v.to_int(), 16).toUpper();
        else if (v.kind() == KsyValue::Kind::string || v.kind() == KsyValue::Kind::enumeration)
            text += v.text().isEmpty() ? v.display() : v.text();
        else if (v.object())
            text += v.object()->type->name;
        else
            text += v.display();
    }
    if (!text.isEmpty() || type->representation_parts.empty())
        text += type->representation_tail;
    m_scope = saved;
    return text;
}

bool KsyParser::eval(const KsyTemplateExpression &expression, KsyValue *out)
{
    *out = eval_value(expression);
    if (out->is_error())
        return stop(out->text());
    return true;
}

KsyValue KsyParser::eval_value(const KsyTemplateExpression &expression)
{
    const QString &text = expression.text;
    if (!expression.parsed) {
        // A mistake of the template, not of the data: no instance may
        // skip it. The text is cut short, as it may be of any length.
        const QString shown = text.size() > 80 ? text.left(77) + QStringLiteral("...") : text;
        const QString message = tr("cannot read expression '%1': %2").arg(shown, expression.error);
        stop(message, true);
        return KsyValue::error(message);
    }
    KsyEvaluator evaluator(this);
    KsyValue v = evaluator.evaluate(*expression.parsed);
    if (v.is_error() && !v.text().endsWith(QLatin1Char('\'')))
        return KsyValue::error(tr("%1 in '%2'").arg(v.text(), text.trimmed()));
    return v;
}

bool KsyParser::eval_int(const KsyTemplateExpression &expression, qint64 *out)
{
    KsyValue v;
    if (!eval(expression, &v))
        return false;
    if (v.kind() != KsyValue::Kind::integer && v.kind() != KsyValue::Kind::enumeration)
        return stop(tr("'%1' is %2, not an integer").arg(expression.text, KsyValue::kind_name(v.kind())));
    if (v.is_unsigned())
        return stop(tr("'%1' is too large").arg(expression.text));
    *out = v.to_int();
    return true;
}

bool KsyParser::eval_bool(const KsyTemplateExpression &expression, bool *out)
{
    KsyValue v;
    if (!eval(expression, &v))
        return false;
    if (v.kind() != KsyValue::Kind::boolean)
        return stop(tr("'%1' is %2, not a boolean").arg(expression.text, KsyValue::kind_name(v.kind())));
    *out = v.to_bool();
    return true;
}

KsyValue KsyParser::name(const QString &name)
{
    if (name.startsWith(QLatin1Char('_'))) {
        if (name == QLatin1String("_index")) {
            if (m_scope.index < 0)
                return KsyValue::error(tr("_index outside a repeated field"));
            return KsyValue::from_int(m_scope.index);
        }
        if (name == QLatin1String("_")) {
            if (!m_scope.current)
                return KsyValue::error(tr("'_' outside repeat-until or valid"));
            return *m_scope.current;
        }
    }
    if (!m_scope.object)
        return KsyValue::error(tr("unknown name '%1'").arg(name));
    return lookup(m_scope.object, name);
}

KsyValue KsyParser::member(const KsyValue &object, const QString &name)
{
    if (!object.object())
        return KsyValue::error(tr("no struct for '%1'").arg(name));
    return lookup(object.object().get(), name);
}

KsyValue KsyParser::lookup(KsyObject *object, const QString &name)
{
    if (name.startsWith(QLatin1Char('_'))) {
        if (name == QLatin1String("_root"))
            return KsyValue::from_object(m_objects.front());
        if (name == QLatin1String("_parent")) {
            if (!object->parent)
                return KsyValue::error(tr("_parent of the top level"));
            return KsyValue::from_object(object->parent_ref.lock());
        }
        if (name == QLatin1String("_io"))
            return KsyValue::from_stream(object->io);
        if (name == QLatin1String("_sizeof"))
            return KsyValue::from_int((object->end > object->start ? object->end : object->io->pos()) - object->start);
    }
    if (const KsyObject::Field *f = object->field(name)) {
        if (f->value.is_none())
            return KsyValue::error(tr("'%1' has no value").arg(name));
        return f->value;
    }
    if (const KsyAttribute *instance = object->type->instance(name)) {
        if (!compute_instance(object, *instance)) {
            const QString reason = m_result.reason;
            return KsyValue::error(tr("instance '%1': %2").arg(name, reason));
        }
        const KsyObject::Field *f = object->field(name);
        const KsyValue v = f ? f->value : KsyValue();
        if (v.is_none())
            return KsyValue::error(tr("'%1' has no value").arg(name));
        return v;
    }
    if (object->type->has_field(name))
        return KsyValue::error(tr("'%1' has no value").arg(name));
    return KsyValue::error(tr("unknown name '%1'").arg(name));
}

KsyValue KsyParser::field_size(const KsyValue &owner, const QString &field)
{
    KsyObject *object = owner.is_none() ? m_scope.object : owner.object().get();
    if (!object)
        return KsyValue::error(tr("no struct for '%1._sizeof'").arg(field));
    const KsyObject::Field *f = object->field(field);
    if (f && f->start >= 0)
        return KsyValue::from_int(f->end - f->start);
    const KsyValue v = lookup(object, field);
    if (v.object())
        return lookup(v.object().get(), QStringLiteral("_sizeof"));
    return KsyValue::error(tr("'%1' has no size").arg(field));
}

KsyValue KsyParser::enum_value(const QStringList &path)
{
    if (!m_scope.object)
        return enum_value_of(path);
    const auto key = qMakePair(m_scope.object->type, &path);
    auto known = m_enum_values.constFind(key);
    if (known == m_enum_values.constEnd())
        known = m_enum_values.insert(key, enum_value_of(path));
    return *known;
}

KsyValue KsyParser::enum_value_of(const QStringList &path)
{
    if (path.size() < 2 || !m_scope.object)
        return KsyValue::error(tr("bad enum reference '%1'").arg(path.join(QStringLiteral("::"))));
    const QString enum_name = path.size() == 2 ? path.first() : path.mid(0, path.size() - 1).join(QStringLiteral("::"));
    // Looked up once per type that names it: expressions name enums often.
    const auto key = qMakePair(m_scope.object->type, enum_name);
    auto known = m_enums.constFind(key);
    if (known == m_enums.constEnd())
        known = m_enums.insert(key, KsyTemplate::find_enum(m_scope.object->type, enum_name));
    const KsyEnum *e = *known;
    if (!e)
        return KsyValue::error(tr("unknown enum '%1'").arg(enum_name));
    auto it = e->values.constFind(path.last());
    if (it == e->values.constEnd())
        return KsyValue::error(tr("enum '%1' has no '%2'").arg(enum_name, path.last()));
    return KsyValue::from_enum(e, *it);
}

KsyValue KsyParser::type_size(const QString &type, bool bits)
{
    qint64 size_bits = KsyPrimitive::of(type).bits();
    if (size_bits < 0) {
        // A user type has a size when every field has a fixed one.
        const KsyType *t = m_scope.object ? KsyTemplate::find_type(m_scope.object->type, type) : nullptr;
        if (!t)
            return KsyValue::error(tr("unknown type '%1'").arg(type));
        size_bits = 0;
        for (const KsyAttribute &a : t->seq) {
            if (a.repeat != KsyAttribute::Repeat::none || !a.if_expr.is_empty() || !a.switch_on.is_empty())
                return KsyValue::error(tr("sizeof<%1> is not fixed").arg(type));
            bool fixed = false;
            const qint64 literal = a.size.text.toLongLong(&fixed, 0);
            if (a.has_contents) {
                size_bits += a.contents.size() * 8;
            } else if (fixed) {
                size_bits += literal * 8;
            } else {
                const KsyValue s = type_size(a.type.text, true);
                if (s.is_error() || a.type.is_empty())
                    return KsyValue::error(tr("sizeof<%1> is not fixed").arg(type));
                size_bits += s.to_int();
            }
        }
    }
    return KsyValue::from_int(bits ? size_bits : (size_bits + 7) / 8);
}

