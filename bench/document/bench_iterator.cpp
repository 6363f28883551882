// Byte-at-a-time scan through file_iterator against memchr over plain read()
// buffers of 1 MiB, on the same file in the same run. Prints the throughput
// of each (median of three runs) and their ratio.
//
// Usage: bench_iterator [size in MiB, default 256]

#include "document/buffereddocument.h"
#include "document/file_iterator.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char target = 0x0A;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool write_file(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    // Pseudo-random bytes, so every value (and the counted one) turns up
    // about once in 256 bytes.
    QByteArray block(1 << 20, '\0');
    quint32 state = 12345;
    for (qint64 written = 0; written < size; written += block.size()) {
        for (char &c : block) {
            state = state * 1664525u + 1013904223u;
            c = char(state >> 24);
        }
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

qint64 scan_iterator(const QString &path)
{
    BufferedDocument doc;
    doc.open(path.toUtf8().toStdString());
    const file_iterator first(&doc);
    const file_iterator last = first.end();
    qint64 count = 0;
    for (file_iterator it = first; it != last; ++it)
        count += static_cast<unsigned char>(*it) == target;
    return count;
}

qint64 scan_memchr(const QString &path)
{
    const int fd = ::open(path.toUtf8().constData(), O_RDONLY);
    if (fd < 0)
        return -1;
    std::vector<char> buffer(1 << 20);
    qint64 count = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0)
            break;
        const char *p = buffer.data();
        const char *end = p + got;
        while ((p = static_cast<const char *>(memchr(p, target, size_t(end - p)))) != nullptr) {
            ++count;
            ++p;
        }
    }
    ::close(fd);
    return count;
}

template <typename Scan>
double median_mb_per_s(Scan scan, const QString &path, qint64 size, qint64 &count)
{
    std::vector<double> rates;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        count = scan(path);
        rates.push_back(double(size) / 1e6 / seconds_since(start));
    }
    std::sort(rates.begin(), rates.end());
    return rates[1];
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 mib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 256;
    const qint64 size = mib << 20;
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.bin");
    if (!dir.isValid() || !write_file(path, size)) {
        std::fprintf(stderr, "cannot write %lld MiB to a temporary folder\n", static_cast<long long>(mib));
        return 1;
    }
    // Warm the page cache so that both scans read from memory.
    qint64 baseline_count = scan_memchr(path);

    qint64 iterator_count = 0;
    const double iterator_rate = median_mb_per_s(scan_iterator, path, size, iterator_count);
    const double memchr_rate = median_mb_per_s(scan_memchr, path, size, baseline_count);
    if (iterator_count != baseline_count) {
        std::fprintf(stderr, "counts differ: iterator %lld, memchr %lld\n",
                     static_cast<long long>(iterator_count), static_cast<long long>(baseline_count));
        return 1;
    }
    std::printf("file: %lld MiB, byte 0x%02X found %lld times\n", static_cast<long long>(mib), target,
                static_cast<long long>(iterator_count));
    std::printf("file_iterator  : %9.1f MB/s\n", iterator_rate);
    std::printf("memchr + read(): %9.1f MB/s\n", memchr_rate);
    std::printf("ratio iterator/memchr: %.3f\n", iterator_rate / memchr_rate);
    return 0;
}
