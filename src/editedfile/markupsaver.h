#pragma once

#include <QString>

class MarkupTree;

// Writes a markup tree to a markup file completely or not at all.
class MarkupSaver
{
public:
    // Only a regular file, or a name for a new one, is written: a device or
    // a pipe would block or be swapped for a plain file. The file is built
    // beside the target and renamed over it when complete; a file with other
    // hard links, owned by someone else, or in a folder that refuses new
    // files is overwritten in place instead, its old bytes put back when a
    // write fails.
    static bool write(const MarkupTree &tree, const QString &name);

private:
    static bool write_in_place(const MarkupTree &tree, const QString &name);
};
