#pragma once

#include "markup/markupvaluetype.h"
#include "markup/markupxmlhandler.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <atomic>
#include <limits>

class MarkupModel;
class MarkupNode;
class QFile;
class QIODevice;

// The operations that change the shape of the markup tree or search it.
// The root belongs to the MarkupModel; every change goes through the model's
// notifications and inside its change bracket (see MarkupModel).
//
// Lookups read which markups are expanded from the model's flags, never from
// a view. Marking, deleting, loading and the undo steps that put markups
// back expand every markup (MarkupModel::expand_all), which a tree view
// follows.
// Load outcomes are reported by the signal status_message(QString), which the
// main window connects to its status bar (QStatusBar::showMessage, no time-out).
class MarkupTree : public QObject
{
    Q_OBJECT

public:
    // What a lookup needs from the expanded flags and the tree's shape,
    // captured on the GUI thread so a worker never reads flags the GUI
    // thread may be changing.
    struct LookupSnapshot
    {
        // The root the snapshot was taken of; a lookup needs nothing else
        // from the tree object, so a worker never touches it.
        MarkupNode *root = nullptr;
        // Markups shown expanded that a lookup can reach.
        QSet<const MarkupNode *> expanded;
        // Reachable nodes whose children are not sorted and disjoint (only
        // possible after loading a file). When sorting a copy makes them
        // disjoint and none repeats, the copy is searched instead;
        // otherwise they are scanned one by one in file order.
        QSet<const MarkupNode *> unordered;
        QHash<const MarkupNode *, QList<MarkupNode *>> sorted;
    };

    explicit MarkupTree(MarkupModel *model, QObject *parent = nullptr);

    MarkupModel *model() const;

    // Marks bytes a..b (ends in any order) with the given description. False
    // when the range partly overlaps a markup at any depth or equals one
    // exactly; nothing changes then.
    bool insert_range(qint64 a, qint64 b,
                      const QString &description = QStringLiteral("Description"));
    // Removes the markup at index with its subtree. Always true.
    bool prune(const QModelIndex &index);
    // Removes the markup at index; its children take its place. Always true.
    bool delete_markup(const QModelIndex &index);
    // Removes every markup.
    void clear();

    // The steps the undo history takes and takes back. Each keeps to the
    // change bracket and the model's notifications like the operations above.
    //
    // insert_range's work: the new markup, or null when refused. *adopted_rows
    // receives the rows the markups it adopted had in its parent before.
    MarkupNode *mark_range(qint64 a, qint64 b, QList<int> *adopted_rows,
                           const QString &description = QStringLiteral("Description"),
                           const MarkupValueType &type = MarkupValueType());
    // Takes back mark_range: the markup goes (deleted) and its children return
    // to its parent at adopted_rows.
    void unmark(MarkupNode *node, const QList<int> &adopted_rows);
    // prune's work: the subtree is taken out and handed to the caller.
    MarkupNode *take_subtree(MarkupNode *node);
    // Puts a subtree taken out back as child `row` of parent.
    void put_subtree(MarkupNode *parent, int row, MarkupNode *node);
    // delete_markup's work: the markup is taken out, its children take its
    // place; returns it childless, *moved = how many children moved up.
    MarkupNode *lift_children(MarkupNode *node, int *moved);
    // Takes back lift_children: the `moved` children at `row` of parent go
    // back under node, which takes their place.
    void lower_children(MarkupNode *parent, int row, MarkupNode *node, int moved);
    // clear's work: every markup leaves under the returned old root.
    MarkupNode *take_all();
    // Puts a root handed out by take_all back; the empty tree goes.
    void restore_all(MarkupNode *root);
    // Both colours at once, announced for the markup's row.
    void set_colours(MarkupNode *node, const QColor &foreground, const QColor &background);

    // Rows from the root down to node (empty for the root), and back; null
    // when a row does not exist.
    static QList<int> path_of(const MarkupNode *node);
    MarkupNode *node_at_path(const QList<int> &path) const;

    // The innermost visible markup covering offset, or null. GUI thread only:
    // it reads the expanded flags.
    MarkupNode *node_at(qint64 offset) const;

    // GUI thread: captures what node_at/fill need for offsets first..last
    // (every offset by default). Only markups a lookup in that range can
    // reach are visited, so a snapshot for a window of the file costs the
    // markups around the window, not the whole tree; node_at and fill must
    // then ask about offsets in the range only.
    LookupSnapshot lookup_snapshot(qint64 first = std::numeric_limits<qint64>::min(),
                                   qint64 last = std::numeric_limits<qint64>::max()) const;
    // Any thread, while no change is in progress: node_at against a snapshot.
    static MarkupNode *node_at(qint64 offset, const LookupSnapshot &snapshot);
    // Any thread, while no change is in progress: out[i] = node_at(first + i)
    // for i in 0..count-1, by walking ranges rather than single offsets.
    // Returns false (leaving out partly written) as soon as *stop is set.
    static bool fill(qint64 first, int count, std::atomic<MarkupNode *> *out,
                     const LookupSnapshot &snapshot, const std::atomic_bool *stop = nullptr);

    // The whole tree as a markup document (PQML doctype, pellowquarnbybook
    // root, nested node elements, one space of indentation per level up to
    // 100), written by QXmlStreamWriter.
    QString to_xml() const;
    // The same document as the bytes of a markup file (UTF-8).
    QByteArray to_markup_file() const;
    // Streams those bytes to an open device as they are written, never
    // holding the whole file in memory. False when a write fell short (the
    // device then holds part of the document).
    bool write_markup_file(QIODevice &device) const;
    // Replaces the tree with the markups of the document; emits
    // "Markup loaded successfully", or "Markup load failed" with the detail
    // of how many markups were read, the line and column the reader stopped
    // at and why.
    // A failed load keeps the markups read before the error. Returns whether
    // it succeeded.
    bool load_xml(const QString &text);

    using LoadResult = MarkupXMLHandler::Result;
    using LoadProgress = MarkupXMLHandler::Progress;
    // The same for the `size` bytes of a markup file on `device` (opened by
    // open_markup_file), read a piece at a time so that loading holds about
    // two copies of the largest description (the reader's and the markup's)
    // and never the file's text. `progress` hears how far it got after each
    // piece; when it says stop, the tree is left exactly as it was
    // (cancelled, with "Markup load cancelled"). A file whose markups would
    // not fit in available_memory() is refused before it is read
    // (too_large, with how much it needs beside the message); the tree
    // stays as it was.
    LoadResult load_markup_file(QIODevice &device, qint64 size, const LoadProgress &progress = {});
    // Memory the system can still hand out without swapping (MemAvailable),
    // in bytes; -1 when it cannot tell.
    static qint64 available_memory();

    // Opens the markup file at path when it is a regular file (after
    // symbolic links) of at most max_markup_file_size bytes, and tells its
    // size: a FIFO would block the reader for good and a device such as
    // /dev/zero never ends. False, with the file closed, for anything else.
    //
    // The limit: a description read from a file takes two bytes per
    // character, and while it is read the reader holds a second copy, so a
    // file of the limit made of one description needs about four times its
    // size in memory (4 GiB).
    static constexpr qint64 max_markup_file_size = qint64(1) << 30;
    static bool open_markup_file(const QString &path, QFile *file, qint64 *size);
    // The whole markup file, opened as open_markup_file does. False, with
    // bytes left empty, when it cannot be opened or read.
    static bool read_markup_file(const QString &path, QByteArray *bytes);

    // Markup files are written as UTF-8. Reading honours a byte-order mark
    // (UTF-8, UTF-16 or UTF-32); without one a file that is not valid UTF-8 is
    // read as Windows-1252 (Latin-1 with printable 0x80..0x9F).
    static QByteArray encode_markup_file(const QString &xml);
    static QString decode_markup_file(const QByteArray &bytes);

    // The innermost markup (or the root) whose range holds first..last,
    // walking down through the first child that holds it at each level;
    // null when a markup already has exactly that range. Reads only.
    MarkupNode *holder_of(qint64 first, qint64 last) const;

signals:
    // `detail` says more than the message, beside it (how a load failed).
    void status_message(const QString &text, const QString &detail = QString());

private:
    MarkupNode *place_range(qint64 first, qint64 last);
    void adopt_contained(MarkupNode *node, int node_row, QList<int> *adopted_rows);
    MarkupNode *node_of(const QModelIndex &index) const;
    // Puts the markups under `loaded` (a node of no model) in place of the
    // tree's, in one model reset, and reports the load: on a failure, how
    // many markups the handler read and where it stopped.
    void take_loaded(MarkupNode *loaded, const MarkupXMLHandler &handler, bool ok);

    QPointer<MarkupModel> m_model;
    // Set when the last placement met a markup of exactly the new range.
    bool exact_match_found = false;
};
