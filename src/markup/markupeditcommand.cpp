#include "markup/markupeditcommand.h"

#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QDataStream>

MarkupEditCommand::MarkupEditCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node,
                                     const Values &before, const Values &after,
                                     const QString &text)
    : EditCommand(history, EditHistory::markup, text)
    , m_tree(tree)
    , m_path(MarkupTree::path_of(node))
    , m_before(before)
    , m_after(after)
{
}

QList<int> MarkupEditCommand::markup_focus(bool) const
{
    return m_path;
}

bool MarkupEditCommand::apply()
{
    if (m_path.isEmpty() || m_before == m_after)
        return false;
    // The view may already show the new values (a spinning bound is written
    // live); they are stored again so the model announces them.
    store(m_after);
    return true;
}

void MarkupEditCommand::revert()
{
    store(m_before);
}

void MarkupEditCommand::store(const Values &values)
{
    MarkupModel *model = m_tree->model();
    MarkupNode *node = m_tree->node_at_path(m_path);
    if (!model || !node)
        return;
    const QModelIndex index = model->index_of(node);
    model->begin_change();
    for (const auto &[column, value] : values)
        model->setData(index.siblingAtColumn(column), value, Qt::EditRole);
    model->end_change();
}

QByteArray MarkupEditCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('E') << m_path << m_before << m_after << text();
    return bytes;
}
