#pragma once

#include "markup/editcommand.h"

#include <QPair>
#include <QVariant>

class MarkupNode;
class MarkupTree;

// An edit in the markup tree view: column values of one markup change from
// `before` to `after` (a Start or End edit also changes Length). Every value
// goes through the model's setData, inside its change bracket. Equal values
// make no step.
class MarkupEditCommand : public EditCommand
{
public:
    using Values = QList<QPair<int, QVariant>>;

    MarkupEditCommand(EditHistory *history, MarkupTree *tree, MarkupNode *node,
                      const Values &before, const Values &after, const QString &text);

    QList<int> markup_focus(bool undone) const override;

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    void store(const Values &values);

    MarkupTree *m_tree;
    QList<int> m_path;
    Values m_before;
    Values m_after;
};
