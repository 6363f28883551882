// The Kaitai Struct skeleton: a .ksy (YAML) file that parses the marked file
// as the markups describe it.

#include "markup/markupexporter.h"

#include "markup/markupcolumn.h"
#include "markup/markupnode.h"

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

// One entry of a seq: unmarked bytes (node null) or a markup.
struct Field
{
    const MarkupNode *node = nullptr;
    qint64 offset = 0;
    qint64 size = 0;       // of one record
    qint64 repeat = 0;     // records; 0: not repeated
    QString id;
    QString type;          // user type, a markup's value type, or u1/u2/u4/u8; empty: raw bytes
    QString encoding;      // of a str type
};

// A level of the tree: the root (the whole file) or a markup with children.
struct Level
{
    const MarkupNode *node;
    qint64 first;
    qint64 last;           // -1 with the root when the file size is unknown
    QString type_name;     // empty for the root
};

struct LevelLayout
{
    std::vector<Field> fields;
    // Markups that cannot be placed (they overlap a sibling or lie outside
    // their parent: only possible in a hand-edited markup file).
    QStringList skipped;
};

QString description_of(const MarkupNode *node)
{
    return node->stored_data(MarkupColumn::Description).toString();
}

// One line of a YAML comment: line breaks and other controls become spaces.
std::string comment_text(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return out.toStdString();
}

// What a markup is called, without the value its description shows: a
// template writes "width = 640" and "chunks[4] = IHDR", and the field is
// "width" whatever the file holds. A description without " = " is a name.
QString path_name(const MarkupNode *node)
{
    const QString description = description_of(node);
    const qsizetype equals = description.indexOf(QLatin1String(" = "));
    return equals > 0 ? description.left(equals) : description;
}

// Names in use, and for each base the next number to try, so that thousands
// of markups still called "Description" are named in linear time.
struct Names
{
    QSet<QString> taken;
    QHash<QString, int> next;

    QString unique(const QString &base)
    {
        QString name = base;
        if (taken.contains(name)) {
            int n = next.value(base, 2);
            do
                name = base + QLatin1Char('_') + QString::number(n++);
            while (taken.contains(name));
            next.insert(base, n);
        }
        taken.insert(name);
        return name;
    }
};

// Words no id or type name may be: what YAML 1.1 reads as a boolean or a
// null instead of a string, and keywords of the languages parsers are made
// for, which the compiler takes over as member and class names unchanged.
bool is_reserved(const QString &name)
{
    static const QSet<QString> words = {
        // YAML 1.1
        "y", "n", "yes", "no", "on", "off", "true", "false", "null",
        // Python
        "and", "as", "assert", "async", "await", "break", "class", "continue", "def", "del",
        "elif", "else", "except", "finally", "for", "from", "global", "if", "import", "in",
        "is", "lambda", "nonlocal", "not", "or", "pass", "raise", "return", "try", "while",
        "with", "yield",
        // Java, C++ and JavaScript
        "abstract", "auto", "boolean", "byte", "case", "catch", "char", "const", "default",
        "delete", "do", "double", "enum", "explicit", "export", "extends", "extern", "final",
        "float", "friend", "function", "goto", "implements", "inline", "instanceof", "int",
        "interface", "let", "long", "mutable", "namespace", "native", "new", "operator",
        "package", "private", "protected", "public", "register", "short", "signed", "sizeof",
        "static", "struct", "super", "switch", "synchronized", "template", "this", "throw",
        "throws", "transient", "typedef", "typeid", "typename", "typeof", "union",
        "unsigned", "using", "var", "virtual", "void", "volatile",
    };
    return words.contains(name);
}

// Names the compiler reads as built-in types, which a user type must not take.
bool is_builtin_type(const QString &name)
{
    static const QRegularExpression builtin(QStringLiteral(
        "^(?:(?:[us][1248]|f[48])(?:le|be)?|b[0-9]+(?:le|be)?|strz?|bytes|struct|io|any|bool)$"));
    return builtin.match(name).hasMatch();
}

QString integer_type(qint64 size)
{
    switch (size) {
    case 1: return QStringLiteral("u1");
    case 2: return QStringLiteral("u2");
    case 4: return QStringLiteral("u4");
    case 8: return QStringLiteral("u8");
    default: return QString();
    }
}

// Lays out one level: its children in offset order, the gaps between them,
// and how often each repeat record fits. New user types are appended to
// `pending` and their names to `type_names`.
LevelLayout lay_out(const Level &level, std::vector<Level> &pending, Names &type_names)
{
    QList<const MarkupNode *> children(level.node->children().cbegin(),
                                       level.node->children().cend());
    std::stable_sort(children.begin(), children.end(),
                     [](const MarkupNode *a, const MarkupNode *b) { return a->start() < b->start(); });

    LevelLayout layout;
    qint64 cursor = level.first;
    auto add_gap = [&layout](qint64 offset, qint64 size) {
        Field gap;
        gap.offset = offset;
        gap.size = size;
        gap.id = QStringLiteral("gap_") + QString::number(offset);
        layout.fields.push_back(gap);
    };
    for (int i = 0; i < children.size(); ++i) {
        const MarkupNode *child = children.at(i);
        const qint64 start = child->start();
        const qint64 end = child->end();
        const bool placeable = start >= cursor && end >= start
                               && end < std::numeric_limits<qint64>::max()
                               && (level.last < 0 || end <= level.last);
        if (!placeable) {
            layout.skipped << QStringLiteral("%1 at %2..%3").arg(description_of(child)).arg(start).arg(end);
            continue;
        }
        if (start > cursor)
            add_gap(cursor, start - cursor);

        Field field;
        field.node = child;
        field.offset = start;
        field.size = end - start + 1;
        cursor = end + 1;
        if (child->is_repeat()) {
            // The records run until the next sibling that starts after this
            // one, or the end of the parent; at least the marked record.
            qint64 limit = level.last >= 0 ? level.last : end;
            for (int j = i + 1; j < children.size(); ++j) {
                if (children.at(j)->start() > end) {
                    limit = children.at(j)->start() - 1;
                    break;
                }
            }
            field.repeat = std::max<qint64>(1, (limit - start + 1) / field.size);
            cursor = start + field.repeat * field.size;
        }
        if (child->child_count() > 0) {
            QString name = MarkupExporter::identifier(path_name(child), QStringLiteral("type"));
            if (is_builtin_type(name) || is_reserved(name))
                name += QStringLiteral("_type");
            field.type = type_names.unique(name);
            pending.push_back({ child, start, end, field.type });
        } else {
            // A markup made for a value reads as that value, in its byte order.
            field.type = child->value_type().ksy_type(field.size);
            field.encoding = child->value_type().ksy_encoding();
            if (field.type.isEmpty())
                field.type = integer_type(field.size);
        }
        layout.fields.push_back(field);
    }
    if (level.last >= 0 && cursor <= level.last)
        add_gap(cursor, level.last - cursor + 1);

    // Field ids are unique within the seq; gaps keep their offset names.
    Names ids;
    for (const Field &field : layout.fields) {
        if (!field.node)
            ids.taken.insert(field.id);
    }
    for (Field &field : layout.fields) {
        if (!field.node)
            continue;
        QString id = MarkupExporter::identifier(path_name(field.node), QStringLiteral("field"));
        if (is_reserved(id))
            id += QStringLiteral("_field");
        field.id = ids.unique(id);
    }
    return layout;
}

void write_seq(YAML::Emitter &out, const LevelLayout &layout)
{
    out << YAML::Key << "seq" << YAML::Value;
    if (layout.fields.empty() && layout.skipped.isEmpty()) {
        out << YAML::Flow << YAML::BeginSeq << YAML::EndSeq;
        return;
    }
    out << YAML::BeginSeq;
    for (const QString &skipped : layout.skipped)
        out << YAML::Comment("not placed, it overlaps a sibling or leaves its parent: " + comment_text(skipped));
    for (const Field &field : layout.fields) {
        out << YAML::BeginMap << YAML::Key << "id" << YAML::Value << field.id.toStdString();
        if (field.node) {
            const QString description = description_of(field.node);
            // Double-quoted, so that any description (line breaks, controls,
            // words YAML reads as booleans) comes back as written.
            if (!description.isEmpty())
                out << YAML::Key << "doc" << YAML::Value << YAML::DoubleQuoted << description.toStdString();
        }
        if (field.type.isEmpty() || !field.node || field.node->child_count() > 0 || !field.encoding.isEmpty())
            out << YAML::Key << "size" << YAML::Value << field.size;
        if (!field.type.isEmpty())
            out << YAML::Key << "type" << YAML::Value << field.type.toStdString();
        if (!field.encoding.isEmpty())
            out << YAML::Key << "encoding" << YAML::Value << field.encoding.toStdString();
        if (field.repeat > 0) {
            out << YAML::Key << "repeat" << YAML::Value << "expr";
            out << YAML::Key << "repeat-expr" << YAML::Value << field.repeat;
        }
        out << YAML::EndMap;
    }
    out << YAML::EndSeq;
}

} // namespace

QByteArray MarkupExporter::to_ksy(const MarkupNode *root, const QString &data_file_name,
                                  qint64 data_size)
{
    const QFileInfo data_file(data_file_name);
    YAML::Emitter out;
    if (!data_file_name.isEmpty())
        out << YAML::Comment("Skeleton of " + comment_text(data_file.fileName())
                             + ", made from its markups by Pellow Quarnby.");
    QString id = identifier(data_file.completeBaseName(), QStringLiteral("data_file"));
    if (is_reserved(id))
        id += QStringLiteral("_file");
    out << YAML::BeginMap;
    out << YAML::Key << "meta" << YAML::Value << YAML::BeginMap;
    out << YAML::Key << "id" << YAML::Value << id.toStdString();
    out << YAML::Key << "endian" << YAML::Value << "le";
    out << YAML::EndMap;

    std::vector<Level> pending;
    // The top level is a type named by the meta id; a type inside it of the
    // same name is an error in the languages parsers are generated for.
    Names type_names;
    type_names.taken.insert(id);
    write_seq(out, lay_out({ root, 0, data_size > 0 ? data_size - 1 : -1, QString() }, pending, type_names));

    if (!pending.empty()) {
        out << YAML::Key << "types" << YAML::Value << YAML::BeginMap;
        // Depth first, parents before their own types, without recursion.
        std::reverse(pending.begin(), pending.end());
        while (!pending.empty()) {
            const Level level = pending.back();
            pending.pop_back();
            out << YAML::Key << level.type_name.toStdString() << YAML::Value << YAML::BeginMap;
            std::vector<Level> found;
            write_seq(out, lay_out(level, found, type_names));
            out << YAML::EndMap;
            pending.insert(pending.end(), found.rbegin(), found.rend());
        }
        out << YAML::EndMap;
    }
    out << YAML::EndMap << YAML::Newline;
    return QByteArray(out.c_str(), qsizetype(out.size()));
}
