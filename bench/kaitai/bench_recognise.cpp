// Recognising a file's format when it opens, against opening it: the
// gallery is read once (in the program, in the background), then each open
// costs one read of the file's first bytes and a look through the table.
//
// Usage: bench_recognise [--reps N]
// Rows: reading the gallery, and recognising a PNG and a file that matches
// nothing, each as a ratio to opening the same file in the same run.

#include "benchsupport.h"

#include "editedfile/editedfile.h"
#include "kaitai/ksygallery.h"
#include "kaitai/templaterun.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using pq_bench::median;
using pq_bench::Samples;
using pq_bench::time_once;

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    int reps = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0)
            reps = std::max(1, std::atoi(argv[i + 1]));
    }
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("a.png"));
    const QString other = dir.filePath(QStringLiteral("a.bin"));
    if (!pq_bench::write_random_file(other, qint64(1) << 20, 7))
        return 1;
    {
        QFile file(png);
        QByteArray bytes = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
        bytes.append(QByteArray(1 << 20, '\1'));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }

    Samples gallery_read;
    const KsyGallery *gallery = nullptr;
    gallery_read.push_back(time_once([&] { gallery = &KsyGallery::installed(); }));
    KsyGallery copy;
    for (int i = 0; i < 4; ++i)
        gallery_read.push_back(time_once([&] { copy = KsyGallery(gallery->root()); }));
    std::printf("gallery: %d descriptions from %s\n", int(gallery->entries().size()), qPrintable(gallery->root()));

    std::printf("%-28s %12s %12s %10s\n", "row", "open (us)", "this (us)", "ratio");
    for (const QString &path : { png, other }) {
        Samples open;
        Samples recognise;
        QString found;
        for (int r = 0; r < reps; ++r) {
            EditedFile file;
            open.push_back(time_once([&] { file.open(path); }));
            recognise.push_back(time_once([&] {
                const KsyGallery::Entry *match = TemplateRun::recognise(&file);
                found = match ? match->file_name : QStringLiteral("none");
            }));
        }
        const double o = median(open.cpu) * 1e6;
        const double g = median(recognise.cpu) * 1e6;
        std::printf("%-28s %12.1f %12.1f %10.3f\n",
                    qPrintable(QStringLiteral("recognise %1 (%2)").arg(QFileInfo(path).fileName(), found)), o, g, g / o);
        if (path == png) {
            const double read = median(gallery_read.cpu) * 1e6;
            std::printf("%-28s %12.1f %12.1f %10.1f\n", "read the gallery (once)", o, read, read / o);
        }
    }
    return 0;
}
