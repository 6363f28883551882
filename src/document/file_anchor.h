#pragma once

#include <QObject>

class file_iterator;

// The one progress and cancellation channel of every file walk. Each movement
// of any file_iterator is one step; one step in 101 reports progress in
// ten-thousandths of the file, and is where a requested cancel is thrown as
// "operation cancelled".
class file_anchor : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(file_anchor)

public:
    static file_anchor *instance();

    // One progress step with the value to report if this step reports.
    // Throws "operation cancelled" on a reporting step after cancel().
    void notify(int value);
    // A report outside the movement cadence, for walks that read the file in
    // blocks rather than moving an iterator: throws "operation cancelled"
    // after cancel(), otherwise emits the value. The step counter is left
    // alone.
    void report(int value);
    void cancel() { cancelled = true; }
    void clear() { cancelled = false; }
    bool is_cancelled() const { return cancelled; }

signals:
    void iterator_changed(int pos);

private:
    friend class file_iterator;

    file_anchor() = default;

    // True when the next step reports; otherwise counts the step. Inline so
    // that a walk pays one compare and one increment per byte.
    static bool count_step()
    {
        if (m_step_counter > 99)
            return true;
        ++m_step_counter;
        return false;
    }

    bool cancelled = false;
    // Shared by all iterators; never reset between walks.
    static inline int m_step_counter = 0;
};
