#include "markup/clearmarkscommand.h"

#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QCoreApplication>
#include <QDataStream>

ClearMarksCommand::ClearMarksCommand(EditHistory *history, MarkupTree *tree)
    : EditCommand(history, EditHistory::markup,
                  QCoreApplication::translate("ClearMarksCommand", "Clear Marks"))
    , m_tree(tree)
{
}

ClearMarksCommand::~ClearMarksCommand()
{
    delete m_taken;
}

bool ClearMarksCommand::apply()
{
    MarkupNode *root = m_tree->node_at_path({});
    if (!root || root->child_count() == 0)
        return false;
    m_taken = m_tree->take_all();
    return m_taken != nullptr;
}

void ClearMarksCommand::revert()
{
    m_tree->restore_all(m_taken);
    m_taken = nullptr;
}

QByteArray ClearMarksCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('X');
    return bytes;
}
