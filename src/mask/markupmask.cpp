#include "mask/markupmask.h"

#include "markup/markupmodel.h"
#include "mask/updatethread.h"

#include <cstdio>
#include <limits>

MarkupMask::MarkupMask(MarkupTree *tree, QObject *parent)
    : QObject(parent)
    , m_tree(tree)
    , nodes(new std::atomic<MarkupNode *>[window_size])
    , thread(new UpdateThread(this))
{
    clear_entries();
    connect(thread.get(), &UpdateThread::update_completed, this, &MarkupMask::on_fill_finished,
            Qt::QueuedConnection);
    if (tree && tree->model()) {
        // Direct connections: the model changes on this (the GUI) thread and
        // the worker must be stopped before the change, not some time after.
        connect(tree->model(), &MarkupModel::about_to_change, this, &MarkupMask::stop_and_clear,
                Qt::DirectConnection);
        connect(tree->model(), &MarkupModel::change_finished, this,
                &MarkupMask::on_change_finished, Qt::DirectConnection);
    }
}

MarkupMask::~MarkupMask()
{
    stop_worker();
}

bool MarkupMask::is_filling() const
{
    return thread->isRunning();
}

void MarkupMask::clear_entries()
{
    for (int i = 0; i < window_size; ++i)
        nodes[i].store(nullptr, std::memory_order_relaxed);
}

void MarkupMask::stop_worker()
{
    // Whatever the worker reported before this point no longer describes the
    // entries.
    ++m_fill;
    if (thread->isRunning()) {
        thread->request_stop();
        thread->wait();
    }
    std::lock_guard<std::mutex> finished(m_fill_mutex);
}

void MarkupMask::stop_and_clear()
{
    stop_worker();
    clear_entries();
}

void MarkupMask::start_fill()
{
    MarkupTree *tree = m_tree.data();
    if (!tree || !tree->model())
        return;
    if (tree->model()->is_changing()) {
        // The tree is mid-change; the end of the change refills.
        m_reload_pending = true;
        return;
    }
    // The window's offsets only; it may reach past the largest offset.
    const qint64 last = m_window_start > std::numeric_limits<qint64>::max() - (window_size - 1)
                            ? std::numeric_limits<qint64>::max()
                            : m_window_start + (window_size - 1);
    m_snapshot = tree->lookup_snapshot(m_window_start, last);
    thread->clear_stop();
    thread->set_fill(m_fill);
    thread->start(QThread::InheritPriority);
}

MarkupNode *MarkupMask::markup_at(qint64 offset)
{
    // Unsigned distance: no overflow whatever the offset.
    const quint64 distance = quint64(offset) - quint64(m_window_start);
    if (offset >= m_window_start && distance < quint64(window_size))
        return nodes[qsizetype(distance)].load(std::memory_order_relaxed);
    stop_worker();
    m_window_start = offset < window_lead ? 0 : offset - window_lead;
    // Entries computed for the old position would colour the wrong bytes.
    clear_entries();
    start_fill();
    return nullptr;
}

void MarkupMask::reload_mask()
{
    // A reload means the entries may be stale: a running fill started before
    // the reason for the reload, so start it over instead of dropping this.
    stop_worker();
    start_fill();
}

void MarkupMask::on_change_finished()
{
    m_reload_pending = false;
    reload_mask();
}

void MarkupMask::on_fill_finished(quint64 fill)
{
    if (fill == m_fill)
        emit update_completed();
}
