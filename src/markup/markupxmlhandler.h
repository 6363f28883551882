#pragma once

#include <QByteArrayView>
#include <QString>
#include <QXmlStreamAttributes>

#include <functional>
#include <vector>

class MarkupFileDecoder;
class MarkupNode;
class QIODevice;
class QXmlStreamReader;

// Content handler for markup documents, driven by parse() over a
// QXmlStreamReader with the callbacks of a SAX content handler. The markups
// are built under a root node that belongs to no model (the caller puts them
// in the tree in one step), so a load that is cancelled never touches the
// tree, and a failed parse leaves under the root what was read before the
// error.
//
// For safety the reader never reads external entities, and a document type
// declaration that declares entities is refused (no entity expansion at all).
class MarkupXMLHandler
{
public:
    // too_large: the file was refused before reading it (see memory_needed).
    enum class Result { loaded, failed, cancelled, too_large };
    // Told how many bytes of how many were read; false cancels the load.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    explicit MarkupXMLHandler(MarkupNode *root);

    bool startDocument();
    bool endDocument();
    bool startElement(const QString &namespace_uri, const QString &local_name,
                      const QString &qualified_name, const QXmlStreamAttributes &attributes);
    bool endElement(const QString &namespace_uri, const QString &local_name,
                    const QString &qualified_name);

    // Feeds text through the handler; true when the whole document was read.
    bool parse(const QString &text);
    // Reads `size` bytes of a markup file from the device's position (what
    // the file held when it was opened), a piece at a time: the file is never
    // held whole, only the markups are. The progress counts up to `size`. Decoded as MarkupFileDecoder says; a
    // file that is not UTF-8 after all is read a second time, from the
    // position the device had.
    Result parse(QIODevice &device, qint64 size, const Progress &progress = {});
    // The most memory loading a markup file of `size` bytes that begins with
    // `head` takes at its peak, in bytes, judged before reading the rest: as
    // many markups as the head holds for its size with every byte of the
    // file as description text, or, when more, two copies of the text of one
    // description filling the file (the tree's and the reader's). Errs high:
    // refusing a file that would have fitted costs less than running out of
    // memory half-way.
    static qint64 memory_needed(QByteArrayView head, qint64 size);

    QString error_string() const { return m_error; }
    // Where the reader stopped on the error: its line (from 1) and the
    // characters read on that line.
    qint64 error_line() const { return m_error_line; }
    qint64 error_column() const { return m_error_column; }
    // Node elements read into the tree.
    qint64 nodes_read() const { return m_nodes_read; }

private:
    // Runs the reader over the document; `more` hands it the next piece and
    // returns false when there is none (or the load stops).
    bool run(QXmlStreamReader &reader, const std::function<bool()> &more);
    // Reads and decodes the next piece into the reader; false at the end.
    bool feed(QIODevice &device, MarkupFileDecoder &decoder, QXmlStreamReader *reader);

    // The markup a new node element goes under: the innermost open one, or
    // the root when none is open.
    MarkupNode *current_index() const { return m_open.empty() ? m_root : m_open.back(); }

    MarkupNode *m_root;
    // The node elements open at the moment; the innermost last.
    std::vector<MarkupNode *> m_open;
    QString m_error;
    qint64 m_error_line = 0;
    qint64 m_error_column = 0;
    qint64 m_nodes_read = 0;
    // Set while a file is read.
    qint64 m_done = 0;
    qint64 m_total = 0;
    const Progress *m_progress = nullptr;
    bool m_cancelled = false;
};
