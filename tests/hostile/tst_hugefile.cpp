// A 1 TiB sparse data file: everything a user does near its end must work
// without walking the file from the start.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "search/match_range.h"
#include "search/searchengine.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <boost/regex.hpp>

#include <sys/stat.h>

namespace {

constexpr qint64 tebibyte = Q_INT64_C(1) << 40;
constexpr qint64 needle_at = tebibyte - 40000;
const QByteArray needle = QByteArrayLiteral("PLANTED-NEEDLE-\x01\xfe-END");

// Blocks really stored, so the test can show the file stayed sparse.
qint64 allocated_bytes(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_blocks) * 512;
}

} // namespace

class tst_hugefile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void view_goes_to_the_last_byte();
    void mark_near_the_end();
    void search_from_near_the_end_data();
    void search_from_near_the_end();
    void regex_from_near_the_end();
    void save_an_edit_near_the_end();

private:
    QTemporaryDir dir;
    QString path;
};

void tst_hugefile::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("sparse.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    if (!f.resize(tebibyte))
        QSKIP("this file system cannot hold a sparse 1 TiB file");
    QVERIFY(f.seek(needle_at));
    QCOMPARE(f.write(needle), qint64(needle.size()));
    QVERIFY(f.seek(tebibyte - 1));
    QCOMPARE(f.write("\x5a", 1), qint64(1));
    f.close();
    QCOMPARE(QFileInfo(path).size(), tebibyte);
}

void tst_hugefile::cleanupTestCase()
{
    QFile::remove(path);
}

void tst_hugefile::view_goes_to_the_last_byte()
{
    HexWidget hex;
    HexScrollBar bar;
    QStatusBar status;
    hex.set_scroll_bar(&bar);
    hex.set_status_bar(&status);
    hex.resize(hex.width(), 20 * hex.line_height());
    hex.show();
    hex.open_file(path);
    QCOMPARE(hex.document()->size(), tebibyte);

    hex.set_selection(tebibyte - 1, tebibyte - 1);
    QCOMPARE(hex.selection_start(), tebibyte - 1);
    QVERIFY(hex.top_row() <= (tebibyte - 1) / 16);
    QVERIFY(hex.top_row() + hex.visible_rows() > (tebibyte - 1) / 16);
    QCOMPARE(hex.selection_text(), QStringLiteral("5a"));

    // The last row as the view shows it: 16 bytes, the final one 0x5A.
    hex.document()->load(tebibyte - 16, 16);
    QCOMPARE(hex.document()->row_size(), 16);
    QCOMPARE(QString::fromStdString(hex.document()->to_hex()).right(2), QStringLiteral("5A"));
    // Past the end there is nothing to show.
    hex.document()->load(tebibyte, 16);
    QCOMPARE(hex.document()->row_size(), 0);

    // Painting the end of the file, and a selection across the needle.
    QVERIFY(!hex.grab().isNull());
    hex.set_selection(needle_at, needle_at + needle.size() - 1);
    QCOMPARE(hex.selection_text(), QString::fromLatin1(needle.toHex()));
    QVERIFY(!hex.grab().isNull());
    // Ten offset digits: the pairs start two characters further right.
    QCOMPARE(hex.row_layout().hex_start(), 12);
    QCOMPARE(hex.offset_at(hex.char_width() * 11, 0), qint64(-1));
    QVERIFY(hex.offset_at(hex.char_width() * 12, 0) >= hex.top_row() * 16);
}

void tst_hugefile::mark_near_the_end()
{
    MarkupModel model;
    MarkupTree tree(&model);
    MarkupMask mask(&tree);
    const qint64 first = tebibyte - 100;
    const qint64 last = tebibyte - 1;
    QVERIFY(tree.insert_range(last, first));
    QVERIFY(tree.insert_range(first + 10, first + 19));
    MarkupNode *outer = tree.node_at(first);
    QVERIFY(outer);
    QCOMPARE(outer->start(), first);
    QCOMPARE(outer->end(), last);
    QCOMPARE(outer->length(), qint64(100));

    QSignalSpy filled(&mask, &MarkupMask::update_completed);
    QCOMPARE(mask.markup_at(last), nullptr);
    QVERIFY(filled.wait(10000));
    QCOMPARE(mask.markup_at(last), outer);
    QCOMPARE(mask.markup_at(first - 1), nullptr);

    // The view paints its last rows with those colours.
    HexWidget hex;
    hex.set_markup_mask(&mask);
    hex.resize(hex.width(), 10 * hex.line_height());
    hex.open_file(path);
    hex.set_selection(last, last);
    QVERIFY(!hex.grab().isNull());

    // Saved and read back, the markups keep their 40-bit offsets.
    MarkupModel model2;
    MarkupTree tree2(&model2);
    QVERIFY(tree2.load_xml(tree.to_xml()));
    QCOMPARE(tree2.node_at(last)->start(), first);
    QCOMPARE(tree2.node_at(last)->end(), last);
}

void tst_hugefile::search_from_near_the_end_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("one-mebibyte-before") << tebibyte - (1 << 20) << needle_at;
    QTest::newRow("at-the-needle") << needle_at << needle_at;
    QTest::newRow("one-past-the-needle") << needle_at + 1 << qint64(-1);
    QTest::newRow("across-a-window-edge") << needle_at - 0x8000 - 3 << needle_at;
    QTest::newRow("at-the-end") << tebibyte << qint64(-1);
}

void tst_hugefile::search_from_near_the_end()
{
    QFETCH(qint64, from);
    QFETCH(qint64, expected);
    file_anchor::instance()->clear();
    HexDocument doc;
    doc.open(path);
    file_iterator it = doc.iterator_at(from);
    match_range hit;
    const bool found = find_bytes(it, doc.end(), hit,
                                  std::string(needle.constData(), size_t(needle.size())));
    QCOMPARE(found, expected >= 0);
    if (found) {
        QCOMPARE(hit.first, expected);
        QCOMPARE(hit.end, expected + needle.size());
    }
}

void tst_hugefile::regex_from_near_the_end()
{
    file_anchor::instance()->clear();
    HexDocument doc;
    doc.open(path);
    const boost::regex re("NEEDLE-.\\xfe-(E.D)");
    boost::match_results<file_iterator> m;
    QVERIFY(boost::regex_search(doc.iterator_at(tebibyte - (1 << 20)), doc.end(), m, re));
    QCOMPARE(m[0].first.position(), needle_at + 8);
    QCOMPARE(m[1].first.position(), needle_at + needle.size() - 3);
    QCOMPARE(m[1].second.position(), needle_at + needle.size());
}

void tst_hugefile::save_an_edit_near_the_end()
{
    HexWidget hex;
    QStringList boxes;
    hex.set_message_box_function([&](QMessageBox::Icon, const QString &title, const QString &,
                                     QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        boxes << title;
        return QMessageBox::Yes;
    });
    hex.resize(hex.width(), 10 * hex.line_height());
    hex.show();
    hex.open_file(path);
    hex.edit_triggered();
    QVERIFY(hex.edit_mode());
    hex.set_selection(tebibyte - 3, tebibyte - 3);
    QTest::keyClicks(&hex, QStringLiteral("c0ffee"));
    QCOMPARE(hex.edited_value(tebibyte - 3), 0xc0);
    QCOMPARE(hex.edited_value(tebibyte - 1), 0xee);
    const qint64 stored_before = allocated_bytes(path);

    QVERIFY(hex.save_edits(QString()));
    QVERIFY(boxes.isEmpty());
    QVERIFY(!hex.has_edits());
    QCOMPARE(pq_hostile::read_at(path, tebibyte - 4, 4), QByteArray("\x00\xc0\xff\xee", 4));
    QCOMPARE(QFileInfo(path).size(), tebibyte);
    // The save wrote three bytes, not the file.
    QVERIFY(allocated_bytes(path) <= stored_before + 64 * 1024);
    // The view reads the saved bytes back.
    hex.set_selection(tebibyte - 3, tebibyte - 1);
    QCOMPARE(hex.selection_text(), QStringLiteral("c0ffee"));
}

QTEST_MAIN(tst_hugefile)
#include "tst_hugefile.moc"
