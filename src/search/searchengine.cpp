#include "search/searchengine.h"

#include "document/buffereddocument.h"
#include "document/file_anchor.h"
#include "document/hexdocument.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

namespace {

const char *const cancelled_text = "operation cancelled";

// A hit is only real when the file still holds all of its bytes: a file cut
// short while the search ran reads as zeros past its new end.
bool held_by_file(const file_iterator &it, qint64 end)
{
    BufferedDocument *doc = it.buffered_document();
    return doc && doc->is_open() && end <= doc->size();
}

// The Boyer-Moore scan with the bad-character rule, moving the iterator
// itself: every movement a progress step, every byte one document read. Used
// where the document cannot deliver blocks (a file cut short, a closed file,
// iterators over different documents), so that such reads fail and log one
// byte at a time as they always did.
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
        try {
            document->read(int(length), start, block.data());
        } catch (const std::string &) {
            return scan_bytes_by_iterator(from, to, result, pattern);
        }
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
    range_path.clear();
    range_set = false;
    if (!document || !document->is_open())
        return;
    try {
        search_from = document->begin();
        search_to = document->end();
        range_path = document->absolute_path();
        range_set = true;
    } catch (const std::string &) {
        // Closed between the check and the call: an empty range.
        search_from = file_iterator();
        search_to = file_iterator();
    }
}

bool SearchEngine::has_range() const
{
    return range_set;
}

bool SearchEngine::range_matches(const HexDocument *document) const
{
    return range_set && document && document->is_open()
        && document->buffered_document() == search_from.buffered_document()
        && document->absolute_path() == range_path;
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
    if (!range_set)
        return Outcome::NoFile;

    const QByteArray latin = search_bytes.toLatin1();
    const std::string pattern(latin.constData(), size_t(latin.size()));
    try {
        if (!find_bytes(search_from, search_to, simple_match, pattern, block_size))
            return Outcome::NoMatch;
    } catch (const std::string &text) {
        return text == cancelled_text ? Outcome::Cancelled : Outcome::RuntimeError;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    if (!held_by_file(search_from, simple_match.end))
        return Outcome::RuntimeError;
    last_first = simple_match.first;
    last_end = simple_match.end;
    search_from.set_position(simple_match.end);
    return Outcome::Hit;
}

SearchEngine::Outcome SearchEngine::search_regex(const QString &expression)
{
    search_bytes = expression;
    if (search_bytes.isEmpty())
        return Outcome::EmptyPattern;
    if (!range_set)
        return Outcome::NoFile;

    // A zero character ends the pattern.
    const QByteArray latin = search_bytes.toLatin1();
    const std::string pattern(latin.constData());
    try {
        regex = boost::regex(pattern.begin(), pattern.end(), boost::regex::normal);
        file_iterator first = search_from;
        file_iterator last = search_to;
        if (!boost::regex_search(first, last, regex_match, regex, boost::match_default))
            return Outcome::NoMatch;
    } catch (const std::string &text) {
        return text == cancelled_text ? Outcome::Cancelled : Outcome::RuntimeError;
    } catch (const std::exception &) {
        // Invalid expressions and the matcher's own complexity and memory
        // limits arrive here.
        return Outcome::RuntimeError;
    } catch (...) {
        return Outcome::RuntimeError;
    }
    if (!held_by_file(search_from, regex_match[0].second.position()))
        return Outcome::RuntimeError;
    last_first = regex_match[0].first.position();
    last_end = regex_match[0].second.position();
    search_from.set_position(last_end);
    return Outcome::Hit;
}

QString SearchEngine::status_text(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Hit:
        return QString();
    case Outcome::NoMatch:
        return QStringLiteral("No Match Found");
    case Outcome::Cancelled:
        return QStringLiteral("Search Operation Cancelled");
    case Outcome::RuntimeError:
        return QStringLiteral("Search Runtime Error");
    case Outcome::EmptyPattern:
        return QStringLiteral("Search String is Empty");
    case Outcome::OddHexLength:
        return QStringLiteral("Hex string must have an even number of characters");
    case Outcome::NoFile:
        return QStringLiteral("No file is open");
    }
    return QString();
}
