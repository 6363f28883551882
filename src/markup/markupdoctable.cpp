#include "markup/markupdoctable.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace {

struct Table
{
    QMutex mutex;
    // texts[id - 1]
    QStringList texts;
    QHash<QString, quint32> ids;
};

Table &table()
{
    static Table t;
    return t;
}

} // namespace

quint32 MarkupDocTable::intern(const QString &text)
{
    if (text.isEmpty())
        return 0;
    Table &t = table();
    const QMutexLocker lock(&t.mutex);
    auto it = t.ids.constFind(text);
    if (it != t.ids.cend())
        return it.value();
    t.texts.append(text);
    const quint32 id = quint32(t.texts.size());
    t.ids.insert(text, id);
    return id;
}

QString MarkupDocTable::text(quint32 id)
{
    if (id == 0)
        return QString();
    Table &t = table();
    const QMutexLocker lock(&t.mutex);
    return id <= quint32(t.texts.size()) ? t.texts.at(qsizetype(id) - 1) : QString();
}
