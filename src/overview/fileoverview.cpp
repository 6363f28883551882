#include "overview/fileoverview.h"

#include "document/buffereddocument.h"
#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "overview/overviewworker.h"

#include <QColor>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

FileOverview::FileOverview(EditedFile *file, QObject *parent)
    : QObject(parent)
    , m_file(file)
    , m_worker(new OverviewWorker(this))
    , m_launch_timer(new QTimer(this))
{
    // Opening a file announces both file_changed and bytes_changed: one
    // launch after both.
    m_launch_timer->setSingleShot(true);
    m_launch_timer->setInterval(0);
    connect(m_launch_timer, &QTimer::timeout, this, &FileOverview::launch);
    connect(m_worker, &OverviewWorker::progress, this, &FileOverview::slices_changed);
    connect(m_worker, &QThread::finished, this, [this] {
        if (m_geometry.count() == 0)
            return;
        for (int i = 0; i < m_geometry.count(); ++i)
            if (!(m_slices[i].load() & OverviewWorker::exact_flag))
                return;
        emit completed();
    });
    connect(m_file, &EditedFile::file_changed, this, &FileOverview::follow_file);
    connect(m_file, &EditedFile::bytes_changed, this, &FileOverview::follow_bytes);
    follow_file();
}

FileOverview::~FileOverview()
{
    stop();
    close_handle();
}

void FileOverview::set_slice_count(int wanted)
{
    if (wanted == m_wanted)
        return;
    m_wanted = wanted;
    if (SliceGeometry(m_file->size(), wanted) != m_geometry)
        reset();
}

void FileOverview::set_active(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        m_launch_timer->start();
    else
        stop();
}

FileOverview::Slice FileOverview::slice(int i) const
{
    Slice s;
    if (i < 0 || i >= m_geometry.count())
        return s;
    const quint16 value = m_slices[i].load(std::memory_order_relaxed);
    s.byte_class = ByteClass(value >> OverviewWorker::class_shift & 0x7);
    s.entropy = double(value & OverviewWorker::entropy_mask) / 32;
    s.exact = value & OverviewWorker::exact_flag;
    return s;
}

bool FileOverview::is_running() const
{
    return m_worker->isRunning() || m_launch_timer->isActive();
}

QVector<QRgb> FileOverview::markup_bands() const
{
    QVector<QRgb> bands(m_geometry.count(), 0);
    const QList<MarkupNode *> &markups = m_file->markup_model()->root()->children();
    const auto paint = [&](const MarkupNode *node) {
        if (node->start() < 0 || node->end() < node->start() || node->start() >= m_geometry.size())
            return;
        const int last = m_geometry.slice_of(node->end());
        for (int b = m_geometry.slice_of(node->start()); b <= last; ++b)
            if (bands[b] == 0)
                bands[b] = node->background().rgb();
    };
    if (!m_file->markup_model()->root()->children_ordered()) {
        for (const MarkupNode *node : markups)
            paint(node);
        return bands;
    }
    // Sorted and disjoint: per slice, the first markup ending in or after
    // it, so that a million markups cost a search per slice, not a walk.
    for (int b = 0; b < bands.size(); ++b) {
        const qint64 first = m_geometry.first(b);
        const auto it = std::lower_bound(markups.cbegin(), markups.cend(), first,
                                         [](const MarkupNode *node, qint64 at) { return node->end() < at; });
        if (it != markups.cend() && (*it)->start() < m_geometry.first(b + 1))
            bands[b] = (*it)->background().rgb();
    }
    return bands;
}

QString FileOverview::class_name(ByteClass byte_class)
{
    switch (byte_class) {
    case ByteClass::repeated:
        return tr("one repeated byte");
    case ByteClass::text:
        return tr("text");
    case ByteClass::binary:
        return tr("binary");
    case ByteClass::random:
        return tr("compressed or encrypted");
    case ByteClass::unknown:
        break;
    }
    return tr("not read yet");
}

void FileOverview::follow_file()
{
    // At once, not at the next launch: a closed file is not read any longer
    // nor shown.
    stop();
    close_handle();
    m_geometry = SliceGeometry();
    m_slices.reset();
    emit slices_changed();
    reset();
}

void FileOverview::follow_bytes(qint64 first, qint64 last)
{
    if (m_reset)
        return;
    if (m_file->size() != m_geometry.size()) {
        stop();
        reset();
        return;
    }
    const int from = m_geometry.slice_of(first);
    const int to = m_geometry.slice_of(last);
    if (from < 0)
        return;
    stop();
    for (int i = from; i <= to; ++i)
        m_slices[i].fetch_and(quint16(~OverviewWorker::exact_flag));
    m_first_slice = from;
    m_launch_timer->start();
}

void FileOverview::launch()
{
    // Nothing to cut the file into before the strip has a height.
    if (!m_active || m_wanted <= 0)
        return;
    stop();
    if (m_reset) {
        m_reset = false;
        close_handle();
        m_geometry = SliceGeometry(m_file->is_open() ? m_file->size() : 0, m_wanted);
        m_slices.reset(new std::atomic<quint16>[size_t(m_geometry.count())]);
        for (int i = 0; i < m_geometry.count(); ++i)
            m_slices[i].store(0);
        m_first_slice = 0;
        const int shared = m_file->document()->buffered_document()->handle();
        // A description of its own, so that the worker's seeks move no one
        // else's position; the same file even when its name now names another.
        if (m_geometry.count() > 0 && shared >= 0)
            m_handle = ::open(QByteArray("/proc/self/fd/" + QByteArray::number(shared)).constData(),
                              O_RDONLY | O_CLOEXEC);
        emit slices_changed();
    }
    if (m_handle < 0 || m_geometry.count() == 0)
        return;
    OverviewWorker::Job job;
    job.handle = m_handle;
    job.geometry = m_geometry;
    job.edits = m_file->edits();
    job.slices = m_slices.get();
    job.first_slice = m_first_slice;
    m_worker->set_job(std::move(job));
    m_worker->start(QThread::LowPriority);
}

void FileOverview::stop()
{
    m_worker->request_stop();
    m_worker->wait();
}

void FileOverview::reset()
{
    m_reset = true;
    m_launch_timer->start();
}

void FileOverview::close_handle()
{
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}
