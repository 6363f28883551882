#include "kaitai/ksyparser.h"

#include "kaitai/ksybytesource.h"
#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyobject.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytemplate.h"

#include <algorithm>

// The walker: objects, their fields in order, repeats, conditions and
// instances. Reading a field's value is in ksyparser_reads.cpp, the names
// expressions see in ksyparser_names.cpp.

namespace {

// "png.ksy:12:7": where a field is written, for messages; empty for none.
QString place_of(const KsyAttribute *field, const KsyType *type)
{
    if (!field || !type)
        return QString();
    return type->file_name + QLatin1Char(':') + QString::number(field->line) + QLatin1Char(':')
        + QString::number(field->column);
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
    m_result.ksy = m_template;
    m_stop_path.clear();
    m_stop_field = nullptr;
    m_stop_type = nullptr;
    m_hard_stop = false;
    m_path.clear();
    m_computing.clear();
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
    item->set_user_type(top);
    item->start = 0;
    root->item = item;
    if (resolve_endian(root.get()) && parse_object(root.get()))
        retry_deferred();
    item->end = root->io->file_offset(root->end > 0 ? root->end : root->io->pos());
    if (m_progress)
        m_progress(m_source->size(), m_source->size());
    // A parse that stopped retried nothing: what failed is told and kept as it was.
    restore_deferred();
    m_replaced.clear();
    // A stop keeps its parts while the parse runs (most are of instances
    // tried again) and is told in words once, here.
    if (m_result.stopped) {
        m_result.reason = m_result.reason.simplified();
        m_result.stopped_path = m_stop_path.text();
        m_result.stopped_field = place_of(m_stop_field, m_stop_type);
    }
    // Objects refer to each other through values; dropping the table frees them.
    m_objects.clear();
    return std::move(m_result);
}

void KsyParser::restore_deferred()
{
    for (Deferred &d : m_deferred) {
        const QString reason = d.reason.simplified();
        if (m_result.instance_failure.isEmpty())
            m_result.instance_failure = KsyResult::where(d.at, d.path.text(),
                                                         place_of(d.field, d.field_type))
                + QStringLiteral(": ") + reason;
        if (d.object->item) {
            for (auto &item : d.partial)
                d.object->item->children.push_back(std::move(item));
            // Shown where its value would be, never left out in silence.
            auto item = std::make_unique<KsyItem>();
            item->attr = d.attr;
            item->is_instance = true;
            item->is_scalar = true;
            item->unavailable = true;
            item->text = tr("n/a: %1").arg(reason);
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
            // What this try read replaces what the one before read. That is
            // kept until the parse ends: instances that failed inside it
            // still wait with it, and are told there.
            if (d.object->item && d.object->item->children.size() > items_before) {
                auto &children = d.object->item->children;
                std::move(d.partial.begin(), d.partial.end(), std::back_inserter(m_replaced));
                d.partial.clear();
                std::move(children.begin() + qsizetype(items_before), children.end(), std::back_inserter(d.partial));
                children.resize(items_before);
            }
            d.at = m_result.stopped_at;
            d.path = m_stop_path;
            d.field = m_stop_field;
            d.field_type = m_stop_type;
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
        // Made one line (an expression quoted in it may span several) when told.
        m_result.reason = reason;
        m_stop_path = m_path;
        m_result.stopped_at = m_field_start >= 0 ? m_field_start
                                                 : m_io ? m_io->place(m_io->pos()) : 0;
        m_stop_field = m_field;
        m_stop_type = m_field_type;
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
                const KsyValue key = c.first.text == QLatin1String("_") ? on : eval_value(c.first);
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
        const std::shared_ptr<KsyStream> saved_io = m_io;
        const size_t items_before = object->item ? object->item->children.size() : 0;
        if (!compute_instance(object, attr)) {
            if (m_hard_stop)
                return false;
            // What the failed try read is set aside; the retry reads it again.
            Deferred deferred { object, &attr, m_result.stopped_at, m_stop_path, m_stop_field, m_stop_type,
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
            // The path while the fields are read is the object's own.
            m_path = object->path();
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
    if (!attr.io.is_empty()) {
        KsyValue v;
        ok = eval(attr.io, &v);
        if (ok && !v.stream())
            ok = stop(tr("'%1' is not a stream").arg(attr.io.text));
        if (ok)
            io = v.stream();
    }
    const qint64 saved_pos = io->pos();
    if (ok && !attr.pos.is_empty()) {
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
    const auto computing = std::find_if(m_computing.cbegin(), m_computing.cend(), [&](const auto &c) {
        return c.first == object && *c.second == attr.id;
    });
    if (computing != m_computing.cend())
        return stop(tr("instance '%1' depends on itself").arg(attr.id));
    if (m_instance_depth >= m_limits.max_depth * 4)
        return stop(tr("instances nested deeper than %1").arg(m_limits.max_depth * 4), true);
    const Scope saved_scope = m_scope;
    const KsyPath saved_path = m_path;
    const std::shared_ptr<KsyStream> saved_io = m_io;
    const KsyAttribute *saved_field = m_field;
    const KsyType *saved_field_type = m_field_type;
    m_field = &attr;
    m_field_type = object->type;
    m_computing.emplace_back(object, &attr.id);
    ++m_instance_depth;
    m_scope = Scope { object };
    m_path = object->path();
    bool ok = true;
    if (!attr.value.is_empty()) {
        bool wanted = true;
        if (!attr.if_expr.is_empty())
            ok = eval_bool(attr.if_expr, &wanted);
        KsyValue v;
        if (ok && wanted) {
            m_path.push(&attr.id);
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
                item->attr = &attr;
                item->is_instance = true;
                item->is_scalar = true;
                item->set_value(v);
                object->item->children.push_back(std::move(item));
            }
        }
    } else {
        // The condition comes first: the stream and the position of an
        // instance that is not there need not exist (a string offset read
        // only for some tags).
        bool wanted = true;
        if (!attr.if_expr.is_empty())
            ok = eval_bool(attr.if_expr, &wanted);
        if (ok && !wanted)
            object->set(attr.id, KsyValue());
        else if (ok)
            ok = read_instance(object, attr);
    }
    --m_instance_depth;
    m_computing.pop_back();
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
    m_path.push(&attr.id);
    const Scope saved = m_scope;
    m_scope = Scope { object };
    const KsyAttribute *saved_field = m_field;
    const KsyType *saved_field_type = m_field_type;
    m_field = &attr;
    m_field_type = object->type;
    bool wanted = true;
    if (!attr.if_expr.is_empty() && !eval_bool(attr.if_expr, &wanted))
        return false;
    if (!wanted) {
        object->set(attr.id, KsyValue());
        m_path.pop();
        m_scope = saved;
        m_field = saved_field;
        m_field_type = saved_field_type;
        return true;
    }

    const qint64 start = io->pos();
    KsyValue value;
    if (attr.repeat == KsyAttribute::Repeat::none) {
        auto item = std::make_unique<KsyItem>();
        item->attr = &attr;
        item->is_instance = instance;
        KsyItem *raw = item.get();
        parent_item->children.push_back(std::move(item));
        if (!parse_single(object, attr, io, raw, &value))
            return false;
    } else {
        auto array_item = std::make_unique<KsyItem>();
        array_item->attr = &attr;
        array_item->is_array = true;
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
            m_path.set_index(i);
            auto item = std::make_unique<KsyItem>();
            item->attr = &attr;
            item->index = i;
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
        m_path.set_index(-1);
        if (!array_raw->children.empty()) {
            array_raw->start = array_raw->children.front()->start;
            array_raw->end = array_raw->children.back()->end;
        }
        value = KsyValue::from_shared_array(shared_items);
        object->set(attr.id, value, start, io->pos());
    }
    m_path.pop();
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
    item->is_scalar = out->kind() != KsyValue::Kind::object;
    item->set_value(*out);
    // The field has its value (and its place) when it is checked: `valid`
    // may name it.
    if (attr.repeat == KsyAttribute::Repeat::none)
        object->set(attr.id, *out, start, io->pos());
    return check_valid(attr, *out);
}

