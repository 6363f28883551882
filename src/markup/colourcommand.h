#pragma once

#include "markup/editcommand.h"

#include <QColor>

class MarkupNode;
class MarkupTree;

// A markup's foreground and background colours change (one or both, named by
// the step's text). The same colours again make no step.
class ColourCommand : public EditCommand
{
public:
    ColourCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node, const QColor &foreground,
                  const QColor &background, const QString &text);

    QList<int> markup_focus(bool undone) const override;

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    QList<int> m_path;
    QColor m_old_foreground;
    QColor m_old_background;
    QColor m_foreground;
    QColor m_background;
};
