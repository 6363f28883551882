#include "kaitai/ksyparser.h"

#include "kaitai/ksybytesource.h"
#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyexpression.h"
#include "kaitai/ksyobject.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytemplate.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// Bytes of a field kept for expressions; longer fields keep only a head for
// display (their length stays exact).
constexpr qint64 kept_bytes = 1 << 20;
// A bytes field of the file longer than this holds its head only, and is
// read again when an expression needs the rest.
constexpr qint64 held_bytes = 256;
constexpr qint64 head_bytes = 64;

struct Builtin
{
    enum class Kind { none, integer, floating, bits, str, strz, bytes };
    Kind kind = Kind::none;
    int size = 0; // bytes; bits for Kind::bits
    bool is_signed = false;
    // -1: from the type's endianness, 0: big, 1: little.
    int little = -1;
};

// Called for every field read: parsed by hand rather than by a regular
// expression, which took a tenth of a parse.
Builtin builtin_of(const QString &type)
{
    Builtin b;
    if (type.isEmpty()) {
        b.kind = Builtin::Kind::bytes;
        return b;
    }
    if (type == QLatin1String("str")) {
        b.kind = Builtin::Kind::str;
        return b;
    }
    if (type == QLatin1String("strz")) {
        b.kind = Builtin::Kind::strz;
        return b;
    }
    // "u4", "s2be", "f8le", "b12", "b3le": a letter, digits, maybe an endian.
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
        b.kind = Builtin::Kind::bits;
        b.size = count;
    } else {
        if (digits != 1)
            return b;
        const int size = type.at(1).digitValue();
        const bool valid = k == QLatin1Char('f') ? (size == 4 || size == 8)
                                                 : (size == 1 || size == 2 || size == 4 || size == 8);
        if (!valid)
            return b;
        b.kind = k == QLatin1Char('f') ? Builtin::Kind::floating : Builtin::Kind::integer;
        b.size = size;
        b.is_signed = k == QLatin1Char('s');
    }
    if (has_suffix)
        b.little = suffix == QLatin1String("le") ? 1 : 0;
    return b;
}

// "name(a, b)" into the name and the argument texts, split at top-level
// commas. A call written over several lines (a YAML block) ends in a newline.
void split_type_ref(const QString &written, QString *name, QStringList *args)
{
    const QString ref = written.trimmed();
    const int open = int(ref.indexOf(QLatin1Char('(')));
    if (open < 0 || !ref.endsWith(QLatin1Char(')'))) {
        *name = ref.trimmed();
        return;
    }
    *name = ref.left(open).trimmed();
    const QString inner = ref.mid(open + 1, ref.size() - open - 2);
    int depth = 0;
    QChar quote;
    QString current;
    for (const QChar c : inner) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('[')) {
            ++depth;
        } else if (c == QLatin1Char(')') || c == QLatin1Char(']')) {
            --depth;
        } else if (c == QLatin1Char(',') && depth == 0) {
            *args << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        *args << current.trimmed();
}

// A sized field's bytes as the reference reads them: padding stripped, then
// cut at the terminator (kept when included).
void trim_sized(const KsyAttribute &attr, const Builtin &b, QByteArray *data)
{
    if (attr.pad_right >= 0) {
        while (!data->isEmpty() && quint8(data->back()) == attr.pad_right)
            data->chop(1);
    }
    const int terminator = attr.terminator >= 0 ? attr.terminator : (b.kind == Builtin::Kind::strz ? 0 : -1);
    if (terminator >= 0) {
        const qint64 at = data->indexOf(char(terminator));
        if (at >= 0)
            data->truncate(at + (attr.include ? 1 : 0));
    }
}

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

QString item_type(const KsyValue &value)
{
    return KsyValue::kind_name(value.kind());
}

bool inflate_all(const QByteArray &in, qint64 limit, QByteArray *out, QString *error)
{
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) {
        *error = KsyParser::tr("zlib cannot start");
        return false;
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    char buffer[65536];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            *error = KsyParser::tr("zlib data is damaged (%1)").arg(QString::fromLatin1(z.msg ? z.msg : "error"));
            inflateEnd(&z);
            return false;
        }
        out->append(buffer, int(sizeof buffer - z.avail_out));
        if (out->size() > limit) {
            *error = KsyParser::tr("zlib data expands beyond %1 bytes").arg(limit);
            inflateEnd(&z);
            return false;
        }
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
            *error = KsyParser::tr("zlib data ends early");
            inflateEnd(&z);
            return false;
        }
    }
    inflateEnd(&z);
    return true;
}

} // namespace

KsyParser::KsyParser(std::shared_ptr<const KsyTemplate> ksy, const KsyByteSource *source)
    : m_template(std::move(ksy))
    , m_source(source)
{
}

KsyParser::~KsyParser() = default;

KsyResult KsyParser::parse()
{
    m_result = KsyResult();
    m_hard_stop = false;
    m_path.clear();
    m_objects.clear();
    const KsyType *top = m_template->root_type();
    auto root = std::make_shared<KsyObject>();
    m_objects.push_back(root);
    root->type = top;
    root->root = root.get();
    root->self = root;
    root->io = std::make_shared<KsyStream>(m_source);
    m_io = root->io;
    m_result.root = std::make_unique<KsyItem>();
    KsyItem *item = m_result.root.get();
    item->name = top->name;
    item->type = top->name;
    item->doc = top->doc;
    item->start = 0;
    root->item = item;
    if (resolve_endian(root.get()) && parse_object(root.get()))
        retry_deferred();
    item->end = root->io->file_offset(root->end > 0 ? root->end : root->io->pos());
    if (m_progress)
        m_progress(m_source->size(), m_source->size());
    // A parse that stopped retried nothing: what failed is told and kept as it was.
    restore_deferred();
    // Objects refer to each other through values; dropping the table frees them.
    m_objects.clear();
    m_expressions.clear();
    return std::move(m_result);
}

QString KsyParser::represent(KsyObject *object, const QString &pattern)
{
    // "{expr}" or "{expr:dec}" / "{expr:hex}"; integers show in hexadecimal
    // unless asked for decimal, strings without quotes, enums by name.
    static const QRegularExpression field(QStringLiteral("\\{([^{}:]+)(?::(\\w+))?\\}"));
    const Scope saved = m_scope;
    m_scope = Scope { object };
    QString text;
    qsizetype from = 0;
    QRegularExpressionMatchIterator it = field.globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        text += pattern.mid(from, match.capturedStart() - from);
        from = match.capturedEnd();
        const KsyValue v = eval_value(match.captured(1));
        const QString format = match.captured(2);
        if (v.is_error()) {
            text.clear();
            break;
        }
        if (v.kind() == KsyValue::Kind::integer)
            text += format == QLatin1String("dec") ? QString::number(v.to_int())
                                                   : QStringLiteral("0x") + QString::number(v.to_int(), 16).toUpper();
        else if (v.kind() == KsyValue::Kind::string || v.kind() == KsyValue::Kind::enumeration)
            text += v.text().isEmpty() ? v.display() : v.text();
        else if (v.object())
            text += v.object()->type->name;
        else
            text += v.display();
    }
    if (!text.isEmpty() || from == 0)
        text += pattern.mid(from);
    m_scope = saved;
    return text;
}

void KsyParser::restore_deferred()
{
    for (Deferred &d : m_deferred) {
        if (m_result.instance_failure.isEmpty())
            m_result.instance_failure = d.failure;
        if (d.object->item) {
            for (auto &item : d.partial)
                d.object->item->children.push_back(std::move(item));
            // Shown where its value would be, never left out in silence.
            auto item = std::make_unique<KsyItem>();
            item->name = d.attr->id;
            item->doc = d.attr->doc;
            item->is_instance = true;
            item->is_scalar = true;
            item->unavailable = true;
            item->value = tr("n/a: %1").arg(d.reason);
            d.object->item->children.push_back(std::move(item));
        }
    }
    m_deferred.clear();
}

void KsyParser::retry_deferred()
{
    // One instance may wait for another that failed after it: passes go on
    // while one makes progress, a few at most.
    const int max_passes = 8;
    std::vector<Deferred> pending;
    pending.swap(m_deferred);
    bool progress = true;
    for (int pass = 0; pass < max_passes && progress && !pending.empty(); ++pass) {
        progress = false;
        std::vector<Deferred> failed;
        for (size_t i = 0; i < pending.size(); ++i) {
            Deferred &d = pending[i];
            d.object->remove(d.attr->id);
            const size_t items_before = d.object->item ? d.object->item->children.size() : 0;
            if (compute_instance(d.object, *d.attr)) {
                --m_result.instances_failed;
                progress = true;
                continue;
            }
            if (m_hard_stop) {
                // A limit or a cancel: the rest are told as they failed.
                std::move(pending.begin() + qsizetype(i), pending.end(), std::back_inserter(failed));
                std::move(failed.begin(), failed.end(), std::back_inserter(m_deferred));
                restore_deferred();
                return;
            }
            // What this try read replaces what the one before read.
            if (d.object->item && d.object->item->children.size() > items_before) {
                auto &children = d.object->item->children;
                d.partial.clear();
                std::move(children.begin() + qsizetype(items_before), children.end(), std::back_inserter(d.partial));
                children.resize(items_before);
            }
            d.failure = m_result.where() + QStringLiteral(": ") + m_result.reason;
            d.reason = m_result.reason;
            m_result.stopped = false;
            m_result.mismatch = false;
            m_result.reason.clear();
            d.object->set(d.attr->id, KsyValue());
            failed.push_back(std::move(d));
        }
        // Failures inside what this pass read wait for the next one.
        std::move(m_deferred.begin(), m_deferred.end(), std::back_inserter(failed));
        m_deferred.clear();
        pending = std::move(failed);
    }
    m_deferred = std::move(pending);
    restore_deferred();
}

bool KsyParser::stop(const QString &reason, bool hard)
{
    if (!m_result.stopped) {
        m_result.stopped = true;
        // One line: an expression quoted in the reason may span several.
        m_result.reason = reason.simplified();
        m_result.stopped_path = path();
        m_result.stopped_at = m_field_start >= 0 ? m_field_start
                                                 : m_io ? m_io->place(m_io->pos()) : 0;
        m_result.stopped_field.clear();
        if (m_field && m_field_type)
            m_result.stopped_field = QStringLiteral("%1:%2:%3")
                                         .arg(QFileInfo(m_field_type->file).fileName())
                                         .arg(m_field->line)
                                         .arg(m_field->column);
        m_result.mismatch = false;
        m_hard_stop = hard;
    }
    return false;
}

bool KsyParser::refuse(const QString &reason)
{
    const bool first = !m_result.stopped;
    stop(reason);
    if (first)
        m_result.mismatch = m_result.checks_passed == 0;
    return false;
}

QString KsyParser::path() const
{
    return m_path.join(QLatin1Char('.'));
}

bool KsyParser::next_field(const std::shared_ptr<KsyStream> &io)
{
    m_io = io;
    m_field_start = io->place(io->pos());
    if (m_cancel && m_cancel->load())
        return stop(tr("cancelled"), true);
    if (++m_result.fields > m_limits.max_fields)
        return stop(tr("more than %1 fields, the field limit (Preferences, --max-fields)")
                        .arg(m_limits.max_fields), true);
    if (m_progress && m_result.fields % 1024 == 0)
        m_progress(qMax<qint64>(0, io->place(io->pos())), m_source->size());
    return true;
}

// --- expressions

bool KsyParser::eval(const QString &text, KsyValue *out)
{
    *out = eval_value(text);
    if (out->is_error())
        return stop(out->text());
    return true;
}

KsyValue KsyParser::eval_value(const QString &text)
{
    auto it = m_expressions.find(text);
    if (it == m_expressions.end()) {
        QString error;
        auto parsed = KsyExpression::parse(text, &error);
        if (!parsed) {
            // A mistake of the template, not of the data: no instance may
            // skip it. The text is cut short, as it may be of any length.
            const QString shown = text.size() > 80 ? text.left(77) + QStringLiteral("...") : text;
            const QString message = tr("cannot read expression '%1': %2").arg(shown, error);
            stop(message, true);
            return KsyValue::error(message);
        }
        it = m_expressions.insert(text, parsed);
    }
    KsyEvaluator evaluator(this);
    KsyValue v = evaluator.evaluate(**it);
    if (v.is_error() && !v.text().endsWith(QLatin1Char('\'')))
        return KsyValue::error(tr("%1 in '%2'").arg(v.text(), text.trimmed()));
    return v;
}

bool KsyParser::eval_int(const QString &text, qint64 *out)
{
    KsyValue v;
    if (!eval(text, &v))
        return false;
    if (v.kind() != KsyValue::Kind::integer && v.kind() != KsyValue::Kind::enumeration)
        return stop(tr("'%1' is %2, not an integer").arg(text, KsyValue::kind_name(v.kind())));
    if (v.is_unsigned())
        return stop(tr("'%1' is too large").arg(text));
    *out = v.to_int();
    return true;
}

bool KsyParser::eval_bool(const QString &text, bool *out)
{
    KsyValue v;
    if (!eval(text, &v))
        return false;
    if (v.kind() != KsyValue::Kind::boolean)
        return stop(tr("'%1' is %2, not a boolean").arg(text, KsyValue::kind_name(v.kind())));
    *out = v.to_bool();
    return true;
}

KsyValue KsyParser::name(const QString &name)
{
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
    if (path.size() < 2 || !m_scope.object)
        return KsyValue::error(tr("bad enum reference '%1'").arg(path.join(QStringLiteral("::"))));
    const QString enum_name = path.mid(0, path.size() - 1).join(QStringLiteral("::"));
    const KsyEnum *e = KsyTemplate::find_enum(m_scope.object->type, enum_name);
    if (!e)
        return KsyValue::error(tr("unknown enum '%1'").arg(enum_name));
    auto it = e->values.constFind(path.last());
    if (it == e->values.constEnd())
        return KsyValue::error(tr("enum '%1' has no '%2'").arg(enum_name, path.last()));
    return KsyValue::from_enum(e, *it);
}

KsyValue KsyParser::type_size(const QString &type, bool bits)
{
    const Builtin b = builtin_of(type);
    qint64 size_bits = -1;
    if (b.kind == Builtin::Kind::integer || b.kind == Builtin::Kind::floating)
        size_bits = b.size * 8;
    else if (b.kind == Builtin::Kind::bits)
        size_bits = b.size;
    if (size_bits < 0) {
        // A user type has a size when every field has a fixed one.
        const KsyType *t = m_scope.object ? KsyTemplate::find_type(m_scope.object->type, type) : nullptr;
        if (!t)
            return KsyValue::error(tr("unknown type '%1'").arg(type));
        size_bits = 0;
        for (const KsyAttribute &a : t->seq) {
            if (a.repeat != KsyAttribute::Repeat::none || !a.if_expr.isEmpty() || !a.switch_on.isEmpty())
                return KsyValue::error(tr("sizeof<%1> is not fixed").arg(type));
            bool fixed = false;
            const qint64 literal = a.size.toLongLong(&fixed, 0);
            if (a.has_contents) {
                size_bits += a.contents.size() * 8;
            } else if (fixed) {
                size_bits += literal * 8;
            } else {
                const KsyValue s = type_size(a.type, true);
                if (s.is_error() || a.type.isEmpty())
                    return KsyValue::error(tr("sizeof<%1> is not fixed").arg(type));
                size_bits += s.to_int();
            }
        }
    }
    return KsyValue::from_int(bits ? size_bits : (size_bits + 7) / 8);
}

// --- objects and fields

bool KsyParser::resolve_endian(KsyObject *object)
{
    const KsyType *type = object->type;
    object->bits_little_endian = false;
    for (const KsyType *t = type; t; t = t->parent) {
        if (t->bit_endian != KsyType::BitEndian::unset) {
            object->bits_little_endian = t->bit_endian == KsyType::BitEndian::le;
            break;
        }
    }
    for (const KsyType *t = type; t; t = t->parent) {
        if (t->endian == KsyType::Endian::le || t->endian == KsyType::Endian::be) {
            object->little_endian = t->endian == KsyType::Endian::le;
            object->endian_known = true;
            return true;
        }
        if (t->endian == KsyType::Endian::switched) {
            if (t != type)
                break; // decided at run time by the object of that type: inherit
            const Scope saved = m_scope;
            m_scope = Scope { object };
            KsyValue on;
            bool ok = eval(t->endian_switch, &on);
            for (const auto &c : t->endian_cases) {
                if (!ok)
                    break;
                const KsyValue key = c.first == QLatin1String("_") ? on : eval_value(c.first);
                const KsyValue same = KsyEvaluator::equals(on, key);
                if (same.is_error()) {
                    ok = stop(same.text());
                } else if (same.to_bool()) {
                    object->little_endian = c.second == QLatin1String("le");
                    object->endian_known = true;
                    break;
                }
            }
            m_scope = saved;
            if (!ok)
                return false;
            if (!object->endian_known)
                return stop(tr("no endianness for %1").arg(on.display()));
            return true;
        }
    }
    if (object->parent) {
        object->little_endian = object->parent->little_endian;
        object->endian_known = object->parent->endian_known;
    }
    return true;
}

bool KsyParser::parse_object(KsyObject *object)
{
    object->start = object->io->pos();
    for (const KsyAttribute &attr : object->type->seq) {
        if (!parse_attribute(object, attr, object->io, object->item, false))
            return false;
    }
    object->end = object->io->pos();
    // Instances after the fields, as a viewer would ask for them; one that
    // cannot be read is skipped unless a limit or a cancel stopped it.
    for (const KsyAttribute &attr : object->type->instances) {
        if (object->field(attr.id))
            continue;
        ++m_result.instances;
        const QStringList saved_path = m_path;
        const std::shared_ptr<KsyStream> saved_io = m_io;
        const size_t items_before = object->item ? object->item->children.size() : 0;
        if (!compute_instance(object, attr)) {
            if (m_hard_stop)
                return false;
            // What the failed try read is set aside; the retry reads it again.
            Deferred deferred { object, &attr, m_result.where() + QStringLiteral(": ") + m_result.reason,
                                m_result.reason, {} };
            if (object->item && object->item->children.size() > items_before) {
                auto &children = object->item->children;
                std::move(children.begin() + qsizetype(items_before), children.end(), std::back_inserter(deferred.partial));
                children.resize(items_before);
            }
            m_deferred.push_back(std::move(deferred));
            m_result.stopped = false;
            m_result.mismatch = false;
            m_result.reason.clear();
            ++m_result.instances_failed;
            m_path = saved_path;
            m_io = saved_io;
            object->set(attr.id, KsyValue());
        }
    }
    return true;
}

bool KsyParser::read_instance(KsyObject *object, const KsyAttribute &attr)
{
    bool ok = true;
    std::shared_ptr<KsyStream> io = object->io;
    if (!attr.io.isEmpty()) {
        KsyValue v;
        ok = eval(attr.io, &v);
        if (ok && !v.stream())
            ok = stop(tr("'%1' is not a stream").arg(attr.io));
        if (ok)
            io = v.stream();
    }
    const qint64 saved_pos = io->pos();
    if (ok && !attr.pos.isEmpty()) {
        qint64 pos = 0;
        ok = eval_int(attr.pos, &pos);
        m_io = io;
        if (ok && !io->seek(pos))
            ok = stop(tr("position %1 is outside the stream (size %2)").arg(pos).arg(io->size()));
    }
    if (ok)
        ok = parse_attribute(object, attr, io, object->item, true);
    io->seek(saved_pos);
    return ok;
}

bool KsyParser::compute_instance(KsyObject *object, const KsyAttribute &attr)
{
    if (std::find(object->computing.cbegin(), object->computing.cend(), attr.id) != object->computing.cend())
        return stop(tr("instance '%1' depends on itself").arg(attr.id));
    if (m_instance_depth >= m_limits.max_depth * 4)
        return stop(tr("instances nested deeper than %1").arg(m_limits.max_depth * 4), true);
    const Scope saved_scope = m_scope;
    const QStringList saved_path = m_path;
    const std::shared_ptr<KsyStream> saved_io = m_io;
    const KsyAttribute *saved_field = m_field;
    const KsyType *saved_field_type = m_field_type;
    m_field = &attr;
    m_field_type = object->type;
    object->computing.push_back(attr.id);
    ++m_instance_depth;
    m_scope = Scope { object };
    m_path = object->path.isEmpty() ? QStringList() : QStringList { object->path };
    bool ok = true;
    if (!attr.value.isEmpty()) {
        bool wanted = true;
        if (!attr.if_expr.isEmpty())
            ok = eval_bool(attr.if_expr, &wanted);
        KsyValue v;
        if (ok && wanted) {
            m_path << attr.id;
            ok = eval(attr.value, &v);
            if (ok && !attr.enum_name.isEmpty() && v.is_integer()) {
                const KsyEnum *e = KsyTemplate::find_enum(object->type, attr.enum_name);
                ok = e ? true : stop(tr("unknown enum '%1'").arg(attr.enum_name));
                v = KsyValue::from_enum(e, v.to_int());
            }
        }
        if (ok) {
            object->set(attr.id, v);
            // Shown in the results, though it makes no markup: it has no bytes.
            if (wanted && object->item && v.kind() != KsyValue::Kind::object && !v.is_none()) {
                auto item = std::make_unique<KsyItem>();
                item->name = attr.id;
                item->doc = attr.doc;
                item->is_instance = true;
                item->is_scalar = true;
                item->type = item_type(v);
                item->value = v.display();
                object->item->children.push_back(std::move(item));
            }
        }
    } else {
        // The condition comes first: the stream and the position of an
        // instance that is not there need not exist (a string offset read
        // only for some tags).
        bool wanted = true;
        if (!attr.if_expr.isEmpty())
            ok = eval_bool(attr.if_expr, &wanted);
        if (ok && !wanted)
            object->set(attr.id, KsyValue());
        else if (ok)
            ok = read_instance(object, attr);
    }
    --m_instance_depth;
    object->computing.pop_back();
    m_scope = saved_scope;
    if (ok) {
        m_path = saved_path;
        m_io = saved_io;
        m_field = saved_field;
        m_field_type = saved_field_type;
    }
    return ok;
}

bool KsyParser::parse_attribute(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                                KsyItem *parent_item, bool instance)
{
    m_io = io;
    m_path << attr.id;
    const Scope saved = m_scope;
    m_scope = Scope { object };
    const KsyAttribute *saved_field = m_field;
    const KsyType *saved_field_type = m_field_type;
    m_field = &attr;
    m_field_type = object->type;
    bool wanted = true;
    if (!attr.if_expr.isEmpty() && !eval_bool(attr.if_expr, &wanted))
        return false;
    if (!wanted) {
        object->set(attr.id, KsyValue());
        m_path.removeLast();
        m_scope = saved;
        m_field = saved_field;
        m_field_type = saved_field_type;
        return true;
    }

    const qint64 start = io->pos();
    KsyValue value;
    if (attr.repeat == KsyAttribute::Repeat::none) {
        auto item = std::make_unique<KsyItem>();
        item->name = attr.id;
        item->doc = attr.doc;
        item->is_instance = instance;
        KsyItem *raw = item.get();
        parent_item->children.push_back(std::move(item));
        if (!parse_single(object, attr, io, raw, &value))
            return false;
    } else {
        auto array_item = std::make_unique<KsyItem>();
        array_item->name = attr.id;
        array_item->type = QStringLiteral("array");
        array_item->doc = attr.doc;
        array_item->decoded = !io->in_file();
        array_item->is_instance = instance;
        KsyItem *array_raw = array_item.get();
        parent_item->children.push_back(std::move(array_item));
        // Visible while it is read: an element may use those before it
        // ("groups[_index - 1]").
        auto shared_items = std::make_shared<std::vector<KsyValue>>();
        std::vector<KsyValue> &items = *shared_items;
        object->set(attr.id, KsyValue::from_shared_array(shared_items));
        qint64 count = -1;
        if (attr.repeat == KsyAttribute::Repeat::expr && !eval_int(attr.repeat_expr, &count))
            return false;
        for (qint64 i = 0;; ++i) {
            if (attr.repeat == KsyAttribute::Repeat::eos && io->is_eof())
                break;
            if (attr.repeat == KsyAttribute::Repeat::expr && i >= count)
                break;
            const QString element = attr.id + QLatin1Char('[') + QString::number(i) + QLatin1Char(']');
            m_path.last() = element;
            auto item = std::make_unique<KsyItem>();
            item->name = element;
            item->doc = attr.doc;
            KsyItem *raw = item.get();
            array_raw->children.push_back(std::move(item));
            m_scope.index = i;
            KsyValue v;
            if (!parse_single(object, attr, io, raw, &v))
                return false;
            items.push_back(v);
            if (attr.repeat == KsyAttribute::Repeat::until) {
                m_scope.current = &items.back();
                bool done = false;
                if (!eval_bool(attr.repeat_expr, &done))
                    return false;
                m_scope.current = nullptr;
                if (done)
                    break;
            }
        }
        m_path.last() = attr.id;
        if (!array_raw->children.empty()) {
            array_raw->start = array_raw->children.front()->start;
            array_raw->end = array_raw->children.back()->end;
        }
        value = KsyValue::from_shared_array(shared_items);
        array_raw->value = value.display();
    }
    object->set(attr.id, value, start, io->pos());
    m_path.removeLast();
    m_scope = saved;
    m_field = saved_field;
    m_field_type = saved_field_type;
    return true;
}

bool KsyParser::parse_single(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                             KsyItem *item, KsyValue *out)
{
    if (!next_field(io))
        return false;
    // A bit field that starts inside a byte read before counts from the next
    // byte on, so consecutive bit fields do not overlap.
    const qint64 start = io->pos();
    const bool ok = read_value(object, attr, io, item, out);
    if (item->start < 0 && io->in_file()) {
        item->start = io->file_offset(start);
        item->end = io->file_offset(io->pos());
    }
    item->decoded = !io->in_file();
    if (!ok)
        return false;
    if (item->type.isEmpty())
        item->type = out->kind() == KsyValue::Kind::object ? QString() : item_type(*out);
    if (out->kind() != KsyValue::Kind::object) {
        item->is_scalar = true;
        item->value = out->display();
    }
    // The field has its value when it is checked: `valid` may name it.
    if (attr.repeat == KsyAttribute::Repeat::none)
        object->set(attr.id, *out);
    return check_valid(attr, *out);
}

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

    QString type = attr.type;
    if (!attr.switch_on.isEmpty()) {
        KsyValue on;
        if (!eval(attr.switch_on, &on))
            return false;
        type.clear();
        for (const auto &c : attr.cases) {
            if (c.first == QLatin1String("_")) {
                type = c.second;
                continue;
            }
            const KsyValue same = KsyEvaluator::equals(on, eval_value(c.first));
            if (same.is_error())
                return stop(same.text());
            if (same.to_bool()) {
                type = c.second;
                break;
            }
        }
    }

    if (!attr.switch_on.isEmpty() && type.isEmpty() && attr.size.isEmpty() && !attr.size_eos
        && attr.terminator < 0) {
        // No case matched and there is no default: nothing is read.
        *out = KsyValue();
        return true;
    }
    const Builtin b = builtin_of(type);
    if (b.kind == Builtin::Kind::integer || b.kind == Builtin::Kind::floating) {
        bool little = b.little == 1;
        if (b.little < 0 && b.size > 1) {
            if (!object->endian_known)
                return stop(tr("no endianness for '%1'").arg(type));
            little = object->little_endian;
        }
        QByteArray raw;
        if (!io->read(b.size, &raw))
            return stop(tr("end of data: %1 needs %2 bytes, %3 left").arg(type).arg(b.size).arg(io->remaining()));
        quint64 u = 0;
        for (int i = 0; i < b.size; ++i) {
            const quint64 byte = quint8(raw[little ? b.size - 1 - i : i]);
            u = (u << 8) | byte;
        }
        if (b.kind == Builtin::Kind::floating) {
            if (b.size == 4) {
                float f;
                const quint32 u32 = quint32(u);
                std::memcpy(&f, &u32, 4);
                *out = KsyValue::from_float(f);
            } else {
                double d;
                std::memcpy(&d, &u, 8);
                *out = KsyValue::from_float(d);
            }
        } else if (b.is_signed) {
            const int shift = 64 - 8 * b.size;
            *out = KsyValue::from_int(qint64(u << shift) >> shift);
        } else {
            *out = KsyValue::from_uint(u);
        }
    } else if (b.kind == Builtin::Kind::bits) {
        const bool little = b.little >= 0 ? b.little == 1 : object->bits_little_endian;
        quint64 u = 0;
        if (!io->read_bits(b.size, !little, &u))
            return stop(tr("end of data: %1 needs %2 bits").arg(type).arg(b.size));
        *out = b.size == 1 ? KsyValue::from_bool(u != 0) : KsyValue::from_uint(u);
        if (!attr.enum_name.isEmpty())
            *out = KsyValue::from_uint(u);
    } else if (b.kind == Builtin::Kind::none) {
        if (!attr.size.isEmpty() || attr.size_eos || attr.terminator >= 0) {
            if (!read_sized(object, attr, type, io, item, out))
                return false;
        } else if (!attr.process.isEmpty()) {
            return stop(tr("a processed field needs a size"));
        } else {
            return read_user(object, type, io, item, out);
        }
    } else {
        if (!read_sized(object, attr, type, io, item, out))
            return false;
    }

    if (!attr.enum_name.isEmpty() && out->is_integer()) {
        const KsyEnum *e = KsyTemplate::find_enum(object->type, attr.enum_name);
        if (!e)
            return stop(tr("unknown enum '%1'").arg(attr.enum_name));
        *out = KsyValue::from_enum(e, out->to_int());
        item->type = QStringLiteral("enum");
    }
    return true;
}

bool KsyParser::read_sized(KsyObject *object, const KsyAttribute &attr, const QString &type,
                           const std::shared_ptr<KsyStream> &io, KsyItem *item, KsyValue *out)
{
    const Builtin b = builtin_of(type);
    const bool user = b.kind == Builtin::Kind::none;
    const qint64 start = io->pos();
    qint64 length = 0;
    // Bytes after the data that belong to the field: a consumed terminator.
    qint64 skip_after = 0;
    bool cut_at_terminator = false;
    if (attr.size_eos) {
        length = io->remaining();
    } else if (!attr.size.isEmpty()) {
        if (!eval_int(attr.size, &length))
            return false;
        if (length < 0)
            return stop(tr("negative size %1").arg(length));
        if (length > io->remaining())
            return stop(tr("end of data: size %1 needed, %2 left").arg(length).arg(io->remaining()));
        cut_at_terminator = attr.terminator >= 0 || b.kind == Builtin::Kind::strz;
    } else {
        const int terminator = attr.terminator >= 0 ? attr.terminator : 0;
        const qint64 at = io->find(start, char(terminator));
        if (at < 0) {
            if (attr.eos_error)
                return stop(tr("terminator 0x%1 not found before the end of data").arg(terminator, 2, 16, QLatin1Char('0')));
            length = io->remaining();
        } else {
            length = at - start + (attr.include ? 1 : 0);
            skip_after = attr.consume && !attr.include ? 1 : 0;
        }
    }

    if (user && attr.process.isEmpty()) {
        // Padding and a terminator only shorten what the type reads: it
        // stays a part of the file, its fields with their places.
        qint64 inner = length;
        if (cut_at_terminator || attr.pad_right >= 0) {
            if (length > m_limits.max_decoded)
                return stop(tr("field of %1 bytes is too large to read (limit %2)").arg(length).arg(m_limits.max_decoded), true);
            QByteArray data = io->peek(start, length);
            trim_sized(attr, b, &data);
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
    const bool need_all = user || !attr.process.isEmpty() || b.kind != Builtin::Kind::bytes || cut_at_terminator
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
    if (need_all && (!attr.size.isEmpty() || attr.size_eos))
        trim_sized(attr, b, &data);
    if (!attr.process.isEmpty() && !process(object, attr.process, io->place(start), &data))
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
    return finish_text(attr, type, object, data, out);
}

bool KsyParser::finish_text(const KsyAttribute &attr, const QString &type, KsyObject *object, QByteArray data,
                            KsyValue *out)
{
    const Builtin b = builtin_of(type);
    if (b.kind == Builtin::Kind::bytes) {
        *out = KsyValue::from_bytes(data);
        return true;
    }
    const QString encoding = encoding_of(attr, object->type);
    *out = KsyEvaluator::decode(data, encoding);
    if (out->is_error())
        return stop(out->text());
    return true;
}

QString KsyParser::encoding_of(const KsyAttribute &attr, const KsyType *type) const
{
    if (!attr.encoding.isEmpty())
        return attr.encoding;
    for (const KsyType *t = type; t; t = t->parent) {
        if (!t->encoding.isEmpty())
            return t->encoding;
    }
    return QStringLiteral("UTF-8");
}

bool KsyParser::process(KsyObject *object, const QString &how, qint64 origin, QByteArray *data)
{
    Q_UNUSED(origin);
    QString name;
    QStringList args;
    split_type_ref(how, &name, &args);
    if (name == QLatin1String("zlib")) {
        QByteArray out;
        QString error;
        if (!inflate_all(*data, m_limits.max_decoded, &out, &error))
            return stop(error);
        *data = out;
        return true;
    }
    const bool known = name == QLatin1String("xor") || name == QLatin1String("rol") || name == QLatin1String("ror");
    if (!known)
        return stop(tr("process '%1' is a custom routine, which templates cannot run").arg(name));
    if (args.size() != 1)
        return stop(tr("process '%1' needs one argument").arg(how.trimmed()));
    // The arguments see the field's own scope, _index of a repeated field included.
    const Scope saved = m_scope;
    m_scope = Scope { object, saved.index };
    KsyValue key;
    const bool ok = eval(args.first(), &key);
    m_scope = saved;
    if (!ok)
        return false;
    if (name == QLatin1String("xor")) {
        QByteArray k = key.kind() == KsyValue::Kind::bytes ? key.all_bytes() : QByteArray(1, char(key.to_int()));
        if (k.isEmpty())
            return stop(tr("xor with an empty key"));
        for (qsizetype i = 0; i < data->size(); ++i)
            (*data)[i] = char((*data)[i] ^ k[i % k.size()]);
        return true;
    }
    if (name == QLatin1String("rol") || name == QLatin1String("ror")) {
        if (!key.is_integer())
            return stop(tr("%1 needs an integer").arg(name));
        int n = int(((key.to_int() % 8) + 8) % 8);
        if (name == QLatin1String("ror"))
            n = (8 - n) % 8;
        for (qsizetype i = 0; i < data->size(); ++i) {
            const quint8 c = quint8((*data)[i]);
            (*data)[i] = char(quint8((c << n) | (c >> ((8 - n) % 8))));
        }
        return true;
    }
    return stop(tr("process '%1' is a custom routine, which templates cannot run").arg(name));
}

bool KsyParser::read_user(KsyObject *object, const QString &type_ref, const std::shared_ptr<KsyStream> &io,
                          KsyItem *item, KsyValue *out)
{
    QString name;
    QStringList args;
    split_type_ref(type_ref, &name, &args);
    const KsyType *type = KsyTemplate::find_type(object->type, name);
    if (!type)
        return stop(top_type(object->type)->opaque_types
                        ? tr("type '%1' is an opaque (external) type, which templates cannot read").arg(name)
                        : tr("unknown type '%1'").arg(name));
    if (object->depth + 1 > m_limits.max_depth)
        return stop(tr("types nested deeper than %1").arg(m_limits.max_depth), true);
    if (args.size() != type->params.size())
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
    child->path = path();
    // One allocation each for what the object will hold.
    child->fields.reserve(size_t(type->params.size()) + type->seq.size() + type->instances.size());
    item->children.reserve(type->seq.size());
    for (int i = 0; i < args.size(); ++i) {
        KsyValue v;
        if (!eval(args.at(i), &v))
            return false;
        child->set(type->params.at(i), v);
    }
    // parent: the object the type sees as _parent, in place of the one
    // reading it; "false" leaves it none.
    if (m_field && !m_field->parent.isEmpty()) {
        KsyValue given;
        if (m_field->parent.trimmed() == QLatin1String("false")) {
            child->parent = nullptr;
            child->parent_ref.reset();
        } else if (!eval(m_field->parent, &given)) {
            return false;
        } else if (!given.object()) {
            return stop(tr("parent '%1' is %2, not a struct").arg(m_field->parent.trimmed(), KsyValue::kind_name(given.kind())));
        } else {
            child->parent = given.object().get();
            child->parent_ref = given.object();
        }
    }
    item->type = type->name;
    if (item->doc.isEmpty())
        item->doc = type->doc;
    *out = KsyValue::from_object(child);
    const std::shared_ptr<KsyStream> saved_io = m_io;
    m_io = io;
    if (!resolve_endian(child.get()) || !parse_object(child.get()))
        return false;
    m_io = saved_io;
    if (!type->representation.isEmpty())
        item->representation = represent(child.get(), type->representation);
    if (item->start < 0 && io->in_file()) {
        item->start = io->file_offset(child->start);
        item->end = io->file_offset(child->end);
    }
    return true;
}

bool KsyParser::check_valid(const KsyAttribute &attr, const KsyValue &value)
{
    if (attr.valid_eq.isEmpty() && attr.valid_min.isEmpty() && attr.valid_max.isEmpty()
        && attr.valid_any_of.isEmpty() && attr.valid_expr.isEmpty() && !attr.valid_in_enum)
        return true;
    const KsyValue *saved = m_scope.current;
    m_scope.current = &value;
    const auto compare_with = [&](const QString &text, const char *op) {
        KsyValue other;
        if (!eval(text, &other))
            return false;
        const KsyValue r = KsyEvaluator::binary(QLatin1String(op), value, other);
        if (r.is_error())
            return stop(r.text());
        if (!r.to_bool())
            return refuse(tr("%1 is not valid: %2 %3 expected").arg(value.display(), QLatin1String(op), other.display()));
        return true;
    };
    bool ok = true;
    if (ok && !attr.valid_eq.isEmpty())
        ok = compare_with(attr.valid_eq, "==");
    if (ok && !attr.valid_min.isEmpty())
        ok = compare_with(attr.valid_min, ">=");
    if (ok && !attr.valid_max.isEmpty())
        ok = compare_with(attr.valid_max, "<=");
    if (ok && !attr.valid_any_of.isEmpty()) {
        bool any = false;
        for (const QString &text : attr.valid_any_of) {
            KsyValue other;
            if (!eval(text, &other)) {
                ok = false;
                break;
            }
            const KsyValue same = KsyEvaluator::equals(value, other);
            if (!same.is_error() && same.to_bool()) {
                any = true;
                break;
            }
        }
        if (ok && !any)
            ok = refuse(tr("%1 is not valid: not one of %2").arg(value.display(), attr.valid_any_of.join(QStringLiteral(", "))));
    }
    if (ok && !attr.valid_expr.isEmpty()) {
        bool pass = false;
        ok = eval_bool(attr.valid_expr, &pass);
        if (ok && !pass)
            ok = refuse(tr("%1 is not valid: %2 is false").arg(value.display(), attr.valid_expr.trimmed()));
    }
    if (ok && attr.valid_in_enum && value.kind() == KsyValue::Kind::enumeration && value.text().isEmpty())
        ok = refuse(tr("%1 is not valid: not in enum %2").arg(value.display(), attr.enum_name));
    m_scope.current = saved;
    if (ok)
        ++m_result.checks_passed;
    return ok;
}
