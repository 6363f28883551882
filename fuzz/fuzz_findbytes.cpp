// The byte-string search over the file against std::search over the same
// bytes in memory: the first hit from several start offsets, and the walk of
// successive hits the search panel makes. The search reads blocks of at most
// 1 to 16 bytes (at least twice the pattern), so every input crosses joins.
#include "fuzzsupport.h"

#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "search/match_range.h"
#include "search/searchengine.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

qint64 oracle(const std::string &hay, qint64 start, const std::string &pattern)
{
    if (start > qint64(hay.size()))
        return -1;
    const auto it = std::search(hay.begin() + start, hay.end(), pattern.begin(), pattern.end());
    return it == hay.end() ? -1 : qint64(it - hay.begin());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Layout: [control][pattern length][pattern...][haystack...]
    if (size < 3)
        return 0;
    const uint8_t control = data[0];
    size_t plen = 1 + data[1] % 40;
    const char *rest = reinterpret_cast<const char *>(data + 2);
    size_t left = size - 2;
    plen = std::min(plen, left);
    std::string pattern(rest, plen);
    std::string hay(rest + plen, left - plen);

    // Often look for something that is there, to reach the matching paths.
    if ((control & 3) == 1 && !hay.empty()) {
        const size_t at = size_t(data[1]) * 7 % hay.size();
        pattern = hay.substr(at, std::min(plen, hay.size() - at));
    }
    // Put the data across the reader's 64 KiB window edge, over filler made
    // of the pattern itself so that near-misses abound there too.
    if (control & 4) {
        std::string filler;
        const size_t want = 0x10000 - (control >> 3) * 3;
        while (filler.size() < want)
            filler += pattern.substr(0, pattern.size() > 1 ? pattern.size() - 1 : 1);
        filler.resize(want);
        hay = filler + hay;
    }

    const std::string path = pq_fuzz::scratch_path("findbytes");
    pq_fuzz::write_file(path, hay);
    HexDocument doc;
    doc.open(QString::fromStdString(path));
    PQ_FUZZ_CHECK(doc.is_open());
    PQ_FUZZ_CHECK(doc.size() == qint64(hay.size()));
    file_anchor::instance()->clear();

    const qint64 block = 1 + (control >> 3) % 16;
    const qint64 n = qint64(hay.size());
    const qint64 starts[] = { 0, 1, n / 2, n - qint64(pattern.size()), n - 1, n,
                              qint64(control) * 131 % (n + 1) };
    for (qint64 s : starts) {
        if (s < 0 || s > n)
            continue;
        file_iterator from = doc.iterator_at(s);
        const file_iterator to = doc.end();
        match_range result;
        const bool hit = find_bytes(from, to, result, pattern, block);
        const qint64 expected = oracle(hay, s, pattern);
        PQ_FUZZ_CHECK(hit == (expected >= 0));
        PQ_FUZZ_CHECK(result.no_match == !hit);
        if (hit) {
            PQ_FUZZ_CHECK(result.first == expected);
            PQ_FUZZ_CHECK(result.end == expected + qint64(pattern.size()));
            PQ_FUZZ_CHECK(from.position() == expected);
        } else {
            PQ_FUZZ_CHECK(from.position() >= s);
        }
    }

    // The panel's walk: each search starts where the last hit ended.
    SearchEngine engine;
    engine.set_block_size(block);
    engine.reset(&doc);
    const QString bytes = QString::fromLatin1(pattern.data(), qsizetype(pattern.size()));
    qint64 at = 0;
    for (int round = 0; round < 64; ++round) {
        const qint64 expected = oracle(hay, at, pattern);
        const SearchEngine::Outcome outcome = engine.search_simple(bytes);
        if (expected < 0) {
            PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::NoMatch);
            PQ_FUZZ_CHECK(engine.next_start() >= at);
            break;
        }
        PQ_FUZZ_CHECK(outcome == SearchEngine::Outcome::Hit);
        PQ_FUZZ_CHECK(engine.hit_first() == expected);
        PQ_FUZZ_CHECK(engine.hit_end() == expected + qint64(pattern.size()));
        at = engine.hit_end();
        PQ_FUZZ_CHECK(engine.next_start() == at);
    }
    doc.open(QString());
    std::remove(path.c_str());
    return 0;
}
