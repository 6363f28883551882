// The data file changed by someone else while it is open, while a search
// walks it and while the colour mask fills: no crash, no byte shown or found
// that the file does not hold, and edits kept when they cannot be saved.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "editedfile/findalltool.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markuptree.h"
#include "search/searchengine.h"

#include <QFile>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

QByteArray filled(int size, char byte)
{
    return QByteArray(size, byte);
}

// The view's bytes of [pos, pos + len) as selection_text gives them.
QString view_bytes(HexWidget &hex, qint64 pos, qint64 len)
{
    hex.set_selection(pos, pos + len - 1);
    return hex.selection_text();
}

} // namespace

class tst_filechanges : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void view_after_change_data();
    void view_after_change();
    void save_after_change_data();
    void save_after_change();
    void search_while_truncated_data();
    void search_while_truncated();
    void mask_fill_while_truncated();

private:
    QString make(const QByteArray &bytes);

    QTemporaryDir dir;
    int serial = 0;
};

void tst_filechanges::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
}

void tst_filechanges::init()
{
    file_anchor::instance()->clear();
}

QString tst_filechanges::make(const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("data-%1.bin").arg(++serial));
    if (!pq_hostile::write_all(path, bytes))
        return QString();
    return path;
}

void tst_filechanges::view_after_change_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("truncated-to-half") << "truncate";
    QTest::newRow("truncated-to-empty") << "empty";
    QTest::newRow("grown") << "grow";
    QTest::newRow("replaced-by-rename") << "replace";
    QTest::newRow("deleted") << "delete";
}

void tst_filechanges::view_after_change()
{
    QFETCH(QString, change);
    const int size = 200000;
    QByteArray original(size, '\0');
    for (int i = 0; i < size; ++i)
        original[i] = char(i * 7 + 3);
    const QString path = make(original);

    HexWidget hex;
    HexScrollBar bar;
    QStatusBar status;
    hex.set_scroll_bar(&bar);
    hex.set_status_bar(&status);
    hex.resize(hex.width(), 12 * hex.line_height());
    hex.show();
    hex.open_file(path);
    // The window of the reader sits at the end of the file.
    QCOMPARE(view_bytes(hex, size - 16, 16), QString::fromLatin1(original.right(16).toHex()));

    if (change == QLatin1String("truncate"))
        QVERIFY(QFile::resize(path, size / 2));
    else if (change == QLatin1String("empty"))
        QVERIFY(QFile::resize(path, 0));
    else if (change == QLatin1String("grow"))
        QVERIFY(QFile::resize(path, 2 * size));
    else if (change == QLatin1String("replace")) {
        const QString other = make(filled(1000, 'R'));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(other, path));
    } else if (change == QLatin1String("delete"))
        QVERIFY(QFile::remove(path));

    // What the open file holds now: the same inode unless it was replaced
    // or deleted, when the open handle still reads the file as it was.
    const qint64 now = hex.document()->size();
    QVERIFY(now >= 0);
    const QByteArray held = (change == QLatin1String("replace") || change == QLatin1String("delete"))
        ? original
        : pq_hostile::read_all(path);
    QCOMPARE(now, qint64(held.size()));

    // Every byte the view offers is one the file holds.
    for (qint64 pos : { qint64(0), qint64(size / 2 - 8), qint64(size - 16), qint64(size + 100) }) {
        const QString text = view_bytes(hex, pos, 16);
        const QByteArray expected = held.mid(pos, 16).toHex();
        QCOMPARE(text, QString::fromLatin1(expected));
        hex.document()->load(pos, 16);
        QCOMPARE(hex.document()->row_size(), int(held.mid(pos, 16).size()));
        QCOMPARE(QString::fromStdString(hex.document()->to_hex()).remove(QLatin1Char(' ')).toLower(),
                 QString::fromLatin1(expected));
        QVERIFY(!hex.grab().isNull());
    }
    // Scrolling and paging over the changed file keep working.
    hex.set_selection(size - 1, size - 1);
    QTest::keyClick(&hex, Qt::Key_PageDown);
    QTest::keyClick(&hex, Qt::Key_End);
    QTest::keyClick(&hex, Qt::Key_Home);
    QVERIFY(!hex.grab().isNull());
}

void tst_filechanges::save_after_change_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("saves");
    // Whether a copy elsewhere (Save As) still rescues the edits.
    QTest::addColumn<bool>("rescues");
    QTest::newRow("edit-beyond-new-end") << "truncate" << false << false;
    QTest::newRow("file-deleted") << "delete" << false << true;
    QTest::newRow("file-grown") << "grow" << true << true;
    // The edits were made against bytes of the old file; they are not
    // written into the file that took its name, but a copy is built from
    // the file still open.
    QTest::newRow("file-replaced") << "replace" << false << true;
}

void tst_filechanges::save_after_change()
{
    QFETCH(QString, change);
    QFETCH(bool, saves);
    QFETCH(bool, rescues);
    const int size = 4096;
    const QString path = make(filled(size, 'A'));

    HexWidget hex;
    QStringList boxes;
    hex.set_message_box_function([&](QMessageBox::Icon, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        boxes << title + QLatin1String(": ") + text;
        return QMessageBox::Ok;
    });
    hex.resize(hex.width(), 8 * hex.line_height());
    hex.show();
    hex.open_file(path);
    hex.edit_triggered();
    hex.set_selection(3000, 3000);
    QTest::keyClicks(&hex, QStringLiteral("4243"));
    QCOMPARE(hex.edited_value(3000), 0x42);
    QCOMPARE(hex.edited_value(3001), 0x43);

    QByteArray before;
    if (change == QLatin1String("truncate")) {
        QVERIFY(QFile::resize(path, 1000));
    } else if (change == QLatin1String("delete")) {
        QVERIFY(QFile::remove(path));
    } else if (change == QLatin1String("grow")) {
        QVERIFY(QFile::resize(path, 3 * size));
    } else if (change == QLatin1String("replace")) {
        const QString other = make(filled(size, 'R'));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(other, path));
    }
    const bool existed = QFile::exists(path);
    before = pq_hostile::read_all(path);

    QCOMPARE(hex.save_edits(QString()), saves);
    const QByteArray after = pq_hostile::read_all(path);
    if (saves) {
        QVERIFY(boxes.isEmpty());
        QVERIFY(!hex.has_edits());
        QByteArray expected = before;
        expected[3000] = 'B';
        expected[3001] = 'C';
        QCOMPARE(after, expected);
    } else {
        // Told, every edit kept, and the file exactly as it was.
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.at(0).startsWith(QLatin1String("File Write Error")), qPrintable(boxes.at(0)));
        QVERIFY(hex.has_edits());
        QCOMPARE(hex.edited_value(3000), 0x42);
        QCOMPARE(hex.edited_value(3001), 0x43);
        QCOMPARE(QFile::exists(path), existed);
        QCOMPARE(after, before);
    }
    if (saves)
        return;

    // Save As to another path: the open file's bytes with the edits, or (when
    // the edits lie past the open file's end) nothing at all.
    boxes.clear();
    const QString rescue = dir.filePath(QStringLiteral("rescue-%1.bin").arg(++serial));
    QCOMPARE(hex.save_edits(rescue), rescues);
    QCOMPARE(QFile::exists(rescue), rescues);
    QCOMPARE(pq_hostile::read_all(path), before);
    if (rescues) {
        QByteArray expected = filled(size, 'A');
        expected[3000] = 'B';
        expected[3001] = 'C';
        QCOMPARE(pq_hostile::read_all(rescue), expected);
        QVERIFY(!hex.has_edits());
        QVERIFY(boxes.isEmpty());
    } else {
        QVERIFY(hex.has_edits());
    }
}

void tst_filechanges::search_while_truncated_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<qint64>("truncate_to");
    QTest::newRow("text-cut-to-1-KiB") << "text" << "Z" << qint64(1024);
    QTest::newRow("text-file-emptied") << "text" << "ZZZZZZZZ" << qint64(0);
    QTest::newRow("hex-cut-to-1-KiB") << "hex" << "5a5b" << qint64(1024);
    QTest::newRow("regex-cut-to-1-KiB") << "regex" << "Z+" << qint64(1024);
    // Read on until the new end, then stopped there.
    QTest::newRow("regex-cut-ahead-of-the-search") << "regex" << "Z+" << qint64(8 << 20);
    // A lookbehind is matched through the iterator, byte by byte.
    QTest::newRow("regex-lookbehind-cut-to-1-KiB") << "regex" << "(?<=Y)Z" << qint64(1024);
    // Find All: the same walk, every hit to the end.
    QTest::newRow("find-all-text-cut-to-1-KiB") << "all-text" << "Z" << qint64(1024);
    QTest::newRow("find-all-text-file-emptied") << "all-text" << "ZZZZZZZZ" << qint64(0);
    QTest::newRow("find-all-regex-cut-to-1-KiB") << "all-regex" << "Z+" << qint64(1024);
    QTest::newRow("find-all-regex-cut-ahead") << "all-regex" << "Z+" << qint64(8 << 20);
    QTest::newRow("find-all-lookbehind-cut-to-1-KiB") << "all-regex" << "(?<=Y)Z" << qint64(1024);
}

void tst_filechanges::search_while_truncated()
{
    QFETCH(QString, mode);
    QFETCH(QString, pattern);
    QFETCH(qint64, truncate_to);
    // Sparse: cheap to make, and far too long to walk byte by byte.
    const qint64 size = qint64(256) << 20;
    const QString path = make(QByteArray());
    if (!QFile::resize(path, size))
        QSKIP("the temporary folder cannot hold a sparse 256 MiB file");
    EditedFile file;
    QVERIFY(file.open(path));
    HexDocument &doc = *file.document();
    SearchEngine engine;
    engine.reset(&doc);
    FindAllTool find_all(&file);

    // Cut the file down once the walk is some way in, the way another
    // program writing the file would, and note how far it reads after that.
    qint64 cut_at = -1;
    qint64 furthest_after_cut = -1;
    QMetaObject::Connection c = connect(file_anchor::instance(), &file_anchor::iterator_changed, this,
                                        [&](int value) {
                                            const qint64 at = qint64(value) * (size / 10000);
                                            if (cut_at >= 0)
                                                furthest_after_cut = std::max(furthest_after_cut, at);
                                            else if (value > 0 && QFile::resize(path, truncate_to))
                                                cut_at = at;
                                        });
    QString bytes = pattern;
    if (mode == QLatin1String("hex"))
        QVERIFY(SearchEngine::hex_to_bytes(pattern, bytes));
    QElapsedTimer clock;
    clock.start();
    const SearchEngine::Outcome outcome =
        mode == QLatin1String("regex")       ? engine.search_regex(pattern)
        : mode.startsWith(QLatin1String("all-")) ? find_all.run(pattern, mode == "all-regex", pattern)
                                             : engine.search_simple(bytes);
    const qint64 elapsed = clock.elapsed();
    disconnect(c);
    QVERIFY(cut_at > 0);
    QCOMPARE(outcome, SearchEngine::Outcome::FileChanged);
    QCOMPARE(find_all.message(outcome), QString("The file changed during the search"));
    // Stopped within one block of where the file ends now, or of where it
    // was cut; walking the rest of the range would take minutes.
    QVERIFY2(furthest_after_cut <= std::max(cut_at, truncate_to) + default_search_block,
             qPrintable(QStringLiteral("read on to %1 after the cut at %2").arg(furthest_after_cut).arg(cut_at)));
    QVERIFY2(elapsed < 5000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));

    // The document reads the file as it is now, and a new search covers it.
    QCOMPARE(doc.size(), truncate_to);
    engine.reset(&doc);
    QCOMPARE(engine.range_end(), truncate_to);
    QCOMPARE(engine.search_regex(QStringLiteral("Z")), SearchEngine::Outcome::NoMatch);
}

void tst_filechanges::mask_fill_while_truncated()
{
    const qint64 size = 1 << 20;
    const QString path = make(filled(int(size), 'M'));
    MarkupModel model;
    MarkupTree tree(&model);
    MarkupMask mask(&tree);
    for (qint64 at = 0; at < size; at += 64)
        QVERIFY(tree.insert_range(at, at + 31));
    HexWidget hex;
    hex.set_markup_mask(&mask);
    hex.resize(hex.width(), 12 * hex.line_height());
    hex.show();
    hex.open_file(path);

    hex.set_selection(size - 100, size - 100);
    mask.markup_at(size - 100);
    QVERIFY(mask.is_filling() || mask.markup_at(size - 100));
    QVERIFY(QFile::resize(path, 10));
    QVERIFY(!hex.grab().isNull());
    // The markups are still there; the bytes past the end are not shown.
    QTRY_VERIFY_WITH_TIMEOUT(mask.markup_at(size - 100) != nullptr, 10000);
    QCOMPARE(mask.markup_at(size - 100)->start(), size - 128);
    QCOMPARE(view_bytes(hex, size - 100, 16), QString());
    QCOMPARE(view_bytes(hex, 0, 10), QString::fromLatin1(QByteArray(10, 'M').toHex()));
    QVERIFY(!hex.grab().isNull());
}

QTEST_MAIN(tst_filechanges)
#include "tst_filechanges.moc"
