// The search against plain baselines on the same file in the same run:
//   find_bytes, absent 16-byte pattern   vs memmem over 1 MiB read() blocks
//   find_bytes, absent 1-byte pattern    vs memchr over 1 MiB read() blocks
//   regex ab[0-9]{3}cd over file_iterator vs the same boost::regex over one
//                                           contiguous buffer of the file
//   the search panel (Alpha, progress shown) for a string planted at the end
//                                        vs grep -c -F as a subprocess
// Each figure is the median of five runs. The file is random bytes (one byte
// value left out, so that the 1-byte pattern is absent) and is read once
// before timing so that every reader finds it in the page cache.
//
// Usage: bench_search [size in MiB, default 256]

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "search/searchengine.h"
#include "panels/searchwidget.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <boost/regex.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr unsigned char absent_byte = 0xFE;
const std::string absent_pattern("\x13\x57\x9b\xdf\x24\x68\xac\xe0\x35\x79\xbd\xf1\x02\x46\x8a\xce", 16);
const std::string planted("needle-planted-at-the-end-0123456");
const char *const regex_text = "ab[0-9]{3}cd";

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool write_file(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, '\0');
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < size; written += block.size()) {
        for (char &c : block) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            unsigned char b = static_cast<unsigned char>(state >> 56);
            c = char(b == absent_byte ? 0x00 : b);
        }
        if (written + block.size() >= size)
            block.replace(block.size() - int(planted.size()) - 7, int(planted.size()),
                          QByteArray::fromStdString(planted));
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

// Reads the file in 1 MiB blocks, keeping the last len - 1 bytes of each block
// in front of the next so that nothing straddling two blocks is missed.
template <typename Find>
qint64 scan_blocks(const QString &path, size_t len, Find find)
{
    const int fd = ::open(path.toUtf8().constData(), O_RDONLY);
    if (fd < 0)
        return -2;
    std::vector<char> buffer((1 << 20) + len);
    size_t carried = 0;
    qint64 base = 0;
    qint64 found = -1;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data() + carried, 1 << 20);
        if (got <= 0)
            break;
        const size_t have = carried + size_t(got);
        const char *hit = find(buffer.data(), have);
        if (hit) {
            found = base + (hit - buffer.data());
            break;
        }
        const size_t keep = std::min(have, len - 1);
        std::memmove(buffer.data(), buffer.data() + have - keep, keep);
        base += qint64(have - keep);
        carried = keep;
    }
    ::close(fd);
    return found;
}

qint64 engine_find(HexDocument &doc, const std::string &pattern)
{
    file_iterator from = doc.begin();
    const file_iterator to = doc.end();
    match_range result;
    return find_bytes(from, to, result, pattern) ? result.first : -1;
}

struct Measure
{
    double seconds;
    qint64 result;
};

Measure median(const std::function<qint64()> &run, int runs = 5)
{
    std::vector<double> times;
    qint64 result = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        result = run();
        times.push_back(seconds_since(start));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], result};
}

void report(const char *what, qint64 size, const Measure &ours, const char *baseline_name,
            const Measure &baseline, double target)
{
    const double mb = double(size) / 1e6;
    const double ratio = baseline.seconds / ours.seconds;
    std::printf("%s\n", what);
    std::printf("  ours     : %9.1f MB/s  (%.3f s, result %lld)\n", mb / ours.seconds, ours.seconds,
                static_cast<long long>(ours.result));
    std::printf("  %-9s: %9.1f MB/s  (%.3f s, result %lld)\n", baseline_name, mb / baseline.seconds,
                baseline.seconds, static_cast<long long>(baseline.result));
    if (target > 0)
        std::printf("  ratio    : %.3f  (target >= %.2f: %s)\n", ratio, target,
                    ratio >= target ? "met" : "NOT met");
    else
        std::printf("  ratio    : %.3f  (no target)\n", ratio);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const qint64 mib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 256;
    const qint64 size = mib << 20;
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.bin");
    if (!dir.isValid() || !write_file(path, size)) {
        std::fprintf(stderr, "cannot write %lld MiB to a temporary folder\n", static_cast<long long>(mib));
        return 1;
    }
    // Into the page cache; also the contiguous copy for the regex baseline.
    QByteArray whole;
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        whole = f.readAll();
    }
    std::printf("file: %lld MiB of random bytes, page cache warm\n\n", static_cast<long long>(mib));

    HexDocument doc;
    doc.open(path);

    // 1. Absent 16-byte pattern.
    {
        const Measure ours = median([&] { return engine_find(doc, absent_pattern); });
        const Measure base = median([&] {
            return scan_blocks(path, absent_pattern.size(), [](const char *p, size_t n) {
                return static_cast<const char *>(memmem(p, n, absent_pattern.data(), absent_pattern.size()));
            });
        });
        report("find_bytes, absent 16-byte pattern", size, ours, "memmem", base, 0.5);
    }
    // 2. Absent 1-byte pattern.
    {
        const std::string one(1, char(absent_byte));
        const Measure ours = median([&] { return engine_find(doc, one); });
        const Measure base = median([&] {
            return scan_blocks(path, 1, [](const char *p, size_t n) {
                return static_cast<const char *>(memchr(p, absent_byte, n));
            });
        });
        report("find_bytes, absent 1-byte pattern", size, ours, "memchr", base, 0.1);
    }
    // 3. Regular expression.
    {
        const boost::regex re(regex_text, boost::regex::normal);
        const Measure ours = median(
            [&] {
                file_iterator first = doc.begin();
                file_iterator last = doc.end();
                boost::match_results<file_iterator> m;
                return boost::regex_search(first, last, m, re, boost::match_default)
                    ? m[0].first.position()
                    : qint64(-1);
            },
            3);
        const Measure base = median(
            [&] {
                boost::cmatch m;
                const char *b = whole.constData();
                return boost::regex_search(b, b + whole.size(), m, re, boost::match_default)
                    ? qint64(m[0].first - b)
                    : qint64(-1);
            },
            3);
        report("regex ab[0-9]{3}cd over file_iterator", size, ours, "buffer", base, 0.7);
    }
    whole.clear();
    whole.squeeze();

    // 4. The whole panel search, as a user runs it.
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *hex = new HexWidget(&window);
        auto *panel = new SearchWidget(&window);
        auto *bar = new QStatusBar(&window);
        layout->addWidget(hex);
        layout->addWidget(panel);
        layout->addWidget(bar);
        panel->set_hex_widget(hex);
        panel->set_status_bar(bar);
        hex->open_file(path);
        window.show();
        QApplication::processEvents();
        panel->findChild<QRadioButton *>("simple_button")->click();
        panel->findChild<QRadioButton *>("alpha_button")->click();
        auto *edit = panel->findChild<QLineEdit *>("expression_edit");
        auto *search = panel->findChild<QPushButton *>("search_button");
        edit->setText(QString::fromStdString(planted));
        const Measure ours = median([&] {
            // Edits restart at offset 0, as a user's retyping does.
            QMetaObject::invokeMethod(panel, "resetsearch");
            search->click();
            return hex->selection_start();
        });
        const Measure base = median([&] {
            QProcess grep;
            grep.start("grep", {"-c", "-F", QString::fromStdString(planted), path});
            grep.waitForFinished(-1);
            return grep.readAllStandardOutput().trimmed().toLongLong();
        });
        report("search panel, Alpha, string planted at the end (result = selection start)", size, ours,
               "grep -c -F", base, 0);
        if (ours.result != size - qint64(planted.size()) - 7)
            std::printf("  WRONG HIT: expected %lld\n", static_cast<long long>(size - qint64(planted.size()) - 7));
    }
    return 0;
}
