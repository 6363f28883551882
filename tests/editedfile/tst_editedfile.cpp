#include "editedfile/editedfile.h"
#include "editedfile/gototool.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "settings/config.h"
#include "testsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

// The file being edited, with no window: bytes, markups, one history, saving
// and the busy guard. Links no widgets and runs under a QCoreApplication.
class TestEditedFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void type_mark_undo_redo_and_save();
    void undo_after_save_brings_the_old_byte_back();
    void each_part_is_clean_at_its_own_save();
    void busy_refuses_every_change_data();
    void busy_refuses_every_change();
    void goto_checks_the_address_data();
    void goto_checks_the_address();
    void damaged_markup_file_is_never_the_save_target_data();
    void damaged_markup_file_is_never_the_save_target();
    void mark_stays_inside_the_file_data();
    void mark_stays_inside_the_file();
    void cancelled_markup_read_changes_nothing_data();
    void cancelled_markup_read_changes_nothing();

private:
    QByteArray read_all(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    const QMap<qint64, quint8> none;
};

void TestEditedFile::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(qobject_cast<QCoreApplication *>(QCoreApplication::instance()));
}

void TestEditedFile::type_mark_undo_redo_and_save()
{
    const QString data = pq_test::make_temp_file(0, QByteArray("\x00\x11\x22\x33", 4));
    QTemporaryDir dir;
    const QString markup_path = dir.filePath(QStringLiteral("m.xml"));
    EditedFile file;
    QSignalSpy bytes(&file, &EditedFile::bytes_changed);
    QSignalSpy markups(&file, &EditedFile::markups_changed);
    QSignalSpy modified(&file, &EditedFile::modification_changed);
    QVERIFY(file.open(data));
    QCOMPARE(file.size(), qint64(4));
    file.history()->mark_saved(EditHistory::bytes);
    bytes.clear();

    QVERIFY(file.type_byte(1, 0xab, {1, 1, -1}, {2, 2, -1}));
    QCOMPARE(bytes.count(), 1);
    QCOMPARE(bytes.at(0).at(0).toLongLong(), 1);
    QCOMPARE(bytes.at(0).at(1).toLongLong(), 1);
    QCOMPARE(file.read(0, 4), QByteArray("\x00\xab\x22\x33", 4));
    const MarkupValueType int16_be(ValueDecoder::Type::int16, false);
    QVERIFY(file.mark(2, 3, QStringLiteral("tail"), int16_be));
    QVERIFY(!file.mark(1, 2)); // overlaps "tail" partly: refused, no step
    QCOMPARE(file.markup_model()->root()->child_count(), 1);
    QVERIFY(markups.count() > 0);
    QCOMPARE(modified.count(), 1);
    QVERIFY(file.is_modified(EditHistory::bytes) && file.is_modified(EditHistory::markup));

    // Undo takes the mark back first, then the byte; the byte's undo gives
    // the views the cursor as it was before the key.
    QSignalSpy cursor(&file, &EditedFile::cursor_restored);
    QVERIFY(file.undo());
    QCOMPARE(file.markup_model()->root()->child_count(), 0);
    QVERIFY(!file.is_modified(EditHistory::markup));
    QVERIFY(file.undo());
    QCOMPARE(file.byte_at(1), 0x11);
    QVERIFY(!file.has_edits());
    QVERIFY(!file.is_modified());
    QCOMPARE(modified.last().at(0).toBool(), false);
    QCOMPARE(cursor.count(), 1);
    QCOMPARE(cursor.at(0).at(0).value<ByteEditCommand::Cursor>().selection_start, qint64(1));
    QVERIFY(!file.undo());

    QVERIFY(file.redo() && file.redo());
    QCOMPARE(file.byte_at(1), 0xab);
    QCOMPARE(file.markup_model()->root()->child(0)->data(0).toString(), QStringLiteral("tail"));
    QCOMPARE(file.markup_model()->root()->child(0)->value_type(), int16_be);

    QVERIFY(file.save_bytes(QString()));
    QVERIFY(file.save_markup(markup_path));
    QVERIFY(!file.is_modified());
    QCOMPARE(read_all(data), QByteArray("\x00\xab\x22\x33", 4));
    QCOMPARE(file.markup_file(), markup_path);

    EditedFile again;
    QVERIFY(again.open(data));
    QCOMPARE(again.read_markup(markup_path), EditedFile::MarkupRead::loaded);
    const MarkupNode *node = again.markup_model()->root()->child(0);
    QVERIFY(node);
    QCOMPARE(node->start(), qint64(2));
    QCOMPARE(node->end(), qint64(3));
    QCOMPARE(node->value_type(), int16_be);
}

void TestEditedFile::undo_after_save_brings_the_old_byte_back()
{
    const QString data = pq_test::make_temp_file(0, QByteArray("\x10\x20", 2));
    EditedFile file;
    QVERIFY(file.open(data));
    QVERIFY(file.type_byte(0, 0x99, {}, {}));
    QVERIFY(file.save_bytes(QString()));
    QVERIFY(!file.is_modified(EditHistory::bytes));
    QCOMPARE(read_all(data), QByteArray("\x99\x20", 2));

    // The file holds the new value now: the old one comes back as an edit.
    QVERIFY(file.undo());
    QCOMPARE(file.edited_value(0), 0x10);
    QVERIFY(file.is_modified(EditHistory::bytes));
    QVERIFY(file.redo());
    QCOMPARE(file.byte_at(0), 0x99);
    QVERIFY(!file.is_modified(EditHistory::bytes));

    // A copy leaves the open file and the history as they were.
    QTemporaryDir dir;
    QVERIFY(file.type_byte(1, 0x77, {}, {}));
    QVERIFY(file.save_bytes(dir.filePath(QStringLiteral("copy"))));
    QCOMPARE(read_all(dir.filePath(QStringLiteral("copy"))), QByteArray("\x99\x77", 2));
    QCOMPARE(read_all(data), QByteArray("\x99\x20", 2));
}

void TestEditedFile::each_part_is_clean_at_its_own_save()
{
    const QString data = pq_test::make_temp_file(64);
    QTemporaryDir dir;
    EditedFile file;
    QVERIFY(file.open(data));
    QVERIFY(file.mark(0, 3));
    QVERIFY(file.save_markup(dir.filePath(QStringLiteral("a.xml"))));
    QVERIFY(file.type_byte(8, 1, {}, {}));

    QVERIFY(file.undo()); // the byte: the markups stay saved
    QVERIFY(!file.is_modified(EditHistory::markup));
    QVERIFY(!file.is_modified(EditHistory::bytes));
    QVERIFY(file.undo()); // the mark: before the markup save
    QVERIFY(file.is_modified(EditHistory::markup));
    // A new step drops the redo tail that held the saved state: modified
    // until saved again, whatever is undone.
    QVERIFY(file.mark(4, 5));
    QVERIFY(file.undo());
    QVERIFY(file.is_modified(EditHistory::markup));
    QVERIFY(!file.is_modified(EditHistory::bytes));

    // The step limit drops the oldest steps: a save among those kept stays
    // reachable, one before them does not.
    file.history()->mark_saved(EditHistory::markup);
    for (int i = 0; i < EditHistory::step_limit; ++i)
        QVERIFY(file.type_byte(i % 64, quint8(i), {}, {}));
    QVERIFY(file.save_bytes(QString()));
    QVERIFY(file.type_byte(0, 0xee, {}, {}));
    QCOMPARE(file.history()->count(), EditHistory::step_limit);
    QVERIFY(file.undo());
    QVERIFY(!file.is_modified(EditHistory::bytes));
    while (file.undo()) {
    }
    QVERIFY(file.is_modified(EditHistory::markup));
}

using Change = std::function<bool(EditedFile &, const QString &dir)>;
Q_DECLARE_METATYPE(Change)

void TestEditedFile::busy_refuses_every_change_data()
{
    QTest::addColumn<Change>("change");
    QTest::newRow("type") << Change([](EditedFile &f, const QString &) {
        return f.type_byte(0, 0xff, {}, {});
    });
    QTest::newRow("mark") << Change([](EditedFile &f, const QString &) { return f.mark(4, 6); });
    QTest::newRow("undo") << Change([](EditedFile &f, const QString &) { return f.undo(); });
    QTest::newRow("redo") << Change([](EditedFile &f, const QString &) { return f.redo(); });
    QTest::newRow("save-bytes") << Change([](EditedFile &f, const QString &) {
        return f.save_bytes(QString());
    });
    QTest::newRow("save-markup") << Change([](EditedFile &f, const QString &dir) {
        return f.save_markup(dir + QStringLiteral("/m.xml"));
    });
    QTest::newRow("read-markup") << Change([](EditedFile &f, const QString &dir) {
        return f.read_markup(dir + QStringLiteral("/m.xml")) != EditedFile::MarkupRead::refused;
    });
    QTest::newRow("open") << Change([](EditedFile &f, const QString &) {
        return f.open(pq_test::make_temp_file(3));
    });
}

void TestEditedFile::busy_refuses_every_change()
{
    QFETCH(Change, change);
    const QString data = pq_test::make_temp_file(16);
    QTemporaryDir dir;
    EditedFile file;
    QVERIFY(file.open(data));
    QVERIFY(file.mark(0, 1));
    QVERIFY(file.type_byte(2, 0x42, {}, {}));
    QVERIFY(file.undo()); // something to redo
    QVERIFY(file.save_markup(dir.filePath(QStringLiteral("m.xml"))));
    const QByteArray stored = read_all(data);
    const int steps = file.history()->index();

    file.set_busy(true);
    QSignalSpy told(&file, &EditedFile::status_message);
    QVERIFY(!change(file, dir.path()));
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.at(0).at(0).toString(), QStringLiteral("A search is running: cancel it first."));
    QCOMPARE(file.history()->index(), steps);
    QCOMPARE(file.path(), QFileInfo(data).absoluteFilePath());
    QCOMPARE(file.size(), qint64(16));
    QCOMPARE(file.markup_model()->root()->child_count(), 1);
    QCOMPARE(read_all(data), stored);

    file.set_busy(false);
    QVERIFY(file.redo());
    QCOMPARE(file.byte_at(2), 0x42);
}

void TestEditedFile::goto_checks_the_address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("size"); // -1: no file open
    QTest::addColumn<qint64>("target");
    QTest::addColumn<QString>("why");
    const QString not_hex("Enter a Hexadecimal Number");
    QTest::newRow("first-byte") << "0" << qint64(16) << qint64(0) << QString();
    QTest::newRow("last-byte-upper-case") << " F " << qint64(16) << qint64(15) << QString();
    QTest::newRow("size-exactly") << "10" << qint64(16) << qint64(-1)
                                  << "Address 0x10 is past the end of the file (last address 0xf)";
    QTest::newRow("empty-file") << "0" << qint64(0) << qint64(-1)
                                << "Address 0x0 is past the end of the file (the file is empty)";
    QTest::newRow("negative") << "-10" << qint64(16) << qint64(-1)
                              << "Addresses start at 0: -0x10 is negative";
    QTest::newRow("beyond-any-offset") << "8000000000000000" << qint64(16) << qint64(-1) << not_hex;
    QTest::newRow("inner-space") << "1 2" << qint64(16) << qint64(-1) << not_hex;
    QTest::newRow("no-file") << "0" << qint64(-1) << qint64(-1) << "No file is open";
}

void TestEditedFile::goto_checks_the_address()
{
    QFETCH(QString, text);
    QFETCH(qint64, size);
    QFETCH(qint64, target);
    QFETCH(QString, why);
    EditedFile file;
    if (size >= 0)
        QVERIFY(file.open(pq_test::make_temp_file(size)));
    GotoTool tool(&file);
    QSignalSpy jumps(&tool, &GotoTool::jump);
    QSignalSpy refusals(&tool, &GotoTool::refused);
    QCOMPARE(tool.go(text), target >= 0);
    QCOMPARE(jumps.count(), target >= 0 ? 1 : 0);
    QCOMPARE(refusals.count(), target >= 0 ? 0 : 1);
    if (target >= 0)
        QCOMPARE(jumps.at(0).at(0).toLongLong(), target);
    else
        QCOMPARE(refusals.at(0).at(0).toString(), why);
}

void TestEditedFile::damaged_markup_file_is_never_the_save_target_data()
{
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("detail");
    QByteArray thousand = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
    for (int i = 0; i < 1000; ++i)
        thousand += i == 2 ? QByteArray("  <node start=\"20\" end=>\n")
                           : " <node start=\"" + QByteArray::number(i * 10) + "\" end=\""
                                 + QByteArray::number(i * 10) + "\"/>\n";
    thousand += "</pellowquarnbybook>\n";
    // Line 5 holds the third node; the reader stops at its '>', column 24.
    const QString stopped = QStringLiteral("Read 2 markups, stopped at line "
                                           "5, column 24: Expected ''' or '\"', but got '>'.");
    QTest::newRow("1000-markups-third-damaged") << thousand << "read" << 2 << stopped;
    QTest::newRow("linked-file") << thousand << "linked" << 2 << stopped;
    // The file loaded before lost its markups to the load: not a target either.
    QTest::newRow("after-a-good-file") << thousand << "after-good" << 2 << stopped;
    QTest::newRow("unknown-element-after-one")
        << QByteArray("<pellowquarnbybook>\n<node start=\"1\" end=\"2\"/><markup/>\n") << "read" << 1
        << "Read 1 markup, stopped at line 2, column 34: unknown element markup";
}

// A load that stops part way leaves the tree with what was read; saving that
// over the file would lose the rest, so no file is the markup file afterwards
// (a save must ask for a name) and the data file's link is not moved.
void TestEditedFile::damaged_markup_file_is_never_the_save_target()
{
    QFETCH(QByteArray, damaged);
    QFETCH(QString, how);
    QFETCH(int, kept);
    QFETCH(QString, detail);
    QTemporaryDir dir;
    const QString data = pq_test::make_temp_file(10000);
    const QString damaged_path = pq_test::make_temp_file(0, damaged);
    const QString good_path = dir.filePath(QStringLiteral("good.xml"));
    Config::instance()->setValue(QStringLiteral("Link Markup"), QStringLiteral("yes"));
    Config::instance()->setValue(QStringLiteral("filename"), data);
    const QString link = EditedFile::link_key(data);
    Config::instance()->setValue(link, data + QLatin1Char('|') + damaged_path);

    EditedFile file;
    QVERIFY(file.open(data));
    if (how == QLatin1String("after-good")) {
        QVERIFY(file.mark(1, 2));
        QVERIFY(file.save_markup(good_path));
        QCOMPARE(file.markup_file(), good_path);
    }
    const QByteArray good = read_all(good_path);
    const QString linked = Config::instance()->value(link).toString();
    QSignalSpy told(&file, &EditedFile::status_message);
    const EditedFile::MarkupRead result = how == QLatin1String("linked")
                                              ? file.load_linked_markup(data)
                                              : file.read_markup(damaged_path);
    QCOMPARE(result, EditedFile::MarkupRead::failed);
    QCOMPARE(file.markup_model()->root()->child_count(), kept);
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.at(0).at(0).toString(), QStringLiteral("Markup load failed"));
    QCOMPARE(told.at(0).at(1).toString(), detail);
    QCOMPARE(file.markup_file(), QString());
    QCOMPARE(Config::instance()->value(link).toString(), linked);

    // A mark and a save to the markup file, as Save Markup would: nothing
    // is written, neither file changes.
    QVERIFY(file.mark(9000, 9001));
    QVERIFY(!file.save_markup(file.markup_file()));
    QCOMPARE(read_all(damaged_path), damaged);
    QCOMPARE(read_all(good_path), good);
    Config::instance()->remove(link);
}

void TestEditedFile::mark_stays_inside_the_file_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<qint64>("shrink_to");
    QTest::addColumn<bool>("marked");
    QTest::newRow("inside") << qint64(2) << qint64(5) << qint64(-1) << true;
    QTest::newRow("touching-the-end") << qint64(12) << qint64(15) << qint64(-1) << true;
    QTest::newRow("ends-backwards-touching-the-end") << qint64(15) << qint64(12) << qint64(-1) << true;
    QTest::newRow("one-past-the-end") << qint64(12) << qint64(16) << qint64(-1) << false;
    QTest::newRow("wholly-past-the-end") << qint64(20) << qint64(30) << qint64(-1) << false;
    QTest::newRow("before-the-start") << qint64(-1) << qint64(3) << qint64(-1) << false;
    QTest::newRow("end-of-a-file-that-shrank") << qint64(12) << qint64(15) << qint64(14) << false;
    QTest::newRow("inside-a-file-that-shrank") << qint64(12) << qint64(13) << qint64(14) << true;
}

void TestEditedFile::mark_stays_inside_the_file()
{
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QFETCH(qint64, shrink_to);
    QFETCH(bool, marked);
    const QString data = pq_test::make_temp_file(0, QByteArray(16, 'x'));
    EditedFile file;
    QVERIFY(file.open(data));
    QSignalSpy told(&file, &EditedFile::status_message);
    QSignalSpy bytes(&file, &EditedFile::bytes_changed);
    if (shrink_to >= 0)
        QVERIFY(QFile::resize(data, shrink_to));
    QCOMPARE(file.mark(first, last, QStringLiteral("m")), marked);
    QCOMPARE(file.history()->count(), marked ? 1 : 0);
    QCOMPARE(told.count() == 1 && told.at(0).at(0) == EditedFile::past_end_message(), !marked);
    // A refusal for a file that shrank tells the views of the bytes it lost.
    if (shrink_to >= 0 && !marked)
        QCOMPARE(bytes.takeFirst(), QVariantList({ shrink_to, qint64(15) }));
}

void TestEditedFile::cancelled_markup_read_changes_nothing_data()
{
    QTest::addColumn<bool>("linked");
    QTest::newRow("load-markup") << false;
    QTest::newRow("linked-at-open") << true;
}

void TestEditedFile::cancelled_markup_read_changes_nothing()
{
    QFETCH(bool, linked);
    QTemporaryDir dir;
    const QString data = pq_test::make_temp_file(0, QByteArray(16, 'x'));
    const QString other = dir.filePath(QStringLiteral("other.xml"));
    Config::instance()->setValue(QStringLiteral("Link Markup"), QStringLiteral("yes"));
    Config::instance()->setValue(QStringLiteral("filename"), data);
    EditedFile file;
    QVERIFY(file.open(data));
    QVERIFY(file.mark(0, 3, QStringLiteral("other")) && file.save_markup(other)); // and linked
    QVERIFY(file.mark(4, 7, QStringLiteral("kept")) && file.mark(8, 9) && file.undo());
    file.set_markup_file(QStringLiteral("kept.xml"));
    const QString link = Config::instance()->value(EditedFile::link_key(data)).toString();
    QSignalSpy markups(&file, &EditedFile::markups_changed);

    QList<qint64> told;
    bool marked_meanwhile = true;
    const auto stop = [&](qint64 done, qint64 total) {
        told << done << total;
        // The progress dialog lets other commands run while the file is read.
        marked_meanwhile = file.mark(12, 13);
        return false;
    };
    QCOMPARE(linked ? file.load_linked_markup(data, stop) : file.read_markup(other, stop),
             EditedFile::MarkupRead::cancelled);
    QCOMPARE(told, QList<qint64>({ QFileInfo(other).size(), QFileInfo(other).size() }));
    QVERIFY(!marked_meanwhile);
    QCOMPARE(markups.count(), 0);
    QCOMPARE(file.markup_model()->root()->child_count(), 2);
    QCOMPARE(file.markup_file(), QStringLiteral("kept.xml"));
    QCOMPARE(Config::instance()->value(EditedFile::link_key(data)).toString(), link);
    // The history is untouched: a mark to redo, three to undo.
    QVERIFY(file.redo() && file.undo() && file.undo() && file.undo());
    QCOMPARE(file.markup_model()->root()->child_count(), 0);
}

QTEST_GUILESS_MAIN(TestEditedFile)
#include "tst_editedfile.moc"
