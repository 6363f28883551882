#pragma once

// Helpers for the hostile-input and fault suites: file contents, a consistency
// walk of the markup tree, and ways to make a path refuse writes even for root.

#include "markup/markupmodel.h"
#include "markup/markupnode.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QModelIndex>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace pq_hostile {

inline QByteArray read_all(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline bool write_all(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
        && f.flush();
}

// The bytes at `pos`, read straight from the file.
inline QByteArray read_at(const QString &path, qint64 pos, qint64 len)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(pos))
        return QByteArray();
    return f.read(len);
}

inline bool running_as_root()
{
    return geteuid() == 0;
}

// Walks the tree without recursion and returns the number of markups, or -1
// (with the reason in *why) when a child does not point back at its parent or
// the model disagrees with the nodes.
inline int check_tree(MarkupModel &model, QString *why)
{
    int nodes = 0;
    std::vector<std::pair<MarkupNode *, QModelIndex>> pending;
    pending.emplace_back(model.root(), QModelIndex());
    while (!pending.empty()) {
        auto [node, index] = pending.back();
        pending.pop_back();
        if (model.rowCount(index) != node->child_count()) {
            *why = QStringLiteral("row count differs from the node's children");
            return -1;
        }
        for (int row = 0; row < node->child_count(); ++row) {
            MarkupNode *c = node->child(row);
            const QModelIndex ci = model.index(row, 0, index);
            if (!c || c->parent_node() != node) {
                *why = QStringLiteral("child without its parent pointer");
                return -1;
            }
            if (model.node_from_index(ci) != c || model.parent(ci) != index) {
                *why = QStringLiteral("model index does not match the node");
                return -1;
            }
            pending.emplace_back(c, ci);
            ++nodes;
        }
    }
    return nodes;
}

// Makes a file or folder immutable (chattr +i) for the guard's lifetime: the
// one way to refuse writes to root on an ordinary file system. ok() is false
// when the file system or the tool does not allow it.
class ImmutableGuard
{
public:
    explicit ImmutableGuard(const QString &path)
        : m_path(path)
    {
        m_ok = QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), path }) == 0;
    }
    ~ImmutableGuard() { release(); }
    ImmutableGuard(const ImmutableGuard &) = delete;
    ImmutableGuard &operator=(const ImmutableGuard &) = delete;

    bool ok() const { return m_ok; }
    void release()
    {
        if (m_ok)
            QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), m_path });
        m_ok = false;
    }

private:
    QString m_path;
    bool m_ok = false;
};

// A character device like /dev/full (every write fails with "no space left")
// made inside a test folder, so a save that replaced the node instead of
// writing to it harms nothing outside the test. False where mknod is refused.
inline bool make_full_device(const QString &path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

inline bool is_char_device(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A timeout guard for code that must never block on a FIFO: if the guard is
// still alive after `seconds`, it opens the other end of the FIFO (without
// blocking), which releases a reader or writer stuck in open(), and records
// that it had to. fired() is then true and the test fails instead of hanging.
class FifoWatchdog
{
public:
    FifoWatchdog(const QString &fifo, int seconds)
        : m_fifo(QFile::encodeName(fifo))
    {
        m_thread = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(m_mutex);
            while (!m_done) {
                if (m_wake.wait_for(lock, std::chrono::seconds(seconds)) == std::cv_status::timeout
                    && !m_done) {
                    m_fired = true;
                    const int r = ::open(m_fifo.constData(), O_RDONLY | O_NONBLOCK);
                    const int w = ::open(m_fifo.constData(), O_WRONLY | O_NONBLOCK);
                    if (w >= 0)
                        ::close(w);
                    if (r >= 0)
                        ::close(r);
                }
            }
        });
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    FifoWatchdog(const FifoWatchdog &) = delete;
    FifoWatchdog &operator=(const FifoWatchdog &) = delete;

    bool fired() const { return m_fired; }

private:
    QByteArray m_fifo;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_fired{false};
};

inline bool make_fifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A FIFO at path for the guard's lifetime, with a timeout: if code under test
// still waits on it (to open or read it) after `wait`, a helper thread opens
// and closes its writing end, which lets the waiting code go on, and fired()
// turns true, so the test fails instead of hanging. ok() is false when the
// FIFO could not be made.
class FifoGuard
{
public:
    explicit FifoGuard(const QString &path, std::chrono::milliseconds wait = std::chrono::seconds(5))
        : m_path(QFile::encodeName(path))
    {
        m_ok = ::mkfifo(m_path.constData(), 0600) == 0;
        if (m_ok)
            m_thread = std::thread([this, wait] { watch(wait); });
    }
    ~FifoGuard()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        ::unlink(m_path.constData());
    }
    FifoGuard(const FifoGuard &) = delete;
    FifoGuard &operator=(const FifoGuard &) = delete;

    bool ok() const { return m_ok; }
    bool fired() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }

private:
    void watch(std::chrono::milliseconds wait)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, wait, [this] { return m_done; }))
            return;
        m_fired = true;
        // Until the guard goes: a reader blocked in open() needs a writer to
        // come; one blocked in read() needs the writer to leave again.
        while (!m_done) {
            lock.unlock();
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_done; });
        }
    }

    QByteArray m_path;
    bool m_ok = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

} // namespace pq_hostile
