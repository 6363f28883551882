#include "overview/overviewworker.h"

#include "document/buffereddocument.h"
#include "overview/byteclassifier.h"

#include <QElapsedTimer>
#include <QThreadPool>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <vector>

namespace {

quint16 packed(const ByteClassifier &counts, bool exact)
{
    const double bits = counts.entropy();
    const int entropy = int(std::lround(bits * 32));
    return quint16(std::min(entropy, 256)) | quint16(int(counts.byte_class(bits)) << OverviewWorker::class_shift)
           | (exact ? OverviewWorker::exact_flag : 0);
}

} // namespace

OverviewWorker::OverviewWorker(QObject *parent)
    : QThread(parent)
{
}

OverviewWorker::~OverviewWorker()
{
    request_stop();
    wait();
}

bool OverviewWorker::read_block(qint64 offset, qint64 length, char *buffer) const
{
    if (BufferedDocument::read_at(m_job.handle, offset, buffer, length) != length)
        return false;
    for (auto it = m_job.edits.lowerBound(offset); it != m_job.edits.cend() && it.key() < offset + length; ++it)
        buffer[it.key() - offset] = char(it.value());
    return true;
}

qint64 OverviewWorker::hole_end(qint64 offset, qint64 end) const
{
    off_t data = ::lseek(m_job.handle, off_t(offset), SEEK_DATA);
    // No data after `offset` (ENXIO) makes the rest a hole; any other
    // failure (a file system without holes) means there is none.
    if (data < 0)
        data = errno == ENXIO ? off_t(end) : off_t(offset);
    qint64 hole = std::min<qint64>(data, end);
    // Edited bytes inside the hole are read like any other.
    const auto edit = m_job.edits.lowerBound(offset);
    if (edit != m_job.edits.cend())
        hole = std::min(hole, edit.key());
    return std::max(hole, offset);
}

void OverviewWorker::run()
{
    const SliceGeometry &geometry = m_job.geometry;
    const int count = geometry.count();
    std::vector<char> buffer(size_t(std::min(block_size, std::max<qint64>(geometry.size(), 1))));
    ByteClassifier counts;
    QElapsedTimer since_report;
    since_report.start();
    const auto report = [&] {
        if (since_report.elapsed() >= 50) {
            emit progress();
            since_report.restart();
        }
    };

    // First picture: one sample from the middle of each slice.
    for (int i = 0; i < count; ++i) {
        if (m_stop.load())
            return;
        if (m_job.slices[i].load(std::memory_order_relaxed) != 0)
            continue;
        const qint64 length = geometry.length(i);
        const qint64 taken = std::min(length, sample_size);
        if (!read_block(geometry.first(i) + (length - taken) / 2, taken, buffer.data()))
            continue;
        counts.clear();
        counts.add(buffer.data(), taken);
        m_job.slices[i].store(packed(counts, taken == length), std::memory_order_relaxed);
        report();
    }
    emit first_picture();
    emit progress();
    since_report.restart();

    // Then every slice not exact yet from all its bytes, on several cores: the
    // threads take the slices in order, so that the changed ones still come
    // first, and each slice is counted by one thread from start to end.
    std::atomic_int next { 0 };
    const auto count_slices = [&](char *block, bool reporting) {
        ByteClassifier slice_counts;
        for (int k = next.fetch_add(1); k < count && !m_stop.load(); k = next.fetch_add(1)) {
            const int i = (m_job.first_slice + k) % count;
            if (m_job.slices[i].load(std::memory_order_relaxed) & exact_flag)
                continue;
            if (count_slice(i, slice_counts, block))
                m_job.slices[i].store(packed(slice_counts, true), std::memory_order_relaxed);
            if (reporting)
                report();
        }
    };
    const int threads = std::min(count, m_job.threads > 0 ? m_job.threads
                                                          : std::min(QThread::idealThreadCount(), max_threads));
    QThreadPool helpers;
    helpers.setMaxThreadCount(std::max(1, threads - 1));
    helpers.setThreadPriority(priority());
    for (int t = 1; t < threads; ++t)
        helpers.start([&] {
            std::vector<char> block(buffer.size());
            count_slices(block.data(), false);
        });
    // Progress is reported from this thread alone, which times the reports.
    count_slices(buffer.data(), true);
    helpers.waitForDone();
    emit progress();
}

bool OverviewWorker::count_slice(int i, ByteClassifier &counts, char *buffer) const
{
    counts.clear();
    const qint64 end = m_job.geometry.first(i + 1);
    qint64 at = m_job.geometry.first(i);
    while (at < end) {
        if (m_stop.load())
            return false;
        const qint64 hole = hole_end(at, end);
        if (hole > at) {
            counts.add_repeated(0, hole - at);
            at = hole;
            continue;
        }
        const qint64 length = std::min(block_size, end - at);
        if (!read_block(at, length, buffer))
            return false;
        counts.add(buffer, length);
        at += length;
    }
    return true;
}
