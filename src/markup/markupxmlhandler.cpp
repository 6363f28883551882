#include "markup/markupxmlhandler.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QColor>
#include <QCoreApplication>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

// Markup files never need entities; this only bounds what a crafted file
// could make the reader expand before its declarations are refused.
constexpr int entity_expansion_limit = 1024;

int colour_part(const QXmlStreamAttributes &attributes, const QString &name)
{
    bool ok = false;
    const int value = attributes.value(name).toInt(&ok, 10);
    return ok ? value : 0;
}

// Absent or unreadable parts count as 0; a part outside 0..255 makes the
// colour invalid. Stored colours carry no alpha: they load opaque.
QColor read_colour(const QXmlStreamAttributes &attributes, const QString &prefix)
{
    const int r = colour_part(attributes, prefix + QLatin1String("_red"));
    const int g = colour_part(attributes, prefix + QLatin1String("_green"));
    const int b = colour_part(attributes, prefix + QLatin1String("_blue"));
    if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
        return QColor();
    return QColor(r, g, b, 255);
}

} // namespace

MarkupXMLHandler::MarkupXMLHandler(MarkupModel *model, MarkupTree *tree)
    : m_model(model)
    , m_tree(tree)
{
}

bool MarkupXMLHandler::startDocument()
{
    m_tree->clear();
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

    const QModelIndex current = m_open.empty() ? QModelIndex() : m_open.back();
    MarkupNode *parent = m_model->node_from_index(current);
    const int row = m_model->rowCount(current);
    m_model->insertRow(row, current);
    MarkupNode *node = parent->child(row);

    const QString start = attributes.value(QLatin1String("start")).toString();
    const QString end = attributes.value(QLatin1String("end")).toString();
    node->set_data(MarkupColumn::Description,
                   attributes.value(QLatin1String("description")).toString());
    node->set_data(MarkupColumn::Start, start);
    node->set_data(MarkupColumn::End, end);
    node->set_data(MarkupColumn::Length,
                   // Wraps like the 64-bit arithmetic it is, never overflows.
                   qint64(quint64(MarkupNode::to_offset(end)) - quint64(MarkupNode::to_offset(start)) + 1));
    node->set_data(MarkupColumn::Repeat, attributes.value(QLatin1String("repeat")).toString());
    node->set_foreground(read_colour(attributes, QStringLiteral("foreground")));
    node->set_background(read_colour(attributes, QStringLiteral("background")));

    m_open.push_back(m_model->index(row, 0, current));
    ++m_nodes_read;
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

bool MarkupXMLHandler::parse(const QString &text)
{
    m_error.clear();
    m_nodes_read = 0;
    QXmlStreamReader reader(text);
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
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty()
                || !reader.notationDeclarations().isEmpty())
                return fail(QCoreApplication::translate(
                    "MarkupXMLHandler", "entity declarations are not accepted"));
            break;
        case QXmlStreamReader::StartElement:
            if (!startElement(reader.namespaceUri().toString(), reader.name().toString(),
                              reader.qualifiedName().toString(), reader.attributes()))
                return fail(QCoreApplication::translate("MarkupXMLHandler", "unknown element %1")
                                .arg(reader.name().toString()));
            break;
        case QXmlStreamReader::EndElement:
            endElement(reader.namespaceUri().toString(), reader.name().toString(),
                       reader.qualifiedName().toString());
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return fail(reader.errorString());
    return endDocument();
}
