#include "kaitai/ksyevaluator.h"

#include "kaitai/ksycontext.h"
#include "kaitai/ksystream.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace {

using Kind = KsyValue::Kind;

KsyValue type_error(const QString &op, const KsyValue &a, const KsyValue &b)
{
    return KsyValue::error(KsyEvaluator::tr("cannot apply '%1' to %2 and %3")
                               .arg(op, KsyValue::kind_name(a.kind()), KsyValue::kind_name(b.kind())));
}

KsyValue integer_op(const QString &op, __int128 a, __int128 b)
{
    const QChar c = op.at(0);
    if (op == QLatin1String("<<") || op == QLatin1String(">>")) {
        if (b < 0 || b > 63)
            return KsyValue::error(KsyEvaluator::tr("shift by %1 out of range").arg(qint64(b)));
        if (op == QLatin1String(">>"))
            return KsyValue::from_wide(a >> int(b));
        // Kaitai's shifts wrap at 64 bits like the targets' integers.
        return KsyValue::from_wide(qint64(quint64(a) << int(b)));
    }
    switch (c.unicode()) {
    case '+': return KsyValue::from_wide(a + b);
    case '-': return KsyValue::from_wide(a - b);
    case '*': {
        __int128 product = 0;
        if (__builtin_mul_overflow(a, b, &product))
            return KsyValue::error(KsyEvaluator::tr("integer overflow"));
        return KsyValue::from_wide(product);
    }
    case '/': {
        if (b == 0)
            return KsyValue::error(KsyEvaluator::tr("division by zero"));
        __int128 q = a / b;
        if ((a % b != 0) && ((a < 0) != (b < 0)))
            --q; // floor division
        return KsyValue::from_wide(q);
    }
    case '%': {
        if (b == 0)
            return KsyValue::error(KsyEvaluator::tr("division by zero"));
        __int128 r = a % b;
        if (r < 0 && b > 0)
            r += b;
        return KsyValue::from_wide(r);
    }
    case '&': return KsyValue::from_wide(a & b);
    case '|': return KsyValue::from_wide(a | b);
    case '^': return KsyValue::from_wide(a ^ b);
    }
    return KsyValue::error(KsyEvaluator::tr("unknown operator '%1'").arg(op));
}

qint64 bytes_compare(const QByteArray &a, const QByteArray &b)
{
    const int n = int(std::min(a.size(), b.size()));
    for (int i = 0; i < n; ++i) {
        const int d = int(quint8(a[i])) - int(quint8(b[i]));
        if (d)
            return d;
    }
    return qint64(a.size()) - qint64(b.size());
}

} // namespace

KsyValue KsyEvaluator::decode(const QByteArray &bytes, const QString &encoding)
{
    // The names most strings are read in, without looking them up each time.
    if (encoding == QLatin1String("UTF-8"))
        return KsyValue::from_string(QStringDecoder(QStringConverter::Utf8).decode(bytes));
    if (encoding == QLatin1String("ASCII"))
        return KsyValue::from_string(QString::fromLatin1(bytes));
    const QString e = encoding.toUpper().remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    if (e == QLatin1String("ASCII") || e == QLatin1String("USASCII"))
        return KsyValue::from_string(QString::fromLatin1(bytes));
    QStringDecoder decoder(encoding.toLatin1().constData());
    if (!decoder.isValid())
        return KsyValue::error(tr("unknown encoding '%1'").arg(encoding));
    QString text = decoder.decode(bytes);
    // A unit cut short at the end (one byte of UTF-16) shows as a
    // replacement character, as the reference decodes it.
    if (e.startsWith(QLatin1String("UTF16")) && bytes.size() % 2 != 0)
        text += QChar(QChar::ReplacementCharacter);
    return KsyValue::from_string(text);
}

KsyValue KsyEvaluator::equals(const KsyValue &a, const KsyValue &b)
{
    if (a.is_error())
        return a;
    if (b.is_error())
        return b;
    if (a.kind() == Kind::boolean && b.kind() == Kind::boolean)
        return KsyValue::from_bool(a.to_bool() == b.to_bool());
    QString error;
    const int c = compare(a, b, &error);
    if (!error.isEmpty())
        return KsyValue::error(error);
    return KsyValue::from_bool(c == 0);
}

int KsyEvaluator::compare(const KsyValue &a, const KsyValue &b, QString *error)
{
    const bool a_int = a.kind() == Kind::integer || a.kind() == Kind::enumeration;
    const bool b_int = b.kind() == Kind::integer || b.kind() == Kind::enumeration;
    if (a_int && b_int)
        return a.wide() < b.wide() ? -1 : a.wide() > b.wide() ? 1 : 0;
    if (a.is_number() && b.is_number()) {
        const double x = a.to_float();
        const double y = b.to_float();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.kind() == Kind::string && b.kind() == Kind::string)
        return a.text().compare(b.text());
    if (a.kind() == Kind::bytes && b.kind() == Kind::bytes) {
        if (!a.bytes_complete() || !b.bytes_complete()) {
            *error = tr("bytes too long to compare");
            return 0;
        }
        const qint64 d = bytes_compare(a.all_bytes(), b.all_bytes());
        return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    if (a.kind() == Kind::boolean && b.kind() == Kind::boolean)
        return int(a.to_bool()) - int(b.to_bool());
    if (a.kind() == Kind::object && b.kind() == Kind::object)
        return a.object() == b.object() ? 0 : 1;
    *error = tr("cannot compare %1 with %2").arg(KsyValue::kind_name(a.kind()), KsyValue::kind_name(b.kind()));
    return 0;
}

KsyValue KsyEvaluator::binary(const QString &op, const KsyValue &a, const KsyValue &b)
{
    if (a.is_error())
        return a;
    if (b.is_error())
        return b;
    if (op == QLatin1String("==") || op == QLatin1String("!=")) {
        const KsyValue eq = equals(a, b);
        if (eq.is_error() || op == QLatin1String("=="))
            return eq;
        return KsyValue::from_bool(!eq.to_bool());
    }
    if (op == QLatin1String("<") || op == QLatin1String("<=") || op == QLatin1String(">")
        || op == QLatin1String(">=")) {
        QString error;
        const int c = compare(a, b, &error);
        if (!error.isEmpty())
            return KsyValue::error(error);
        if (op == QLatin1String("<"))
            return KsyValue::from_bool(c < 0);
        if (op == QLatin1String("<="))
            return KsyValue::from_bool(c <= 0);
        if (op == QLatin1String(">"))
            return KsyValue::from_bool(c > 0);
        return KsyValue::from_bool(c >= 0);
    }
    if (op == QLatin1String("+") && a.kind() == Kind::string && b.kind() == Kind::string)
        return KsyValue::from_string(a.text() + b.text());
    if (op == QLatin1String("+") && a.kind() == Kind::bytes && b.kind() == Kind::bytes)
        return KsyValue::from_bytes(a.all_bytes() + b.all_bytes());
    const bool ints = a.kind() == Kind::integer && b.kind() == Kind::integer;
    const bool bools = a.kind() == Kind::boolean && b.kind() == Kind::boolean;
    if (bools && (op == QLatin1String("&") || op == QLatin1String("|") || op == QLatin1String("^"))) {
        const KsyValue r = integer_op(op, a.wide(), b.wide());
        return KsyValue::from_bool(r.to_bool());
    }
    if (ints)
        return integer_op(op, a.wide(), b.wide());
    if (a.is_number() && b.is_number()) {
        const double x = a.to_float();
        const double y = b.to_float();
        switch (op.at(0).unicode()) {
        case '+': return KsyValue::from_float(x + y);
        case '-': return KsyValue::from_float(x - y);
        case '*': return KsyValue::from_float(x * y);
        case '/': return KsyValue::from_float(x / y);
        case '%': {
            double r = std::fmod(x, y);
            if (r < 0 && y > 0)
                r += y;
            return KsyValue::from_float(r);
        }
        }
    }
    return type_error(op, a, b);
}

KsyValue KsyEvaluator::evaluate(const KsyExpression &expression)
{
    return evaluate(expression.root());
}

KsyValue KsyEvaluator::evaluate(const KsyExpression::Node &node)
{
    using Op = KsyExpression::Node::Op;
    switch (node.op) {
    case Op::literal:
        return node.value;
    case Op::name:
        return m_context->name(node.name);
    case Op::enum_ref:
        return m_context->enum_value(node.path);
    case Op::size_of: {
        const bool bits = node.name.startsWith(QLatin1String("bit:"));
        return m_context->type_size(bits ? node.name.mid(4) : node.name, bits);
    }
    case Op::member: {
        const KsyExpression::Node &target = *node.args[0];
        if (node.name == QLatin1String("_sizeof")) {
            // A field's size, asked through its owner rather than its value.
            if (target.op == Op::name && !target.name.startsWith(QLatin1Char('_')))
                return m_context->field_size(KsyValue(), target.name);
            if (target.op == Op::member && !target.name.startsWith(QLatin1Char('_'))) {
                const KsyValue owner = evaluate(*target.args[0]);
                if (owner.is_error())
                    return owner;
                return m_context->field_size(owner, target.name);
            }
        }
        const KsyValue value = evaluate(target);
        if (value.is_error())
            return value;
        return method(value, node.name, {});
    }
    case Op::call: {
        const KsyValue value = evaluate(*node.args[0]);
        if (value.is_error())
            return value;
        std::vector<KsyValue> args;
        for (size_t i = 1; i < node.args.size(); ++i) {
            args.push_back(evaluate(*node.args[i]));
            if (args.back().is_error())
                return args.back();
        }
        return method(value, node.name, args);
    }
    case Op::cast:
        // Values carry their own type; a cast only states what the author expects.
        return evaluate(*node.args[0]);
    case Op::index: {
        const KsyValue target = evaluate(*node.args[0]);
        const KsyValue at = evaluate(*node.args[1]);
        if (target.is_error())
            return target;
        if (at.is_error())
            return at;
        if (!at.is_integer())
            return KsyValue::error(tr("index is not an integer"));
        const qint64 i = at.to_int();
        if (target.kind() == Kind::array) {
            if (i < 0 || i >= qint64(target.array().size()))
                return KsyValue::error(tr("index %1 out of range (size %2)").arg(i).arg(target.array().size()));
            return target.array()[size_t(i)];
        }
        if (target.kind() == Kind::bytes) {
            if (i >= 0 && i < target.bytes().size())
                return KsyValue::from_int(quint8(target.bytes()[i]));
            const QByteArray all = target.all_bytes();
            if (i < 0 || i >= all.size())
                return KsyValue::error(tr("index %1 out of range (size %2)").arg(i).arg(target.bytes_length()));
            return KsyValue::from_int(quint8(all[i]));
        }
        return KsyValue::error(tr("cannot index %1").arg(KsyValue::kind_name(target.kind())));
    }
    case Op::unary: {
        const KsyValue a = evaluate(*node.args[0]);
        if (a.is_error())
            return a;
        if (node.name == QLatin1String("not")) {
            if (a.kind() != Kind::boolean)
                return KsyValue::error(tr("'not' needs a boolean, not %1").arg(KsyValue::kind_name(a.kind())));
            return KsyValue::from_bool(!a.to_bool());
        }
        if (node.name == QLatin1String("-")) {
            if (a.kind() == Kind::floating)
                return KsyValue::from_float(-a.to_float());
            if (a.is_integer())
                return KsyValue::from_wide(-a.wide());
        }
        if (node.name == QLatin1String("~") && a.is_integer())
            return KsyValue::from_int(~a.to_int());
        return KsyValue::error(tr("cannot apply '%1' to %2").arg(node.name, KsyValue::kind_name(a.kind())));
    }
    case Op::binary: {
        const KsyValue a = evaluate(*node.args[0]);
        if (a.is_error())
            return a;
        if (node.name == QLatin1String("and") || node.name == QLatin1String("or")) {
            if (a.kind() != Kind::boolean)
                return KsyValue::error(tr("'%1' needs booleans, not %2").arg(node.name, KsyValue::kind_name(a.kind())));
            const bool is_and = node.name == QLatin1String("and");
            if (a.to_bool() != is_and)
                return a;
            const KsyValue b = evaluate(*node.args[1]);
            if (!b.is_error() && b.kind() != Kind::boolean)
                return KsyValue::error(tr("'%1' needs booleans, not %2").arg(node.name, KsyValue::kind_name(b.kind())));
            return b;
        }
        return binary(node.name, a, evaluate(*node.args[1]));
    }
    case Op::ternary: {
        const KsyValue c = evaluate(*node.args[0]);
        if (c.is_error())
            return c;
        if (c.kind() != Kind::boolean)
            return KsyValue::error(tr("condition is %1, not a boolean").arg(KsyValue::kind_name(c.kind())));
        return evaluate(*node.args[c.to_bool() ? 1 : 2]);
    }
    case Op::array: {
        // A list of small integers is a byte array, as in `contents`.
        std::vector<KsyValue> items;
        bool all_bytes = !node.args.empty();
        for (const auto &arg : node.args) {
            items.push_back(evaluate(*arg));
            if (items.back().is_error())
                return items.back();
            all_bytes = all_bytes && items.back().is_integer() && items.back().to_int() >= 0
                && items.back().to_int() <= 255;
        }
        if (all_bytes) {
            QByteArray bytes;
            for (const KsyValue &v : items)
                bytes.append(char(v.to_int()));
            return KsyValue::from_bytes(bytes);
        }
        return KsyValue::from_array(std::move(items));
    }
    }
    return KsyValue::error(tr("bad expression"));
}

KsyValue KsyEvaluator::method(const KsyValue &target, const QString &name, const std::vector<KsyValue> &args)
{
    const Kind kind = target.kind();
    const auto is = [&name](const char *n) { return name == QLatin1String(n); };
    if (kind == Kind::object)
        return m_context->member(target, name);
    if (kind == Kind::stream && target.stream()) {
        const KsyStream &s = *target.stream();
        if (is("pos"))
            return KsyValue::from_int(s.pos());
        if (is("size"))
            return KsyValue::from_int(s.size());
        if (is("eof"))
            return KsyValue::from_bool(s.is_eof());
    }
    if (is("to_i")) {
        if (kind == Kind::integer || kind == Kind::enumeration || kind == Kind::boolean)
            return KsyValue::from_wide(target.wide());
        if (kind == Kind::floating)
            return KsyValue::from_int(qint64(std::trunc(target.to_float())));
        if (kind == Kind::string) {
            const int radix = args.empty() ? 10 : int(args[0].to_int());
            bool ok = false;
            const qint64 v = target.text().toLongLong(&ok, radix);
            if (!ok)
                return KsyValue::error(tr("'%1' is not a number in base %2").arg(target.text()).arg(radix));
            return KsyValue::from_int(v);
        }
    }
    if (is("to_s")) {
        if (kind == Kind::integer)
            return KsyValue::from_string(target.display());
        if (kind == Kind::string)
            return target;
        if (kind == Kind::bytes) {
            if (args.empty() || args[0].kind() != Kind::string)
                return KsyValue::error(tr("to_s on bytes needs an encoding"));
            return decode(target.all_bytes(), args[0].text());
        }
    }
    if (is("to_f") && target.is_number())
        return KsyValue::from_float(target.to_float());
    if (is("length") || is("size")) {
        if (kind == Kind::string)
            return KsyValue::from_int(target.text().size());
        if (kind == Kind::bytes)
            return KsyValue::from_int(target.bytes_length());
        if (kind == Kind::array)
            return KsyValue::from_int(qint64(target.array().size()));
    }
    if (is("reverse")) {
        if (kind == Kind::string) {
            QString r = target.text();
            std::reverse(r.begin(), r.end());
            return KsyValue::from_string(r);
        }
        if (kind == Kind::bytes && target.bytes_complete()) {
            QByteArray r = target.all_bytes();
            std::reverse(r.begin(), r.end());
            return KsyValue::from_bytes(r);
        }
        if (kind == Kind::array) {
            std::vector<KsyValue> r = target.array();
            std::reverse(r.begin(), r.end());
            return KsyValue::from_array(std::move(r));
        }
    }
    if (is("substring") && kind == Kind::string) {
        if (args.size() != 2 || !args[0].is_integer() || !args[1].is_integer())
            return KsyValue::error(tr("substring needs two integers"));
        const qint64 from = std::clamp<qint64>(args[0].to_int(), 0, target.text().size());
        const qint64 to = std::clamp<qint64>(args[1].to_int(), from, target.text().size());
        return KsyValue::from_string(target.text().mid(from, to - from));
    }
    if ((is("first") || is("last") || is("min") || is("max")) && (kind == Kind::array || kind == Kind::bytes)) {
        // An array is looked at where it is: `entries.last` in a repeat is
        // asked once per element.
        std::vector<KsyValue> byte_items;
        if (kind == Kind::bytes) {
            if (!target.bytes_complete())
                return KsyValue::error(tr("bytes too long to use"));
            const QByteArray all = target.all_bytes();
            for (char c : all)
                byte_items.push_back(KsyValue::from_int(quint8(c)));
        }
        const std::vector<KsyValue> &items = kind == Kind::array ? target.array() : byte_items;
        if (items.empty())
            return KsyValue::error(tr("%1 of an empty %2").arg(name, KsyValue::kind_name(kind)));
        if (is("first"))
            return items.front();
        if (is("last"))
            return items.back();
        KsyValue best = items.front();
        for (const KsyValue &v : items) {
            QString error;
            const int c = compare(v, best, &error);
            if (!error.isEmpty())
                return KsyValue::error(error);
            if (is("min") ? c < 0 : c > 0)
                best = v;
        }
        return best;
    }
    return KsyValue::error(tr("%1 has no '%2'").arg(KsyValue::kind_name(kind), name));
}
