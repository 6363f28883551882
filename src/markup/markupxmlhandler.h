#pragma once

#include <QModelIndex>
#include <QString>
#include <QXmlStreamAttributes>

#include <vector>

class MarkupModel;
class MarkupTree;

// Content handler for markup documents, driven by parse() over a
// QXmlStreamReader with the callbacks of a SAX content handler: the tree is
// cleared when the document starts and each node element enters the tree as
// it is read, so a failed parse keeps what was read before the error.
//
// For safety the reader never reads external entities, and a document type
// declaration that declares entities is refused (no entity expansion at all).
class MarkupXMLHandler
{
public:
    MarkupXMLHandler(MarkupModel *model, MarkupTree *tree);

    bool startDocument();
    bool endDocument();
    bool startElement(const QString &namespace_uri, const QString &local_name,
                      const QString &qualified_name, const QXmlStreamAttributes &attributes);
    bool endElement(const QString &namespace_uri, const QString &local_name,
                    const QString &qualified_name);

    // Feeds text through the handler; true when the whole document was read.
    bool parse(const QString &text);
    QString error_string() const { return m_error; }

private:
    MarkupModel *m_model;
    MarkupTree *m_tree;
    // current_index is the top of this stack (the invalid index when empty).
    std::vector<QModelIndex> m_open;
    QString m_error;
};
