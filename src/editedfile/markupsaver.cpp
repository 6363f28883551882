#include "editedfile/markupsaver.h"

#include "markup/markuptree.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

bool MarkupSaver::write(const MarkupTree &tree, const QString &name)
{
    struct stat existing;
    const bool exists = ::stat(QFile::encodeName(name).constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false;
    // A rename makes a new inode: other hard links and the owner would not
    // follow it.
    if (exists && (existing.st_nlink > 1 || existing.st_uid != ::geteuid()))
        return write_in_place(tree, name);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return exists && write_in_place(tree, name);
    // Streamed in blocks, without a copy of the whole file in memory.
    // Flushed here: commit() renames the file even when the bytes still in
    // its buffer cannot be written (a full disk), and reports success.
    if (!tree.write_markup_file(file) || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool MarkupSaver::write_in_place(const MarkupTree &tree, const QString &name)
{
    // The old contents are kept so that a failed write can put them back:
    // a file is never left half-written.
    QFile file(name);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError || !file.seek(0))
        return false;
    if (tree.write_markup_file(file) && file.flush() && file.resize(file.pos())
        && ::fsync(file.handle()) == 0)
        return true;
    file.unsetError();
    if (file.seek(0) && file.write(old) == old.size() && file.flush())
        file.resize(old.size());
    ::fsync(file.handle());
    return false;
}
