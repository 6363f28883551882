#pragma once

#include "editedfile/byteeditcommand.h"
#include "markup/edithistory.h"
#include "markup/markuptree.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class EditCommand;
class HexDocument;
class Journal;
class MarkupModel;
class QFileSystemWatcher;

// The file being edited: the data file with its unsaved byte edits, the
// markup tree with its markup file, and the one undo history of both. Views
// show it and follow its signals; every change goes through it.
//
// While busy (a search walks the data file and keeps the event loop alive),
// every change is refused with busy_message() on status_message(), so no
// command can change what the long job works on.
//
// Needs no widgets: it runs under a QCoreApplication.
class EditedFile : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(EditedFile)

public:
    using Part = EditHistory::Part;

    explicit EditedFile(QObject *parent = nullptr);
    ~EditedFile() override;

    HexDocument *document() const { return m_document; }
    MarkupModel *markup_model() const { return m_model; }
    MarkupTree *markup_tree() const { return m_tree; }
    EditHistory *history() const { return m_history; }
    // The journal of the open file's unsaved changes (see Journal).
    Journal *journal() const { return m_journal.get(); }

    // --- the data file
    // Compares the file's size with the one last seen; when another program
    // changed it, the bytes between the two ends announce a change
    // (bytes_changed), so the views show the file as it is now. Runs by
    // itself when the file system reports a change to the open file.
    void check_size();
    // Opens `path` (a failure leaves no file open) and drops every byte edit;
    // the history and the markups are the caller's to keep or restart. The
    // empty name is ignored. False when busy or when no file could be opened.
    bool open(const QString &path);
    bool is_open() const;
    // The size the file has now; 0 when no file is open or it is unreadable.
    qint64 size() const;
    // Absolute path of the open file; empty when none.
    QString path() const;
    // The open file changed on disk (a search found it cut short): the views
    // take its size and bytes again through file_changed() and
    // bytes_changed(). The edits are kept.
    void refresh();

    // --- bytes
    bool has_edits() const { return !m_edits.isEmpty(); }
    // The unsaved value of the byte at `offset`, or -1 when it is not edited.
    int edited_value(qint64 offset) const;
    // The byte as the user sees it: the edit, else the file's; -1 past the
    // end or when it cannot be read.
    int byte_at(qint64 offset) const;
    // Up to `length` bytes from `offset` as the user sees them (edits
    // applied), cut at the end of the file.
    QByteArray read(qint64 offset, int length) const;
    // Unsaved values by offset, ascending.
    const QMap<qint64, quint8> &edits() const { return m_edits; }
    // One typed byte as an undoable step: `value` at `offset` (inside the
    // file), with the view's cursor before and after. A second nibble
    // completing the first joins its step. False when refused.
    bool type_byte(qint64 offset, quint8 value, const ByteEditCommand::Cursor &before,
                   const ByteEditCommand::Cursor &after);

    // Writes the edits: the empty name, or one naming the open file, writes
    // into the open file in place; another name builds a complete copy with
    // the edits beside it and renames it over that name (whether to replace
    // an existing file is the caller's question). On success the edits are
    // in the file and the bytes count as saved; on failure every edit is
    // kept and *error (when given) says what went wrong.
    bool save_bytes(const QString &name, QString *error = nullptr);
    // Whether save_bytes(name) writes in place: the empty name, or one that
    // names the open file.
    bool saves_in_place(const QString &name) const;

    // --- markups
    // Pushes a markup step; false when busy or when it changed nothing.
    bool run(EditCommand *command);
    // Pushes the step of the long work that made the file busy: the work
    // keeps every other change out until its step is in. `prepare` makes
    // the change first (so that it can be stopped before anything is
    // pushed); when it returns false the step is deleted unpushed and the
    // history, journal included, stays as it was.
    bool run_while_busy(EditCommand *command, const std::function<bool()> &prepare);
    // Marks first..last (any order) as one step, made for a value of `type`
    // when given; false when refused, with the reason on status_message():
    // busy, a range not wholly inside the file as it is now, or one that
    // overlaps a markup partly or equals one.
    bool mark(qint64 first, qint64 last, const QString &description = QString(),
              const MarkupValueType &type = MarkupValueType());
    static QString past_end_message();

    QString markup_file() const { return m_markup_file; }
    void set_markup_file(const QString &name) { m_markup_file = name; }

    enum class MarkupRead { refused, none, unreadable, failed, loaded, cancelled, too_large };
    // Replaces the markups with those of the file `name` and starts a new
    // history. unreadable: nothing changed; failed: the tree holds what was
    // read before the error and no file is the markup file, so that a save
    // asks for a name rather than write part of the file over all of it;
    // loaded: the markup file and its link are the caller's to set.
    // `progress` hears how far the reading got; when it says stop, the load
    // is cancelled and the markups and the history stay as they were. Every
    // change is refused while it reads. too_large: refused before reading,
    // the markups would not fit in memory (told on status_message()).
    MarkupRead read_markup(const QString &name, const MarkupTree::LoadProgress &progress = {});
    // Writes the tree to `name` completely or not at all (regular files and
    // new names only); then `name` is the markup file, its link is stored
    // and the markups count as saved. False when refused or not written.
    bool save_markup(const QString &name);

    // Writes the markups in the format format_of(name) names (JSON, CSV or a
    // .ksy skeleton named after the data file and ending where it ends),
    // completely or not at all. Needs no window; false when not written.
    bool export_markups(const QString &name) const;

    // Markup linking: one "Link/<n>" entry per data file, when "Link Markup"
    // is "yes"; the data file is the setting "filename".
    void link_markup_file(const QString &markup_path);
    // Reads the markup file linked to `data_path` and makes it the markup
    // file (not when it fails to load, as read_markup); none when no markup
    // file is linked to it. The link itself is kept either way. A cancelled
    // load keeps the markup file as it was.
    MarkupRead load_linked_markup(const QString &data_path,
                                  const MarkupTree::LoadProgress &progress = {});
    // "Link/" followed by the djb2 hash of the Latin-1 path (bytes taken as
    // signed), masked to 31 bits.
    static QString link_key(const QString &data_path);

    // --- history
    bool is_modified(Part part) const;
    bool is_modified() const;
    // False (nothing done) when busy or there is no step.
    bool undo();
    bool redo();

    // --- busy
    // While busy, every change is refused with `refusal` in the status bar:
    // the running search's message unless another is given.
    void set_busy(bool busy, const QString &refusal = QString());
    bool is_busy() const { return m_busy; }
    // True, after telling status_message(), while busy.
    bool refuse_if_busy();
    static QString busy_message();

signals:
    // The bytes first..last show other values (edits, undo, a save).
    void bytes_changed(qint64 first, qint64 last);
    // Markups were added, removed, changed or loaded.
    void markups_changed();
    void modified_changed(EditHistory::Part part, bool modified);
    // Either part's modified state changed: true while one is modified.
    void modification_changed(bool modified);
    // Another data file was opened (or none could be), or the open one
    // changed on disk (refresh()).
    void file_changed();
    // open() ran: what was found in the file before (search hits) belongs
    // to no file now. Comes before file_changed().
    void file_opened();
    // The journal's state or failure changed (see Journal).
    void journal_changed();
    // Undo or redo of a byte step: where the views' cursor was.
    void cursor_restored(const ByteEditCommand::Cursor &cursor);
    // `detail` says more than the message, beside it (how a load failed).
    void status_message(const QString &text, const QString &detail = QString());

private:
    friend class ByteEditCommand;
    // Records and replays the edits and the markup file name.
    friend class Journal;

    // Pushes a step, journaled. original: the file's byte under a byte step
    // that is not edited yet (an edited one's was journaled with its edit).
    bool push(EditCommand *command, int original = -1);

    // A byte step's work: puts the byte the user should see at `offset` and,
    // on undo and redo, hands the cursor to the views (cursor_restored).
    void restore_byte(qint64 offset, const ByteEditCommand::State &state);
    int file_byte(qint64 offset) const;

    HexDocument *m_document;
    MarkupModel *m_model;
    MarkupTree *m_tree;
    EditHistory *m_history;
    // Unsaved byte values by file offset, kept sorted for saving in runs.
    QMap<qint64, quint8> m_edits;
    // Held as text, not 8-bit, so that paths outside Latin-1 survive.
    QString m_markup_file;
    QFileSystemWatcher *m_watcher;
    qint64 m_known_size = 0;
    bool m_busy = false;
    QString m_busy_refusal;
    bool m_typing = false;
    bool m_was_modified = false;
    std::unique_ptr<Journal> m_journal;
};
