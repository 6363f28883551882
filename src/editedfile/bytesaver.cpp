#include "editedfile/bytesaver.h"

#include "document/buffereddocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A run of consecutive edited bytes, written with one seek and one write.
struct EditRun
{
    qint64 offset;
    QByteArray bytes;
};

QList<EditRun> edit_runs(const QMap<qint64, quint8> &edits)
{
    QList<EditRun> runs;
    for (auto it = edits.constBegin(); it != edits.constEnd(); ++it) {
        if (runs.isEmpty() || runs.constLast().offset + runs.constLast().bytes.size() != it.key())
            runs.append(EditRun{it.key(), QByteArray()});
        runs.last().bytes.append(char(it.value()));
    }
    return runs;
}

bool sync_to_disk(int fd)
{
    return fd >= 0 && ::fdatasync(fd) == 0;
}

// Makes a rename inside `dir` durable.
void sync_directory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A copy is no more open than the file it copies: its permission bits and,
// where this process may set it, its group. When the group cannot be kept,
// the group bits go rather than being granted to another group.
void keep_access(int fd, const struct stat &source)
{
    mode_t mode = source.st_mode & 0777;
    if (::fchown(fd, uid_t(-1), source.st_gid) != 0) {
        struct stat copy;
        if (::fstat(fd, &copy) != 0 || copy.st_gid != source.st_gid)
            mode &= ~mode_t(0070);
    }
    ::fchmod(fd, mode);
}

bool fail(QString *error, const char *text)
{
    if (error)
        *error = QCoreApplication::translate("ByteSaver", text);
    return false;
}

} // namespace

bool ByteSaver::write_in_place(const QString &path, const QMap<qint64, quint8> &edits,
                               QString *error)
{
    // Unbuffered: every write reaches the file at once, so a failure is seen
    // at the byte that failed and the bytes already written can be restored.
    // ExistingOnly: a file deleted since it was opened is not made anew.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly))
        return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error opening file for writing."));
    const QList<EditRun> runs = edit_runs(edits);

    // Keep the stored bytes first; a file that shrank since the edits were
    // made would otherwise grow, and a save never changes the file's length.
    QList<QByteArray> originals;
    for (const EditRun &run : runs) {
        if (!file.seek(run.offset))
            return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error seeking."));
        const QByteArray stored = file.read(run.bytes.size());
        if (stored.size() != run.bytes.size())
            return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error seeking."));
        originals.append(stored);
    }

    const auto restore = [&](int written) {
        for (int i = 0; i < written; ++i) {
            if (file.seek(runs[i].offset))
                file.write(originals[i]);
        }
        sync_to_disk(file.handle());
    };

    for (int i = 0; i < runs.size(); ++i) {
        if (!file.seek(runs[i].offset)) {
            restore(i);
            return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error seeking."));
        }
        if (file.write(runs[i].bytes) != runs[i].bytes.size()) {
            restore(i + 1);
            return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error writing to file."));
        }
    }
    if (!sync_to_disk(file.handle())) {
        restore(int(runs.size()));
        return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error writing to file."));
    }
    file.close();
    return true;
}

bool ByteSaver::write_copy(const BufferedDocument &source, const QMap<qint64, quint8> &edits,
                           const QString &target, QString *error)
{
    const char *const create_error = QT_TRANSLATE_NOOP("ByteSaver", "Error creating save file.");
    const char *const write_error = QT_TRANSLATE_NOOP("ByteSaver", "Error writing to file.");
    struct stat source_stat;
    if (::fstat(source.handle(), &source_stat) != 0)
        return fail(error, create_error);
    // The copy is built in a temporary file beside the target and renamed
    // over it only when complete, so a failure leaves the target untouched.
    // A device or pipe would be swapped for a plain file that way: refused.
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isFile())
        return fail(error, create_error);
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, create_error);
    keep_access(out.handle(), source_stat);

    const qint64 size = source.size();
    if (!edits.isEmpty() && edits.lastKey() >= size) {
        out.cancelWriting();
        return fail(error, QT_TRANSLATE_NOOP("ByteSaver", "Error seeking."));
    }

    constexpr qint64 chunk_size = 1 << 20;
    auto edit = edits.constBegin();
    for (qint64 pos = 0; pos < size;) {
        QByteArray chunk(qMin(chunk_size, size - pos), Qt::Uninitialized);
        if (source.read_direct(pos, chunk.data(), chunk.size()) != chunk.size()) {
            out.cancelWriting();
            return fail(error, create_error);
        }
        const qint64 end = pos + chunk.size();
        for (; edit != edits.constEnd() && edit.key() < end; ++edit)
            chunk[int(edit.key() - pos)] = char(edit.value());
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return fail(error, write_error);
        }
        pos = end;
    }
    if (!out.flush() || !sync_to_disk(out.handle())) {
        out.cancelWriting();
        return fail(error, write_error);
    }
    if (!out.commit())
        return fail(error, create_error);
    sync_directory(QFileInfo(target).absolutePath());
    return true;
}
