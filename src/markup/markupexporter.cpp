// JSON and CSV export, and what the formats share. The .ksy skeleton is in
// markupexporter_ksy.cpp.

#include "markup/markupexporter.h"

#include "markup/markupcolumn.h"
#include "markup/markupnode.h"

#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

QString description_of(const MarkupNode *node)
{
    return node->stored_data(MarkupColumn::Description).toString();
}

// An invalid colour is written as black, as the markup file does.
QString colour_text(const QColor &colour)
{
    return colour.isValid() ? colour.name(QColor::HexRgb) : QStringLiteral("#000000");
}

// A text as a JSON string, quoted and escaped by Qt's writer.
QByteArray json_string(const QString &text)
{
    QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2); // the brackets
}

// Colours repeat from markup to markup: each is written once per export.
class ColourTexts
{
public:
    const QByteArray &text(const QColor &colour)
    {
        const QRgb key = colour.isValid() ? colour.rgb() : qRgb(0, 0, 0);
        auto it = m_texts.constFind(key);
        if (it == m_texts.constEnd())
            it = m_texts.insert(key, '"' + colour_text(colour).toLatin1() + '"');
        return *it;
    }

private:
    QHash<QRgb, QByteArray> m_texts;
};

// A markup's own fields as a JSON object left open after a "children" key,
// so the caller writes the children in place and closes it. Nesting is written
// by the caller: Qt's writer recurses and would overflow the stack on a tree
// nested tens of thousands deep. The keys in the order Qt's JSON object
// writes them; only the description needs escaping, so only it goes through
// Qt's writer, which is most of the cost of a large export.
void append_json_object_head(const MarkupNode *node, ColourTexts *colours, QByteArray *out)
{
    *out += "{\"background\":";
    *out += colours->text(node->background());
    *out += ",\"description\":";
    *out += json_string(description_of(node));
    *out += ",\"end\":";
    *out += QByteArray::number(node->end());
    *out += ",\"foreground\":";
    *out += colours->text(node->foreground());
    *out += ",\"length\":";
    *out += QByteArray::number(node->length());
    *out += ",\"repeat\":";
    *out += node->is_repeat() ? "true" : "false";
    *out += ",\"start\":";
    *out += QByteArray::number(node->start());
    // Only for a markup made for a value, as in the markup file.
    if (!node->value_type().is_none()) {
        *out += ",\"type\":";
        *out += json_string(node->value_type().to_text());
    }
    *out += ",\"children\":[";
}

// Two spaces per level, no deeper than a screen is wide: the indentation of a
// deeply nested tree would otherwise grow with the square of its depth.
QByteArray indentation(std::size_t depth)
{
    return QByteArray(int(std::min<std::size_t>(depth, 32)) * 2, ' ');
}

struct Frame
{
    const MarkupNode *node;
    int next_child;
};

// A spreadsheet runs a cell that begins with one of these as a formula (a
// tab or CR can hide one behind it). A plain signed number is only a number.
bool reads_as_formula(const QString &text)
{
    static const QRegularExpression plain_number(QStringLiteral("^[+-]?[0-9]+(\\.[0-9]+)?$"));
    if (text.isEmpty())
        return false;
    const QChar first = text.at(0);
    if (first == QLatin1Char('=') || first == QLatin1Char('@') || first == QLatin1Char('\t')
        || first == QLatin1Char('\r'))
        return true;
    return (first == QLatin1Char('+') || first == QLatin1Char('-'))
           && !plain_number.match(text).hasMatch();
}

// A text field: a formula gets a leading ' so that a spreadsheet shows it as
// text instead of running it; then the quoting of RFC 4180.
QByteArray csv_field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (reads_as_formula(text))
        bytes.prepend('\'');
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n')
        || bytes.contains('\r')) {
        bytes.replace('"', "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

// The JSON text of the tree into *text, handed to `flush` whenever it
// holds a megabyte (flush empties it, false on failure) and left with the rest.
bool json_text(const MarkupNode *root, const std::function<bool(QByteArray *)> &flush, QByteArray *text)
{
    constexpr qsizetype chunk = 1 << 20;
    QByteArray &out = *text;
    out += "[";
    ColourTexts colours;
    std::vector<Frame> stack { { root, 0 } };
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next_child < frame.node->child_count()) {
            const MarkupNode *child = frame.node->child(frame.next_child);
            out += frame.next_child > 0 ? ",\n" : "\n";
            out += indentation(stack.size());
            append_json_object_head(child, &colours, &out);
            if (out.size() >= chunk && !flush(&out))
                return false;
            ++frame.next_child;
            stack.push_back({ child, 0 });
            continue;
        }
        const bool had_children = frame.node->child_count() > 0;
        stack.pop_back();
        if (had_children) {
            out += '\n';
            out += indentation(stack.size());
        }
        out += stack.empty() ? "]\n" : "]}";
    }
    return true;
}

} // namespace

QString MarkupExporter::file_filter()
{
    return QStringLiteral("JSON (*.json);;CSV (*.csv);;Kaitai Struct (*.ksy)");
}

MarkupExporter::Format MarkupExporter::format_of(const QString &file_name)
{
    const QString suffix = QFileInfo(file_name).suffix().toLower();
    if (suffix == QLatin1String("json"))
        return Format::json;
    if (suffix == QLatin1String("csv"))
        return Format::csv;
    if (suffix == QLatin1String("ksy"))
        return Format::ksy;
    return Format::unknown;
}

QByteArray MarkupExporter::write(Format format, const MarkupNode *root,
                                 const QString &data_file_name, qint64 data_size)
{
    switch (format) {
    case Format::json:
        return to_json(root);
    case Format::csv:
        return to_csv(root);
    case Format::ksy:
        return to_ksy(root, data_file_name, data_size);
    case Format::unknown:
        break;
    }
    return QByteArray();
}

QByteArray MarkupExporter::to_json(const MarkupNode *root)
{
    QByteArray out;
    json_text(root, [](QByteArray *) { return true; }, &out);
    return out;
}

bool MarkupExporter::write_json(const MarkupNode *root, QIODevice *device)
{
    QByteArray out;
    const auto flush = [device](QByteArray *text) {
        const bool written = device->write(*text) == text->size();
        text->clear();
        return written;
    };
    return json_text(root, flush, &out) && flush(&out);
}

QByteArray MarkupExporter::to_csv(const MarkupNode *root)
{
    QByteArray out = "depth,path,start,end,length,repeat,description,foreground,background\r\n";
    // The path of the markups on the stack, one description per level.
    QStringList path;
    std::vector<Frame> stack { { root, 0 } };
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next_child >= frame.node->child_count()) {
            stack.pop_back();
            if (!path.isEmpty())
                path.removeLast();
            continue;
        }
        const MarkupNode *node = frame.node->child(frame.next_child++);
        const QString description = description_of(node);
        path.append(description);
        const QByteArray fields[] = {
            QByteArray::number(qsizetype(path.size())),
            csv_field(path.join(QLatin1Char('/'))),
            QByteArray::number(node->start()),
            QByteArray::number(node->end()),
            QByteArray::number(node->length()),
            node->is_repeat() ? QByteArrayLiteral("true") : QByteArrayLiteral("false"),
            csv_field(description),
            colour_text(node->foreground()).toLatin1(),
            colour_text(node->background()).toLatin1(),
        };
        for (const QByteArray &field : fields) {
            out += field;
            out += ',';
        }
        out.chop(1);
        out += "\r\n";
        stack.push_back({ node, 0 });
    }
    return out;
}

QString MarkupExporter::identifier(const QString &text, const QString &fallback)
{
    // Long enough to tell fields apart, short enough to read.
    constexpr int max_length = 48;
    // Letters that do not decompose into a Latin letter and an accent.
    static const std::pair<QChar, const char *> spelled[] = {
        { QChar(0xdf), "ss" }, { QChar(0xe6), "ae" }, { QChar(0xf8), "o" }, { QChar(0x153), "oe" },
        { QChar(0x142), "l" }, { QChar(0x111), "d" }, { QChar(0xf0), "d" }, { QChar(0xfe), "th" },
    };
    QString folded = text.normalized(QString::NormalizationForm_KD).toLower();
    for (const auto &[letter, latin] : spelled)
        folded.replace(letter, QLatin1String(latin));
    QString out;
    bool separate = false;
    for (const QChar c : std::as_const(folded)) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
            if (separate && !out.isEmpty())
                out += QLatin1Char('_');
            separate = false;
            out += c;
            if (out.size() >= max_length)
                break;
        } else if (c.category() != QChar::Mark_NonSpacing) {
            // Accents were split off by the normalisation and are dropped;
            // anything else separates words.
            separate = true;
        }
    }
    if (out.isEmpty())
        return fallback;
    if (out.at(0).isDigit())
        return fallback + QLatin1Char('_') + out;
    return out;
}
