#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Appends to a journal file from a thread of its own, so the editing thread
// only copies bytes into a buffer. Whatever is appended is written and
// fdatasync'ed in batches: a batch leaves as soon as the last one is on
// disk, and batches are at least 100 ms apart, so a record reaches the disk
// within about 100 ms plus two syncs.
class JournalWriter
{
    Q_DISABLE_COPY(JournalWriter)

public:
    JournalWriter() = default;
    // Writes what is pending, then closes.
    ~JournalWriter();

    // Writes `start` into a new file beside `path` (mode 0600), syncs it,
    // renames it over `path` and syncs the folder, so an older journal there
    // is replaced whole or not at all and the new name survives a power cut;
    // appends then go to the new file. False when that failed (the writer
    // stays closed, error() says why).
    bool start(const QString &path, const QByteArray &start);
    bool is_open() const { return m_fd >= 0; }
    // Queues bytes for the file; never waits for the disk.
    void append(const QByteArray &bytes);
    // Queues the pieces as one: a large piece is kept as it is, not copied.
    void append(const QList<QByteArray> &pieces);
    // Returns once everything appended so far is on disk (or failed to get
    // there).
    void sync();
    // Writes what is pending and closes the file.
    void close();
    // A write or sync failed: later records are dropped.
    bool failed() const;
    // What failed first, for the user: the file and the system's reason.
    QString error() const;
    // Called once, on the writer's own thread, when a write or sync fails.
    void set_failure_handler(std::function<void()> handler) { m_on_failure = std::move(handler); }

    // Syncs the folder holding `path`, so that a file created, renamed or
    // removed there stays so after a power cut. False when it failed.
    static bool sync_folder_of(const QString &path);

private:
    void run();

    int m_fd = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    // Small appends join the last piece, so that a batch of typing is one
    // write; large ones stay pieces of their own.
    QList<QByteArray> m_pending;
    qint64 m_appended = 0;
    qint64 m_synced = 0;
    bool m_stop = false;
    bool m_urgent = false;
    // Waiting for the first bytes of a batch.
    bool m_idle = false;
    bool m_failed = false;
    QString m_error;
    QString m_path;
    std::function<void()> m_on_failure;
};
