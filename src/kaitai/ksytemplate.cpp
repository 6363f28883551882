#include "kaitai/ksytemplate.h"

#include "kaitai/ksyloader.h"

#include <QFileInfo>

std::shared_ptr<KsyTemplate> KsyTemplate::load(const QString &path, const QString &root, QString *error)
{
    auto t = std::shared_ptr<KsyTemplate>(new KsyTemplate);
    KsyLoader loader(t.get(), root);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!loader.load_file(canonical.isEmpty() ? path : canonical, error))
        return nullptr;
    return t;
}

std::shared_ptr<KsyTemplate> KsyTemplate::from_yaml(const QByteArray &yaml, const QString &file_name,
                                                    const QString &root, QString *error)
{
    auto t = std::shared_ptr<KsyTemplate>(new KsyTemplate);
    KsyLoader loader(t.get(), root);
    if (!loader.load_text(yaml, file_name, error))
        return nullptr;
    return t;
}

namespace {

// A type by a path of names, each looked up inside the one before.
const KsyType *descend(const KsyType *from, const QStringList &path)
{
    for (const QString &name : path) {
        auto it = from->types.find(name);
        if (it == from->types.end())
            return nullptr;
        from = it->second.get();
    }
    return from;
}

const KsyType *top_of(const KsyType *type)
{
    while (type->parent)
        type = type->parent;
    return type;
}

} // namespace

const KsyType *KsyTemplate::find_type(const KsyType *scope, const QString &name)
{
    // Most names are plain; looked up for every object read, they are not split.
    if (!name.contains(QLatin1Char(':'))) {
        for (const KsyType *s = scope; s; s = s->parent) {
            auto it = s->types.find(name);
            if (it != s->types.end())
                return it->second.get();
            if (!s->parent && s->name == name)
                return s;
        }
        for (const KsyType *imported : top_of(scope)->imports) {
            if (imported->name == name)
                return imported;
        }
        return nullptr;
    }
    const QStringList path = name.split(QStringLiteral("::"));
    for (const KsyType *s = scope; s; s = s->parent) {
        if (const KsyType *t = descend(s, path))
            return t;
        if (!s->parent && s->name == path.first())
            return descend(s, path.mid(1));
    }
    for (const KsyType *imported : top_of(scope)->imports) {
        if (imported->name == path.first())
            return descend(imported, path.mid(1));
    }
    return nullptr;
}

const KsyEnum *KsyTemplate::find_enum(const KsyType *scope, const QString &name)
{
    // A plain name, as most are: looked up at every use, it is not split.
    if (!name.contains(QLatin1Char(':'))) {
        for (const KsyType *s = scope; s; s = s->parent) {
            auto it = s->enums.find(name);
            if (it != s->enums.end())
                return it->second.get();
        }
        return nullptr;
    }
    QStringList path = name.split(QStringLiteral("::"));
    const QString enum_name = path.takeLast();
    for (const KsyType *s = scope; s; s = s->parent) {
        const KsyType *owner = path.isEmpty() ? s : descend(s, path);
        if (!owner && !s->parent && s->name == path.first())
            owner = descend(s, path.mid(1));
        if (owner) {
            auto it = owner->enums.find(enum_name);
            if (it != owner->enums.end())
                return it->second.get();
        }
    }
    if (!path.isEmpty()) {
        for (const KsyType *imported : top_of(scope)->imports) {
            if (imported->name == path.first()) {
                const KsyType *owner = descend(imported, path.mid(1));
                auto it = owner ? owner->enums.find(enum_name) : imported->enums.end();
                if (owner && it != owner->enums.end())
                    return it->second.get();
            }
        }
    }
    return nullptr;
}
