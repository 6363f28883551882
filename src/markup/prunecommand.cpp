#include "markup/prunecommand.h"

#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QDataStream>

PruneCommand::PruneCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node)
    : EditCommand(history, EditHistory::markup,
                  QCoreApplication::translate("PruneCommand", "Prune"))
    , m_tree(tree)
    , m_path(MarkupTree::path_of(node))
{
}

PruneCommand::~PruneCommand()
{
    delete m_taken;
}

QList<int> PruneCommand::markup_focus(bool undone) const
{
    return undone ? m_path : QList<int>();
}

bool PruneCommand::apply()
{
    if (m_path.isEmpty())
        return false;
    m_taken = m_tree->take_subtree(m_tree->node_at_path(m_path));
    return m_taken != nullptr;
}

void PruneCommand::revert()
{
    QList<int> parent_path = m_path;
    const int row = parent_path.takeLast();
    m_tree->put_subtree(m_tree->node_at_path(parent_path), row, m_taken);
    m_taken = nullptr;
}

QByteArray PruneCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('P') << m_path;
    return bytes;
}
