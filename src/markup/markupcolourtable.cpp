#include "markup/markupcolourtable.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

namespace {

// Colours live in blocks that never move once made, so reading one takes
// no lock: a number is only read after intern() handed it out, and the
// colour was in place before the count that covers it was raised.
constexpr quint32 block_size = 4096;
constexpr quint32 block_count = 16384;

struct Table
{
    Table()
    {
        for (const QColor &c : { QColor(Qt::black), QColor(Qt::white) })
            add(c);
    }

    // With the mutex held (or from the constructor).
    quint32 add(const QColor &colour)
    {
        const quint32 id = count.load(std::memory_order_relaxed);
        if (id >= block_size * block_count)
            return MarkupColourTable::black;
        if (id % block_size == 0)
            blocks[id / block_size].store(new QColor[block_size], std::memory_order_release);
        blocks[id / block_size].load(std::memory_order_relaxed)[id % block_size] = colour;
        ids.insert(colour.rgba64(), id);
        count.store(id + 1, std::memory_order_release);
        return id;
    }

    QMutex mutex;
    std::array<std::atomic<QColor *>, block_count> blocks {};
    std::atomic<quint32> count { 0 };
    // Keyed by the 64-bit RGBA the colour converts to; colours of other
    // colour models may share a key, so each candidate is compared whole.
    QMultiHash<quint64, quint32> ids;
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
    std::array<QColor, 16> colours;
    std::array<quint32, 16> ids {};
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
    quint32 id = black;
    {
        Table &t = table();
        const QMutexLocker lock(&t.mutex);
        const quint64 key = colour.rgba64();
        bool found = false;
        for (auto it = t.ids.constFind(key); it != t.ids.cend() && it.key() == key; ++it) {
            if (MarkupColourTable::colour(it.value()) == colour) {
                id = it.value();
                found = true;
                break;
            }
        }
        if (!found)
            id = t.add(colour);
    }
    recent.colours[size_t(recent.next)] = colour;
    recent.ids[size_t(recent.next)] = id;
    recent.next = (recent.next + 1) % int(recent.colours.size());
    recent.used = std::min(recent.used + 1, int(recent.colours.size()));
    return id;
}

QColor MarkupColourTable::colour(quint32 id)
{
    const Table &t = table();
    if (id >= t.count.load(std::memory_order_acquire))
        return QColor(Qt::black);
    return t.blocks[id / block_size].load(std::memory_order_acquire)[id % block_size];
}
