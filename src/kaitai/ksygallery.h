#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The format descriptions of a folder tree (the gallery installed with the
// program): where each is, its title, and what recognises a file of its
// format. Read once; matching a file then needs only its first bytes.
class KsyGallery
{
public:
    struct Entry
    {
        // Absolute path of the .ksy file.
        QString path;
        // Its folder relative to the gallery root ("image", "media/tracker_modules");
        // empty at the root.
        QString folder;
        QString file_name;
        // meta/title, or meta/id when there is none.
        QString title;
        QStringList extensions;
        // The `contents` the top-level type begins with, at their offsets
        // ("RIFF" at 0 and "AVI " at 8, past a u4): its leading fields of
        // fixed size, or those of its first field's type. Empty when it
        // begins otherwise.
        std::vector<std::pair<int, QByteArray>> magic;
        // Bytes of magic in all.
        int magic_size() const;
        bool magic_matches(const QByteArray &head) const;
    };

    KsyGallery() = default;
    // Every .ksy below `root` that reads as a template, ordered by folder
    // and file name. One that does not read is left out and counted.
    explicit KsyGallery(const QString &root);

    QString root() const { return m_root; }
    const std::vector<Entry> &entries() const { return m_entries; }
    int unreadable() const { return m_unreadable; }
    // How many of a file's first bytes matching needs.
    int head_size() const { return m_head_size; }

    // The descriptions whose magic (two bytes at least, not all zero) is in
    // `head`, best first: the most bytes of magic, then one listing the extension
    // of `file_name`, then by folder and name. Empty when none matches.
    std::vector<const Entry *> matches(const QByteArray &head, const QString &file_name) const;

    // The gallery beside the program (build tree) or installed with it,
    // read the first time it is asked for; empty when there is none.
    static const KsyGallery &installed();
    // Its folder; empty when there is none.
    static QString installed_folder();
    // installed() has been read: asking for it now does not wait.
    static bool installed_ready();

private:
    QString m_root;
    std::vector<Entry> m_entries;
    int m_unreadable = 0;
    int m_head_size = 0;
};
