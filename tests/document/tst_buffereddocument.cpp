#include "document/buffereddocument.h"
#include "document/documentfailure.h"
#include "document/file_anchor.h"
#include "document/file_iterator.h"
#include "document/hexdocument.h"
#include "documenttesthelpers.h"
#include "testsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>
#include <vector>

using pq_test::thrown_text;

namespace {
const std::string not_open = "file is not open";
const std::string beyond_eof = "block request beyond EOF";

std::string utf8(const QString &path)
{
    return path.toUtf8().toStdString();
}

QByteArray read_bytes(BufferedDocument &doc, int len, qint64 pos)
{
    QByteArray out(len, '\0');
    doc.read(len, pos, out.data());
    return out;
}
} // namespace

class TestBufferedDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }

    // Saving relies on this to refuse writing edits into a file that took
    // the open file's name.
    void knows_whether_a_path_still_names_the_open_file()
    {
        const QString path = pq_test::make_temp_file(100);
        BufferedDocument doc;
        QVERIFY(!doc.is_open_file(path)); // closed
        doc.open(utf8(path));
        QVERIFY(doc.is_open_file(path));
        QVERIFY(doc.is_open_file(QDir(QFileInfo(path).path()).filePath("./" + QFileInfo(path).fileName())));

        const QString other = pq_test::make_temp_file(100);
        QVERIFY(!doc.is_open_file(other));
        QVERIFY(QFile::remove(path));
        QVERIFY(!doc.is_open_file(path)); // removed
        QVERIFY(QFile::rename(other, path));
        QVERIFY(!doc.is_open_file(path)); // replaced by another file
        doc.close();
        QVERIFY(!doc.is_open_file(path));
    }

    void window_follows_reads_in_a_large_file()
    {
        const QString path = pq_test::make_temp_file(1000000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        QSignalSpy moved(&doc, &BufferedDocument::buffer_moved);
        doc.open(utf8(path));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.takeFirst().at(0).toLongLong(), qint64(0));
        QCOMPARE(doc.window_start(), qint64(0));

        struct Step { qint64 pos; qint64 start; bool moves; };
        const std::vector<Step> steps = {
            {40000, 0, false},
            {500000, 467232, true},
            {990000, 934464, true}, // pushed back by the end of the file
            {10000, 0, true},       // pushed forward by the start
        };
        for (const Step &step : steps) {
            const QByteArray got = read_bytes(doc, 16, step.pos);
            QCOMPARE(got, oracle.mid(int(step.pos), 16));
            QCOMPARE(doc.window_start(), step.start);
            QCOMPARE(moved.count(), step.moves ? 1 : 0);
            if (step.moves)
                QCOMPARE(moved.takeFirst().at(0).toLongLong(), step.pos);
        }
    }

    void files_near_the_window_size_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("expected_moves");
        QTest::newRow("empty") << qint64(0) << 0;
        QTest::newRow("one-byte") << qint64(1) << 0;
        QTest::newRow("window-minus-one") << qint64(65535) << 0;
        QTest::newRow("window-exactly") << qint64(65536) << 0;
        QTest::newRow("window-plus-one") << qint64(65537) << 1;
    }

    // Every byte, read row by row, matches a plain read; a file that fits in
    // the window never moves it after open.
    void files_near_the_window_size()
    {
        QFETCH(qint64, size);
        QFETCH(int, expected_moves);
        const QString path = pq_test::make_temp_file(size);
        const QByteArray oracle = pq_test::whole_file(path);
        QCOMPARE(qint64(oracle.size()), size);
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy moved(&doc, &BufferedDocument::buffer_moved);
        QCOMPARE(doc.size(), size);
        QByteArray assembled;
        for (qint64 pos = 0; pos < size; pos += 16) {
            const int len = int(qMin<qint64>(16, size - pos));
            assembled += read_bytes(doc, len, pos);
        }
        QCOMPARE(assembled, oracle);
        QCOMPARE(moved.count(), expected_moves);
        QVERIFY(doc.window_start() >= 0);
        QVERIFY(doc.window_start() <= qMax<qint64>(0, size - 65536));
    }

    void read_bounds_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<qint64>("pos_from_end");
        QTest::addColumn<bool>("refused");
        // pos_from_end: the position is size - pos_from_end.
        QTest::newRow("nothing-at-end") << 0 << qint64(0) << false;
        QTest::newRow("one-at-end") << 1 << qint64(0) << true;
        QTest::newRow("row-half-past-end") << 16 << qint64(8) << true;
        QTest::newRow("last-byte") << 1 << qint64(1) << false;
        QTest::newRow("last-row") << 16 << qint64(16) << false;
        QTest::newRow("negative-position") << 1 << qint64(1000001) << true;
        QTest::newRow("negative-position-row-ending-inside") << 16 << qint64(1000008) << true;
        QTest::newRow("negative-length") << -1 << qint64(500) << true;
    }

    void read_bounds()
    {
        QFETCH(int, len);
        QFETCH(qint64, pos_from_end);
        QFETCH(bool, refused);
        const QString path = pq_test::make_temp_file(1000000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        const qint64 pos = doc.size() - pos_from_end;
        QByteArray dst(64, '\x5A');
        QSignalSpy moved(&doc, &BufferedDocument::buffer_moved);
        const std::string text = thrown_text([&] { doc.read(len, pos, dst.data()); });
        if (refused) {
            QCOMPARE(text, beyond_eof);
            QCOMPARE(moved.count(), 0);
            QCOMPARE(dst, QByteArray(64, '\x5A'));
        } else {
            QCOMPARE(text, std::string());
            QCOMPARE(dst.left(len), oracle.mid(int(pos), len));
            QCOMPARE(dst.mid(len), QByteArray(64 - len, '\x5A'));
        }
    }

    void closed_document_refuses_everything()
    {
        BufferedDocument doc;
        char c = 0;
        QCOMPARE(doc.window_start(), qint64(-1));
        QCOMPARE(thrown_text([&] { doc.close(); }), not_open);
        QCOMPARE(thrown_text([&] { doc.size(); }), not_open);
        QCOMPARE(thrown_text([&] { doc.read(1, 0, &c); }), not_open);
        QCOMPARE(thrown_text([&] { doc.read(0, 0, &c); }), not_open);
        QCOMPARE(thrown_text([&] { doc.move_buffer(0); }), not_open);
        QCOMPARE(thrown_text([&] { doc.rewind(); }), not_open);
        QCOMPARE(doc.absolute_path(), QString());

        const QString path = pq_test::make_temp_file(10);
        doc.open(utf8(path));
        doc.close();
        QCOMPARE(doc.window_start(), qint64(-1));
        QCOMPARE(thrown_text([&] { doc.close(); }), not_open);
        QCOMPARE(thrown_text([&] { doc.read(1, 0, &c); }), not_open);
    }

    // Callers catch what the document layer throws as const std::string & and
    // tell the failures apart by text: each failure is exactly its message.
    void every_failure_is_a_string_of_its_message()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a-folder"));
        const QString path = pq_test::make_temp_file(10);
        BufferedDocument closed;
        BufferedDocument open;
        open.open(utf8(path));
        HexDocument closed_rows;
        char c = 0;
        const struct {
            const char *name;
            std::function<void()> call;
            const char *message;
            const std::string &constant;
        } cases[] = {
            {"size-closed", [&] { closed.size(); }, "file is not open", document_failure::not_open},
            {"hex-size-closed", [&] { closed_rows.size(); }, "file is not open", document_failure::not_open},
            {"iterator-closed", [&] { file_iterator it(&closed); }, "file is not open",
             document_failure::not_open},
            {"read-past-end", [&] { open.read(2, 9, &c); }, "block request beyond EOF",
             document_failure::beyond_eof},
            {"missing", [&] { closed.open(utf8(dir.filePath("none"))); }, "file does not exist",
             document_failure::does_not_exist},
            {"below-a-file", [&] { closed.open(utf8(path + "/x")); }, "file does not exist",
             document_failure::does_not_exist},
            {"folder", [&] { closed.open(utf8(dir.filePath("a-folder"))); }, "not a regular file",
             document_failure::not_regular},
            {"cancelled", [&] { file_anchor::instance()->cancel(); file_anchor::instance()->report(0); },
             "operation cancelled", document_failure::cancelled},
        };
        for (const auto &row : cases) {
            std::string thrown;
            try {
                row.call();
            } catch (const std::string &failure) {
                thrown = failure;
            }
            file_anchor::instance()->clear();
            QVERIFY2(thrown == row.message, row.name);
            QVERIFY2(thrown == row.constant, row.name);
        }
        QCOMPARE(document_failure::cannot_open, std::string("file could not be opened for read"));
    }

    void failed_open_leaves_the_document_closed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing-file") << QString("no-such-file.bin") << QString("file does not exist");
        QTest::newRow("directory") << QString("a-folder") << QString("not a regular file");
        // Would block in open() for good if opened like a file.
        QTest::newRow("fifo") << QString("a-fifo") << QString("not a regular file");
        QTest::newRow("device") << QString("/dev/null") << QString("not a regular file");
    }

    void failed_open_leaves_the_document_closed()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("a-folder"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("a-fifo")).constData(), 0600), 0);
        const QString first = pq_test::make_temp_file(100);
        BufferedDocument doc;
        doc.open(utf8(first));
        QCOMPARE(doc.size(), qint64(100));
        const QString path = QDir::isAbsolutePath(name) ? name : dir.filePath(name);
        const std::string text = thrown_text([&] { doc.open(utf8(path)); });
        QCOMPARE(QString::fromStdString(text), expected);
        QCOMPARE(BufferedDocument::open_error(utf8(path)), text);
        QCOMPARE(BufferedDocument::open_error(utf8(first)), std::string());
        QCOMPARE(thrown_text([&] { doc.size(); }), not_open);
        QCOMPARE(doc.window_start(), qint64(-1));
        QVERIFY(!doc.is_open());
    }

    void unreadable_file_is_refused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("locked.bin");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("secret");
        f.close();
        QVERIFY(f.setPermissions(QFileDevice::Permissions()));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("running with rights that read a file without read permission");
        BufferedDocument doc;
        QCOMPARE(thrown_text([&] { doc.open(utf8(path)); }),
                 std::string("file could not be opened for read"));
        QVERIFY(!doc.is_open());
    }

    void open_replaces_the_open_file()
    {
        const QString a = pq_test::make_temp_file(0, QByteArray("first file"));
        const QString b = pq_test::make_temp_file(0, QByteArray("second"));
        BufferedDocument doc;
        doc.open(utf8(a));
        QCOMPARE(read_bytes(doc, 5, 0), QByteArray("first"));
        QSignalSpy moved(&doc, &BufferedDocument::buffer_moved);
        doc.open(utf8(b));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(doc.size(), qint64(6));
        QCOMPARE(read_bytes(doc, 6, 0), QByteArray("second"));
        QCOMPARE(doc.absolute_path(), QFileInfo(b).absoluteFilePath());
        QCOMPARE(thrown_text([&] { read_bytes(doc, 10, 0); }), beyond_eof);
    }

    void move_buffer_reports_the_requested_offset_data()
    {
        QTest::addColumn<qint64>("requested");
        QTest::addColumn<qint64>("start");
        QTest::newRow("before-begin") << qint64(-7) << qint64(0);
        QTest::newRow("inside-first-half-window") << qint64(32768) << qint64(0);
        QTest::newRow("just-past-half-window") << qint64(32769) << qint64(1);
        QTest::newRow("middle") << qint64(300000) << qint64(267232);
        QTest::newRow("at-end") << qint64(1000000) << qint64(934464);
        QTest::newRow("far-past-end") << qint64(5000000000LL) << qint64(934464);
    }

    void move_buffer_reports_the_requested_offset()
    {
        QFETCH(qint64, requested);
        QFETCH(qint64, start);
        const QString path = pq_test::make_temp_file(1000000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        QSignalSpy moved(&doc, &BufferedDocument::buffer_moved);
        doc.move_buffer(requested);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toLongLong(), requested);
        QCOMPARE(doc.window_start(), start);
        QCOMPARE(doc.window_valid(), 65536);
        char c = 0;
        QVERIFY(doc.byte_in_window(start + 65535, c));
        QCOMPARE(c, oracle.at(int(start + 65535)));
        QVERIFY(!doc.byte_in_window(start + 65536, c));
        QVERIFY(!doc.byte_in_window(start - 1, c));

        doc.rewind();
        QCOMPARE(moved.count(), 2);
        QCOMPARE(moved.at(1).at(0).toLongLong(), qint64(0));
        QCOMPARE(doc.window_start(), qint64(0));
    }

    // Reads larger than half the window cannot come from one centred window;
    // they must still deliver the right bytes.
    void long_reads_are_served_whole_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<qint64>("pos");
        QTest::newRow("half-window") << 32768 << qint64(100000);
        QTest::newRow("half-window-plus-one") << 32769 << qint64(100000);
        QTest::newRow("whole-window-in-middle") << 65536 << qint64(400000);
        QTest::newRow("more-than-window") << 200000 << qint64(12345);
        QTest::newRow("more-than-window-to-end") << 200000 << qint64(800000);
    }

    void long_reads_are_served_whole()
    {
        QFETCH(int, len);
        QFETCH(qint64, pos);
        const QString path = pq_test::make_temp_file(1000000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        QCOMPARE(read_bytes(doc, len, pos), oracle.mid(int(pos), len));
    }

    void unicode_file_names_open_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("cyrillic") << QString::fromUtf8("данные.bin");
        QTest::newRow("cjk") << QString::fromUtf8("数据文件.bin");
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80 smile.bin");
        QTest::newRow("latin1-accent") << QString::fromUtf8("café.bin");
    }

    void unicode_file_names_open()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile f(path);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(f.errorString()));
        f.write("unicode named");
        f.close();
        BufferedDocument doc;
        QCOMPARE(thrown_text([&] { doc.open(utf8(path)); }), std::string());
        QCOMPARE(read_bytes(doc, 13, 0), QByteArray("unicode named"));
        QCOMPARE(doc.absolute_path(), QFileInfo(path).absoluteFilePath());
    }

    void shrinking_file_is_never_read_past_its_end()
    {
        const QString path = pq_test::make_temp_file(200000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        QCOMPARE(read_bytes(doc, 16, 150000), oracle.mid(150000, 16));

        QFile other(path);
        QVERIFY(other.resize(50000));
        QCOMPARE(doc.size(), qint64(50000));
        // The window still holds bytes from 117232 on, which are gone now.
        QCOMPARE(thrown_text([&] { read_bytes(doc, 16, 150000); }), beyond_eof);
        QCOMPARE(thrown_text([&] { read_bytes(doc, 16, 49990); }), beyond_eof);
        QCOMPARE(read_bytes(doc, 10, 49990), oracle.mid(49990, 10));
        QCOMPARE(read_bytes(doc, 16, 100), oracle.mid(100, 16));
        QCOMPARE(doc.window_valid(), 50000);

        QVERIFY(other.resize(0));
        QCOMPARE(thrown_text([&] { read_bytes(doc, 1, 0); }), beyond_eof);
        QCOMPARE(read_bytes(doc, 0, 0), QByteArray());
    }

    // A file that grows after its tail was loaded: the bytes past the old end
    // come from the file, not from whatever the window held before.
    void growing_file_yields_the_new_bytes()
    {
        const QString path = pq_test::make_temp_file(1000);
        BufferedDocument doc;
        doc.open(utf8(path));
        QCOMPARE(doc.window_valid(), 1000);
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append));
        other.write(QByteArray(100000, '\xAB'));
        other.close();
        QCOMPARE(doc.size(), qint64(101000));
        QCOMPARE(read_bytes(doc, 16, 1000), QByteArray(16, '\xAB'));
        QCOMPARE(read_bytes(doc, 16, 990), pq_test::whole_file(path).mid(990, 16));
        QCOMPARE(read_bytes(doc, 16, 100984), QByteArray(16, '\xAB'));
    }

    void deleted_file_still_reads_or_refuses()
    {
        const QString path = pq_test::make_temp_file(300000);
        const QByteArray oracle = pq_test::whole_file(path);
        BufferedDocument doc;
        doc.open(utf8(path));
        QVERIFY(QFile::remove(path));
        for (qint64 pos : {qint64(0), qint64(150000), qint64(299984), qint64(299990)}) {
            QByteArray got(16, '\0');
            const std::string text = thrown_text([&] { doc.read(16, pos, got.data()); });
            if (text.empty())
                QCOMPARE(got, oracle.mid(int(pos), 16));
            else
                QCOMPARE(text, beyond_eof);
        }
        QCOMPARE(thrown_text([&] { doc.close(); }), std::string());
    }
};

QTEST_GUILESS_MAIN(TestBufferedDocument)
#include "tst_buffereddocument.moc"
