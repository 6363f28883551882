#include "kaitai/ksymarkupbuilder.h"

#include "kaitai/ksyitem.h"

#include <QHash>

#include <algorithm>

namespace {

struct Builder
{
    KsyMarkupBuilder::Outcome *outcome;

    static qint64 size_of(const KsyMarkup &m)
    {
        qint64 n = 1;
        for (const KsyMarkup &c : m.children)
            n += size_of(c);
        return n;
    }

    // Appends the markups of `item` to `out`.
    void convert(const KsyItem &item, std::vector<KsyMarkup> *out, std::vector<bool> *instance_flags)
    {
        if (!item.has_range()) {
            for (const auto &child : item.children)
                convert(*child, out, instance_flags);
            return;
        }
        KsyMarkup m;
        m.first = item.start;
        m.last = item.end - 1;
        m.description = KsyMarkupBuilder::description(item);
        m.background = KsyMarkupBuilder::background(item.type);
        m.foreground = KsyMarkupBuilder::foreground();

        std::vector<KsyMarkup> kids;
        std::vector<bool> kid_instances;
        for (const auto &child : item.children)
            convert(*child, &kids, &kid_instances);

        // Children with exactly this markup's bytes: their text joins it and
        // their children become its own.
        std::vector<KsyMarkup> flat;
        std::vector<bool> flat_instances;
        for (size_t i = 0; i < kids.size(); ++i) {
            if (kids[i].first == m.first && kids[i].last == m.last) {
                ++outcome->merged;
                m.description += QStringLiteral(", ") + kids[i].description;
                for (KsyMarkup &g : kids[i].children) {
                    flat.push_back(std::move(g));
                    flat_instances.push_back(false);
                }
            } else {
                flat.push_back(std::move(kids[i]));
                flat_instances.push_back(kid_instances[i]);
            }
        }
        std::vector<size_t> order(flat.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&flat, &flat_instances](size_t a, size_t b) {
            // Fields before instances at the same place, so fields win.
            if (flat[a].first != flat[b].first)
                return flat[a].first < flat[b].first;
            return flat_instances[a] < flat_instances[b];
        });
        qint64 last_end = m.first - 1;
        for (size_t i : order) {
            KsyMarkup &c = flat[i];
            if (c.first <= last_end || c.first < m.first || c.last > m.last) {
                (flat_instances[i] ? outcome->instances_not_nested : outcome->fields_not_nested) += size_of(c);
                continue;
            }
            last_end = c.last;
            m.children.push_back(std::move(c));
        }
        out->push_back(std::move(m));
        instance_flags->push_back(item.is_instance);
    }
};

} // namespace

KsyMarkupBuilder::Outcome KsyMarkupBuilder::build(const KsyItem &root)
{
    Outcome outcome;
    Builder builder { &outcome };
    std::vector<bool> flags;
    builder.convert(root, &outcome.markups, &flags);
    // Several top-level markups (the root had no place) keep file order and
    // must not overlap either.
    std::stable_sort(outcome.markups.begin(), outcome.markups.end(),
                     [](const KsyMarkup &a, const KsyMarkup &b) { return a.first < b.first; });
    for (const KsyMarkup &m : outcome.markups)
        outcome.count += Builder::size_of(m);
    return outcome;
}

QString KsyMarkupBuilder::description(const KsyItem &item)
{
    if (item.is_scalar && !item.value.isEmpty())
        return QStringLiteral("%1 = %2").arg(item.name, item.value);
    return item.name;
}

QColor KsyMarkupBuilder::background(const QString &type)
{
    static const QHash<QString, int> scalar_hues = {
        { QStringLiteral("integer"), 210 }, { QStringLiteral("enum"), 280 }, { QStringLiteral("string"), 120 },
        { QStringLiteral("bytes"), 30 },    { QStringLiteral("float"), 180 }, { QStringLiteral("boolean"), 330 },
        { QStringLiteral("array"), 60 },
    };
    int hue = scalar_hues.value(type, -1);
    if (hue < 0) {
        // FNV-1a: the same colour for a type name in every run (qHash is seeded).
        quint32 h = 2166136261u;
        for (const QChar c : type) {
            h ^= c.unicode();
            h *= 16777619u;
        }
        hue = int(h % 360);
    }
    return QColor::fromHsl(hue, 150, 222);
}

QColor KsyMarkupBuilder::foreground()
{
    return QColor(0x1a, 0x1a, 0x1a);
}
