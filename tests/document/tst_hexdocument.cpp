#include "document/buffereddocument.h"
#include "documenttesthelpers.h"
#include "document/hexdocument.h"
#include "testsettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using pq_test::thrown_text;

namespace {
QByteArray bytes_of(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}
} // namespace

class TestHexDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pq_test::isolate_settings(); }

    void row_text_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("ascii");
        QTest::newRow("low-letter-high") << bytes_of({0x00, 0x4A, 0xFF}) << "00 4A FF" << ".J.";
        QTest::newRow("control-tilde-del-latin1")
            << bytes_of({0x41, 0x0A, 0x7E, 0x7F, 0xE9}) << "41 0A 7E 7F E9" << "A.~..";
        QTest::newRow("printable-boundaries")
            << bytes_of({0x1F, 0x20, 0x7E, 0x7F}) << "1F 20 7E 7F" << ". ~.";
        QTest::newRow("sign-bit-edges") << bytes_of({0x00, 0x7F, 0x80, 0xFF}) << "00 7F 80 FF" << "....";
        QTest::newRow("single-byte") << bytes_of({0xA5}) << "A5" << ".";
        QTest::newRow("full-row")
            << QByteArray("0123456789abcdef") << "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66"
            << "0123456789abcdef";
    }

    void row_text()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        QFETCH(QString, ascii);
        const QString path = pq_test::make_temp_file(0, bytes);
        HexDocument doc;
        doc.open(path);
        doc.load(0, 16);
        QCOMPARE(doc.row_size(), bytes.size());
        QCOMPARE(QString::fromStdString(doc.to_hex()), hex);
        QCOMPARE(QString::fromStdString(doc.to_ascii()), ascii);
        QCOMPARE(doc.first_byte(), int(static_cast<unsigned char>(bytes.at(0))));
    }

    void rows_of_a_twenty_byte_file_data()
    {
        QTest::addColumn<qint64>("pos");
        QTest::addColumn<int>("len");
        QTest::addColumn<int>("expected_len");
        QTest::newRow("first-row") << qint64(0) << 16 << 16;
        QTest::newRow("row-cut-at-end") << qint64(16) << 16 << 4;
        QTest::newRow("row-at-end") << qint64(20) << 16 << 0;
        QTest::newRow("row-past-end") << qint64(32) << 16 << 0;
        QTest::newRow("last-byte") << qint64(19) << 1 << 1;
        QTest::newRow("byte-at-end") << qint64(20) << 1 << 0;
        QTest::newRow("empty-load") << qint64(0) << 0 << 0;
        QTest::newRow("before-begin") << qint64(-16) << 16 << 0;
        QTest::newRow("row-ending-inside-from-before-begin") << qint64(-8) << 16 << 0;
        QTest::newRow("far-beyond-4gib") << qint64(0x100000010LL) << 16 << 0;
    }

    void rows_of_a_twenty_byte_file()
    {
        QFETCH(qint64, pos);
        QFETCH(int, len);
        QFETCH(int, expected_len);
        const QString path = pq_test::make_temp_file(20);
        const QByteArray oracle = pq_test::whole_file(path);
        HexDocument doc;
        doc.open(path);
        doc.load(pos, len);
        QCOMPARE(doc.row_size(), expected_len);
        QCOMPARE(doc.row_offset(), pos);
        const QByteArray expected = expected_len ? oracle.mid(int(pos), expected_len) : QByteArray();
        QString hex;
        for (char c : expected)
            hex += QString::asprintf("%02X ", unsigned(static_cast<unsigned char>(c)));
        QCOMPARE(QString::fromStdString(doc.to_hex()), hex.trimmed());
        QCOMPARE(doc.to_ascii().size(), size_t(expected_len));
        if (expected_len == 0)
            QCOMPARE(doc.first_byte(), -1);
        else
            QCOMPARE(doc.first_byte(), int(static_cast<unsigned char>(expected.at(0))));
    }

    // A row that reaches beyond half the window still arrives whole.
    void long_row_reads_every_byte()
    {
        const QString path = pq_test::make_temp_file(300000);
        const QByteArray oracle = pq_test::whole_file(path);
        HexDocument doc;
        doc.open(path);
        doc.load(100000, 150000);
        QCOMPARE(doc.row_size(), 150000);
        QCOMPARE(QByteArray::fromStdString(doc.to_ascii()).size(), 150000);
        doc.load(250000, 100000);
        QCOMPARE(doc.row_size(), 50000);
        QCOMPARE(doc.first_byte(), int(static_cast<unsigned char>(oracle.at(250000))));
    }

    void closed_document_gives_empty_rows()
    {
        HexDocument doc;
        doc.load(0, 16);
        QCOMPARE(doc.row_size(), 0);
        QCOMPARE(doc.to_hex(), std::string());
        QCOMPARE(doc.to_ascii(), std::string());
        QCOMPARE(thrown_text([&] { doc.size(); }), std::string("file is not open"));
        QCOMPARE(doc.absolute_path(), QString());
        QVERIFY(!doc.is_open());
    }

    void empty_path_changes_nothing()
    {
        const QString path = pq_test::make_temp_file(0, QByteArray("kept open"));
        HexDocument doc;
        doc.open(path);
        doc.open(QString());
        QVERIFY(doc.is_open());
        QCOMPARE(doc.size(), qint64(9));
        doc.load(0, 4);
        QCOMPARE(doc.to_ascii(), std::string("kept"));

        HexDocument closed;
        closed.open(QString());
        QVERIFY(!closed.is_open());
    }

    void failed_open_closes_and_keeps_the_row()
    {
        const QString path = pq_test::make_temp_file(0, QByteArray("abc"));
        HexDocument doc;
        doc.open(path);
        doc.load(0, 16);
        QCOMPARE(doc.to_hex(), std::string("61 62 63"));
        doc.open(path + ".missing");
        QVERIFY(!doc.is_open());
        QCOMPARE(thrown_text([&] { doc.size(); }), std::string("file is not open"));
        // The row belongs to the last load, not to the open file.
        QCOMPARE(doc.to_hex(), std::string("61 62 63"));
        doc.load(0, 16);
        QCOMPARE(doc.to_hex(), std::string());
    }

    void unicode_paths_open_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("cyrillic") << QString::fromUtf8("отчёт.dat");
        QTest::newRow("cjk") << QString::fromUtf8("日本語のファイル.dat");
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x93\xA6.dat");
        QTest::newRow("latin1") << QString::fromUtf8("Müller.dat");
    }

    void unicode_paths_open()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes_of({0x00, 0x7F, 0x80, 0xFF}));
        f.close();
        HexDocument doc;
        doc.open(path);
        QVERIFY(doc.is_open());
        QCOMPARE(doc.absolute_path(), QFileInfo(path).absoluteFilePath());
        doc.load(0, 16);
        QCOMPARE(doc.to_hex(), std::string("00 7F 80 FF"));
    }

    void iterators_cover_the_file()
    {
        const QString path = pq_test::make_temp_file(1000);
        const QByteArray oracle = pq_test::whole_file(path);
        HexDocument doc;
        doc.open(path);
        const file_iterator first = doc.begin();
        const file_iterator last = doc.end();
        QCOMPARE(first.position(), qint64(0));
        QCOMPARE(last.position(), qint64(1000));
        QCOMPARE(last - first, std::ptrdiff_t(1000));
        QCOMPARE(*doc.iterator_at(777), oracle.at(777));
        QCOMPARE(doc.iterator_at(777).stored_size(), qint64(1000));
        QVERIFY(doc.iterator_at(1000) == last);
    }

    void iterators_on_a_closed_document()
    {
        HexDocument doc;
        QCOMPARE(thrown_text([&] { doc.begin(); }), std::string("file is not open"));
        QCOMPARE(thrown_text([&] { doc.iterator_at(5); }), std::string("file is not open"));
        pq_test::StdoutCapture out;
        const file_iterator last = doc.end();
        QCOMPARE(last.position(), qint64(0));
        QCOMPARE(out.text(), std::string("error getting end iterator" "file is not open\n"));
    }

    // The hex view's row reads and a walker's reads share one window.
    void rows_and_iterator_share_the_window()
    {
        const QString path = pq_test::make_temp_file(2000000);
        const QByteArray oracle = pq_test::whole_file(path);
        HexDocument doc;
        doc.open(path);
        file_iterator it = doc.iterator_at(10);
        for (qint64 row : {qint64(1500000), qint64(16), qint64(1999984), qint64(700000)}) {
            doc.load(row, 16);
            QCOMPARE(QByteArray::fromStdString(doc.to_ascii()).size(), 16);
            QCOMPARE(doc.first_byte(), int(static_cast<unsigned char>(oracle.at(int(row)))));
            QCOMPARE(*it, oracle.at(int(it.position())));
            it.set_position(it.position() + 333333);
        }
    }
};

QTEST_GUILESS_MAIN(TestHexDocument)
#include "tst_hexdocument.moc"
