#pragma once

#include "editedfile/journalformat.h"
#include "editedfile/journalwriter.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>

class EditedFile;
class QLockFile;

// The journal of one open data file: every step of its undo history, as it
// happens, so that unsaved work survives a crash, a kill or a power cut.
//
// Where: <AppDataLocation>/journal (mode 0700), one file per data file named
// after the SHA-1 of its absolute path (mode 0600: it holds markup texts),
// with a QLockFile beside it held while the data file is open, so a second
// window on the same file runs without a journal instead of writing into
// this one. The lock names its process and host; a lock whose process is
// gone, or that names nobody (cut short as it was made), is taken over. The
// setting "Journal" ("yes"/"no", default yes) switches it off for files
// opened afterwards.
//
// A journal that cannot be written (a full disk, a read-only or vanished
// folder, an I/O error) is no reason to stop editing: the state becomes
// failing, with the reason in failure(), and the next change at least a
// second later tries again with a whole new journal of the state as it is.
// What was written before the failure stays on disk for a crash to find.
// Every change of state() or failure() is announced by the edited file's
// journal_changed().
//
// What (records framed by JournalFormat, payloads in QDataStream):
//   header       version, data path, start time, data file size and mtime,
//                and (when not 0) how many changes the first snapshot holds
//                from a recovery that could only keep them as one state
//   snapshot     markup file name, the whole markup tree as a markup file,
//                and every byte edit with the file's byte under it
//   markup_file_snapshot
//                the same, with the markup tree replaced by the identity
//                of a markup file on disk that holds exactly these markups
//                (just loaded or saved, nothing changed since): its path,
//                size, mtime in nanoseconds, device and inode. A tree of
//                millions of markups then costs nothing to journal; only a
//                tree that differs from every file is written whole.
//   step         one pushed command's EditCommand::record() and, for a byte
//                step, the file's byte under it
//   move         n steps redone (n > 0) or undone (n < 0)
//   saving_bytes the edits about to be written into the data file
//   saved_bytes  they are; the data file's new size and mtime
//   saved_markup the markups were written to the named markup file
//
// Replay starts from a snapshot with an empty history and pushes, undoes and
// redoes exactly what the session did, so the result has the same bytes,
// markups and undo steps. The journal follows the replayed history's index
// and size; whenever the session does something the replay could not repeat
// (undo below the first journaled step, redo past the last, a step without a
// record such as a template application, a nibble joining a step from
// before the journal, a new history), it writes a snapshot of the state
// after it instead. A journal file is started (with its header and a
// snapshot) by the first change; when the file has no unsaved change left
// (both parts saved, everything undone) or is closed in order, it is
// removed.
//
// A recovery starts the new journal with the records it replayed, so a
// second crash finds the recovered steps again, each still undoable. All
// QDataStream payloads are written in one pinned stream version.
//
// A journal that cannot be read at all is renamed aside (".damaged") and
// left for the user; damaged_path() says where.
//
// Recovery checks the data file against the journal: size and mtime after
// the last save, and the recorded original byte under every edit since.
// When they differ, the byte edits would land on other bytes: only the
// markups are offered, replayed aside and taken over as one new state.
// When the last snapshot names a markup file that is missing or no longer
// the same, the markups are lost: Found says which file, and only the byte
// edits are offered, taken over the same way. Journals of format version 1
// (whole snapshots only) are read as before.
class Journal
{
    Q_DISABLE_COPY(Journal)

public:
    enum class State {
        // No file open, or the setting is off.
        off,
        // Another window holds the lock: nothing is written.
        foreign,
        // A journal was left behind: nothing is written until recover(),
        // discard() or postpone().
        pending,
        // Left for later: kept as it is, nothing is written this time.
        postponed,
        recording,
        // Writing failed (failure() says why): nothing is written until a
        // later change finds it works again.
        failing,
    };
    struct Found
    {
        QDateTime began;
        int changes = 0;
        // The last of them, which come back as undoable steps; the earlier
        // ones come back as one state (a template application, a recovery
        // that kept only the markups). Equal to changes when all do.
        int undoable = 0;
        // Damaged records at the end, left out.
        int dropped = 0;
        // The data file is not the one the byte edits were made on.
        bool file_changed = false;
        // The markup file the markups started from, when it is missing or
        // changed since: the markups cannot be recovered. Empty otherwise.
        QString markup_file_lost;
    };
    // What tells cheaply that a markup file still holds what it held: a
    // write changes its size or mtime, a replacement its inode.
    struct MarkupFileId
    {
        QString path;
        qint64 size = -1;
        qint64 mtime_ns = -1;
        quint64 device = 0;
        quint64 inode = 0;

        // Invalid (size -1) when `path` is no regular file.
        static MarkupFileId of(const QString &path);
        bool valid() const { return size >= 0; }
        bool operator==(const MarkupFileId &other) const;
    };

    explicit Journal(EditedFile *file);
    ~Journal();

    static bool enabled();
    static QString folder();
    static QString path_for(const QString &data_path);

    // The data file `data_path` (absolute) was opened.
    void bind(const QString &data_path);
    // It is closed in order: the journal goes (unless left for later).
    void release();
    State state() const { return m_state; }
    QString journal_path() const { return m_path; }
    // Why nothing is written (state failing): the file and the system's
    // reason.
    QString failure() const { return m_failure; }
    // The process and host holding the lock (state foreign).
    qint64 holder_pid() const { return m_holder_pid; }
    QString holder_host() const { return m_holder_host; }
    // Where bind() put a journal it could not read; empty when none.
    QString damaged_path() const { return m_damaged_path; }

    // What a journal left behind holds (state pending).
    Found found() const { return m_found; }
    // Replays it onto the file as it is now (only the markups when the file
    // changed) and keeps recording from there. False when nothing could be
    // replayed; the journal is then left as it is.
    bool recover();
    void discard();
    void postpone();

    // --- the edited file's hooks
    // Around each push: begin_step() says whether to pass the step's record.
    bool begin_step();
    // A step begun and then dropped before its push.
    void abandon_step() { m_in_step = false; }
    void end_step(const QByteArray &record, int file_byte, bool applied, bool merged);
    // The history's index moved outside a push (undo, redo, a restart).
    void history_moved(int index, int count);
    // The file has no unsaved change left: the journal goes.
    void unmodified();
    void saving_bytes();
    void saved_bytes();
    // After the markups count as saved: a save over the file the last
    // snapshot names makes a new snapshot.
    void saved_markup(const QString &name);
    // The markups are now exactly what the markup file `id` holds (loaded
    // or saved); an invalid id: they are not known to match any file. Kept
    // until the tree is replaced or a step leaves the saved state.
    void markups_from(const MarkupFileId &id) { m_markups_from = id; }
    // The byte edits changed outside the history (a copy was saved).
    void edits_dropped();

    // --- reading (static so the fuzzer can drive it without a journal)
    struct FileProbe
    {
        qint64 size = -1;
        qint64 mtime = -1;
        std::function<int(qint64)> byte;
    };
    struct Analysis
    {
        bool usable = false;
        Found found;
        // Index of a saving_bytes record with no saved_bytes after it whose
        // bytes the data file holds: replayed as saved. -1: none.
        int saving_done = -1;
        // The markup file the last snapshot names; invalid when it holds
        // the whole tree.
        MarkupFileId last_source;
    };
    static Analysis analyse(const QList<JournalFormat::Record> &records, const FileProbe &file);
    // Replays the records onto `target` (its history restarted first); stops
    // at the first that cannot be replayed. Returns how many were. After a
    // snapshot whose markup file is no longer the same, the tree is left
    // empty and each markup step only holds its place in the history, so
    // that the byte steps and moves around it replay as they were.
    static int replay(EditedFile *target, const QList<JournalFormat::Record> &records,
                      int saving_done);

private:
    bool writing() const { return m_state == State::recording && m_writer.is_open(); }
    // Starts the file, or writes a snapshot when one is due. True when it
    // wrote a snapshot (of the state as it is now).
    bool start_if_needed();
    // A new journal file: a header and a snapshot of the state as it is
    // (`carried` changes in it), or the records of `replayed`, which made
    // the history as it is. On failure the state becomes failing.
    bool start_file(int carried = 0, const QList<JournalFormat::Record> &replayed = {});
    void write_snapshot();
    void append(JournalFormat::Type type, const QByteArray &payload);
    void remove_file();
    QByteArray header(int carried) const;
    // Appends the snapshot record to *bytes, the markups written straight
    // into it: a tree of millions of markups is held once more, not once
    // per copy on its way to the writer. A copy that runs long says how far
    // it got on the status bar and keeps the event loop running meanwhile,
    // the file busy and the user's input held back.
    void append_snapshot(QByteArray *bytes);
    // Makes the journal folder (only its owner may enter); otherwise failing.
    bool make_folder();
    // Takes the lock beside the journal; otherwise foreign or failing.
    bool take_lock();
    // What bind() finds left behind: pending, or a damaged file kept aside.
    void read_left_behind();
    void keep_aside();
    void fail(const QString &reason);
    // In state failing, at most once a second: a new journal. True when
    // journaling resumed.
    bool retry();
    // The writer's thread reported a failure.
    void writer_failed();
    // After a recovery or a discard: recording, unless writing failed.
    void go_on();
    void announce();

    EditedFile *m_file;
    State m_state = State::off;
    QString m_data_path;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    JournalWriter m_writer;
    bool m_needs_snapshot = true;
    // The replayed history's index and size, as replay would have them.
    int m_replay_index = 0;
    int m_replay_count = 0;
    int m_seen_index = 0;
    bool m_in_step = false;
    // A whole tree is being copied (the event loop runs meanwhile).
    bool m_copying = false;
    bool m_failed_while_copying = false;
    QString m_failure;
    QElapsedTimer m_last_try;
    qint64 m_holder_pid = 0;
    QString m_holder_host;
    QString m_damaged_path;
    // The markup file the markups were last loaded from or saved to.
    MarkupFileId m_markups_from;
    // The one the journal's last snapshot names; invalid when it holds the
    // whole tree.
    MarkupFileId m_last_source;
    // What bind() found.
    QList<JournalFormat::Record> m_records;
    Analysis m_analysis;
    Found m_found;
};
