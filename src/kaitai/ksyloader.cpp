#include "kaitai/ksyloader.h"

#include "kaitai/ksytemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <yaml-cpp/yaml.h>

namespace {

// A problem at a place in the file being read.
struct LoadError
{
    YAML::Mark mark;
    QString reason;
};

[[noreturn]] void fail(const YAML::Node &node, const QString &reason)
{
    throw LoadError { node.Mark(), reason };
}

QString text_of(const YAML::Node &node)
{
    if (!node.IsScalar())
        fail(node, KsyLoader::tr("expected a single value"));
    return QString::fromStdString(node.Scalar());
}

// An integer written in any base the language knows ("0x1f", "1_000").
qint64 integer_of(const YAML::Node &node)
{
    QString text = text_of(node).remove(QLatin1Char('_'));
    bool negative = text.startsWith(QLatin1Char('-'));
    if (negative)
        text.remove(0, 1);
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        base = 16;
    else if (text.startsWith(QLatin1String("0o"), Qt::CaseInsensitive))
        base = 8;
    else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive))
        base = 2;
    if (base != 10)
        text.remove(0, 2);
    bool ok = false;
    const quint64 v = text.toULongLong(&ok, base);
    if (!ok)
        fail(node, KsyLoader::tr("'%1' is not an integer").arg(text_of(node)));
    return negative ? -qint64(v) : qint64(v);
}

bool bool_of(const YAML::Node &node)
{
    const QString t = text_of(node);
    if (t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("false"))
        return false;
    fail(node, KsyLoader::tr("'%1' is not true or false").arg(t));
}

// contents: a string, a list of numbers and strings, or one number.
QByteArray contents_of(const YAML::Node &node)
{
    QByteArray out;
    const auto add = [&out](const YAML::Node &item) {
        if (!item.IsScalar())
            fail(item, KsyLoader::tr("contents must be numbers and strings"));
        const std::string &s = item.Scalar();
        const bool quoted = item.Tag() == "!";
        bool numeric = !quoted && !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) != 0);
        if (numeric) {
            const qint64 v = integer_of(item);
            if (v < 0 || v > 255)
                fail(item, KsyLoader::tr("contents byte %1 out of range").arg(v));
            out.append(char(v));
        } else {
            out.append(QString::fromStdString(s).toUtf8());
        }
    };
    if (node.IsSequence()) {
        for (const YAML::Node &item : node)
            add(item);
    } else {
        add(node);
    }
    return out;
}

// Each case's expression parsed, its value (a type or an endianness) as V.
template<typename V>
void read_cases(const YAML::Node &cases, std::vector<std::pair<KsyTemplateExpression, V>> *out)
{
    if (!cases.IsMap())
        fail(cases, KsyLoader::tr("cases must be a map"));
    for (const auto &entry : cases)
        out->emplace_back(KsyTemplateExpression(text_of(entry.first)), V(text_of(entry.second)));
}

KsyTemplateExpression expression_of(const YAML::Node &node)
{
    return KsyTemplateExpression(text_of(node));
}

void read_type_ref(const YAML::Node &node, KsyAttribute *a)
{
    if (node.IsMap()) {
        if (!node["switch-on"] || !node["cases"])
            fail(node, KsyLoader::tr("a switched type needs switch-on and cases"));
        a->switch_on = expression_of(node["switch-on"]);
        read_cases(node["cases"], &a->cases);
    } else {
        a->type = KsyCall(text_of(node));
    }
}

void read_valid(const YAML::Node &node, KsyAttribute *a)
{
    if (node.IsScalar()) {
        a->valid_eq = expression_of(node);
        return;
    }
    if (!node.IsMap())
        fail(node, KsyLoader::tr("valid must be a value or a map"));
    for (const auto &entry : node) {
        const std::string key = entry.first.Scalar();
        if (key == "eq")
            a->valid_eq = expression_of(entry.second);
        else if (key == "min")
            a->valid_min = expression_of(entry.second);
        else if (key == "max")
            a->valid_max = expression_of(entry.second);
        else if (key == "expr")
            a->valid_expr = expression_of(entry.second);
        else if (key == "in-enum")
            a->valid_in_enum = bool_of(entry.second);
        else if (key == "any-of") {
            if (!entry.second.IsSequence())
                fail(entry.second, KsyLoader::tr("any-of must be a list"));
            for (const YAML::Node &v : entry.second)
                a->valid_any_of.push_back(expression_of(v));
        } else
            fail(entry.first, KsyLoader::tr("unknown key '%1' in valid").arg(QString::fromStdString(key)));
    }
}

KsyAttribute read_attribute(const YAML::Node &node, const QString &id, bool instance)
{
    if (!node.IsMap())
        fail(node, KsyLoader::tr("a field must be a map"));
    KsyAttribute a;
    a.id = id;
    a.is_instance = instance;
    a.line = node.Mark().line + 1;
    a.column = node.Mark().column + 1;
    for (const auto &entry : node) {
        const std::string key = entry.first.Scalar();
        const YAML::Node &v = entry.second;
        if (key == "id") {
            if (!instance)
                a.id = text_of(v);
        } else if (key == "type")
            read_type_ref(v, &a);
        else if (key == "size")
            a.size = expression_of(v);
        else if (key == "size-eos")
            a.size_eos = bool_of(v);
        else if (key == "terminator")
            a.terminator = int(integer_of(v));
        else if (key == "include")
            a.include = bool_of(v);
        else if (key == "consume")
            a.consume = bool_of(v);
        else if (key == "eos-error")
            a.eos_error = bool_of(v);
        else if (key == "pad-right")
            a.pad_right = int(integer_of(v));
        else if (key == "encoding")
            a.encoding = text_of(v);
        else if (key == "contents") {
            a.has_contents = true;
            a.contents = contents_of(v);
        } else if (key == "enum")
            a.enum_name = text_of(v);
        else if (key == "process")
            a.process = KsyCall(text_of(v));
        else if (key == "repeat") {
            const QString r = text_of(v);
            if (r == QLatin1String("eos"))
                a.repeat = KsyAttribute::Repeat::eos;
            else if (r == QLatin1String("expr"))
                a.repeat = KsyAttribute::Repeat::expr;
            else if (r == QLatin1String("until"))
                a.repeat = KsyAttribute::Repeat::until;
            else
                fail(v, KsyLoader::tr("unknown repeat '%1'").arg(r));
        } else if (key == "repeat-expr" || key == "repeat-until")
            a.repeat_expr = expression_of(v);
        else if (key == "if")
            a.if_expr = expression_of(v);
        else if (key == "valid")
            read_valid(v, &a);
        else if (key == "pos" && instance)
            a.pos = expression_of(v);
        else if (key == "io" && instance)
            a.io = expression_of(v);
        else if (key == "value" && instance)
            a.value = expression_of(v);
        else if (key == "doc")
            a.doc = text_of(v).trimmed();
        else if (key == "parent")
            a.parent = expression_of(v);
        else if (key == "doc-ref" || key == "orig-id" || key == "-orig-id" || key == "title"
                 || key.rfind("-", 0) == 0 || key == "process-args")
            continue;
        else
            fail(entry.first, KsyLoader::tr("unknown key '%1'").arg(QString::fromStdString(key)));
    }
    if ((a.repeat == KsyAttribute::Repeat::expr || a.repeat == KsyAttribute::Repeat::until)
        && a.repeat_expr.is_empty())
        fail(node, KsyLoader::tr("repeat needs its expression"));
    if (!instance && a.id.isEmpty())
        a.id = QStringLiteral("_unnamed%1").arg(a.line);
    return a;
}

void read_meta(const YAML::Node &meta, KsyType *type, QStringList *imports, std::vector<YAML::Node> *import_nodes)
{
    if (!meta.IsMap())
        fail(meta, KsyLoader::tr("meta must be a map"));
    for (const auto &entry : meta) {
        const std::string key = entry.first.Scalar();
        const YAML::Node &v = entry.second;
        if (key == "id")
            type->name = text_of(v);
        else if (key == "endian") {
            if (v.IsMap()) {
                if (!v["switch-on"] || !v["cases"])
                    fail(v, KsyLoader::tr("a switched endian needs switch-on and cases"));
                type->endian = KsyType::Endian::switched;
                type->endian_switch = expression_of(v["switch-on"]);
                read_cases(v["cases"], &type->endian_cases);
            } else {
                const QString e = text_of(v);
                if (e != QLatin1String("le") && e != QLatin1String("be"))
                    fail(v, KsyLoader::tr("endian must be le or be"));
                type->endian = e == QLatin1String("le") ? KsyType::Endian::le : KsyType::Endian::be;
            }
        } else if (key == "bit-endian") {
            const QString e = text_of(v);
            if (e != QLatin1String("le") && e != QLatin1String("be"))
                fail(v, KsyLoader::tr("bit-endian must be le or be"));
            type->bit_endian = e == QLatin1String("le") ? KsyType::BitEndian::le : KsyType::BitEndian::be;
        } else if (key == "encoding")
            type->encoding = text_of(v);
        else if (key == "title")
            type->title = text_of(v);
        else if (key == "ks-opaque-types")
            type->opaque_types = bool_of(v);
        else if (key == "file-extension") {
            if (v.IsSequence()) {
                for (const YAML::Node &e : v)
                    type->file_extensions << text_of(e);
            } else {
                type->file_extensions << text_of(v);
            }
        } else if (key == "imports" && imports) {
            if (!v.IsSequence())
                fail(v, KsyLoader::tr("imports must be a list"));
            for (const YAML::Node &i : v) {
                *imports << text_of(i);
                import_nodes->push_back(i);
            }
        }
    }
}

void read_enums(const YAML::Node &node, KsyType *type)
{
    if (!node.IsMap())
        fail(node, KsyLoader::tr("enums must be a map"));
    for (const auto &entry : node) {
        auto e = std::make_unique<KsyEnum>();
        e->name = text_of(entry.first);
        if (!entry.second.IsMap())
            fail(entry.second, KsyLoader::tr("an enum must be a map"));
        for (const auto &value : entry.second) {
            const qint64 key = integer_of(value.first);
            const YAML::Node id = value.second.IsMap() ? value.second["id"] : value.second;
            if (!id)
                fail(value.second, KsyLoader::tr("an enum entry needs an id"));
            const QString name = text_of(id);
            e->names.insert(key, name);
            e->values.insert(name, key);
        }
        type->enums[e->name] = std::move(e);
    }
}

void read_representation(const QString &pattern, KsyType *type)
{
    static const QRegularExpression field(QStringLiteral("\\{([^{}:]+)(?::(\\w+))?\\}"));
    type->representation = pattern;
    type->representation_parts.clear();
    qsizetype from = 0;
    QRegularExpressionMatchIterator it = field.globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        type->representation_parts.push_back({ pattern.mid(from, match.capturedStart() - from),
                                               KsyTemplateExpression(match.captured(1)), match.captured(2) });
        from = match.capturedEnd();
    }
    type->representation_tail = pattern.mid(from);
}

void read_type(const YAML::Node &node, KsyType *type, int depth)
{
    if (depth > 64)
        fail(node, KsyLoader::tr("types nested too deeply"));
    if (node.IsNull())
        return;
    if (!node.IsMap())
        fail(node, KsyLoader::tr("a type must be a map"));
    for (const auto &entry : node) {
        const std::string key = entry.first.Scalar();
        const YAML::Node &v = entry.second;
        if (key == "meta") {
            if (depth > 0)
                read_meta(v, type, nullptr, nullptr);
        } else if (key == "seq") {
            if (v.IsNull())
                continue;
            if (!v.IsSequence())
                fail(v, KsyLoader::tr("seq must be a list"));
            for (const YAML::Node &item : v)
                type->seq.push_back(read_attribute(item, QString(), false));
        } else if (key == "instances") {
            if (!v.IsMap())
                fail(v, KsyLoader::tr("instances must be a map"));
            for (const auto &i : v)
                type->instances.push_back(read_attribute(i.second, text_of(i.first), true));
        } else if (key == "params") {
            if (!v.IsSequence())
                fail(v, KsyLoader::tr("params must be a list"));
            for (const YAML::Node &p : v) {
                if (!p.IsMap() || !p["id"])
                    fail(p, KsyLoader::tr("a parameter needs an id"));
                type->params << text_of(p["id"]);
            }
        } else if (key == "types") {
            if (!v.IsMap())
                fail(v, KsyLoader::tr("types must be a map"));
            for (const auto &t : v) {
                auto sub = std::make_unique<KsyType>();
                sub->name = text_of(t.first);
                sub->file = type->file;
                sub->file_name = type->file_name;
                sub->parent = type;
                read_type(t.second, sub.get(), depth + 1);
                type->types[sub->name] = std::move(sub);
            }
        } else if (key == "enums") {
            read_enums(v, type);
        } else if (key == "doc") {
            type->doc = text_of(v).trimmed();
        } else if (key == "-webide-representation") {
            read_representation(text_of(v), type);
        }
    }
}

} // namespace

KsyType *KsyLoader::load_file(const QString &path, QString *error)
{
    QFile file(path);
    // Descriptions are small; a huge or special file is not one.
    constexpr qint64 max_size = 16 << 20;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > max_size || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1:1:1: %2").arg(path, tr("cannot read the file"));
        return nullptr;
    }
    return load_text(file.readAll(), info.absoluteFilePath(), error);
}

KsyType *KsyLoader::load_text(const QByteArray &yaml, const QString &path, QString *error)
{
    auto type = std::make_unique<KsyType>();
    type->file = path;
    type->file_name = QFileInfo(path).fileName();
    QStringList imports;
    std::vector<YAML::Node> import_nodes;
    try {
        const YAML::Node doc = YAML::Load(yaml.toStdString());
        if (!doc.IsMap())
            fail(doc, tr("a template must be a map"));
        if (!doc["meta"] || !doc["meta"]["id"])
            fail(doc, tr("meta/id is missing"));
        read_meta(doc["meta"], type.get(), &imports, &import_nodes);
        read_type(doc, type.get(), 0);
    } catch (const LoadError &e) {
        *error = QStringLiteral("%1:%2:%3: %4").arg(path).arg(e.mark.line + 1).arg(e.mark.column + 1).arg(e.reason);
        return nullptr;
    } catch (const YAML::Exception &e) {
        *error = QStringLiteral("%1:%2:%3: %4")
                     .arg(path)
                     .arg(e.mark.line + 1)
                     .arg(e.mark.column + 1)
                     .arg(QString::fromStdString(e.msg));
        return nullptr;
    }

    KsyType *top = type.get();
    m_target->m_files.push_back(std::move(type));
    m_loaded.insert(path, top);

    if (++m_depth > 32) {
        *error = QStringLiteral("%1:1:1: %2").arg(path, tr("imports nested too deeply"));
        return nullptr;
    }
    for (int i = 0; i < imports.size(); ++i) {
        const QString &name = imports.at(i);
        QString file = name.startsWith(QLatin1Char('/'))
            ? QDir(m_root).filePath(name.mid(1))
            : QFileInfo(path).dir().filePath(name);
        file = QDir::cleanPath(file) + QStringLiteral(".ksy");
        const QString canonical = QFileInfo(file).canonicalFilePath();
        KsyType *imported = canonical.isEmpty() ? nullptr : m_loaded.value(canonical);
        if (!imported) {
            if (canonical.isEmpty()) {
                const YAML::Mark m = import_nodes[size_t(i)].Mark();
                *error = QStringLiteral("%1:%2:%3: %4").arg(path).arg(m.line + 1).arg(m.column + 1)
                             .arg(tr("cannot import '%1': no file %2").arg(name, file));
                return nullptr;
            }
            imported = load_file(canonical, error);
            if (!imported)
                return nullptr;
        }
        top->imports.push_back(imported);
    }
    --m_depth;
    return top;
}
