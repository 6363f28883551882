#include "markup/markupxmlhandler.h"

#include "markup/markupcolumn.h"
#include "markup/markupfiledecoder.h"
#include "markup/markupnode.h"

#include <QColor>
#include <QCoreApplication>
#include <QIODevice>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>

namespace {

// Markup files never need entities; this only bounds what a crafted file
// could make the reader expand before its declarations are refused.
constexpr int entity_expansion_limit = 1024;

// How much of a markup file is read at a time: small beside a large file,
// large enough that reading costs little beside parsing.
constexpr qint64 piece_size = qint64(1) << 20;

// What one small markup costs in the tree, its place in its parent's list
// and a short description included; measured by loading 10 million of them
// (bench_markup).
constexpr qint64 bytes_per_markup = 500;
// A description byte is one UTF-16 character in the tree; while its element
// is read the reader holds a second copy of that attribute.
constexpr qint64 bytes_per_text_byte = 2;

// The parts of both colours, in this order, each read from its attribute.
const QLatin1String colour_names[6] = {
    QLatin1String("foreground_red"), QLatin1String("foreground_green"),
    QLatin1String("foreground_blue"), QLatin1String("background_red"),
    QLatin1String("background_green"), QLatin1String("background_blue")};

// Absent or unreadable parts count as 0; a part outside 0..255 makes the
// colour invalid. Stored colours carry no alpha: they load opaque.
QColor make_colour(const int *parts)
{
    for (int i = 0; i < 3; ++i) {
        if (parts[i] < 0 || parts[i] > 255)
            return QColor();
    }
    return QColor(parts[0], parts[1], parts[2], 255);
}

QString element_name(QStringView name)
{
    static const QString node = QStringLiteral("node");
    return name == node ? node : name.toString();
}

} // namespace

qint64 MarkupXMLHandler::memory_needed(QByteArrayView head, qint64 size)
{
    MarkupFileDecoder decoder(MarkupFileDecoder::encoding_of(head));
    const QString text = decoder.decode(head, false);
    const qint64 in_head = text.count(QLatin1String("<node"));
    // At least one markup more than the head shows: it may end inside one.
    const qint64 markups =
        head.isEmpty() ? 0 : (in_head + 1) * std::max(size, qint64(head.size())) / head.size();
    // Many markups, and text of them all; or the file one description,
    // which the tree and the reader both hold at the end of its element.
    return std::max(markups * bytes_per_markup + size * bytes_per_text_byte,
                    2 * size * bytes_per_text_byte);
}

MarkupXMLHandler::MarkupXMLHandler(MarkupNode *root)
    : m_root(root)
{
}

bool MarkupXMLHandler::startDocument()
{
    // A second reading (the file was not UTF-8) starts from nothing.
    const QList<MarkupNode *> old = m_root->children();
    m_root->clear_children();
    qDeleteAll(old);
    m_open.clear();
    return true;
}

bool MarkupXMLHandler::endDocument()
{
    return true;
}

bool MarkupXMLHandler::startElement(const QString &, const QString &local_name, const QString &,
                                    const QXmlStreamAttributes &attributes)
{
    if (local_name == QLatin1String("pellowquarnbybook"))
        return true;
    if (local_name != QLatin1String("node")) {
        std::printf("unknown XML local name%s\n", local_name.toLocal8Bit().constData());
        std::fflush(stdout);
        return false;
    }

    // One pass over the attributes rather than a search for each name: a
    // file may hold millions of elements.
    QStringView description;
    QStringView start;
    QStringView end;
    QStringView repeat;
    QStringView type;
    int colour_parts[6] = {};
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringView name = attribute.qualifiedName();
        const QStringView value = attribute.value();
        if (name == QLatin1String("description")) {
            description = value;
        } else if (name == QLatin1String("start")) {
            start = value;
        } else if (name == QLatin1String("end")) {
            end = value;
        } else if (name == QLatin1String("repeat")) {
            repeat = value;
        } else if (name == QLatin1String("type")) {
            type = value;
        } else {
            for (int i = 0; i < 6; ++i) {
                if (name == colour_names[i]) {
                    bool ok = false;
                    const int part = value.toInt(&ok, 10);
                    colour_parts[i] = ok ? part : 0;
                    break;
                }
            }
        }
    }

    MarkupNode *parent = current_index();
    // The description is the one copy of the attribute the tree keeps; the
    // reader's own is gone with the reader.
    auto *node = new MarkupNode(description.toString(), parent);
    parent->append_child(node);

    node->set_data(MarkupColumn::Start, start.toString());
    node->set_data(MarkupColumn::End, end.toString());
    // The node has read both texts as offsets already. Wraps like the 64-bit
    // arithmetic it is, never overflows.
    node->set_data(MarkupColumn::Length, qint64(quint64(node->end()) - quint64(node->start()) + 1));
    node->set_data(MarkupColumn::Repeat, repeat.toString());
    node->set_foreground(make_colour(colour_parts));
    node->set_background(make_colour(colour_parts + 3));
    node->set_value_type(MarkupValueType::from_text(type));

    m_open.push_back(node);
    return true;
}

bool MarkupXMLHandler::endElement(const QString &, const QString &, const QString &)
{
    // Any closing tag moves up one level, as the opening tags of node
    // elements moved down.
    if (!m_open.empty())
        m_open.pop_back();
    return true;
}

bool MarkupXMLHandler::run(QXmlStreamReader &reader, const std::function<bool()> &more)
{
    m_error.clear();
    m_nodes_read = 0;
    reader.setEntityExpansionLimit(entity_expansion_limit);
    // The reason and the place are shown to the user.
    const auto fail = [&](const QString &error) {
        m_error = error;
        m_error_line = reader.lineNumber();
        m_error_column = reader.columnNumber();
        return false;
    };
    if (!startDocument())
        return false;
    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Invalid) {
            // The reader has used up what it was given.
            if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError && more())
                continue;
            break;
        }
        switch (token) {
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty()
                || !reader.notationDeclarations().isEmpty())
                return fail(QCoreApplication::translate(
                    "MarkupXMLHandler", "entity declarations are not accepted"));
            break;
        case QXmlStreamReader::StartElement: {
            // Without a prefix the qualified name is the local name; most
            // elements are node elements, whose name needs no new text.
            const QString name = element_name(reader.name());
            const QString qualified =
                reader.prefix().isEmpty() ? name : reader.qualifiedName().toString();
            if (!startElement(reader.namespaceUri().toString(), name, qualified, reader.attributes()))
                return fail(QCoreApplication::translate("MarkupXMLHandler", "unknown element %1")
                                .arg(name));
            if (name == QLatin1String("node"))
                ++m_nodes_read;
            break;
        }
        case QXmlStreamReader::EndElement: {
            const QString name = element_name(reader.name());
            endElement(reader.namespaceUri().toString(), name,
                       reader.prefix().isEmpty() ? name : reader.qualifiedName().toString());
            break;
        }
        default:
            break;
        }
        if (token == QXmlStreamReader::EndDocument)
            break;
    }
    if (reader.hasError())
        return fail(reader.errorString());
    return endDocument();
}

bool MarkupXMLHandler::parse(const QString &text)
{
    QXmlStreamReader reader(text);
    return run(reader, [] { return false; });
}

bool MarkupXMLHandler::feed(QIODevice &device, MarkupFileDecoder &decoder, QXmlStreamReader *reader)
{
    // Never more than the file held when it was opened: one that keeps
    // growing cannot outrun the size limit.
    const qint64 wanted = std::min(piece_size, m_total - m_done);
    if (m_cancelled || wanted <= 0)
        return false;
    const QByteArray piece = device.read(wanted);
    if (piece.isEmpty())
        return false;
    m_done += piece.size();
    const QString text = decoder.decode(piece, m_done == m_total || device.atEnd());
    if (reader)
        reader->addData(text);
    if (*m_progress && !(*m_progress)(m_done, m_total)) {
        m_cancelled = true;
        return false;
    }
    return true;
}

MarkupXMLHandler::Result MarkupXMLHandler::parse(QIODevice &device, qint64 size,
                                                 const Progress &progress)
{
    const qint64 origin = device.pos();
    MarkupFileDecoder::Encoding encoding = MarkupFileDecoder::encoding_of(device.peek(4));
    m_total = size;
    m_progress = &progress;
    m_cancelled = false;
    for (;;) {
        m_done = 0;
        MarkupFileDecoder decoder(encoding);
        QXmlStreamReader reader;
        const bool ok = run(reader, [&] { return feed(device, decoder, &reader); });
        // Whether the file is UTF-8 is known only at its end: a byte past
        // the markups (or past an error) can still say otherwise.
        while (!decoder.has_error() && encoding == MarkupFileDecoder::Encoding::utf8
               && feed(device, decoder, nullptr)) {
        }
        if (m_cancelled)
            return Result::cancelled;
        if (decoder.has_error() && encoding == MarkupFileDecoder::Encoding::utf8
            && device.seek(origin)) {
            encoding = MarkupFileDecoder::Encoding::windows_1252;
            continue;
        }
        return ok ? Result::loaded : Result::failed;
    }
}
