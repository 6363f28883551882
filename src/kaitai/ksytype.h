#pragma once

#include "kaitai/ksyattribute.h"
#include "kaitai/ksyenum.h"
#include "kaitai/ksytemplateexpression.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <utility>
#include <vector>

// A type of a template: the file's top level or an entry of `types`, with
// the types and enums declared inside it. `parent` is the type it is
// declared in (null at a file's top level), which is where names not found
// here are looked up next.
struct KsyType
{
    enum class Endian { unset, le, be, switched };
    enum class BitEndian { unset, le, be };

    QString name;
    // The file the type was read from, for imports, and its name for messages.
    QString file;
    QString file_name;
    const KsyType *parent = nullptr;

    std::vector<KsyAttribute> seq;
    std::vector<KsyAttribute> instances;
    QStringList params;
    std::map<QString, std::unique_ptr<KsyType>> types;
    std::map<QString, std::unique_ptr<KsyEnum>> enums;

    Endian endian = Endian::unset;
    // meta/endian: switch-on and cases (case expression, "le" or "be").
    KsyTemplateExpression endian_switch;
    std::vector<std::pair<KsyTemplateExpression, QString>> endian_cases;
    BitEndian bit_endian = BitEndian::unset;
    QString encoding;
    QString doc;
    // -webide-representation: how an object of the type is named,
    // "{type}" or "{len:dec} bytes": literal texts and the fields between
    // them, "{expr}" or "{expr:dec}" / "{expr:hex}".
    QString representation;
    struct RepresentationPart
    {
        // The text before the field.
        QString literal;
        KsyTemplateExpression field;
        QString format;
    };
    std::vector<RepresentationPart> representation_parts;
    // The text after the last field.
    QString representation_tail;
    // meta/title and meta/file-extension, at a file's top level.
    QString title;
    QStringList file_extensions;
    // meta/ks-opaque-types: unknown type names are external types.
    bool opaque_types = false;

    // Top level of a file only: the top levels of the files it imports.
    std::vector<const KsyType *> imports;

    const KsyAttribute *instance(const QString &id) const
    {
        for (const KsyAttribute &a : instances) {
            if (a.id == id)
                return &a;
        }
        return nullptr;
    }
    bool has_field(const QString &id) const
    {
        for (const KsyAttribute &a : seq) {
            if (a.id == id)
                return true;
        }
        return params.contains(id);
    }
};
