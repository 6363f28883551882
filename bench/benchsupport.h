#pragma once

// Small measuring tools for the benchmark programs: a clock, medians of
// repeated runs, pseudo-random file contents and the peak resident memory.
// Header-only, because each bench is built from its one source file.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

namespace pq_bench {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time used so far by every thread of this process plus the children it
// has waited for, in seconds. On a machine shared with other work this is far
// steadier than the wall clock, which also counts time spent waiting for a
// core.
inline double cpu_seconds()
{
    timespec own {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &own);
    rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    const auto tv = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return double(own.tv_sec) + double(own.tv_nsec) * 1e-9 + tv(children.ru_utime)
           + tv(children.ru_stime);
}

// One run, timed on both clocks, in seconds.
struct Sample
{
    double wall = 0;
    double cpu = 0;
};

struct Samples
{
    std::vector<double> wall;
    std::vector<double> cpu;
    void push_back(const Sample &s)
    {
        wall.push_back(s.wall);
        cpu.push_back(s.cpu);
    }
    bool empty() const { return wall.empty(); }
};

// Runs `body` once and returns how long it took.
inline Sample time_once(const std::function<void()> &body)
{
    const double cpu_start = cpu_seconds();
    const auto start = Clock::now();
    body();
    Sample s;
    s.wall = seconds_since(start);
    s.cpu = cpu_seconds() - cpu_start;
    return s;
}

// The middle value (mean of the two middle ones for an even count); 0 when empty.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    if (values.size() % 2 == 1)
        return values[mid];
    return (values[mid - 1] + values[mid]) / 2.0;
}

// Fills `out` with pseudo-random bytes from `state` (advanced in place). With
// `avoid_zero` no byte is 0, so a search for a zero byte scans to the end.
inline void fill_random(char *out, qint64 size, quint64 &state, bool avoid_zero)
{
    // xorshift64*: fast enough to make a gigabyte in well under a second.
    qint64 i = 0;
    while (i < size) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        quint64 word = state * 0x2545F4914F6CDD1DULL;
        for (int k = 0; k < 8 && i < size; ++k, ++i) {
            char c = char(word & 0xFF);
            if (avoid_zero && c == 0)
                c = 1;
            out[i] = c;
            word >>= 8;
        }
    }
}

// Writes `size` pseudo-random bytes (no zero byte) to `path`; false on any
// write failure.
inline bool write_random_file(const QString &path, qint64 size, quint64 seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, '\0');
    quint64 state = seed | 1;
    for (qint64 written = 0; written < size;) {
        const qint64 n = std::min<qint64>(block.size(), size - written);
        fill_random(block.data(), n, state, true);
        if (f.write(block.constData(), n) != n)
            return false;
        written += n;
    }
    return f.flush();
}

// Overwrites bytes of an existing file at `pos`.
inline bool patch_file(const QString &path, qint64 pos, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(pos))
        return false;
    return f.write(bytes) == bytes.size();
}

// Reads the whole file once in 1 MiB blocks so that it sits in the page cache.
inline bool warm_page_cache(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    volatile char sink = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0)
            break;
        sink = sink ^ buffer[0];
    }
    ::close(fd);
    return true;
}

// Peak resident memory of this process (getrusage ru_maxrss), in KiB.
inline long peak_rss_kib()
{
    rusage usage;
    std::memset(&usage, 0, sizeof usage);
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace pq_bench
