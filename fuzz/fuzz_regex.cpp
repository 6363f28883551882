// The regular-expression search over the file, in blocks of 1 to 16 bytes so
// that every input has joins, against the same boost::regex over the bytes
// in one buffer: same outcome class, same match offsets and lengths, hit
// after hit. The same search in one block must agree exactly. The matcher's
// complexity limits count per call and a block is a shorter call than the
// whole text, so the block search may meet them where the buffer does not or
// the other way round; such a round ends the walk unchecked.
#include "fuzzsupport.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "search/searchengine.h"

#include <QString>

#include <boost/regex.hpp>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

const char *const fixed_patterns[] = {
    "a", "ab|cd", "^a", "b$", "\\bx", "x\\b", "[a-c]+", "(a|b)*c", "a{2,5}", "(a*)*b",
    "(?:ab)+?", "\\d+", "\\w+\\s", "(.)\\1", "[^a]", ".", "\\x00", "a.*b", "(?=b)",
    "(?<=a)b", "\\Aa", "b\\z", "[\\x80-\\xff]+", "(x+x+)+y", "a|", "(", "[", "a{99999}",
};

enum class Class { Hit, NoMatch, Invalid, Error };

struct Found
{
    Class what = Class::NoMatch;
    qint64 first = 0;
    qint64 end = 0;
};

Found oracle(const std::string &pattern, const std::string &hay, qint64 from)
{
    Found f;
    boost::regex re;
    try {
        re.assign(pattern.begin(), pattern.end(), boost::regex::normal);
    } catch (const boost::regex_error &) {
        f.what = Class::Invalid;
        return f;
    }
    try {
        boost::match_results<std::string::const_iterator> m;
        if (boost::regex_search(hay.cbegin() + from, hay.cend(), m, re, boost::match_default)) {
            f.what = Class::Hit;
            f.first = qint64(m[0].first - hay.cbegin());
            f.end = qint64(m[0].second - hay.cbegin());
        }
    } catch (const std::runtime_error &) {
        f.what = Class::Error;
    }
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Layout: [choice][haystack...] with a fixed pattern, or
    //         [choice][length][pattern...][haystack...].
    if (size < 2)
        return 0;
    const uint8_t choice = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    size_t left = size - 1;
    std::string pattern;
    if (choice & 1) {
        pattern = fixed_patterns[(choice >> 1) % (sizeof fixed_patterns / sizeof *fixed_patterns)];
    } else {
        const size_t plen = std::min<size_t>(1 + uint8_t(rest[0]) % 24, left - 1);
        pattern.assign(rest + 1, plen);
        rest += 1 + plen;
        left -= 1 + plen;
    }
    // The engine's pattern ends at its first zero character.
    pattern = pattern.substr(0, pattern.find('\0'));
    if (pattern.empty())
        return 0;
    std::string hay(rest, left);
    if (choice & 0x80) {
        // Across the reader's 64 KiB window edge. A run of the letter most
        // patterns use makes nested quantifiers take seconds; keep that rare.
        hay = std::string(0x10000 - 5, (choice & 0x60) == 0x60 ? 'a' : 'q') + hay;
    }

    const std::string path = pq_fuzz::scratch_path("regex");
    pq_fuzz::write_file(path, hay);
    HexDocument doc;
    doc.open(QString::fromStdString(path));
    PQ_FUZZ_CHECK(doc.is_open());
    file_anchor::instance()->clear();

    SearchEngine blocks;
    blocks.set_block_size(1 + (choice >> 1) % 16);
    blocks.reset(&doc);
    SearchEngine whole;
    whole.set_block_size(qint64(hay.size()) + 1);
    whole.reset(&doc);
    const auto agrees = [](const SearchEngine &engine, SearchEngine::Outcome outcome,
                           const Found &expected) {
        switch (expected.what) {
        case Class::Invalid:
            PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::InvalidExpression);
            break;
        case Class::Error:
            PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::RuntimeError);
            break;
        case Class::NoMatch:
            PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::NoMatch);
            break;
        case Class::Hit:
            PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::Hit);
            PQ_FUZZ_CHECK(engine.hit_first() == expected.first);
            PQ_FUZZ_CHECK(engine.hit_end() == expected.end);
            PQ_FUZZ_CHECK(engine.next_start() == expected.end);
            break;
        }
    };
    const QString expression = QString::fromLatin1(pattern.data(), qsizetype(pattern.size()));
    qint64 from = 0;
    for (int round = 0; round < 16; ++round) {
        const Found expected = oracle(pattern, hay, from);
        agrees(whole, whole.search_regex(expression), expected);
        const SearchEngine::Outcome outcome = blocks.search_regex(expression);
        const bool limits_differ =
            (outcome == SearchEngine::Outcome::RuntimeError) != (expected.what == Class::Error);
        if (!limits_differ)
            agrees(blocks, outcome, expected);
        // A miss or an error leaves the range alone; an empty hit would find
        // itself again.
        if (expected.what != Class::Hit || expected.end == expected.first || limits_differ)
            break;
        from = expected.end;
    }
    doc.open(QString());
    std::remove(path.c_str());
    return 0;
}
