#pragma once

#include "kaitai/ksytype.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// A template: a .ksy description read into KsyType values, with every file it
// imports. Imports name a file relative to the importing one ("icc_4",
// "../common/riff") or, starting with "/", relative to the template root
// folder ("/common/riff"); ".ksy" is added. Each file is read once, so
// files may import each other.
class KsyTemplate
{
public:
    // Null with *error = "<file>:<line>:<column>: <reason>" when a file cannot
    // be read or does not describe a template.
    static std::shared_ptr<KsyTemplate> load(const QString &path, const QString &root, QString *error);
    // The same for a description already in memory; `file_name` is used in
    // messages and for relative imports.
    static std::shared_ptr<KsyTemplate> from_yaml(const QByteArray &yaml, const QString &file_name,
                                                  const QString &root, QString *error);

    const KsyType *root_type() const { return m_files.front().get(); }
    QString id() const { return root_type()->name; }

    // `name` ("chunk", "exif::ifd") as seen from `scope`: the scope's own
    // types, then those of the type it is declared in, and so on up to the
    // file's top level, then the files that file imports (by their meta id).
    // Null when there is none.
    static const KsyType *find_type(const KsyType *scope, const QString &name);
    // An enum by name ("color_type", "header::kind") from `scope`, looked up
    // the same way.
    static const KsyEnum *find_enum(const KsyType *scope, const QString &name);

private:
    friend class KsyLoader;
    std::vector<std::unique_ptr<KsyType>> m_files;
};
