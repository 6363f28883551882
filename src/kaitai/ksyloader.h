#pragma once

#include <QByteArray>
#include <QHash>
#include <QCoreApplication>
#include <QString>

#include <memory>

class KsyTemplate;
struct KsyType;

// Reads .ksy files (YAML through yaml-cpp) into a KsyTemplate, following
// imports. Reports the first problem as "<file>:<line>:<column>: <reason>".
class KsyLoader
{
    Q_DECLARE_TR_FUNCTIONS(KsyLoader)

public:
    KsyLoader(KsyTemplate *target, const QString &root) : m_target(target), m_root(root) { }

    // The file's top-level type, added to the template; null with *error.
    KsyType *load_file(const QString &path, QString *error);
    KsyType *load_text(const QByteArray &yaml, const QString &path, QString *error);

private:
    KsyTemplate *m_target;
    QString m_root;
    // Canonical paths of files read or being read, to their top level.
    QHash<QString, KsyType *> m_loaded;
    int m_depth = 0;
};
