#include "search/searchengine.h"

#include "document/buffereddocument.h"
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

// The bytes of the search range, fetched from the document in large blocks so
// that the scan reads memory instead of asking the document for every byte.
// Holds a block starting a little before the byte last asked for, so that the
// right-to-left comparison of a candidate stays inside it.
class RangeBytes
{
public:
    RangeBytes(BufferedDocument *doc, qint64 limit, qint64 back)
        : document(doc), limit(limit), back(back)
    {
    }

    // The byte under `at`. When the document cannot deliver a block (the
    // file shrank or was closed) every read from then on goes through the
    // iterator, one byte at a time, which logs each failure as it always did.
    unsigned char at(const file_iterator &at)
    {
        const quint64 index = quint64(at.position()) - quint64(start);
        if (Q_LIKELY(index < quint64(length)))
            return data[index];
        return refill_and_read(at);
    }

    // The held bytes from `pos` on, or 0 when `pos` is not held.
    qint64 held_from(qint64 pos, const unsigned char *&first) const
    {
        const quint64 index = quint64(pos) - quint64(start);
        if (index >= quint64(length))
            return 0;
        first = data + index;
        return length - qint64(index);
    }

private:
    Q_NEVER_INLINE unsigned char refill_and_read(const file_iterator &at)
    {
        const qint64 pos = at.position();
        if (!broken && document && pos >= 0 && pos < limit) {
            start = qMax<qint64>(0, pos - back);
            length = qMin<qint64>(block_size, limit - start);
            block.resize(size_t(length));
            data = block.data();
            try {
                document->read(int(length), start, reinterpret_cast<char *>(block.data()));
                return data[pos - start];
            } catch (const std::string &) {
                broken = true;
            }
        }
        length = 0;
        return static_cast<unsigned char>(at.read_char());
    }

    static constexpr qint64 block_size = qint64(1) << 20;

    BufferedDocument *const document;
    const qint64 limit;
    const qint64 back;
    std::vector<unsigned char> block;
    const unsigned char *data = nullptr;
    qint64 start = 0;
    qint64 length = 0;
    bool broken = false;
};

} // namespace

// Every movement of the iterator is made exactly as the scan is defined (the
// same positions, the same number of movements, so the same progress reports
// and the same point of cancellation); only the bytes compared are read from
// RangeBytes rather than one document read per dereference, and where every
// shift is known to be 1 (a one-byte pattern) memchr finds the next candidate
// and the movements up to it are made without looking at the bytes between.
bool find_bytes(file_iterator &from, const file_iterator &to, match_range &result,
                const std::string &pattern)
{
    const qint64 m = qint64(pattern.size());
    if (m == 0)
        return false;

    // Distance from each byte's last occurrence (the final byte left out) to
    // the end of the pattern; bytes not in the pattern skip it whole.
    std::array<qint64, 256> table;
    table.fill(m);
    for (qint64 i = 0; i + 1 < m; ++i)
        table[static_cast<unsigned char>(pattern[size_t(i)])] = m - 1 - i;
    const unsigned char *const pat = reinterpret_cast<const unsigned char *>(pattern.data());
    const unsigned char last = pat[m - 1];

    // `it < to` for the walking copy, whose document never changes.
    const bool same_document = from.buffered_document() == to.buffered_document();
    const qint64 to_position = to.position();

    file_iterator it = from;
    RangeBytes bytes(it.buffered_document(), to_position, m - 1);
    try {
        qint64 shift = m - 1;
        for (;;) {
            it += shift;
            if (!same_document || it.position() >= to_position) {
                from = it;
                result.no_match = true;
                return false;
            }
            // Compare the candidate right to left, starting with its last byte.
            unsigned char c = bytes.at(it);
            if (c != last) {
                // Mismatch on the last byte: the shift is the table's (at least 1).
                shift = table[bytes.at(it)];
            } else {
                qint64 i = m - 1;
                for (;;) {
                    if (i == 0) {
                        from = it;
                        result.first = it.position();
                        result.end = result.first + m;
                        result.no_match = false;
                        return true;
                    }
                    --it;
                    --i;
                    c = bytes.at(it);
                    if (c != pat[i])
                        break;
                }
                shift = std::max(table[bytes.at(it)], m - i);
            }

            if (m == 1) {
                // Every shift is 1: move one byte at a time up to the next
                // occurrence among the held bytes (or onto the last of them)
                // without reading the bytes in between.
                const unsigned char *here = nullptr;
                const qint64 held = qMin(bytes.held_from(it.position(), here),
                                         to_position - it.position());
                if (held > 1) {
                    const void *next = memchr(here + 1, last, size_t(held - 1));
                    const qint64 steps =
                        (next ? static_cast<const unsigned char *>(next) - here : held) - 1;
                    for (qint64 k = 0; k < steps; ++k)
                        it += 1;
                }
            }
        }
    } catch (...) {
        // The movement that threw has been made; the caller sees it.
        from = it;
        throw;
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
        if (!find_bytes(search_from, search_to, simple_match, pattern))
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
