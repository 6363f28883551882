#pragma once

#include <QHash>
#include <QString>

// A named enum of a template: integer values with identifiers.
struct KsyEnum
{
    QString name;
    QHash<qint64, QString> names;
    QHash<QString, qint64> values;
};
