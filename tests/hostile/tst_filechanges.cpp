// The data file changed by someone else while it is open, while a search
// walks it and while the colour mask fills: no crash, no byte shown or found
// that the file does not hold, and edits kept when they cannot be saved.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/fileanchor.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markuptree.h"
#include "search/searchengine.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

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
    FileAnchor::instance()->clear();
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
    QTest::addColumn<bool>("regex");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("size");
    QTest::addColumn<qint64>("truncate_to");
    QTest::newRow("zeros-past-the-new-end") << false << QString(8, QChar(0)) << (2 << 20) << qint64(1 << 20);
    QTest::newRow("zeros-file-emptied") << false << QString(8, QChar(0)) << (2 << 20) << qint64(0);
    QTest::newRow("byte-absent-from-file") << false << QStringLiteral("Z") << (2 << 20) << qint64(1 << 20);
    // A regular expression reads the rest of its range through the iterator,
    // which yields zeros past the end: kept short, the hit is what matters.
    QTest::newRow("regex-zeros-past-the-new-end") << true << QStringLiteral("\\x00{8}") << (1 << 20) << qint64(1 << 17);
    QTest::newRow("regex-absent") << true << QStringLiteral("Z+") << (1 << 20) << qint64(1 << 17);
}

void tst_filechanges::search_while_truncated()
{
    QFETCH(bool, regex);
    QFETCH(QString, pattern);
    QFETCH(int, size);
    QFETCH(qint64, truncate_to);
    const QString path = make(filled(size, '\x11'));
    HexDocument doc;
    doc.open(path);
    SearchEngine engine;
    engine.reset(&doc);

    // Cut the file down as soon as the walk reports progress, the way
    // another program writing the file would.
    bool cut = false;
    QMetaObject::Connection c = connect(FileAnchor::instance(), &FileAnchor::iterator_changed, this,
                                        [&](int) {
                                            if (!cut)
                                                cut = QFile::resize(path, truncate_to);
                                        });
    const SearchEngine::Outcome outcome =
        regex ? engine.search_regex(pattern) : engine.search_simple(pattern);
    disconnect(c);
    QVERIFY(cut);
    QCOMPARE(QFileInfo(path).size(), truncate_to);

    // Whatever it says, a hit must be bytes the file holds now.
    if (outcome == SearchEngine::Outcome::Hit) {
        QVERIFY2(engine.hit_end() <= truncate_to,
                 qPrintable(QStringLiteral("hit %1..%2 past the end %3")
                                .arg(engine.hit_first()).arg(engine.hit_end()).arg(truncate_to)));
    } else {
        QVERIFY(outcome == SearchEngine::Outcome::NoMatch
                || outcome == SearchEngine::Outcome::RuntimeError);
    }
    // A fresh search over the file as it is now finds nothing either.
    engine.reset(&doc);
    QVERIFY(engine.search_simple(pattern.left(1)) != SearchEngine::Outcome::Hit || !regex);
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
