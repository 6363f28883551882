#pragma once

#include "overview/byteclassifier.h"
#include "overview/slicegeometry.h"

#include <QObject>
#include <QRgb>
#include <QVector>

#include <atomic>
#include <memory>

class EditedFile;
class OverviewWorker;
class QTimer;

// The whole open file at a glance: for each of a number of slices (one per
// pixel row of the strip that shows it) its ByteClass and entropy, computed
// by an OverviewWorker and kept in two bytes per slice. Follows the edited
// file: another file (or none) starts afresh, edits recompute the slices
// they touch first, a file that grew or shrank starts afresh. While no file
// is open, or while switched off, nothing runs.
//
// GUI thread only; needs no widgets.
class FileOverview : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FileOverview)

public:
    struct Slice
    {
        ByteClass byte_class = ByteClass::unknown;
        // Bits per byte, 0..8, to 1/32 bit.
        double entropy = 0;
        // From every byte of the slice, not from a sample.
        bool exact = false;
    };

    explicit FileOverview(EditedFile *file, QObject *parent = nullptr);
    ~FileOverview() override;

    // How many slices to cut the file into (at most one per byte); nothing
    // is computed before it is set.
    void set_slice_count(int wanted);
    // Off: the worker stops and nothing is computed until switched on again.
    void set_active(bool active);
    bool is_active() const { return m_active; }

    const SliceGeometry &geometry() const { return m_geometry; }
    // Slice i as computed so far; unknown for an index out of range.
    Slice slice(int i) const;
    // Whether the worker is still computing.
    bool is_running() const;

    // For each slice, the background colour of the first top-level markup
    // lying (partly) in it; 0 where there is none.
    QVector<QRgb> markup_bands() const;

    static QString class_name(ByteClass byte_class);

signals:
    // New slice values, a new geometry, or no file any more.
    void slices_changed();
    // The worker has finished every slice exactly.
    void completed();

private slots:
    void follow_file();
    void follow_bytes(qint64 first, qint64 last);
    void launch();

private:
    // Stops the worker and waits for it (one block read at most).
    void stop();
    // Drops every value and takes a new geometry and descriptor at launch().
    void reset();
    void close_handle();

    EditedFile *m_file;
    OverviewWorker *m_worker;
    QTimer *m_launch_timer;
    SliceGeometry m_geometry;
    std::unique_ptr<std::atomic<quint16>[]> m_slices;
    int m_wanted = 0;
    int m_handle = -1;
    int m_first_slice = 0;
    bool m_active = true;
    bool m_reset = true;
};
