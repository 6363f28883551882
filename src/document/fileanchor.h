#pragma once

#include <QObject>

class FileIterator;

// The one progress and cancellation channel of every file walk. Each movement
// of any FileIterator is one step; one step in 101 reports progress in
// ten-thousandths of the file, and is where a requested cancel is thrown as
// DocumentError (Cancelled).
class FileAnchor : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FileAnchor)

public:
    static FileAnchor *instance();

    // One progress step with the value to report if this step reports.
    // Throws DocumentError (Cancelled) on a reporting step after cancel().
    void notify(int value);
    // A report outside the movement cadence, for walks that read the file in
    // blocks rather than moving an iterator: throws DocumentError (Cancelled)
    // after cancel(), otherwise emits the value. The step counter is left
    // alone.
    void report(int value);
    void cancel() { m_cancelled = true; }
    void clear() { m_cancelled = false; }
    bool is_cancelled() const { return m_cancelled; }

signals:
    void iterator_changed(int pos);

private:
    friend class FileIterator;

    FileAnchor() = default;

    // True when the next step reports; otherwise counts the step. Inline so
    // that a walk pays one compare and one increment per byte.
    static bool count_step()
    {
        if (m_step_counter > 99)
            return true;
        ++m_step_counter;
        return false;
    }

    bool m_cancelled = false;
    // Shared by all iterators; never reset between walks.
    static inline int m_step_counter = 0;
};
