#pragma once

#include <QThread>

#include <atomic>

class MarkupMask;

// Fills the mask's window off the GUI thread. The mask sets everything the
// fill reads (window start, lookup snapshot) before start() and changes none
// of it until the thread has finished.
class UpdateThread : public QThread
{
    Q_OBJECT

public:
    explicit UpdateThread(MarkupMask *mask);

    // GUI thread: asks a running fill to stop at its next check (no signal).
    void request_stop() { stop_requested.store(true); }
    void clear_stop() { stop_requested.store(false); }
    // GUI thread, before start(): the number the run's completion reports.
    void set_fill(quint64 fill) { m_fill_number = fill; }

signals:
    // A run has finished its fill; fill is the number set before it started.
    void update_completed(quint64 fill);

protected:
    void run() override;

private:
    MarkupMask *mask;
    std::atomic_bool stop_requested { false };
    quint64 m_fill_number = 0;
};
