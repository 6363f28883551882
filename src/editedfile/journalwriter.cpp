#include "editedfile/journalwriter.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// "<file>: <the system's reason>" for the error in errno.
QString failure_text(const QString &path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

JournalWriter::~JournalWriter()
{
    close();
}

bool JournalWriter::start(const QString &path, const QByteArray &start)
{
    close();
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = failure_text(QFile::decodeName(temporary));
        return false;
    }
    // The mode given to open() passes through the umask; markup texts are
    // nobody else's business whatever it is.
    ::fchmod(fd, 0600);
    if (!write_all(fd, start.constData(), start.size()) || ::fdatasync(fd) != 0
        || ::rename(temporary.constData(), target.constData()) != 0) {
        m_error = failure_text(QFile::decodeName(temporary));
        ::close(fd);
        ::unlink(temporary.constData());
        return false;
    }
    if (!sync_folder_of(path)) {
        m_error = failure_text(path);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_error.clear();
    m_pending.clear();
    m_appended = m_synced = 0;
    m_stop = m_urgent = m_failed = false;
    m_thread = std::thread(&JournalWriter::run, this);
    return true;
}

void JournalWriter::append(const QByteArray &bytes)
{
    append(QList<QByteArray> { bytes });
}

void JournalWriter::append(const QList<QByteArray> &pieces)
{
    if (m_fd < 0)
        return;
    constexpr qsizetype joined = 64 * 1024;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        // The thread looks at the buffer again after its pause anyway; only
        // one idle for want of work needs a wake-up (a system call each).
        wake = m_idle && m_pending.isEmpty();
        for (const QByteArray &piece : pieces) {
            if (!m_pending.isEmpty() && piece.size() < joined && m_pending.last().size() < joined)
                m_pending.last().append(piece);
            else
                m_pending.append(piece);
            m_appended += piece.size();
        }
    }
    if (wake)
        m_wake.notify_one();
}

void JournalWriter::sync()
{
    if (m_fd < 0)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    const qint64 target = m_appended;
    m_urgent = true;
    m_wake.notify_one();
    m_done.wait(lock, [&] { return m_synced >= target; });
}

void JournalWriter::close()
{
    if (m_fd < 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    ::close(m_fd);
    m_fd = -1;
}

bool JournalWriter::failed() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

QString JournalWriter::error() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

bool JournalWriter::sync_folder_of(const QString &path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const bool synced = ::fsync(dir) == 0;
    ::close(dir);
    return synced;
}

void JournalWriter::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_idle = true;
        m_wake.wait(lock, [&] { return m_stop || !m_pending.isEmpty(); });
        m_idle = false;
        if (m_pending.isEmpty())
            break;
        QList<QByteArray> batch;
        batch.swap(m_pending);
        m_urgent = false;
        const bool failed = m_failed;
        lock.unlock();
        bool ok = true;
        QString error;
        if (!failed) {
            for (const QByteArray &piece : std::as_const(batch))
                ok = ok && write_all(m_fd, piece.constData(), piece.size());
            ok = ok && ::fdatasync(m_fd) == 0;
            if (!ok)
                error = failure_text(m_path);
        }
        lock.lock();
        if (!ok) {
            m_failed = true;
            m_error = error;
            if (m_on_failure)
                m_on_failure();
        }
        for (const QByteArray &piece : std::as_const(batch))
            m_synced += piece.size();
        m_done.notify_all();
        // A pause between batches keeps steady typing from syncing on every
        // key; a save waiting in sync() or closing cuts it short.
        m_wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return m_stop || m_urgent; });
    }
}
