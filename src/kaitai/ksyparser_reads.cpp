#include "kaitai/ksyparser.h"

#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyobject.h"
#include "kaitai/ksyprimitivereader.h"
#include "kaitai/ksyprocessregistry.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytemplate.h"

// Reading one field's value: contents, switched types, primitives (through
// KsyPrimitiveReader), sized and terminated fields, processed data, user
// types and the `valid` checks on what was read.

namespace {

// Bytes of a field kept for expressions; longer fields keep only a head for
// display (their length stays exact).
constexpr qint64 kept_bytes = 1 << 20;
// A bytes field of the file longer than this holds its head only, and is
// read again when an expression needs the rest.
constexpr qint64 held_bytes = 256;
constexpr qint64 head_bytes = 64;

const KsyType *top_type(const KsyType *type)
{
    while (type->parent)
        type = type->parent;
    return type;
}

QString hex_of(const QByteArray &bytes)
{
    return QLatin1Char('[') + QString::fromLatin1(bytes.left(16).toHex(' ').toUpper())
        + (bytes.size() > 16 ? QStringLiteral(" …]") : QStringLiteral("]"));
}

// The markup's value type of a built-in number; false for none (no such size).
bool value_type_of(const KsyPrimitive &b, ValueDecoder::Type *type)
{
    using T = ValueDecoder::Type;
    const bool floating = b.kind == KsyPrimitive::Kind::floating;
    switch (b.size) {
    case 1: *type = b.is_signed ? T::int8 : T::uint8; return !floating;
    case 2: *type = b.is_signed ? T::int16 : T::uint16; return !floating;
    case 4: *type = floating ? T::float32 : b.is_signed ? T::int32 : T::uint32; return true;
    case 8: *type = floating ? T::float64 : b.is_signed ? T::int64 : T::uint64; return true;
    }
    return false;
}

// The type a field reads when no case of its switch matches and it has no default.
const KsyCall no_type;

} // namespace

bool KsyParser::read_value(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                           KsyItem *item, KsyValue *out)
{
    if (attr.has_contents) {
        QByteArray got;
        const qint64 n = attr.contents.size();
        if (!io->read(n, &got))
            return refuse(tr("end of data: %1 bytes of contents needed, %2 left").arg(n).arg(io->remaining()));
        if (got != attr.contents)
            return refuse(tr("contents %1 expected, %2 found").arg(hex_of(attr.contents), hex_of(got)));
        ++m_result.checks_passed;
        *out = KsyValue::from_bytes(got);
        return true;
    }

    const KsyCall *type = &attr.type;
    if (!attr.switch_on.is_empty()) {
        KsyValue on;
        if (!eval(attr.switch_on, &on))
            return false;
        type = &no_type;
        for (const auto &c : attr.cases) {
            if (c.first.text == QLatin1String("_")) {
                type = &c.second;
                continue;
            }
            const KsyValue same = KsyEvaluator::equals(on, eval_value(c.first));
            if (same.is_error())
                return stop(same.text());
            if (same.to_bool()) {
                type = &c.second;
                break;
            }
        }
    }

    if (!attr.switch_on.is_empty() && type->is_empty() && attr.size.is_empty() && !attr.size_eos
        && attr.terminator < 0) {
        // No case matched and there is no default: nothing is read.
        *out = KsyValue();
        return true;
    }
    const KsyPrimitive &b = type->primitive;
    if (b.kind == KsyPrimitive::Kind::integer || b.kind == KsyPrimitive::Kind::floating) {
        bool little = b.little == 1;
        if (b.little < 0 && b.size > 1) {
            if (!object->endian_known)
                return stop(tr("no endianness for '%1'").arg(type->text));
            little = object->little_endian;
        }
        if (!KsyPrimitiveReader::read_number(io.get(), b, little, out))
            return stop(tr("end of data: %1 needs %2 bytes, %3 left").arg(type->text).arg(b.size).arg(io->remaining()));
        // Its markup reads the bytes as they were read here.
        item->has_value_type = io->in_file() && value_type_of(b, &item->value_type);
        item->value_little_endian = little;
    } else if (b.kind == KsyPrimitive::Kind::bits) {
        const bool little = b.little >= 0 ? b.little == 1 : object->bits_little_endian;
        if (!KsyPrimitiveReader::read_bits(io.get(), b, little, !attr.enum_name.isEmpty(), out))
            return stop(tr("end of data: %1 needs %2 bits").arg(type->text).arg(b.size));
    } else if (b.kind == KsyPrimitive::Kind::none) {
        if (!attr.size.is_empty() || attr.size_eos || attr.terminator >= 0) {
            if (!read_sized(object, attr, *type, io, item, out))
                return false;
        } else if (!attr.process.is_empty()) {
            return stop(tr("a processed field needs a size"));
        } else {
            return read_user(object, *type, io, item, out);
        }
    } else {
        if (!read_sized(object, attr, *type, io, item, out))
            return false;
    }

    if (!attr.enum_name.isEmpty() && out->is_integer()) {
        const KsyEnum *e = KsyTemplate::find_enum(object->type, attr.enum_name);
        if (!e)
            return stop(tr("unknown enum '%1'").arg(attr.enum_name));
        *out = KsyValue::from_enum(e, out->to_int());
    }
    return true;
}

bool KsyParser::read_sized(KsyObject *object, const KsyAttribute &attr, const KsyCall &type,
                           const std::shared_ptr<KsyStream> &io, KsyItem *item, KsyValue *out)
{
    const KsyPrimitive &b = type.primitive;
    const bool user = b.kind == KsyPrimitive::Kind::none;
    const qint64 start = io->pos();
    qint64 length = 0;
    // Bytes after the data that belong to the field: a consumed terminator.
    qint64 skip_after = 0;
    bool cut_at_terminator = false;
    if (attr.size_eos) {
        length = io->remaining();
    } else if (!attr.size.is_empty()) {
        if (!eval_int(attr.size, &length))
            return false;
        if (length < 0)
            return stop(tr("negative size %1").arg(length));
        if (length > io->remaining())
            return stop(tr("end of data: size %1 needed, %2 left").arg(length).arg(io->remaining()));
        cut_at_terminator = attr.terminator >= 0 || b.kind == KsyPrimitive::Kind::strz;
    } else {
        const QByteArray terminator = KsyPrimitiveReader::terminator(attr, b, object->type);
        const qint64 at = io->find(start, terminator.isEmpty() ? QByteArray(1, '\0') : terminator);
        if (at < 0) {
            if (attr.eos_error)
                return stop(tr("terminator 0x%1 not found before the end of data").arg(QString::fromLatin1(terminator.toHex())));
            length = io->remaining();
        } else {
            length = at - start + (attr.include ? terminator.size() : 0);
            skip_after = attr.consume && !attr.include ? terminator.size() : 0;
        }
    }

    if (user && attr.process.is_empty()) {
        // Padding and a terminator only shorten what the type reads: it
        // stays a part of the file, its fields with their places.
        qint64 inner = length;
        if (cut_at_terminator || attr.pad_right >= 0) {
            if (length > m_limits.max_decoded)
                return stop(tr("field of %1 bytes is too large to read (limit %2)").arg(length).arg(m_limits.max_decoded), true);
            QByteArray data = io->peek(start, length);
            KsyPrimitiveReader::trim_sized(attr, b, object->type, &data);
            inner = data.size();
        }
        std::shared_ptr<KsyStream> sub = io->substream(inner);
        if (!sub)
            return stop(tr("end of data: size %1 needed, %2 left").arg(length).arg(io->remaining()));
        io->seek(start + length + skip_after);
        item->start = io->file_offset(start);
        item->end = io->file_offset(io->pos());
        return read_user(object, type, sub, item, out);
    }

    const bool again = io->in_file() && length <= kept_bytes;
    const bool need_all = user || !attr.process.is_empty() || b.kind != KsyPrimitive::Kind::bytes || cut_at_terminator
        || attr.pad_right >= 0 || length <= (again ? held_bytes : kept_bytes);
    if (need_all && length > m_limits.max_decoded)
        return stop(tr("field of %1 bytes is too large to read (limit %2)").arg(length).arg(m_limits.max_decoded), true);
    QByteArray data;
    if (need_all) {
        if (!io->read(length, &data))
            return stop(tr("end of data: size %1 needed, %2 left").arg(length).arg(io->remaining()));
    } else {
        data = io->peek(start, head_bytes);
        io->seek(start + length);
    }
    io->seek(io->pos() + skip_after);
    item->start = io->file_offset(start);
    item->end = io->file_offset(io->pos());

    // A sized field's bytes as the reference reads them, whatever they then
    // become: padding stripped, cut at the terminator, then processed.
    if (need_all && (!attr.size.is_empty() || attr.size_eos))
        KsyPrimitiveReader::trim_sized(attr, b, object->type, &data);
    if (!attr.process.is_empty() && !process(object, attr.process, &data))
        return false;
    if (user) {
        auto decoded = std::make_shared<KsyStream>(data);
        decoded->set_origin(io->place(start));
        return read_user(object, type, decoded, item, out);
    }
    if (!need_all) {
        *out = again ? KsyValue::from_stream_bytes(data, length, io, start) : KsyValue::from_bytes(data, length);
        return true;
    }
    *out = KsyPrimitiveReader::finish(attr, b, object->type, data);
    if (out->is_error())
        return stop(out->text());
    return true;
}

bool KsyParser::process(KsyObject *object, const KsyCall &how, QByteArray *data)
{
    const KsyProcessRegistry::Entry *routine = KsyProcessRegistry::instance().find(how.name);
    if (!routine)
        return stop(tr("process '%1' is a custom routine, which templates cannot run").arg(how.name));
    std::vector<KsyValue> args;
    if (routine->arguments > 0) {
        if (int(how.args.size()) != routine->arguments)
            return stop(tr("process '%1' needs one argument").arg(how.text.trimmed()));
        // The arguments see the field's own scope, _index of a repeated field included.
        const Scope saved = m_scope;
        m_scope = Scope { object, saved.index };
        for (const KsyTemplateExpression &arg : how.args) {
            KsyValue v;
            if (!eval(arg, &v)) {
                m_scope = saved;
                return false;
            }
            args.push_back(v);
        }
        m_scope = saved;
    }
    QString error;
    if (!routine->run(data, args, m_limits.max_decoded, &error))
        return stop(error);
    return true;
}

bool KsyParser::read_user(KsyObject *object, const KsyCall &type_ref, const std::shared_ptr<KsyStream> &io,
                          KsyItem *item, KsyValue *out)
{
    const QString &name = type_ref.name;
    const std::vector<KsyTemplateExpression> &args = type_ref.args;
    const KsyType *type = KsyTemplate::find_type(object->type, name);
    if (!type)
        return stop(top_type(object->type)->opaque_types
                        ? tr("type '%1' is an opaque (external) type, which templates cannot read").arg(name)
                        : tr("unknown type '%1'").arg(name));
    if (object->depth + 1 > m_limits.max_depth)
        return stop(tr("types nested deeper than %1").arg(m_limits.max_depth), true);
    if (qsizetype(args.size()) != type->params.size())
        return stop(tr("type '%1' takes %2 parameters, %3 given").arg(name).arg(type->params.size()).arg(args.size()));
    auto child = std::make_shared<KsyObject>();
    m_objects.push_back(child);
    child->type = type;
    child->parent = object;
    child->parent_ref = object->self;
    child->self = child;
    child->root = object->root;
    child->io = io;
    child->depth = object->depth + 1;
    child->item = item;
    // The path is the reading object's and the field's, which m_path ends with.
    child->path_parent = object;
    child->path_part = m_path.last();
    // One allocation each for what the object will hold.
    child->fields.reserve(size_t(type->params.size()) + type->seq.size() + type->instances.size());
    item->children.reserve(type->seq.size());
    for (size_t i = 0; i < args.size(); ++i) {
        KsyValue v;
        if (!eval(args[i], &v))
            return false;
        child->set(type->params.at(qsizetype(i)), v);
    }
    // parent: the object the type sees as _parent, in place of the one
    // reading it; "false" leaves it none.
    if (m_field && !m_field->parent.is_empty()) {
        KsyValue given;
        if (m_field->parent.text.trimmed() == QLatin1String("false")) {
            child->parent = nullptr;
            child->parent_ref.reset();
        } else if (!eval(m_field->parent, &given)) {
            return false;
        } else if (!given.object()) {
            return stop(tr("parent '%1' is %2, not a struct").arg(m_field->parent.text.trimmed(), KsyValue::kind_name(given.kind())));
        } else {
            child->parent = given.object().get();
            child->parent_ref = given.object();
        }
    }
    item->set_user_type(type);
    *out = KsyValue::from_object(child);
    const std::shared_ptr<KsyStream> saved_io = m_io;
    m_io = io;
    if (!resolve_endian(child.get()) || !parse_object(child.get()))
        return false;
    m_io = saved_io;
    if (!type->representation.isEmpty())
        item->text = represent(child.get());
    if (item->start < 0 && io->in_file()) {
        item->start = io->file_offset(child->start);
        item->end = io->file_offset(child->end);
    }
    return true;
}

bool KsyParser::check_valid(const KsyAttribute &attr, const KsyValue &value)
{
    if (attr.valid_eq.is_empty() && attr.valid_min.is_empty() && attr.valid_max.is_empty()
        && attr.valid_any_of.empty() && attr.valid_expr.is_empty() && !attr.valid_in_enum)
        return true;
    const KsyValue *saved = m_scope.current;
    m_scope.current = &value;
    const auto compare_with = [&](const KsyTemplateExpression &expression, const char *op) {
        KsyValue other;
        if (!eval(expression, &other))
            return false;
        const KsyValue r = KsyEvaluator::binary(QLatin1String(op), value, other);
        if (r.is_error())
            return stop(r.text());
        if (!r.to_bool())
            return refuse(tr("%1 is not valid: %2 %3 expected").arg(value.display(), QLatin1String(op), other.display()));
        return true;
    };
    bool ok = true;
    if (ok && !attr.valid_eq.is_empty())
        ok = compare_with(attr.valid_eq, "==");
    if (ok && !attr.valid_min.is_empty())
        ok = compare_with(attr.valid_min, ">=");
    if (ok && !attr.valid_max.is_empty())
        ok = compare_with(attr.valid_max, "<=");
    if (ok && !attr.valid_any_of.empty()) {
        bool any = false;
        for (const KsyTemplateExpression &expression : attr.valid_any_of) {
            KsyValue other;
            if (!eval(expression, &other)) {
                ok = false;
                break;
            }
            const KsyValue same = KsyEvaluator::equals(value, other);
            if (!same.is_error() && same.to_bool()) {
                any = true;
                break;
            }
        }
        if (ok && !any) {
            QStringList texts;
            for (const KsyTemplateExpression &expression : attr.valid_any_of)
                texts << expression.text;
            ok = refuse(tr("%1 is not valid: not one of %2").arg(value.display(), texts.join(QStringLiteral(", "))));
        }
    }
    if (ok && !attr.valid_expr.is_empty()) {
        bool pass = false;
        ok = eval_bool(attr.valid_expr, &pass);
        if (ok && !pass)
            ok = refuse(tr("%1 is not valid: %2 is false").arg(value.display(), attr.valid_expr.text.trimmed()));
    }
    if (ok && attr.valid_in_enum && value.kind() == KsyValue::Kind::enumeration && value.text().isEmpty())
        ok = refuse(tr("%1 is not valid: not in enum %2").arg(value.display(), attr.enum_name));
    m_scope.current = saved;
    if (ok)
        ++m_result.checks_passed;
    return ok;
}

