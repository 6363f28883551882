#include "markup/markcommand.h"

#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QDataStream>

MarkCommand::MarkCommand(EditHistory *history, MarkupTree *tree, qint64 first, qint64 last,
                         const QString &description, const MarkupValueType &type)
    : EditCommand(history, EditHistory::markup,
                  QCoreApplication::translate("MarkCommand", "Mark"))
    , m_tree(tree)
    , m_first(first)
    , m_last(last)
    , m_description(description)
    , m_type(type)
{
}

bool MarkCommand::apply()
{
    // The tree is as it was the first time, so the markup lands in the same place.
    MarkupNode *node = m_tree->mark_range(m_first, m_last, &m_adopted_rows, m_description, m_type);
    if (!node)
        return false;
    m_path = MarkupTree::path_of(node);
    return true;
}

void MarkCommand::revert()
{
    m_tree->unmark(m_tree->node_at_path(m_path), m_adopted_rows);
}

QByteArray MarkCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('M') << m_first << m_last << m_description << m_type.to_text();
    return bytes;
}
