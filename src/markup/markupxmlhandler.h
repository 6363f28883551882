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
    // Where the reader stopped on the error: its line (from 1) and the
    // characters read on that line.
    qint64 error_line() const { return m_error_line; }
    qint64 error_column() const { return m_error_column; }
    // Node elements that entered the tree.
    qint64 nodes_read() const { return m_nodes_read; }

private:
    MarkupModel *m_model;
    MarkupTree *m_tree;
    // current_index is the top of this stack (the invalid index when empty).
    std::vector<QModelIndex> m_open;
    QString m_error;
    qint64 m_error_line = 0;
    qint64 m_error_column = 0;
    qint64 m_nodes_read = 0;
};
