#pragma once

#include "document/file_iterator.h"
#include "search/match_range.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <functional>
#include <string>

class HexDocument;

// The largest block a search reads from the document at once.
constexpr qint64 default_search_block = qint64(1) << 20;

// Looks for `pattern` in [from, to). On a hit `from` stops on the hit's first
// byte and `result` holds the hit; on a miss `from` ends at `to` or later.
// The bytes are read from the document in blocks of up to `block_size` bytes
// (each block begins with the last pattern-length - 1 bytes of the one
// before, so hits across a join are found). Each block is one progress report
// through file_anchor::report, so "operation cancelled" may be thrown
// out of it, with `from` on the block that was next. A block the document
// cannot deliver (the file was cut short or closed) throws the read's
// failure text, with `from` on that block. Iterators over no document or
// over different ones are scanned through the iterator.
// An empty pattern finds nothing and leaves `result` and `from` alone.
bool find_bytes(file_iterator &from, const file_iterator &to, match_range &result,
                const std::string &pattern, qint64 block_size = default_search_block);

// The search itself, without widgets: the range still to be searched and the
// byte-string and regular-expression searches over it. Each search starts
// where the previous hit ended. After a miss, a cancel or an error the start
// is wherever the scan stopped; the caller starts again with reset().
class SearchEngine
{
    Q_DISABLE_COPY(SearchEngine)

public:
    enum class Outcome {
        Hit,
        NoMatch,
        Cancelled,
        RuntimeError,
        // The file no longer held the range: it was cut short (or closed)
        // while the search read it. The search stops at the first failed read.
        FileChanged,
        // The expression does not compile; detail() says what and where.
        InvalidExpression,
        EmptyPattern,
        OddHexLength,
        NoFile,
    };

    SearchEngine() = default;

    // The range becomes the whole of `document` at its current size. With no
    // document or no open file the range is empty (has_range() is false);
    // never throws.
    void reset(const HexDocument *document);
    bool has_range() const;
    // Moves the start of the next search one byte on (past an empty match).
    // False, and nothing moves, when the start is already at the range end.
    bool skip_byte();
    // True when the range was made for the file `document` has open now.
    bool range_matches(const HexDocument *document) const;

    // Hexadecimal digits to one character (code 0 to 255) per pair, cut from
    // the start; a pair that is not a number gives 0, so "0x41" gives 0x00
    // 0x41. An odd length is refused: false, `bytes` unchanged.
    static bool hex_to_bytes(const QString &text, QString &bytes);

    // Byte-string search for the Latin-1 bytes of `bytes` (other characters
    // become '?'; zero bytes count).
    Outcome search_simple(const QString &bytes);
    // Perl-syntax regular expression, compiled anew each time; the pattern
    // ends at its first zero character. The start of the range counts as the
    // start of the text for ^ and \b. Matched over blocks of the file in
    // memory, one progress report per block and more while a slow match
    // runs; an expression with a lookbehind, or a match that needs more than
    // 64 blocks at once, is matched through the iterator instead.
    Outcome search_regex(const QString &expression);

    // Find All: hears each hit, bytes first .. end - 1, in file order, and
    // returns false to end the search there.
    using HitSink = std::function<bool(qint64 first, qint64 end)>;
    // Every hit from next_start() to the end of the range, exactly as repeated
    // search_simple() / search_regex() calls find them: each next search
    // starts where the previous hit ended (so hits never overlap, and for a
    // regular expression that end is again the start of the text for ^ and
    // \b), one byte on after an empty match. The file is read block by block
    // with one progress report per block, as one search does. Hit when any
    // hit was found and the search ran to the end or the sink ended it;
    // NoMatch when none; otherwise what stopped it, the hits before that
    // already given to the sink. hit_first()/hit_end() are left alone.
    Outcome search_all_simple(const QString &bytes, const HitSink &sink);
    Outcome search_all_regex(const QString &expression, const HitSink &sink);

    // The last hit, bytes hit_first() .. hit_end() - 1; an empty match has
    // hit_end() == hit_first().
    qint64 hit_first() const { return m_last_first; }
    qint64 hit_end() const { return m_last_end; }
    // Where the next search starts and where the range ends.
    qint64 next_start() const { return search_from.position(); }
    qint64 range_end() const { return search_to.position(); }
    const QString &pattern_text() const { return search_bytes; }

    // The block either search reads at once, 1 byte to 16 MiB; small blocks
    // put many joins into a short file.
    void set_block_size(qint64 bytes) { m_block_size = std::clamp<qint64>(bytes, 1, qint64(1) << 24); }
    qint64 current_block_size() const { return m_block_size; }

    // The status-bar text for an outcome; empty for a hit.
    static QString status_text(Outcome outcome);
    // The status-bar text for an outcome of this engine's last search.
    QString message(Outcome outcome) const { return status_text(outcome); }
    // What the message does not say: for an invalid expression, what is
    // wrong and at which position of it; empty otherwise.
    QString detail(Outcome outcome) const;

private:
    QString search_bytes;
    // What the matcher said of the last invalid expression.
    QString m_invalid_detail;
    // The last hit of each kind of search.
    match_range simple_match;
    match_range regex_match;
    file_iterator search_from;
    file_iterator search_to;
    QString m_range_path;
    bool m_range_set = false;
    qint64 m_last_first = 0;
    qint64 m_last_end = 0;
    qint64 m_block_size = default_search_block;
};
