#pragma once

#include "kaitai/ksyvalue.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <functional>
#include <vector>

// The `process:` routines a template may name (xor, rol, ror, zlib), each
// decoding a field's bytes in place. Adding a routine is one entry in the
// constructor; a name not listed is a custom routine, which templates
// cannot run.
class KsyProcessRegistry
{
    Q_DECLARE_TR_FUNCTIONS(KsyProcessRegistry)

public:
    // Decodes *data with the evaluated arguments; the output may hold at
    // most `limit` bytes. False with *error when the data or an argument
    // does not fit.
    using Routine = std::function<bool(QByteArray *data, const std::vector<KsyValue> &args, qint64 limit,
                                       QString *error)>;
    struct Entry
    {
        QString name;
        // The arguments it takes: none (any written are not evaluated) or one.
        int arguments = 0;
        Routine run;
    };

    static const KsyProcessRegistry &instance();
    // Null for a routine not listed.
    const Entry *find(const QString &name) const;

private:
    KsyProcessRegistry();
    Q_DISABLE_COPY(KsyProcessRegistry)

    std::vector<Entry> m_entries;
};
