#pragma once

#include "markup/editcommand.h"
#include "markup/markupvaluetype.h"

#include <QString>

class MarkupTree;

// Mark: a new markup over first..last that adopts the markups inside it,
// made for a value of `type` when it comes from "Mark as".
// Refused (nothing changes, no step) where MarkupTree::insert_range refuses.
class MarkCommand : public EditCommand
{
public:
    MarkCommand(EditHistory *history, MarkupTree *tree, qint64 first, qint64 last,
                const QString &description = QStringLiteral("Description"),
                const MarkupValueType &type = MarkupValueType());

    QByteArray record() const override;

protected:
    bool apply() override;
    void revert() override;

private:
    MarkupTree *m_tree;
    qint64 m_first;
    qint64 m_last;
    QString m_description;
    MarkupValueType m_type;
    QList<int> m_path;
    QList<int> m_adopted_rows;
};
