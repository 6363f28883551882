#include "document/buffereddocument.h"

#include "document/documentfailure.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace document_failure;

BufferedDocument::BufferedDocument()
    : buffer(new char[window_size])
{
}

BufferedDocument::~BufferedDocument()
{
    if (file) {
        file->close();
        delete file;
    }
}

int BufferedDocument::open_regular(const std::string &path)
{
    const QByteArray local =
        QFile::encodeName(QString::fromUtf8(path.data(), qsizetype(path.size())));
    struct stat named;
    if (::stat(local.constData(), &named) != 0)
        throw (errno == ENOENT || errno == ENOTDIR) ? does_not_exist : cannot_open;
    // A pipe or a device would block in open() or never end; a folder or a
    // socket holds no bytes to show.
    if (!S_ISREG(named.st_mode))
        throw not_regular;
    // Non-blocking, and checked again on the descriptor: something else may
    // have taken the name since the check.
    const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw cannot_open;
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        throw not_regular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string BufferedDocument::open_error(const std::string &path)
{
    try {
        ::close(open_regular(path));
    } catch (const std::string &failure) {
        return failure;
    }
    return std::string();
}

void BufferedDocument::open(const std::string &path)
{
    if (file)
        close();
    const int fd = open_regular(path);
    auto *candidate = new QFile;
    if (!candidate->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        delete candidate;
        ::close(fd);
        throw cannot_open;
    }
    file = candidate;
    m_file_path = QString::fromUtf8(path.data(), qsizetype(path.size()));
    move_buffer(0);
}

void BufferedDocument::close()
{
    if (!file)
        throw not_open;
    file->close();
    delete file;
    file = nullptr;
    m_file_path.clear();
    buffer_start = -1;
    m_buffer_valid = 0;
}

qint64 BufferedDocument::size() const
{
    if (!file)
        throw not_open;
    return file->size();
}

void BufferedDocument::read(int len, qint64 pos, char *dst)
{
    if (!file)
        throw not_open;
    if (pos < 0 || len < 0)
        throw beyond_eof;
    const qint64 end = pos + qint64(len);
    if (end > size())
        throw beyond_eof;
    if (len == 0)
        return;
    // Only the bytes the last move delivered count as held: a file that grew
    // since, or a short read, must not hand out what was left in the window.
    if (pos < buffer_start || end > buffer_start + m_buffer_valid)
        move_buffer(pos);
    if (pos < buffer_start || end > buffer_start + m_buffer_valid) {
        // Either more than the window can hold past `pos`, or the file
        // delivered fewer bytes than its size promised (it shrank meanwhile).
        if (len <= centring_distance || !file->seek(pos) || file->read(dst, len) != len)
            throw beyond_eof;
        return;
    }
    memcpy(dst, buffer.get() + (pos - buffer_start), size_t(len));
}

void BufferedDocument::move_buffer(qint64 pos)
{
    if (!file)
        throw not_open;
    qint64 start = pos - centring_distance;
    if (start < 0) {
        start = 0;
    } else {
        const qint64 file_size = size();
        if (start + window_size > file_size)
            start = qMax<qint64>(0, file_size - window_size);
    }
    buffer_start = start;
    m_buffer_valid = 0;
    if (file->seek(start)) {
        const qint64 got = file->read(buffer.get(), window_size);
        m_buffer_valid = int(qBound<qint64>(0, got, qint64(window_size)));
    }
    emit buffer_moved(pos);
}

void BufferedDocument::rewind()
{
    move_buffer(0);
}

qint64 BufferedDocument::read_direct(qint64 pos, char *dst, qint64 len) const
{
    if (!file)
        return -1;
    return read_at(file->handle(), pos, dst, len);
}

qint64 BufferedDocument::read_at(int handle, qint64 pos, char *dst, qint64 len)
{
    if (handle < 0 || pos < 0 || len < 0)
        return -1;
    qint64 done = 0;
    while (done < len) {
        const ssize_t got = ::pread(handle, dst + done, size_t(len - done), off_t(pos + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

int BufferedDocument::handle() const
{
    return file ? file->handle() : -1;
}

QString BufferedDocument::absolute_path() const
{
    if (!file)
        return QString();
    return QFileInfo(m_file_path).absoluteFilePath();
}

bool BufferedDocument::is_open_file(const QString &path) const
{
    if (!file)
        return false;
    struct stat open_stat;
    struct stat path_stat;
    if (fstat(file->handle(), &open_stat) != 0 || stat(path.toUtf8().constData(), &path_stat) != 0)
        return false;
    return open_stat.st_dev == path_stat.st_dev && open_stat.st_ino == path_stat.st_ino;
}
