#pragma once

#include "markup/markuptree.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>
#include <mutex>

class MarkupNode;
class UpdateThread;

// Precomputed window of 10000 consecutive file offsets, each mapped to the
// markup node that covers it (or none), filled by a worker thread so painting
// never walks the markup tree.
//
// Safety: the mask listens to the model's change bracket. Before any change of
// the tree it stops the worker, waits for it and blanks every entry (so no
// entry can point at a node about to be deleted); after the change it refills.
// The worker reads a snapshot of the expanded markups taken on the GUI thread
// when the fill starts, never the flags or a view. A reload during a fill
// restarts the fill; destroying the mask stops and waits for the worker.
class MarkupMask : public QObject
{
    Q_OBJECT

public:
    static constexpr int window_size = 10000;
    static constexpr qint64 window_lead = 5000;

    explicit MarkupMask(MarkupTree *tree, QObject *parent = nullptr);
    ~MarkupMask() override;

    // GUI thread. Inside the window: the entry as it is now (null until the
    // worker has filled it). Outside: moves the window to start window_lead
    // offsets before offset (clamped at 0), blanks it, starts a fill and
    // answers null.
    MarkupNode *markup_at(qint64 offset);

    qint64 window_start() const { return m_window_start; }
    bool is_filling() const;
    // Stops the worker, waits for it and blanks every entry.
    void stop_and_clear();

public slots:
    // Refills the current window. A fill in progress is stopped and started
    // again, so the result always reflects the tree as of the last reload.
    void reload_mask();

signals:
    // The current fill has finished (emitted on the GUI thread): the window's
    // entries are complete. A fill that was stopped, restarted or moved to
    // another window never reports, even when its completion was already
    // queued.
    void update_completed();

private:
    friend class UpdateThread;

    void stop_worker();
    void start_fill();
    void clear_entries();
    void on_change_finished();
    void on_fill_finished(quint64 fill);

    QPointer<MarkupTree> m_tree;
    std::unique_ptr<std::atomic<MarkupNode *>[]> nodes;
    qint64 m_window_start = -10001;
    MarkupTree::LookupSnapshot m_snapshot;
    std::unique_ptr<UpdateThread> thread;
    // Held by the worker for a whole fill and taken by the GUI thread after
    // each wait: makes the hand-over explicit to race checkers, which do not
    // see QThread::wait() as one.
    std::mutex m_fill_mutex;
    bool m_reload_pending = false;
    // Counts every stop of the worker, so a queued completion names the fill
    // it belongs to and a superseded one is dropped.
    quint64 m_fill = 0;
};
