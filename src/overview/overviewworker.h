#pragma once

#include "overview/slicegeometry.h"

#include <QMap>
#include <QThread>

#include <atomic>

class ByteClassifier;

// Computes the overview of one open file off the GUI thread: first one
// sample from the middle of every slice not looked at yet (a picture of any
// file, however large, within moments), then every slice not yet exact from
// all its bytes, in positional block reads on its own descriptor, so that
// neither the GUI thread's document window nor the file's closing is in its
// way. The exact pass counts on helper threads of its own beside this one
// (never the global pool), one slice per thread at a time, and joins them
// before it ends. Unsaved edits come from a snapshot.
//
// The owner sets the job before start() and changes none of it (nor the
// slice store) until the thread has finished.
class OverviewWorker : public QThread
{
    Q_OBJECT

public:
    // Bytes read per block in the exact pass, and per slice for the first picture.
    static constexpr qint64 block_size = qint64(1) << 20;
    static constexpr qint64 sample_size = 4096;
    // Threads counting at once when the job leaves it to the machine: one
    // thread counts about 3.8 GB/s, so four count faster than one core reads
    // the page cache (about 10 GB/s), and further cores stay free for the
    // user's work.
    static constexpr int max_threads = 4;

    // One slice as the store holds it: entropy in 1/32 bit (0..256) in the
    // low nine bits, the ByteClass above, and whether it counted every byte.
    static constexpr quint16 entropy_mask = 0x1ff;
    static constexpr int class_shift = 9;
    static constexpr quint16 exact_flag = 0x1000;

    struct Job
    {
        // A descriptor of its own (not a dup: the worker seeks to find holes)
        // that the owner keeps open until the thread has finished. The
        // counting threads share it: reads are positional, and a seek's
        // answer is its return value, not the position it leaves.
        int handle = -1;
        SliceGeometry geometry;
        // Unsaved byte values by offset, applied over what the file holds.
        QMap<qint64, quint8> edits;
        // geometry.count() entries; the exact pass starts at `first_slice`
        // and wraps around, so changed slices come first.
        std::atomic<quint16> *slices = nullptr;
        int first_slice = 0;
        // Threads counting at once in the exact pass; 0: one per core, at
        // most max_threads.
        int threads = 0;
    };

    explicit OverviewWorker(QObject *parent = nullptr);
    ~OverviewWorker() override;

    void set_job(Job job)
    {
        m_job = std::move(job);
        m_stop.store(false);
    }
    // Asks a running pass to stop at its next block, on every thread (no signal).
    void request_stop() { m_stop.store(true); }

signals:
    // Some slices have new values since the last report; at most every 50 ms.
    void progress();
    // Every slice has at least its sampled value.
    void first_picture();

protected:
    void run() override;

private:
    // Reads `length` bytes at `offset` with the edits applied; false on a
    // read error or a short read (a file cut short meanwhile).
    bool read_block(qint64 offset, qint64 length, char *buffer) const;

    // Counts every byte of slice i into `counts` through `buffer` (block_size
    // bytes); false when stopped or on a read error. Safe on several threads
    // at once, each with its own `counts` and `buffer`.
    bool count_slice(int i, ByteClassifier &counts, char *buffer) const;

    // Where the hole in the file at `offset` ends, up to `end`: `offset`
    // when data (or an edit) lies there. Holes read as zeros without reading.
    qint64 hole_end(qint64 offset, qint64 end) const;

    Job m_job;
    std::atomic_bool m_stop { false };
};
