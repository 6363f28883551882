#include "markup/colourcommand.h"

#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QDataStream>

ColourCommand::ColourCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node,
                             const QColor &foreground, const QColor &background,
                             const QString &text)
    : EditCommand(history, EditHistory::markup, text)
    , m_tree(tree)
    , m_path(MarkupTree::path_of(node))
    , m_old_foreground(node->foreground())
    , m_old_background(node->background())
    , m_foreground(foreground)
    , m_background(background)
{
}

QList<int> ColourCommand::markup_focus(bool) const
{
    return m_path;
}

bool ColourCommand::apply()
{
    if (m_path.isEmpty()
        || (m_foreground == m_old_foreground && m_background == m_old_background))
        return false;
    m_tree->set_colours(m_tree->node_at_path(m_path), m_foreground, m_background);
    return true;
}

void ColourCommand::revert()
{
    m_tree->set_colours(m_tree->node_at_path(m_path), m_old_foreground, m_old_background);
}

QByteArray ColourCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8('C') << m_path << m_foreground << m_background << text();
    return bytes;
}
