#include "markup/markupcolourtable.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <array>

namespace {

struct Table
{
    QMutex mutex;
    QList<QColor> colours { QColor(Qt::black), QColor(Qt::white) };
    // Keyed by the 64-bit RGBA the colour converts to; colours of other
    // specs may share a key, so each candidate is compared whole.
    QMultiHash<quint64, quint32> ids { { QColor(Qt::black).rgba64(), 0 }, { QColor(Qt::white).rgba64(), 1 } };
};

Table &table()
{
    static Table t;
    return t;
}

// The last colours this thread interned: a template colours its markups
// with a handful of colours, so most calls end here without the lock.
struct Recent
{
    std::array<QColor, 8> colours;
    std::array<quint32, 8> ids {};
    int used = 0;
    int next = 0;
};

} // namespace

quint32 MarkupColourTable::intern(const QColor &colour)
{
    thread_local Recent recent;
    for (int i = 0; i < recent.used; ++i) {
        if (recent.colours[size_t(i)] == colour)
            return recent.ids[size_t(i)];
    }
    quint32 id = 0;
    {
        Table &t = table();
        const QMutexLocker lock(&t.mutex);
        const quint64 key = colour.rgba64();
        bool found = false;
        for (auto it = t.ids.constFind(key); it != t.ids.cend() && it.key() == key; ++it) {
            if (t.colours.at(it.value()) == colour) {
                id = it.value();
                found = true;
                break;
            }
        }
        if (!found) {
            id = quint32(t.colours.size());
            t.colours.append(colour);
            t.ids.insert(key, id);
        }
    }
    recent.colours[size_t(recent.next)] = colour;
    recent.ids[size_t(recent.next)] = id;
    recent.next = (recent.next + 1) % int(recent.colours.size());
    recent.used = std::min(recent.used + 1, int(recent.colours.size()));
    return id;
}

QColor MarkupColourTable::colour(quint32 id)
{
    Table &t = table();
    const QMutexLocker lock(&t.mutex);
    return id < quint32(t.colours.size()) ? t.colours.at(id) : QColor(Qt::black);
}
