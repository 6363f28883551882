#pragma once

#include "editedfile/hitlistmodel.h"
#include "search/searchengine.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <optional>

class EditedFile;

// Find All and Mark All without widgets: runs a search over the whole file,
// lists every hit in model(), and turns the listed hits into markups.
//
// The hits are those repeated Find Next finds from the start of the file:
// left to right, never overlapping, each next search from the end of the
// previous hit (see SearchEngine::search_all_simple). The list stops after
// hit_limit hits. While the search runs the edited file is busy, so nothing
// can change the bytes it reads; afterwards any change to the bytes makes
// the list stale until the next run, and opening a file empties it.
class FindAllTool : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FindAllTool)

public:
    static constexpr qint64 hit_limit = 100000;

    explicit FindAllTool(EditedFile *file, QObject *parent = nullptr);

    HitListModel *model() const { return m_model; }
    // A smaller block puts many block joins into a short file.
    void set_block_size(qint64 bytes) { m_block_size = bytes; }

    // Searches the whole file for the Latin-1 `pattern`: a byte string
    // (`regex` false) or a regular expression. `expression` is what the user
    // typed, which Mark All names the markups after. The list is emptied
    // first and grows while the search runs (count_changed). The outcome is
    // the engine's; a cancel or an error keeps the hits found before it.
    // Refused (NoFile) while a run is in progress. The run holds the edited
    // file busy, unless the caller made it busy for this run already.
    SearchEngine::Outcome run(const QString &pattern, bool regex, const QString &expression);
    bool running() const { return m_running; }
    // The engine's text for an outcome of the last run.
    QString message(SearchEngine::Outcome outcome) const { return m_engine.message(outcome); }
    QString detail(SearchEngine::Outcome outcome) const { return m_engine.detail(outcome); }

    qint64 count() const { return qint64(m_model->hits().size()); }
    // The search found more than hit_limit hits and stopped.
    bool truncated() const { return m_truncated; }
    bool stale() const { return m_stale; }
    const QString &expression() const { return m_expression; }
    // "1,234 hits", or "Stopped at 100,000 hits" after the limit.
    QString count_text() const;
    static QString stale_text();
    // Empties the list as before the first run.
    void clear();
    // The hit of `row` as far as it lies in the file as it is now: cut at
    // the end of the file; none when it starts past the last byte (a stale
    // list of a file that shrank), so that no row moves the cursor there.
    std::optional<SearchHit> hit_in_file(int row) const;

    // One markup per listed hit, one undoable step, named
    // `hit N of TOTAL: "expression"` in the given colours. Empty matches and
    // hits that would partly overlap a markup (or repeat one) are skipped.
    // Returns the status text: how many were marked and skipped, or why
    // nothing was done (no hits, a stale list, a busy file).
    QString mark_all(const QColor &foreground, const QColor &background);

signals:
    void count_changed(qint64 count);
    void stale_changed(bool stale);
    void running_changed(bool running);

private:
    void set_stale(bool stale);
    void flush_pending();

    EditedFile *m_file;
    HitListModel *m_model;
    SearchEngine m_engine;
    qint64 m_block_size = default_search_block;
    QString m_expression;
    std::vector<SearchHit> m_pending;
    bool m_running = false;
    bool m_truncated = false;
    bool m_stale = false;
};
