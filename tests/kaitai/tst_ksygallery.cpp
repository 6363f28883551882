// The gallery shipped in ksy/: every description reads with its title, and
// a file's format is recognised from its first bytes.

#include "kaitai/ksygallery.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

class TestKsyGallery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QElapsedTimer timer;
        timer.start();
        m_gallery = KsyGallery(QStringLiteral(PQ_KSY_GALLERY));
        qInfo("gallery of %d descriptions read in %lld ms", int(m_gallery.entries().size()), timer.elapsed());
    }

    void every_description_reads()
    {
        int files = 0;
        QDirIterator it(QStringLiteral(PQ_KSY_GALLERY), { QStringLiteral("*.ksy") }, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++files;
        }
        QVERIFY(files >= 150);
        QCOMPARE(m_gallery.unreadable(), 0);
        QCOMPARE(int(m_gallery.entries().size()), files);
        const auto png = std::find_if(m_gallery.entries().cbegin(), m_gallery.entries().cend(),
                                      [](const KsyGallery::Entry &e) { return e.file_name == "png.ksy"; });
        QVERIFY(png != m_gallery.entries().cend());
        QCOMPARE(png->folder, QStringLiteral("image"));
        QCOMPARE(png->title, QStringLiteral("PNG (Portable Network Graphics) file"));
        QVERIFY(png->extensions.contains("png"));
    }

    void recognises_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("best");
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
        QTest::newRow("png") << png << "x.dat" << "image/png.ksy";
        QTest::newRow("gif") << QByteArray("GIF89a\x02\x00\x02\x00\x80\x00\x00", 13) << "" << "image/gif.ksy";
        QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\x00\x00\x00", 8) << "a.zip" << "archive/zip.ksy";
        QTest::newRow("gzip") << QByteArray::fromHex("1f8b0800000000000003") << "a.gz" << "archive/gzip.ksy";
        QTest::newRow("elf-64")
            << QByteArray::fromHex("7f454c46020101000000000000000000") << "a.out" << "executable/elf.ksy";
        QTest::newRow("avi") << QByteArray("RIFF\x10\x00\x00\x00" "AVI LIST", 16) << "" << "media/avi.ksy";
        // A WAV file is RIFF too, but not "AVI " at 8.
        QTest::newRow("riff-wave-is-not-avi") << QByteArray("RIFF\x10\x00\x00\x00WAVEfmt ", 16) << "a.wav" << "";
        QTest::newRow("magic-cut-short") << QByteArray("\x89PNG\r\n", 6) << "a.png" << "";
        QTest::newRow("text") << QByteArray("hello, world\n") << "a.txt" << "";
        QTest::newRow("zeros") << QByteArray(64, '\0') << "a.bin" << "";
        QTest::newRow("empty") << QByteArray() << "a.png" << "";
    }

    void recognises()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, name);
        QFETCH(QString, best);
        const auto found = m_gallery.matches(head.left(m_gallery.head_size()), name);
        const QString got = found.empty() ? QString() : found.front()->folder + '/' + found.front()->file_name;
        QCOMPARE(got, best);
    }

    // More bytes of magic win; between equals, the one listing the file's
    // extension; then folder and name order.
    void ranks_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("longer-magic-first") << QByteArray("ABC") << "x.bbb" << QStringList{"c", "b", "a"};
        QTest::newRow("extension-breaks-a-tie") << QByteArray("ABx") << "x.BBB" << QStringList{"b", "a"};
        QTest::newRow("no-extension-name-order") << QByteArray("ABx") << "x" << QStringList{"a", "b"};
        QTest::newRow("magic-past-a-field") << QByteArray("\x01\x02\x03\x04ZZ") << "x" << QStringList{"d"};
        QTest::newRow("gap-must-match-too") << QByteArray("\x01\x02\x03\x04ZY") << "x" << QStringList{};
    }

    void ranks()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, name);
        QFETCH(QStringList, order);
        QTemporaryDir dir;
        const auto write = [&dir](const char *file, const char *text) {
            QFile f(dir.filePath(QString::fromLatin1(file)));
            return f.open(QIODevice::WriteOnly) && f.write(text) > 0;
        };
        QVERIFY(write("a.ksy", "meta: {id: a, file-extension: aaa}\nseq: [{id: m, contents: AB}]\n"));
        QVERIFY(write("b.ksy", "meta: {id: b, file-extension: [bbb, b2]}\nseq: [{id: m, contents: AB}]\n"));
        QVERIFY(write("c.ksy", "meta: {id: c}\nseq: [{id: h, type: head}]\n"
                               "types: {head: {seq: [{id: m, contents: ABC}]}}\n"));
        QVERIFY(write("d.ksy", "meta: {id: d, endian: le}\nseq: [{id: n, type: u4}, {id: m, contents: ZZ}]\n"));
        QVERIFY(write("e.ksy", "meta: {id: e}\nseq: [{id: m, contents: [0, 0]}]\n"));
        const KsyGallery gallery(dir.path());
        QCOMPARE(int(gallery.entries().size()), 5);
        QCOMPARE(gallery.head_size(), 6);
        QStringList got;
        for (const KsyGallery::Entry *e : gallery.matches(head, name))
            got << QFileInfo(e->file_name).baseName();
        QCOMPARE(got, order);
    }

private:
    KsyGallery m_gallery;
};

QTEST_GUILESS_MAIN(TestKsyGallery)
#include "tst_ksygallery.moc"
