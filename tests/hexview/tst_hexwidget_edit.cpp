#include "hexviewfixture.h"
#include "testsettings.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Byte editing with real key events, and what save_edits leaves on disk.
class TestHexWidgetEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void two_digits_write_byte_and_advance();
    void nibble_then_arrow_keeps_low_nibble();
    void hex_letters_data();
    void hex_letters();
    void non_hex_key_ignored();
    void repeated_edit_overwrites();
    void nibble_survives_click();
    void char_column_keys_data();
    void char_column_keys();
    void char_without_latin1_ignored();
    void edit_keys_without_cursor_byte_do_nothing_data();
    void edit_keys_without_cursor_byte_do_nothing();
    void edit_keys_need_edit_mode();
    void edits_survive_leaving_edit_mode();
    void open_file_discards_edits();
    void copy_and_jumps_read_unsaved_edits();

    void save_in_place_data();
    void save_in_place();
    void save_in_place_shows_saved_bytes();
    void save_to_new_name_copies();
    void save_overwrite_yes_replaces_target();
    void save_overwrite_no_writes_nothing();
    void save_read_only_file_keeps_edits();
    void save_vanished_file_keeps_edits();
    void save_shrunk_file_keeps_length();
    void save_copy_into_missing_folder_fails_cleanly();
    void save_without_file_fails();

private:
    // A fixture in edit mode over `bytes`, cursor on byte `cursor`.
    void open_for_edit(HexViewFixture &f, const QByteArray &bytes, qint64 cursor, QString *path = nullptr)
    {
        const QString name = pq_test::make_temp_file(0, bytes);
        if (path)
            *path = name;
        f.hex->open_file(name);
        f.hex->edit_triggered();
        if (cursor >= 0)
            f.hex->set_selection(cursor, cursor);
    }
};

void TestHexWidgetEdit::initTestCase()
{
    pq_test::isolate_settings();
}

void TestHexWidgetEdit::two_digits_write_byte_and_advance()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x7e\x10\x20", 3), 0);
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QTest::keyClick(f.hex.get(), Qt::Key_4);
    QCOMPARE(f.hex->edited_value(0), 0x4e);
    QCOMPARE(f.hex->selection_start(), qint64(0));
    QCOMPARE(changed.count(), 1);
    QTest::keyClick(f.hex.get(), Qt::Key_1);
    QCOMPARE(f.hex->edited_value(0), 0x41);
    QCOMPARE(f.hex->selection_start(), qint64(1));
    QCOMPARE(f.hex->selection_end(), qint64(1));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(f.hex->edited_value(1), -1);
}

void TestHexWidgetEdit::nibble_then_arrow_keeps_low_nibble()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x7e\x10\x20", 3), 0);
    QTest::keyClick(f.hex.get(), Qt::Key_C);
    QTest::keyClick(f.hex.get(), Qt::Key_Right);
    QCOMPARE(f.hex->edited_value(0), 0xce);
    QCOMPARE(f.hex->selection_start(), qint64(1));
    // The arrow dropped the pending nibble: the next digit starts a new byte.
    QTest::keyClick(f.hex.get(), Qt::Key_9);
    QCOMPARE(f.hex->edited_value(1), 0x90);
    QCOMPARE(f.hex->selection_start(), qint64(1));
}

void TestHexWidgetEdit::hex_letters_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("expected");
    QTest::newRow("lowercase-a-f") << QStringLiteral("af") << 0xaf;
    QTest::newRow("uppercase-A-F") << QStringLiteral("AF") << 0xaf;
    QTest::newRow("digits-00") << QStringLiteral("00") << 0x00;
    QTest::newRow("digits-7f") << QStringLiteral("7f") << 0x7f;
    QTest::newRow("digits-80") << QStringLiteral("80") << 0x80;
    QTest::newRow("ff") << QStringLiteral("ff") << 0xff;
}

void TestHexWidgetEdit::hex_letters()
{
    QFETCH(QString, typed);
    QFETCH(int, expected);
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 0);
    QTest::keyClicks(f.hex.get(), typed);
    QCOMPARE(f.hex->edited_value(0), expected);
    QCOMPARE(f.hex->selection_start(), qint64(1));
}

void TestHexWidgetEdit::non_hex_key_ignored()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 1);
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_G, Qt::NoModifier, QStringLiteral("g"));
    QApplication::sendEvent(f.hex.get(), &press);
    QVERIFY(!press.isAccepted());
    QCOMPARE(changed.count(), 0);
    QVERIFY(!f.hex->has_edits());
    QCOMPARE(f.hex->selection_start(), qint64(1));
}

void TestHexWidgetEdit::repeated_edit_overwrites()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 0);
    QTest::keyClicks(f.hex.get(), QStringLiteral("ab"));
    f.hex->set_selection(0, 0);
    // The second edit starts from the edited value, not the stored one.
    QTest::keyClick(f.hex.get(), Qt::Key_5);
    QCOMPARE(f.hex->edited_value(0), 0x5b);
    QTest::keyClick(f.hex.get(), Qt::Key_Left);
    // Typing the stored value back still counts as an edit.
    QTest::keyClicks(f.hex.get(), QStringLiteral("12"));
    QCOMPARE(f.hex->edited_value(0), 0x12);
    QVERIFY(f.hex->has_edits());
}

void TestHexWidgetEdit::nibble_survives_click()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34\x56\x78", 4), 0);
    QTest::keyClick(f.hex.get(), Qt::Key_9);
    QTest::mouseClick(f.hex.get(), Qt::LeftButton, Qt::NoModifier, f.hex_point(2));
    // The digit after the click completes a byte: it replaces the low nibble.
    QTest::keyClick(f.hex.get(), Qt::Key_A);
    QCOMPARE(f.hex->edited_value(0), 0x92);
    QCOMPARE(f.hex->edited_value(2), 0x5a);
    QCOMPARE(f.hex->selection_start(), qint64(3));
}

void TestHexWidgetEdit::char_column_keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("letter") << int(Qt::Key_Q) << QStringLiteral("q") << int('q');
    QTest::newRow("enter-writes-0d") << int(Qt::Key_Return) << QStringLiteral("\r") << 0x0d;
    QTest::newRow("backspace-writes-08") << int(Qt::Key_Backspace) << QStringLiteral("\b") << 0x08;
    QTest::newRow("latin1-e-acute") << int(Qt::Key_Eacute) << QStringLiteral("\u00e9") << 0xe9;
    QTest::newRow("digit-is-a-character") << int(Qt::Key_4) << QStringLiteral("4") << int('4');
}

void TestHexWidgetEdit::char_column_keys()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(int, expected);
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 0);
    QTest::keyClick(f.hex.get(), Qt::Key_Tab);
    QVERIFY(!f.hex->hex_column_active());
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(f.hex.get(), &press);
    QVERIFY(press.isAccepted());
    QCOMPARE(f.hex->edited_value(0), expected);
    QCOMPARE(f.hex->selection_start(), qint64(1));
    QCOMPARE(changed.count(), 1);
}

void TestHexWidgetEdit::char_without_latin1_ignored()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 0);
    QTest::keyClick(f.hex.get(), Qt::Key_Tab);
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u20ac"));
    QApplication::sendEvent(f.hex.get(), &press);
    QKeyEvent silent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, QString());
    QApplication::sendEvent(f.hex.get(), &silent);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!f.hex->has_edits());
    QCOMPARE(f.hex->selection_start(), qint64(0));
}

void TestHexWidgetEdit::edit_keys_without_cursor_byte_do_nothing_data()
{
    QTest::addColumn<qint64>("cursor");
    QTest::addColumn<bool>("hex_column");
    QTest::newRow("no-selection-hex") << qint64(-1) << true;
    QTest::newRow("no-selection-chars") << qint64(-1) << false;
    QTest::newRow("cursor-at-size-hex") << qint64(4) << true;
    QTest::newRow("cursor-far-past-end-chars") << qint64(100) << false;
}

void TestHexWidgetEdit::edit_keys_without_cursor_byte_do_nothing()
{
    QFETCH(qint64, cursor);
    QFETCH(bool, hex_column);
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34\x56\x78", 4), cursor);
    if (!hex_column)
        QTest::keyClick(f.hex.get(), Qt::Key_Tab);
    QSignalSpy changed(f.hex.get(), &HexWidget::content_changed);
    QTest::keyClicks(f.hex.get(), QStringLiteral("ab"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!f.hex->has_edits());
    QCOMPARE(f.hex->selection_start(), cursor);
}

void TestHexWidgetEdit::edit_keys_need_edit_mode()
{
    HexViewFixture f;
    f.hex->open_file(pq_test::make_temp_file(0, QByteArray("\x12\x34", 2)));
    f.hex->set_selection(0, 0);
    QTest::keyClicks(f.hex.get(), QStringLiteral("ab"));
    QVERIFY(!f.hex->has_edits());
}

void TestHexWidgetEdit::edits_survive_leaving_edit_mode()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("\x12\x34", 2), 1);
    QTest::keyClicks(f.hex.get(), QStringLiteral("ee"));
    f.hex->edit_triggered();
    QVERIFY(!f.hex->edit_mode());
    QCOMPARE(f.hex->edited_value(1), 0xee);
}

void TestHexWidgetEdit::open_file_discards_edits()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray("\x12\x34", 2), 0);
    QTest::keyClick(f.hex.get(), Qt::Key_7);   // a pending nibble as well
    f.hex->open_file(pq_test::make_temp_file(0, QByteArray("\xaa\xbb", 2)));
    QVERIFY(!f.hex->has_edits());
    f.hex->edit_triggered(); // another file starts outside edit mode
    f.hex->set_selection(1, 1);
    QTest::keyClick(f.hex.get(), Qt::Key_3);
    // Starts a new byte: no nibble was left over from the other file.
    QCOMPARE(f.hex->edited_value(1), 0x3b);
}

void TestHexWidgetEdit::save_in_place_data()
{
    QTest::addColumn<bool>("use_own_name");
    QTest::newRow("empty-name") << false;
    QTest::newRow("own-name") << true;
}

void TestHexWidgetEdit::save_in_place()
{
    QFETCH(bool, use_own_name);
    HexViewFixture f;
    QString path;
    const QByteArray before = pattern_bytes(300);
    open_for_edit(f, before, 0x10, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("0a0b"));
    f.hex->set_selection(0x12b, 0x12b);   // the last byte
    QTest::keyClicks(f.hex.get(), QStringLiteral("ff"));
    QVERIFY(f.hex->save_edits(use_own_name ? path : QString()));
    QVERIFY2(f.boxes.isEmpty(), "saving under the file's own name asks nothing");
    QByteArray expected = before;
    expected[0x10] = '\x0a';
    expected[0x11] = '\x0b';
    expected[0x12b] = '\xff';
    QCOMPARE(read_whole_file(path), expected);
    QVERIFY(!f.hex->has_edits());
}

// Copy and the endian jumps take the bytes the view shows: typed over
// zeros, the copy holds the typed values and the jumps go where they point.
void TestHexWidgetEdit::copy_and_jumps_read_unsaved_edits()
{
    HexViewFixture f;
    open_for_edit(f, QByteArray(0x5000, '\0'), 0);
    QTest::keyClicks(f.hex.get(), QStringLiteral("4102"));
    QVERIFY(!f.hex->edits().isEmpty());
    f.hex->set_selection(0, 2);
    QCOMPARE(f.hex->selection_text(), QStringLiteral("410200"));
    f.hex->set_selection(0, 1);
    f.hex->little_endian_jump();
    QCOMPARE(f.hex->selection_start(), qint64(0x0241));
    f.hex->set_selection(0, 1);
    f.hex->big_endian_jump();
    QCOMPARE(f.hex->selection_start(), qint64(0x4102));
}

void TestHexWidgetEdit::save_in_place_shows_saved_bytes()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray(100, '\x11'), 5, &path);
    f.hex->selection_text();   // loads the document's window with the old bytes
    QTest::keyClicks(f.hex.get(), QStringLiteral("c3"));
    QVERIFY(f.hex->save_edits(QString()));
    f.hex->set_selection(4, 6);
    QCOMPARE(f.hex->selection_text(), QStringLiteral("11c311"));
    // A relative spelling of the same file is still the file itself.
    f.hex->set_selection(7, 7);
    QTest::keyClicks(f.hex.get(), QStringLiteral("d4"));
    const QString relative = QDir::current().relativeFilePath(path);
    QVERIFY(f.hex->save_edits(relative));
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(read_whole_file(path).mid(4, 4), QByteArray("\x11\xc3\x11\xd4", 4));
}

void TestHexWidgetEdit::save_to_new_name_copies()
{
    HexViewFixture f;
    QString path;
    const QByteArray before = pattern_bytes(200000);   // several copy chunks' worth
    open_for_edit(f, before, 150000, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("copy.bin"));
    QVERIFY(f.hex->save_edits(target));
    QVERIFY(f.boxes.isEmpty());
    QByteArray expected = before;
    expected[150000] = '\x5a';
    QCOMPARE(read_whole_file(target), expected);
    QCOMPARE(read_whole_file(path), before);
    QVERIFY(!f.hex->has_edits());
    // The view goes on showing the open file.
    f.hex->set_selection(150000, 150000);
    QCOMPARE(f.hex->selection_text(), QString::fromLatin1(before.mid(150000, 1).toHex()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("copy.bin")});
}

void TestHexWidgetEdit::save_overwrite_yes_replaces_target()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("abcdef"), 2, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    const QString target = pq_test::make_temp_file(0, QByteArray("a much longer existing file"));
    f.answer = QMessageBox::Yes;
    QVERIFY(f.hex->save_edits(target));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].icon, QMessageBox::Question);
    QCOMPARE(f.boxes[0].title, QStringLiteral("File Exists"));
    QCOMPARE(f.boxes[0].text, QStringLiteral("<font size =4>File Exists, Overwrite?</font>"));
    QCOMPARE(read_whole_file(target), QByteArray("abZdef"));
    QCOMPARE(read_whole_file(path), QByteArray("abcdef"));
}

void TestHexWidgetEdit::save_overwrite_no_writes_nothing()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("abcdef"), 2, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    const QString target = pq_test::make_temp_file(0, QByteArray("existing"));
    f.answer = QMessageBox::No;
    QVERIFY(!f.hex->save_edits(target));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(read_whole_file(target), QByteArray("existing"));
    QCOMPARE(read_whole_file(path), QByteArray("abcdef"));
    QCOMPARE(f.hex->edited_value(2), 0x5a);
}

namespace {

// Makes a file unwritable even for root (the immutable attribute) while it
// lives, where the file system allows it.
struct ImmutableFile
{
    explicit ImmutableFile(const QString &path) : path(path) { set(true); }
    ~ImmutableFile()
    {
        if (ok)
            set(false);
    }
    bool set(bool on)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        if (on)
            ok = done;
        return done;
    }
    QString path;
    bool ok = false;
};

} // namespace

void TestHexWidgetEdit::save_read_only_file_keeps_edits()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("abcdef"), 1, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser));
    std::unique_ptr<ImmutableFile> immutable;
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0) {
        // Permissions do not stop root; the immutable attribute does.
        immutable.reset(new ImmutableFile(path));
        if (!immutable->ok)
            QSKIP("this user may write read-only files and the file system has no immutable flag");
    }
    QVERIFY(!f.hex->save_edits(QString()));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(f.boxes[0].title, QStringLiteral("File Write Error"));
    QCOMPARE(f.hex->edited_value(1), 0x5a);
    QCOMPARE(read_whole_file(path), QByteArray("abcdef"));
    // Once the file can be written again, the kept edits save.
    immutable.reset();
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(f.hex->save_edits(QString()));
    QCOMPARE(read_whole_file(path), QByteArray("aZcdef"));
}

void TestHexWidgetEdit::save_vanished_file_keeps_edits()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("abcdef"), 1, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    // The file is replaced by a folder of the same name: it cannot be opened for writing.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir().mkdir(path));
    QVERIFY(!f.hex->save_edits(QString()));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].title, QStringLiteral("File Write Error"));
    QVERIFY(f.boxes[0].text.startsWith(QStringLiteral("<font size =4>")));
    QVERIFY(f.boxes[0].text.endsWith(QStringLiteral("</font>")));
    QCOMPARE(f.hex->edited_value(1), 0x5a);
    QVERIFY(QDir().rmdir(path));
}

void TestHexWidgetEdit::save_shrunk_file_keeps_length()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, pattern_bytes(64), 2, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("aa"));
    f.hex->set_selection(50, 50);
    QTest::keyClicks(f.hex.get(), QStringLiteral("bb"));
    {
        QFile file(path);
        QVERIFY(file.resize(20));   // another program cut the file
    }
    QVERIFY(!f.hex->save_edits(QString()));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].text, QStringLiteral("<font size =4>Error seeking.</font>"));
    // Nothing written: the file neither grew nor took the edit inside it.
    QCOMPARE(read_whole_file(path), pattern_bytes(20));
    QCOMPARE(f.hex->edited_value(2), 0xaa);
    QCOMPARE(f.hex->edited_value(50), 0xbb);
}

void TestHexWidgetEdit::save_copy_into_missing_folder_fails_cleanly()
{
    HexViewFixture f;
    QString path;
    open_for_edit(f, QByteArray("abcdef"), 1, &path);
    QTest::keyClicks(f.hex.get(), QStringLiteral("5a"));
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("no/such/folder/copy.bin"));
    QVERIFY(!f.hex->save_edits(target));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].title, QStringLiteral("File Write Error"));
    QCOMPARE(f.boxes[0].text, QStringLiteral("<font size =4>Error creating save file.</font>"));
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(f.hex->edited_value(1), 0x5a);
}

void TestHexWidgetEdit::save_without_file_fails()
{
    HexViewFixture f;
    QVERIFY(!f.hex->save_edits(QString()));
    QTemporaryDir dir;
    QVERIFY(!f.hex->save_edits(dir.filePath(QStringLiteral("x.bin"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x.bin"))));
}

QTEST_MAIN(TestHexWidgetEdit)
#include "tst_hexwidget_edit.moc"
