#include "search/searchengine.h"

#include "document/buffereddocument.h"
#include "document/documentfailure.h"
#include "document/file_anchor.h"
#include "document/hexdocument.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <boost/regex.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

// A hit is only real when the file still holds all of its bytes: the file
// may have been cut short after they were read.
bool held_by_file(const file_iterator &it, qint64 end)
{
    BufferedDocument *doc = it.buffered_document();
    return doc && doc->is_open() && end <= doc->size();
}

// The Boyer-Moore scan with the bad-character rule, moving the iterator
// itself: every movement a progress step, every byte one document read. Used
// where there are no blocks to read: iterators over no document or over
// different documents.
bool scan_bytes_by_iterator(file_iterator &from, const file_iterator &to, match_range &result,
                            const std::string &pattern)
{
    const qint64 m = qint64(pattern.size());
    std::array<qint64, 256> table;
    table.fill(m);
    for (qint64 i = 0; i + 1 < m; ++i)
        table[static_cast<unsigned char>(pattern[size_t(i)])] = m - 1 - i;
    qint64 shift = m - 1;
    for (;;) {
        from += shift;
        if (!(from < to)) {
            result.no_match = true;
            return false;
        }
        qint64 i = m - 1;
        while (*from == pattern[size_t(i)]) {
            if (i == 0) {
                result.first = from.position();
                result.end = result.first + m;
                result.no_match = false;
                return true;
            }
            --from;
            --i;
        }
        shift = std::max(table[static_cast<unsigned char>(*from)], m - i);
    }
}

// The first block is small, so that a walk from hit to hit through dense
// hits reads little; each next block doubles up to the largest.
constexpr qint64 first_block_size = qint64(1) << 16;

// The progress value of `position` on the scale of `walk`'s stored size.
int search_progress(const file_iterator &walk, qint64 position)
{
    file_iterator at(walk);
    at.set_position(position);
    return at.progress_value();
}


// While a regular expression is matched over a block in memory no iterator
// moves, so the matcher's own character tests are the place to look at the
// clock: every few thousand tests, and when a few milliseconds have passed
// since the last report, one more report (the same value) lets the panel
// process events and a cancel unwind the matcher. Only armed while a block
// is matched, never while an expression is compiled.
class MatchWatch
{
public:
    static void tick()
    {
        if (Q_UNLIKELY(--m_countdown < 0))
            check();
    }

    // Armed for the lifetime of the object, reporting `value`.
    explicit MatchWatch(int value)
    {
        m_armed = true;
        m_report_value = value;
        m_countdown = tests_per_look;
        m_clock.start();
    }
    ~MatchWatch() { m_armed = false; }
    MatchWatch(const MatchWatch &) = delete;
    MatchWatch &operator=(const MatchWatch &) = delete;

    static void set_value(int value) { m_report_value = value; }

private:
    static void check()
    {
        m_countdown = tests_per_look;
        if (!m_armed || m_clock.elapsed() < report_interval_ms)
            return;
        m_clock.start();
        file_anchor::instance()->report(m_report_value);
    }

    static constexpr int tests_per_look = 4096;
    static constexpr qint64 report_interval_ms = 2;
    static inline int m_countdown = tests_per_look;
    static inline bool m_armed = false;
    static inline int m_report_value = 0;
    static inline QElapsedTimer m_clock;
};

// The usual traits, with the character tests counted by MatchWatch.
class WatchedTraits : public boost::regex_traits<char>
{
public:
    using base = boost::regex_traits<char>;
    using base::isctype;
    using base::translate;

    char translate(char c, bool icase) const
    {
        MatchWatch::tick();
        return base::translate(c, icase);
    }
    bool isctype(char c, char_class_type mask) const
    {
        MatchWatch::tick();
        return base::isctype(c, mask);
    }
};

using WatchedRegex = boost::basic_regex<char, WatchedTraits>;

// A pointer into a block that notes when it is found equal to the block's
// end: the matcher compares with the end before it reads there, so an
// attempt that never made such a comparison did not depend on what follows
// the block.
class EndProbe
{
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    using reference = const char &;

    EndProbe() = default;
    EndProbe(const char *at, const char *end, bool *touched)
        : m_p(at), m_end(end), m_touched(touched)
    {
    }

    reference operator*() const { return *m_p; }
    reference operator[](difference_type n) const { return m_p[n]; }
    EndProbe &operator++() { ++m_p; return *this; }
    EndProbe &operator--() { --m_p; return *this; }
    EndProbe operator++(int) { EndProbe was(*this); ++m_p; return was; }
    EndProbe operator--(int) { EndProbe was(*this); --m_p; return was; }
    EndProbe &operator+=(difference_type n) { m_p += n; return *this; }
    EndProbe &operator-=(difference_type n) { m_p -= n; return *this; }
    friend EndProbe operator+(EndProbe it, difference_type n) { return it += n; }
    friend EndProbe operator+(difference_type n, EndProbe it) { return it += n; }
    friend EndProbe operator-(EndProbe it, difference_type n) { return it -= n; }
    friend difference_type operator-(const EndProbe &a, const EndProbe &b) { return a.m_p - b.m_p; }
    bool operator==(const EndProbe &o) const
    {
        if (m_p == o.m_p && m_p == m_end && m_touched)
            *m_touched = true;
        return m_p == o.m_p;
    }
    bool operator!=(const EndProbe &o) const { return !(*this == o); }
    bool operator<(const EndProbe &o) const { return m_p < o.m_p; }
    bool operator>(const EndProbe &o) const { return m_p > o.m_p; }
    bool operator<=(const EndProbe &o) const { return m_p <= o.m_p; }
    bool operator>=(const EndProbe &o) const { return m_p >= o.m_p; }

private:
    const char *m_p = nullptr;
    const char *m_end = nullptr;
    bool *m_touched = nullptr;
};

// True when the match attempt at `at` (which found a match) read up to the
// block's end, so that more bytes might have changed its result. A matcher
// error counts as such a read: the search then goes on in a larger block.
bool attempt_reads_to_end(const WatchedRegex &re, const char *block_first, const char *at,
                          const char *end, boost::match_flag_type flags)
{
    bool touched = false;
    try {
        boost::match_results<EndProbe> m;
        boost::regex_search(EndProbe(at, end, &touched), EndProbe(end, end, &touched), m, re,
                            flags | boost::match_continuous, EndProbe(block_first, end, &touched));
    } catch (const std::runtime_error &) {
        return true;
    }
    return touched;
}

// A lookbehind may reach back any fixed distance before a block; such an
// expression is searched through the iterator. Guessed from the text, so an
// escaped "(?<=" also takes that path, which only costs time.
bool may_look_behind(const std::string &pattern)
{
    return pattern.find("(?<=") != std::string::npos || pattern.find("(?<!") != std::string::npos;
}

// The matcher over the iterator from `first` to `last`, the text starting
// at `text_start`.
bool iterator_regex_search(const WatchedRegex &re, const file_iterator &text_start,
                           const file_iterator &first, const file_iterator &last, qint64 &hit_first,
                           qint64 &hit_end)
{
    boost::match_results<file_iterator> m;
    boost::match_flag_type flags = boost::match_default;
    if (first.position() != text_start.position())
        flags |= boost::match_prev_avail | boost::match_not_bob;
    if (!boost::regex_search(first, last, m, re, flags, text_start))
        return false;
    hit_first = m[0].first.position();
    hit_end = m[0].second.position();
    return true;
}

// A partial match at a block's start may grow its block up to this many
// times the block size before the search falls back to the iterator.
constexpr qint64 partial_growth = 64;

// The block Find All read last, kept from one search to the next: hits lie
// close together, and each search from a hit's end would otherwise read a
// whole block again. Only valid while nothing can change the file, which is
// the case for the length of one Find All.
struct BlockCache
{
    std::vector<char> bytes;
    // File offsets of bytes[0] and one past its last byte.
    qint64 first = 0;
    qint64 end = 0;
};

// Boost.Regex over blocks of the range with match_partial, its documented way
// to search a text in pieces. The text starts at search_from for ^, \A and
// \b; a later block has the byte before it in memory (match_prev_avail) and
// is no start of the text (match_not_bob). A block that ends before the range
// does is no end of the text, line or word either, so whatever depends on
// what follows it meets the block's end as a partial match. A partial match
// at q means no match starts before q, and the next block starts at q. A full
// match is only taken when its attempt never reached the block's end, since
// more bytes could have made an earlier alternative or a greedier repeat win.
//
// With a cache, a block that begins inside the cached bytes is matched there,
// shortened to what the cache holds (any length is a valid block), and a
// block read from the file is kept in the cache for the next call.
bool regex_blocks(const WatchedRegex &re, bool look_behind, const file_iterator &search_from,
                  const file_iterator &search_to, qint64 block_size, qint64 &first, qint64 &end,
                  BlockCache *cache = nullptr)
{
    BufferedDocument *const document = search_from.buffered_document();
    const qint64 text_start = search_from.position();
    const qint64 range_end = search_to.position();
    const auto by_iterator = [&](qint64 from) {
        file_iterator at = search_from;
        at.set_position(from);
        return iterator_regex_search(re, search_from, at, search_to, first, end);
    };
    if (look_behind || !document || document != search_to.buffered_document() || text_start < 0
        || text_start > range_end)
        return by_iterator(text_start);

    const qint64 largest = std::min(block_size * partial_growth, qint64(1) << 30);
    qint64 span = block_size;
    std::vector<char> own_block;
    std::vector<char> &block = cache ? cache->bytes : own_block;
    qint64 pos = text_start;
    // Set after a partial match at a block's start: the next block must be
    // read at its full, grown span, not cut short by the cache.
    bool growing = false;
    for (;;) {
        const int progress = search_progress(search_from, pos);
        file_anchor::instance()->report(progress);

        qint64 length = std::min(span, range_end - pos);
        const qint64 before = pos > text_start ? 1 : 0;
        const char *block_first = nullptr;
        if (cache && !growing && cache->first <= pos - before && pos < cache->end) {
            length = std::min(length, cache->end - pos);
            block_first = block.data() + (pos - cache->first);
        } else {
            if (block.size() < size_t(length + before))
                block.resize(size_t(length + before));
            // A failed read throws: the file no longer holds the range.
            document->read(int(length + before), pos - before, block.data());
            block_first = block.data() + before;
            if (cache) {
                cache->first = pos - before;
                cache->end = pos + length;
            }
        }
        growing = false;
        const bool final_block = pos + length == range_end;
        const char *const block_end = block_first + length;
        boost::match_flag_type flags = boost::match_default;
        if (before)
            flags |= boost::match_prev_avail | boost::match_not_bob;
        if (!final_block)
            flags |= boost::match_partial | boost::match_not_eob | boost::match_not_eol
                | boost::match_not_eow;

        boost::match_results<const char *> m;
        bool found;
        {
            MatchWatch watch(progress);
            found = boost::regex_search(block_first, block_end, m, re, flags);
        }
        if (!found) {
            if (final_block)
                return false;
            // No match starts in the block; one may start at its end.
            pos += length;
            span = block_size;
            continue;
        }
        const char *const at = m[0].first;
        if (final_block
            || (m[0].matched && !attempt_reads_to_end(re, block_first, at, block_end, flags))) {
            first = pos + (at - block_first);
            end = pos + (m[0].second - block_first);
            return true;
        }
        if (at > block_first) {
            pos += at - block_first;
            continue;
        }
        // The match from the block's start needs more than the block.
        if (span >= largest)
            return by_iterator(pos);
        span = std::min(largest, std::max(span, length) * 2);
        growing = true;
    }
}

// One search's walk over the file: a failed read ends it, as a block read
// that fails does, rather than reading zeros to the end of the range.
class SearchWalk
{
public:
    SearchWalk() { file_iterator::start_walk(file_iterator::FailedRead::ends_walk); }
    ~SearchWalk() { file_iterator::end_walk(); }
    SearchWalk(const SearchWalk &) = delete;
    SearchWalk &operator=(const SearchWalk &) = delete;
};

// Compiles `pattern`; false with `detail` saying what is wrong and where.
bool compile_expression(const std::string &pattern, WatchedRegex &re, QString &detail)
{
    try {
        re.assign(pattern.begin(), pattern.end(), boost::regex::normal);
    } catch (const boost::regex_error &error) {
        detail = QCoreApplication::translate("SearchEngine",
                                             "Invalid regular expression at position %1: %2")
                     .arg(qint64(error.position()))
                     .arg(QString::fromLatin1(error.what()));
        return false;
    }
    return true;
}

SearchEngine::Outcome outcome_of(const std::string &failure)
{
    return failure == document_failure::cancelled ? SearchEngine::Outcome::Cancelled
                                                  : SearchEngine::Outcome::FileChanged;
}

} // namespace

bool find_bytes(file_iterator &from, const file_iterator &to, match_range &result,
                const std::string &pattern, qint64 block_size)
{
    const qint64 m = qint64(pattern.size());
    if (m == 0)
        return false;
    BufferedDocument *const document = from.buffered_document();
    if (!document || document != to.buffered_document() || from.position() < 0)
        return scan_bytes_by_iterator(from, to, result, pattern);

    const qint64 to_position = to.position();
    // A block always moves the scan on by at least one pattern length.
    const qint64 largest = std::max(block_size, 2 * m);
    qint64 span = std::max(std::min(first_block_size, block_size), 2 * m);
    std::vector<char> block;
    qint64 start = from.position();
    for (;;) {
        if (to_position - start < m) {
            from.set_position(std::max(start, to_position));
            result.no_match = true;
            return false;
        }
        // Cancel and progress once per block; a cancel leaves `from` on the
        // block about to be read.
        from.set_position(start);
        file_anchor::instance()->report(search_progress(from, start));
        const qint64 length = std::min(span, to_position - start);
        if (block.size() < size_t(length))
            block.resize(size_t(length));
        // A failed read throws, `from` on this block: the file no longer
        // holds the range, and nothing read from here on would be its bytes.
        document->read(int(length), start, block.data());
        const void *hit = m == 1 ? std::memchr(block.data(), pattern[0], size_t(length))
                                 : memmem(block.data(), size_t(length), pattern.data(), size_t(m));
        if (hit) {
            result.first = start + (static_cast<const char *>(hit) - block.data());
            result.end = result.first + m;
            result.no_match = false;
            from.set_position(result.first);
            return true;
        }
        // The last m - 1 bytes start the next block, for a hit across the join.
        start += length - (m - 1);
        span = std::min(largest, span * 2);
    }
}
void SearchEngine::reset(const HexDocument *document)
{
    search_from = file_iterator();
    search_to = file_iterator();
    m_range_path.clear();
    m_range_set = false;
    if (!document || !document->is_open())
        return;
    try {
        search_from = document->begin();
        search_to = document->end();
        m_range_path = document->absolute_path();
        m_range_set = true;
    } catch (const std::string &) {
        // Closed between the check and the call: an empty range.
        search_from = file_iterator();
        search_to = file_iterator();
    }
}

bool SearchEngine::has_range() const
{
    return m_range_set;
}

bool SearchEngine::skip_byte()
{
    if (!m_range_set || search_from.position() >= search_to.position())
        return false;
    search_from.set_position(search_from.position() + 1);
    return true;
}

bool SearchEngine::range_matches(const HexDocument *document) const
{
    return m_range_set && document && document->is_open()
        && document->buffered_document() == search_from.buffered_document()
        && document->absolute_path() == m_range_path;
}

bool SearchEngine::hex_to_bytes(const QString &text, QString &bytes)
{
    if (text.size() % 2 != 0)
        return false;
    QString converted;
    converted.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        bool ok = false;
        const short value = text.mid(i, 2).toShort(&ok, 16);
        // A signed pair such as "-1" parses, but is no byte value.
        converted.append(QChar(ok && value >= 0 ? value : 0));
    }
    bytes = converted;
    return true;
}

SearchEngine::Outcome SearchEngine::search_simple(const QString &bytes)
{
    search_bytes = bytes;
    if (search_bytes.isEmpty())
        return Outcome::EmptyPattern;
    if (!m_range_set)
        return Outcome::NoFile;

    const QByteArray latin = search_bytes.toLatin1();
    const std::string pattern(latin.constData(), size_t(latin.size()));
    const SearchWalk walk;
    try {
        if (!find_bytes(search_from, search_to, simple_match, pattern, m_block_size))
            return Outcome::NoMatch;
    } catch (const std::string &failure) {
        return outcome_of(failure);
    } catch (...) {
        return Outcome::RuntimeError;
    }
    if (!held_by_file(search_from, simple_match.end))
        return Outcome::FileChanged;
    m_last_first = simple_match.first;
    m_last_end = simple_match.end;
    search_from.set_position(simple_match.end);
    return Outcome::Hit;
}

SearchEngine::Outcome SearchEngine::search_regex(const QString &expression)
{
    search_bytes = expression;
    if (search_bytes.isEmpty())
        return Outcome::EmptyPattern;
    if (!m_range_set)
        return Outcome::NoFile;

    // A zero character ends the pattern.
    const QByteArray latin = search_bytes.toLatin1();
    const std::string pattern(latin.constData());
    WatchedRegex re;
    try {
        if (!compile_expression(pattern, re, m_invalid_detail))
            return Outcome::InvalidExpression;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    const SearchWalk walk;
    try {
        if (!regex_blocks(re, may_look_behind(pattern), search_from, search_to, m_block_size,
                          regex_match.first, regex_match.end))
            return Outcome::NoMatch;
    } catch (const std::string &failure) {
        return outcome_of(failure);
    } catch (const std::exception &) {
        // The matcher's own complexity and memory limits arrive here.
        return Outcome::RuntimeError;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    if (!held_by_file(search_from, regex_match.end))
        return Outcome::FileChanged;
    m_last_first = regex_match.first;
    m_last_end = regex_match.end;
    search_from.set_position(m_last_end);
    return Outcome::Hit;
}

SearchEngine::Outcome SearchEngine::search_all_simple(const QString &bytes, const HitSink &sink)
{
    search_bytes = bytes;
    if (search_bytes.isEmpty())
        return Outcome::EmptyPattern;
    if (!m_range_set)
        return Outcome::NoFile;
    const QByteArray latin = search_bytes.toLatin1();
    const qint64 m = latin.size();
    BufferedDocument *const document = search_from.buffered_document();
    if (!document)
        return Outcome::NoFile;

    const SearchWalk walk;
    const qint64 to = search_to.position();
    // Whole blocks of the largest size: unlike a walk from hit to hit, Find
    // All reads every byte anyway.
    const qint64 span = std::max(m_block_size, 2 * m);
    std::vector<char> block;
    bool any = false;
    qint64 start = search_from.position();
    try {
        while (to - start >= m) {
            search_from.set_position(start);
            file_anchor::instance()->report(search_progress(search_from, start));
            const qint64 length = std::min(span, to - start);
            if (block.size() < size_t(length))
                block.resize(size_t(length));
            document->read(int(length), start, block.data());
            const char *p = block.data();
            const char *const block_end = block.data() + length;
            while (block_end - p >= m) {
                const void *hit = m == 1 ? std::memchr(p, latin[0], size_t(block_end - p))
                                         : memmem(p, size_t(block_end - p), latin.constData(), size_t(m));
                if (!hit)
                    break;
                const qint64 first = start + (static_cast<const char *>(hit) - block.data());
                any = true;
                if (!sink(first, first + m)) {
                    search_from.set_position(first + m);
                    return Outcome::Hit;
                }
                p = static_cast<const char *>(hit) + m;
            }
            if (start + length == to) {
                start = to;
                break;
            }
            // The next block starts at the last hit's end or m - 1 bytes
            // before this block's end, whichever comes later, so a hit across
            // the join is found and no hit overlaps the one before.
            start = std::max(start + (p - block.data()), start + length - (m - 1));
        }
    } catch (const std::string &failure) {
        return outcome_of(failure);
    } catch (...) {
        return Outcome::RuntimeError;
    }
    search_from.set_position(std::max(start, to));
    return any ? Outcome::Hit : Outcome::NoMatch;
}

SearchEngine::Outcome SearchEngine::search_all_regex(const QString &expression, const HitSink &sink)
{
    search_bytes = expression;
    if (search_bytes.isEmpty())
        return Outcome::EmptyPattern;
    if (!m_range_set)
        return Outcome::NoFile;
    const QByteArray latin = search_bytes.toLatin1();
    const std::string pattern(latin.constData());
    WatchedRegex re;
    try {
        if (!compile_expression(pattern, re, m_invalid_detail))
            return Outcome::InvalidExpression;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    const bool look_behind = may_look_behind(pattern);
    const SearchWalk walk;
    BlockCache cache;
    bool any = false;
    try {
        for (;;) {
            qint64 first = 0;
            qint64 end = 0;
            if (!regex_blocks(re, look_behind, search_from, search_to, m_block_size, first, end,
                              &cache))
                break;
            if (!held_by_file(search_from, end))
                return Outcome::FileChanged;
            any = true;
            search_from.set_position(end);
            if (!sink(first, end))
                return Outcome::Hit;
            // An empty match is not found again: the next search starts one
            // byte on, as Find Next does after one.
            if (end == first && !skip_byte())
                break;
        }
    } catch (const std::string &failure) {
        return outcome_of(failure);
    } catch (const std::exception &) {
        return Outcome::RuntimeError;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    return any ? Outcome::Hit : Outcome::NoMatch;
}

QString SearchEngine::status_text(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Hit:
        return QString();
    case Outcome::NoMatch:
        return QCoreApplication::translate("SearchEngine", "No Match Found");
    case Outcome::Cancelled:
        return QCoreApplication::translate("SearchEngine", "Search Operation Cancelled");
    case Outcome::RuntimeError:
        return QCoreApplication::translate("SearchEngine", "Search Runtime Error");
    case Outcome::FileChanged:
        return QCoreApplication::translate("SearchEngine", "The file changed during the search");
    case Outcome::InvalidExpression:
        return QCoreApplication::translate("SearchEngine", "Search Runtime Error");
    case Outcome::EmptyPattern:
        return QCoreApplication::translate("SearchEngine", "Search String is Empty");
    case Outcome::OddHexLength:
        return QCoreApplication::translate("SearchEngine",
                                           "Hex string must have an even number of characters");
    case Outcome::NoFile:
        return QCoreApplication::translate("SearchEngine", "No file is open");
    }
    return QString();
}

QString SearchEngine::detail(Outcome outcome) const
{
    return outcome == Outcome::InvalidExpression ? m_invalid_detail : QString();
}
