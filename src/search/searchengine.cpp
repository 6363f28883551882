#include "searchengine.h"

#include "hexdocument.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <exception>
#include <stdexcept>

namespace {

const char *const cancelled_text = "operation cancelled";

} // namespace

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

    qint64 shift = m - 1;
    for (;;) {
        from += shift;
        if (!(from < to)) {
            result.no_match = true;
            return false;
        }
        // Compare the candidate right to left, starting with its last byte.
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
        const unsigned char c = static_cast<unsigned char>(*from);
        shift = std::max(table[c], m - i);
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
        converted.append(QChar(ok ? value : 0));
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
    } catch (const std::exception &) {
        return Outcome::RuntimeError;
    }
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
    }
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
