#include "markup/deletemarkupcommand.h"

#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QDataStream>

DeleteMarkupCommand::DeleteMarkupCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node)
    : EditCommand(history, EditHistory::markup,
                  QCoreApplication::translate("DeleteMarkupCommand", "Delete"))
    , m_tree(tree)
    , m_path(MarkupTree::path_of(node))
{
}

DeleteMarkupCommand::~DeleteMarkupCommand()
{
    delete m_taken;
}

QList<int> DeleteMarkupCommand::markup_focus(bool undone) const
{
    return undone ? m_path : QList<int>();
}

bool DeleteMarkupCommand::apply()
{
    if (m_path.isEmpty())
        return false;
    m_taken = m_tree->lift_children(m_tree->node_at_path(m_path), &m_moved);
    return m_taken != nullptr;
}

void DeleteMarkupCommand::revert()
{
    QList<int> parent_path = m_path;
    const int row = parent_path.takeLast();
    m_tree->lower_children(m_tree->node_at_path(parent_path), row, m_taken, m_moved);
    m_taken = nullptr;
}

QByteArray DeleteMarkupCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('D') << m_path;
    return bytes;
}
