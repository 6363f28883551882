// File commands of the main window: open, the title, save, save as, the close
// prompts and copy to clipboard.

#include "settings/config.h"
#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow_script.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "panels/inspectorwidget.h"
#include "panels/searchwidget.h"
#include "testsettings.h"
#include "hostilehelpers.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray read_all(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class TestMainWindowFile : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;
    pq_test::DialogScript script;
    QTemporaryDir dir;
    QString data;
    // The window's own question box, before a script replaces it.
    decltype(MainWindow::ask_question) real_question;

    QMenu *recent_menu() const
    {
        for (QAction *menu : window->menuBar()->actions())
            if (menu->text() == "File")
                for (QAction *item : menu->menu()->actions())
                    if (item->text() == "Recent Files")
                        return item->menu();
        return nullptr;
    }

    // Chooses `name` from File > Recent Files as the menu shows it.
    bool choose_recent(const QString &name)
    {
        QMenu *menu = recent_menu();
        if (!menu)
            return false;
        emit menu->aboutToShow();
        for (QAction *item : menu->actions()) {
            if (item->text() == name) {
                item->trigger();
                return true;
            }
        }
        return false;
    }

    void drop(const QString &name)
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(name)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &dropped);
        // The drop finishes first; the file opens from the event loop.
        QCoreApplication::processEvents();
    }

    // What Cancel must leave as it was: the file shown, the markups, their
    // file, Recent Files; with `edits`, the unsaved bytes and the history too.
    QString window_state(bool edits) const
    {
        QStringList state{window->hex_widget()->document()->absolute_path(), window->windowTitle(),
                          window->markup_tree()->to_xml(), window->current_markup_file(),
                          MainWindow::recent_files().join(','), QString::number(window->isVisible())};
        const EditedFile *file = window->edited_file();
        if (edits) {
            for (auto it = file->edits().cbegin(); it != file->edits().cend(); ++it)
                state << QString("%1=%2").arg(it.key()).arg(it.value());
            state << QString("%1 %2 %3").arg(file->history()->count()).arg(file->history()->index())
                                        .arg(file->is_modified());
        }
        return state.join('\n');
    }

    // Types "4" "1" over byte `offset` in edit mode: the byte becomes 0x41.
    void edit_byte(qint64 offset)
    {
        HexWidget *hex = window->hex_widget();
        if (!hex->edit_mode())
            hex->edit_triggered();
        hex->set_selection(offset, offset);
        QTest::keyClick(hex, Qt::Key_4);
        QTest::keyClick(hex, Qt::Key_1);
        hex->edit_triggered();
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
        // Journals of these runs go to a folder of their own.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("share")));
        window = MainWindow::instance();
        real_question = window->ask_question;
        window->resize(900, 700);
        QVERIFY(dir.isValid());
    }

    void init()
    {
        data = pq_test::make_temp_file(256);
        pq_test::reset_window(window, script, data);
    }

    void load_file_sets_title_and_clears_flags()
    {
        window->editor_content_changed();
        window->set_markup_modified();
        window->load_file(data);
        QCOMPARE(window->windowTitle(), data);
        QVERIFY(!window->document_modified());
        QVERIFY(!window->markup_modified());
        QCOMPARE(window->hex_widget()->document()->absolute_path(), data);
    }

    void load_missing_file_empties_title_and_keeps_view()
    {
        window->editor_content_changed();
        window->load_file(dir.path() + "/missing.bin");
        QCOMPARE(window->windowTitle(), QString());
        QCOMPARE(window->hex_widget()->document()->absolute_path(), data);
        // Flags are left as they were.
        QVERIFY(window->document_modified());
        QVERIFY(script.events.isEmpty());
    }

    void open_sets_scroll_range_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("maximum");
        QTest::newRow("empty-file") << qint64(0) << 0;
        QTest::newRow("row-minus-one-byte") << qint64(31) << 1;
        QTest::newRow("two-full-rows") << qint64(32) << 2;
        QTest::newRow("two-rows-plus-one") << qint64(33) << 2;
    }

    void open_sets_scroll_range()
    {
        QFETCH(qint64, size);
        QFETCH(int, maximum);
        const QString name =
            size == 0 ? pq_test::make_temp_file(0, QByteArray()) : pq_test::make_temp_file(size);
        QCOMPARE(QFileInfo(name).size(), size);
        script.file_names = {name};
        window->open_action();
        QCOMPARE(window->scroll_bar()->minimum(), 0);
        QCOMPARE(window->scroll_bar()->maximum(), maximum);
        QCOMPARE(window->windowTitle(), name);
        QCOMPARE(window->statusBar()->currentMessage(), QString("File Loaded"));
        QCOMPARE(Config::instance()->value("filename").toString(), name);
        QCOMPARE(script.events, QStringList{"open:Load File"});
    }

    void open_clears_markups_and_selection()
    {
        window->hex_widget()->set_selection(10, 20);
        window->mark_action();
        QCOMPARE(window->markup_model()->rowCount(), 1);
        window->hex_widget()->set_selection(50, 60);
        script.file_names = {pq_test::make_temp_file(64)};
        window->open_action();
        // Not saved: the markup prompt was answered No.
        QCOMPARE(script.events,
                 (QStringList{"question:Markup Has Changed", "open:Load File"}));
        QCOMPARE(window->markup_model()->rowCount(), 0);
        QCOMPARE(window->hex_widget()->selection_start(), qint64(-1));
        QVERIFY(!window->markup_modified());
    }

    void open_cancelled_keeps_everything()
    {
        window->hex_widget()->set_selection(10, 20);
        window->mark_action();
        window->open_action();
        QCOMPARE(script.events, (QStringList{"question:Markup Has Changed", "open:Load File"}));
        QCOMPARE(window->markup_model()->rowCount(), 1);
        QCOMPARE(window->windowTitle(), data + " *");
        QVERIFY(window->markup_modified());
    }

    void open_asks_file_then_markup_then_name()
    {
        edit_byte(0);
        QVERIFY(window->document_modified());
        window->set_markup_modified();
        window->open_action();
        QCOMPARE(script.events, (QStringList{"question:File Has Changed",
                                             "question:Markup Has Changed", "open:Load File"}));
        QCOMPARE(script.question_texts.value(0),
                 QString("<font size =4>The file being edited has been modified. Save "
                         "changes?</font>"));
    }

    // What the journal cannot do is said on the status bar as long as it
    // lasts; a failure in a box once a session; a damaged journal with
    // where it was kept; no lock after the window closed.
    void journal_state_is_told()
    {
        const auto warning = [this] {
            const auto *field = window->statusBar()->findChild<QLabel *>("warning_field");
            return field && !field->isHidden() ? field->toolTip() : QString();
        };
        const QString prefix = "Unsaved changes are not being journaled: ";
        // A file where the folder should be: nothing can be journaled.
        const QString folder = Journal::folder();
        window->edited_file()->journal()->release();
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString other = pq_test::make_temp_file(64);
        for (const QString &name : {data, other}) {
            QVERIFY(window->open_named_file(name));
            QCoreApplication::processEvents();
            QVERIFY2(warning().startsWith(prefix + "the folder " + folder), qPrintable(warning()));
        }
        QCOMPARE(script.events.count("warning:Journal"), 1);
        QVERIFY(script.warning_texts.value(0).startsWith(prefix));
        // Writable again: the next change, a second on, is journaled.
        QVERIFY(blocker.remove());
        QThread::msleep(1100);
        edit_byte(0);
        QTRY_VERIFY(warning().isEmpty());
        QTRY_COMPARE(window->statusBar()->currentMessage(),
                     QString("Unsaved changes are being journaled again"));
        QThread::msleep(300);
        const QByteArray journal = read_all(Journal::path_for(other));
        QVERIFY(!journal.isEmpty());

        // Left for later: said until the question is answered.
        QVERIFY(window->open_named_file(data));
        QFile left(Journal::path_for(other));
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write(journal) == journal.size());
        left.close();
        QVERIFY(window->open_named_file(other));
        QCOMPARE(script.events.last(), QString("choice:Unsaved Work"));
        // Two nibbles typed, two changes.
        QVERIFY2(script.question_texts.last().contains("(2 changes)"),
                 qPrintable(script.question_texts.last()));
        QTRY_VERIFY(warning().startsWith(prefix + "the unsaved work left from before waits"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->close();
        QVERIFY(QFile::exists(Journal::path_for(other)));
        QVERIFY(!QFile::exists(Journal::path_for(other) + ".lock"));

        // Damaged beyond reading: kept aside, and said where.
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write("PQJ1 no header") > 0);
        left.close();
        script.warning_texts.clear();
        QVERIFY(window->open_named_file(other));
        QCOMPARE(script.warning_texts.size(), 1);
        QVERIFY2(script.warning_texts.value(0).endsWith(Journal::path_for(other) + ".damaged."),
                 qPrintable(script.warning_texts.value(0)));
        QTRY_VERIFY(warning().isEmpty());
    }

    void open_after_answering_no_forgets_the_edits()
    {
        edit_byte(0);
        script.file_names = {pq_test::make_temp_file(32)};
        window->open_action();
        QVERIFY(!window->document_modified());
        script.events.clear();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->close();
        QVERIFY(script.events.isEmpty());
    }

    // The views follow the edited file: after Undo of a typed byte the
    // inspector and the status bar show the byte as it was, where it was, and
    // the title's modified mark comes and goes with the unsaved change.
    void edit_undo_and_redo_reach_every_view()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *inspector = window->findChild<InspectorWidget *>();
        QVERIFY(inspector && inspector->isVisible());
        QLabel *offset = window->statusBar()->findChild<QLabel *>("offset_field");
        window->hex_widget()->set_selection(3, 3);
        const QString stored = inspector->value_text(ValueDecoder::Type::uint8);
        QVERIFY(!window->document_modified());
        QCOMPARE(window->windowTitle(), data);

        edit_byte(3);
        QVERIFY(window->document_modified());
        QCOMPARE(window->windowTitle(), data + " *");
        window->hex_widget()->set_selection(9, 9);
        window->undo_action();
        QCOMPARE(offset->text(), QString("Offset: 0x3 (3)"));
        QCOMPARE(inspector->offset(), qint64(3));
        QCOMPARE(inspector->value_text(ValueDecoder::Type::uint8), stored);
        QVERIFY(!window->document_modified());
        QCOMPARE(window->windowTitle(), data);

        window->redo_action();
        QCOMPARE(offset->text(), QString("Offset: 0x4 (4)")); // past the typed byte
        window->hex_widget()->set_selection(3, 3);
        QCOMPARE(inspector->value_text(ValueDecoder::Type::uint8), QString("65"));
        QCOMPARE(window->windowTitle(), data + " *");
        window->hide();
    }

    void save_writes_in_place_and_clears_flag()
    {
        const QByteArray before = read_all(data);
        edit_byte(5);
        window->save_action();
        const QByteArray after = read_all(data);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(quint8(after[5]), quint8(0x41));
        QCOMPARE(after.left(5), before.left(5));
        QCOMPARE(after.mid(6), before.mid(6));
        QVERIFY(!window->document_modified());
        QVERIFY(!window->hex_widget()->has_edits());
    }

    void yes_to_file_has_changed_saves()
    {
        edit_byte(7);
        script.answers["File Has Changed"] = QMessageBox::Yes;
        window->ask_save_changes();
        QCOMPARE(quint8(read_all(data)[7]), quint8(0x41));
        QVERIFY(!window->document_modified());
    }

    void save_as_writes_a_copy_and_shows_it_data()
    {
        QTest::addColumn<bool>("target_exists");
        QTest::newRow("new-file") << false;
        // The save dialog asked about replacing it; nothing asks again.
        QTest::newRow("existing-file-asked-once") << true;
    }

    void save_as_writes_a_copy_and_shows_it()
    {
        QFETCH(bool, target_exists);
        const QByteArray original = read_all(data);
        window->hex_widget()->set_selection(1, 2);
        window->mark_action();
        edit_byte(9);
        const QString copy = dir.path() + "/copy.bin";
        QFile::remove(copy);
        if (target_exists)
            QVERIFY(QFile::copy(pq_test::make_temp_file(3), copy));
        script.file_names = {copy};
        const qint64 cursor = window->hex_widget()->selection_start();
        window->save_as_action();
        QCOMPARE(script.events, QStringList{"save:Save File As"});
        QCOMPARE(script.save_dialog_asks, QList<bool>{true}); // asked once, by the dialog
        QCOMPARE(read_all(data), original);
        const QByteArray copied = read_all(copy);
        QCOMPARE(copied.size(), original.size());
        QCOMPARE(quint8(copied[9]), quint8(0x41));
        QCOMPARE(window->windowTitle(), copy + " *");
        QCOMPARE(Config::instance()->value("filename").toString(), copy);
        QCOMPARE(window->hex_widget()->document()->absolute_path(), QFileInfo(copy).absoluteFilePath());
        QVERIFY(!window->document_modified());
        // The markups still describe the same bytes and are still unsaved.
        QCOMPARE(window->markup_model()->rowCount(), 1);
        QVERIFY(window->markup_modified());
        // The same bytes under another name: the view stays where it was.
        QCOMPARE(window->hex_widget()->selection_start(), cursor);
        QVERIFY(cursor >= 9);
    }

    // Start-up order: the last file is looked for while the window is hidden,
    // then showing it resizes it (which clears the status bar).
    void missing_last_file_is_reported_at_start()
    {
        window->hide();
        const QString gone = dir.path() + "/moved-away.bin";
        window->load_file(gone);
        window->resize(window->width() + 10, window->height());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QString("The last file no longer exists: " + gone));
        QCOMPARE(window->windowTitle(), QString());
    }

    void save_as_cancelled_writes_nothing()
    {
        edit_byte(9);
        const QByteArray original = read_all(data);
        window->save_as_action();
        QCOMPARE(read_all(data), original);
        QVERIFY(window->document_modified());
        QVERIFY(window->hex_widget()->has_edits());
        QCOMPARE(window->windowTitle(), data + " *");
    }

    void save_as_failure_keeps_edits()
    {
        edit_byte(9);
        script.file_names = {dir.path() + "/no/such/folder/copy.bin"};
        window->save_as_action();
        QVERIFY(script.events.contains("warning:File Write Error"));
        QVERIFY(window->document_modified());
        QVERIFY(window->hex_widget()->has_edits());
        QCOMPARE(window->windowTitle(), data + " *");
        QCOMPARE(Config::instance()->value("filename").toString(), data);
    }

    void close_asks_file_then_markup()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        edit_byte(2);
        window->set_markup_modified();
        window->exit_action();
        QCOMPARE(script.events,
                 (QStringList{"question:File Has Changed", "question:Markup Has Changed"}));
        QVERIFY(!window->isVisible());
    }

    void failed_save_keeps_window_and_edits_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::newRow("close") << true;
        QTest::newRow("open-another-file") << false;
    }

    void failed_save_keeps_window_and_edits()
    {
        QFETCH(bool, closing);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        edit_byte(2);
        // The open file refuses writes (root ignores permissions, not the
        // immutable flag): writing it in place fails.
        std::unique_ptr<pq_hostile::ImmutableGuard> immutable;
        if (pq_hostile::running_as_root()) {
            immutable = std::make_unique<pq_hostile::ImmutableGuard>(data);
            if (!immutable->ok())
                QSKIP("cannot make the file refuse writes here");
        } else {
            QVERIFY(QFile::setPermissions(data, QFileDevice::ReadOwner));
        }
        script.answers["File Has Changed"] = QMessageBox::Yes;
        script.file_names = {pq_test::make_temp_file(16)};
        if (closing)
            window->close();
        else
            window->open_action();
        immutable.reset();
        QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(script.events.value(0), QString("question:File Has Changed"));
        QVERIFY(!script.events.contains("open:Load File"));
        QVERIFY(window->isVisible());
        QVERIFY(window->document_modified());
        QVERIFY(window->hex_widget()->has_edits());
        QCOMPARE(window->windowTitle(), data + " *");

        // Answering No lets it go.
        script.answers.clear();
        window->close();
        QVERIFY(!window->isVisible());
    }

    void replaced_file_is_rescued_on_close_data()
    {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("replaced") << false;
        QTest::newRow("deleted") << true;
    }

    // Save cannot write into the file that took the name (or into no file),
    // but the close question offers Save As, which copies the open file with
    // the edits.
    void replaced_file_is_rescued_on_close()
    {
        QFETCH(bool, deleted);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QByteArray original = read_all(data);
        edit_byte(2);
        QVERIFY(QFile::remove(data));
        const QByteArray replacement(300, 'R');
        if (!deleted) {
            QFile f(data);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(replacement) == replacement.size());
        }
        window->save_action();
        QCOMPARE(script.events, QStringList{"warning:File Write Error"});
        QVERIFY(window->document_modified());

        const QString rescue = dir.path() + "/rescued-" + QTest::currentDataTag();
        script.answers["File Has Changed"] = QMessageBox::Yes;
        script.file_names = {rescue};
        window->close();
        QCOMPARE(script.events,
                 (QStringList{"warning:File Write Error", "question:File Has Changed",
                              "save:Save File As"}));
        QVERIFY(script.question_texts.value(0).contains("another file"));
        QVERIFY(!window->isVisible());
        QByteArray expected = original;
        expected[2] = 0x41;
        QCOMPARE(read_all(rescue), expected);
        QCOMPARE(QFile::exists(data), !deleted);
        if (!deleted)
            QCOMPARE(read_all(data), replacement);
    }

    void open_refuses_what_is_not_a_file_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("fifo") << "fifo" << "is a pipe";
        QTest::newRow("folder") << "folder" << "is a folder";
        QTest::newRow("socket") << "socket" << "is a socket";
        QTest::newRow("device") << "device" << "is a device";
        QTest::newRow("unreadable") << "unreadable" << "could not be read";
    }

    // Open and the start-up file: nothing that is not a readable regular
    // file is opened, nothing blocks, and the file already open stays.
    void open_refuses_what_is_not_a_file()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QString path = dir.path() + "/not-a-file-" + kind;
        if (kind == "fifo") {
            QVERIFY(pq_hostile::make_fifo(path));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "socket") {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            const QByteArray local = QFile::encodeName(path);
            if (local.size() >= qsizetype(sizeof(address.sun_path)))
                QSKIP("the temporary folder's path is too long for a socket");
            qstrcpy(address.sun_path, local.constData());
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QVERIFY(fd >= 0);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
            ::close(fd);
        } else if (kind == "device") {
            path = "/dev/null";
        } else {
            if (pq_hostile::running_as_root())
                QSKIP("root reads every file");
            QVERIFY(pq_hostile::write_all(path, "secret"));
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        }
        window->hex_widget()->set_selection(3, 5);
        window->mark_action();
        const QString xml = window->markup_tree()->to_xml();

        script.file_names = {path};
        {
            pq_hostile::FifoWatchdog guard(path, 20);
            window->open_action();
            QVERIFY2(!guard.fired(), "Open blocked");
        }
        QCOMPARE(window->statusBar()->currentMessage(), "File not loaded: " + path + " " + message);
        QCOMPARE(window->windowTitle(), data + " *");
        QCOMPARE(window->hex_widget()->document()->absolute_path(), QFileInfo(data).absoluteFilePath());
        QCOMPARE(window->markup_tree()->to_xml(), xml);
        QCOMPARE(Config::instance()->value("filename").toString(), data);

        // Named by the settings at start-up: refused the same way.
        {
            pq_hostile::FifoWatchdog guard(path, 20);
            window->load_file(path);
            QVERIFY2(!guard.fired(), "start-up blocked");
        }
        QCOMPARE(window->statusBar()->currentMessage(), "File not loaded: " + path + " " + message);
        QVERIFY(!window->hex_widget()->document()->is_open()
                || window->hex_widget()->document()->absolute_path() == QFileInfo(data).absoluteFilePath());
    }

    // The two questions about unsaved work, answered for each command that
    // asks them. Cancel (or Escape), at either question, stops the command
    // and leaves everything as it was, but for a save Yes already made.
    void unsaved_questions_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("file"); // answer to "File Has Changed"; 0: Escape
        QTest::addColumn<int>("markup"); // answer to "Markup Has Changed"
        QTest::addColumn<QStringList>("asked");
        const QString file_q = "question:File Has Changed", markup_q = "question:Markup Has Changed";
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
        for (const char *command : {"close", "open", "recent", "drop", "name"}) {
            QTest::addRow("%s-cancel-at-file", command) << command << cancel << yes << QStringList{file_q};
            QTest::addRow("%s-no-then-cancel-at-markup", command)
                << command << no << cancel << QStringList{file_q, markup_q};
        }
        QTest::newRow("load-markup-cancel") << "load-markup" << no << cancel << QStringList{markup_q};
        QTest::newRow("close-escape-at-file") << "close" << 0 << yes << QStringList{file_q};
        QTest::newRow("open-yes-then-cancel-keeps-the-save")
            << "open" << yes << cancel << QStringList{file_q, markup_q};
        QTest::newRow("open-yes-saves-both")
            << "open" << yes << yes << QStringList{file_q, markup_q, "open:Load File"};
        QTest::newRow("open-no-saves-neither")
            << "open" << no << no << QStringList{file_q, markup_q, "open:Load File"};
    }

    void unsaved_questions()
    {
        QFETCH(QString, command);
        QFETCH(int, file);
        QFETCH(int, markup);
        QFETCH(QStringList, asked);
        const QString other = QFileInfo(pq_test::make_temp_file(40)).absoluteFilePath();
        window->load_file(other); // for Recent Files
        window->load_file(data);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Saved markups, then unsaved markups and bytes.
        const QString markup_file = dir.path() + "/unsaved-" + QTest::currentDataTag() + ".xml";
        window->hex_widget()->set_selection(1, 2);
        window->mark_action();
        script.file_names = {markup_file, command == "load-markup" ? markup_file : other};
        window->save_markup_as_action();
        window->hex_widget()->set_selection(5, 6);
        window->mark_action();
        edit_byte(7);
        const QString kept = window_state(false), kept_with_edits = window_state(true);
        script.events.clear();
        script.answers["File Has Changed"] = QMessageBox::StandardButton(file);
        script.answers["Markup Has Changed"] = QMessageBox::StandardButton(markup);
        if (file == 0) {
            // The window's own question box, left with Escape.
            window->ask_question = [this](const QString &title, const QString &text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton default_button) {
                script.events << "question:" + title;
                script.question_buttons << buttons;
                QTimer::singleShot(0, [] {
                    QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
                });
                return real_question(title, text, buttons, default_button);
            };
        }
        QCloseEvent close_event;
        if (command == "close")
            QCoreApplication::sendEvent(window, &close_event);
        else if (command == "open")
            window->open_action();
        else if (command == "recent")
            QVERIFY(choose_recent(other));
        else if (command == "drop")
            drop(other);
        else if (command == "name")
            window->open_named_file(other);
        else
            window->load_markup_action();

        QCOMPARE(script.events, asked);
        for (QMessageBox::StandardButtons buttons : script.question_buttons)
            QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(read_all(data)[7] == 0x41, file == QMessageBox::Yes);
        const bool opened = asked.size() == 3;
        QCOMPARE(read_all(markup_file).contains("start=\"5\""), opened && markup == QMessageBox::Yes);
        QCOMPARE(window->hex_widget()->document()->absolute_path(), opened ? other : data);
        QVERIFY(command != "close" || !close_event.isAccepted());
        // Yes then Cancel: the bytes stay saved, nothing else moved.
        if (!opened)
            QCOMPARE(window_state(file != QMessageBox::Yes),
                     file == QMessageBox::Yes ? kept : kept_with_edits);
    }

    void close_with_nothing_changed_asks_nothing()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->close();
        QVERIFY(script.events.isEmpty());
        QVERIFY(!window->isVisible());
    }

    void copy_puts_selection_on_clipboard_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QString>("text");
        QTest::newRow("three-bytes-0a-ff-00") << qint64(1) << qint64(3) << "0aff00";
        QTest::newRow("backward") << qint64(3) << qint64(1) << "0aff00";
        QTest::newRow("one-byte-7f") << qint64(4) << qint64(4) << "7f";
        // Nothing to copy: the clipboard keeps what it held.
        QTest::newRow("no-selection") << qint64(-1) << qint64(-1) << "previous";
    }

    void copy_puts_selection_on_clipboard()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QString, text);
        const QString name = pq_test::make_temp_file(0, QByteArray("\x41\x0a\xff\x00\x7f\x80", 6));
        window->load_file(name);
        QGuiApplication::clipboard()->setText("previous");
        if (from < 0)
            window->hex_widget()->clear_selection();
        else
            window->hex_widget()->set_selection(from, to);
        window->copy_action();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        if (from < 0)
            QCOMPARE(window->statusBar()->currentMessage(), QString("Select some bytes first"));
    }

    // The permanent fields follow the selection and leave the message alone.
    void status_fields_follow_selection_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QString>("selection");
        QTest::newRow("none") << qint64(-1) << qint64(-1) << "Offset: -" << "";
        QTest::newRow("one-byte") << qint64(26) << qint64(26) << "Offset: 0x1A (26)"
                                  << "Selection: 0x1A-0x1A, 1 byte";
        QTest::newRow("backward-cursor-is-moved-end")
            << qint64(0x1F) << qint64(0x10) << "Offset: 0x10 (16)"
            << "Selection: 0x10-0x1F, 16 bytes";
        QTest::newRow("beyond-4-gib") << qint64(0x100000000) << qint64(0x100000001)
                                      << "Offset: 0x100000001 (4294967297)"
                                      << "Selection: 0x100000000-0x100000001, 2 bytes";
    }

    void status_fields_follow_selection()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QString, offset);
        QFETCH(QString, selection);
        window->load_file(data);
        window->statusBar()->showMessage("kept");
        if (from < 0)
            window->hex_widget()->clear_selection();
        else
            window->hex_widget()->set_selection(from, to);
        auto *status = window->statusBar();
        QCOMPARE(status->findChild<QLabel *>("offset_field")->text(), offset);
        QCOMPARE(status->findChild<QLabel *>("selection_field")->text(), selection);
        QCOMPARE(status->findChild<QLabel *>("size_field")->text(), QString("Size: 0x100 (256)"));
        QCOMPARE(status->currentMessage(), QString("kept"));

        window->load_file(pq_test::make_temp_file(5));
        QCOMPARE(status->findChild<QLabel *>("size_field")->text(), QString("Size: 0x5 (5)"));
    }

    // A message is read whole at 1024 pixels: the permanent fields give way
    // (Size first, then Selection, then Offset) rather than cover it, a
    // message longer than the bar leaves its text in the tool tip, and the
    // fields come back when it goes.
    void status_message_is_read_whole_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("short-message-every-field-stays") << "File Loaded";
        QTest::newRow("jump-message") << "Jump target 0x4548 lies beyond the end of the file";
        QTest::newRow("longer-than-the-bar") << QString("Selections cannot overlap. ").repeated(8);
    }

    void status_message_is_read_whole()
    {
        QFETCH(QString, message);
        QTemporaryDir big_dir;
        QFile big(big_dir.filePath("big.bin"));
        if (!big.open(QIODevice::WriteOnly) || !big.resize(qint64(5) << 30))
            QSKIP("this file system cannot hold a sparse 5 GiB file");
        big.close();
        window->resize(1024, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->load_file(big.fileName());
        QStatusBar *status = window->statusBar();
        const QList<QLabel *> fields = {status->findChild<QLabel *>("offset_field"),
                                        status->findChild<QLabel *>("selection_field"),
                                        status->findChild<QLabel *>("size_field")};
        // Past 4 GiB the Selection field keeps one width, wide enough for
        // the longest selection's text.
        window->hex_widget()->set_selection(1, 1);
        const int one_byte_width = fields[1]->width();
        window->hex_widget()->set_selection(0, (qint64(5) << 30) - 1);
        QCOMPARE(fields[1]->text(), QString("Selection: 0x0-0x13FFFFFFF, 5368709120 bytes"));
        QCOMPARE(fields[1]->width(), one_byte_width);
        QVERIFY(fields[1]->contentsRect().width() >= fields[1]->fontMetrics().horizontalAdvance(fields[1]->text()));

        window->show_status(message);
        QTRY_COMPARE(status->width(), window->width());
        QCoreApplication::processEvents(); // the bar lays its fields out again
        const int message_width = status->fontMetrics().horizontalAdvance(message);
        QStringList shown;
        int first_left = status->width();
        for (QLabel *field : fields) {
            if (field->isVisible()) {
                shown << field->objectName();
                first_left = qMin(first_left, field->x());
            }
        }
        // The fields that stay are those that keep their place longest.
        QCOMPARE(shown, (QStringList{"offset_field", "selection_field", "size_field"}).mid(0, shown.size()));
        if (message == "File Loaded")
            QCOMPARE(shown.size(), 3);
        if (message_width < status->width() - 40) {
            QVERIFY2(first_left - 8 >= message_width,
                     qPrintable(QString("%1 > %2").arg(message_width).arg(first_left - 8)));
            QCOMPARE(status->toolTip(), QString());
        } else {
            QCOMPARE(status->toolTip(), message);
        }
        status->clearMessage();
        for (QLabel *field : fields)
            QVERIFY(field->isVisible());
        status->setToolTip(QString());
    }

    // A drop, Recent Files and a name given by the command line open a file
    // as Open does: questions first, then the file with its title.
    void open_by_name_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("status");
        for (const char *how : {"drop", "recent", "name"}) {
            QTest::addRow("%s-file", how) << how << "file" << false << true << "File Loaded";
            QTest::addRow("%s-after-edits", how) << how << "file" << true << true << "File Loaded";
            QTest::addRow("%s-while-searching-refused", how)
                << how << "searching" << false << false << "A search is running: cancel it first.";
        }
        QTest::newRow("name-missing") << "name" << "missing" << false << false << "File not found: ";
        QTest::newRow("name-directory") << "name" << "directory" << false << false
                                        << "File not loaded: ";
        QTest::newRow("recent-gone-is-dropped") << "recent" << "missing" << false << false
                                                << "File not found, removed from Recent Files: ";
    }

    void open_by_name()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(bool, edited);
        QFETCH(bool, opened);
        QFETCH(QString, status);
        QString name = pq_test::make_temp_file(40);
        if (target == "missing")
            name = dir.filePath("gone.bin");
        else if (target == "directory")
            name = dir.path();
        if (how == "recent") {
            // Recent Files lists what was opened before.
            const QString made = pq_test::make_temp_file(3);
            window->load_file(target == "missing" ? made : name);
            if (target == "missing") {
                QFile::rename(made, name);
                window->load_file(name);
                QFile::remove(name);
            }
            window->load_file(data);
        }
        QString shown = data;
        if (target == "searching") {
            shown = pq_test::make_temp_file(32 << 20);
            window->load_file(shown);
        }
        if (edited)
            edit_byte(2);
        script.events.clear();

        QString message;
        const auto run = [&] {
            if (how == "drop")
                drop(name);
            else if (how == "recent")
                QVERIFY(choose_recent(QFileInfo(name).absoluteFilePath()));
            else
                QCOMPARE(window->open_named_file(name), opened);
            message = window->statusBar()->currentMessage();
        };
        if (target == "searching") {
            // The command arrives while a search keeps the event loop running.
            auto *panel = window->findChild<SearchWidget *>();
            panel->findChild<QLineEdit *>()->setText("no such text");
            bool ran_while_searching = false;
            QTimer::singleShot(0, window, [&] {
                ran_while_searching = panel->searching();
                run();
                panel->cancel();
            });
            panel->search();
            QVERIFY(ran_while_searching);
        } else {
            run();
        }

        if (opened) {
            QCOMPARE(window->windowTitle(), QFileInfo(name).absoluteFilePath());
            QCOMPARE(message, status);
            QCOMPARE(window->hex_widget()->document()->size(), qint64(40));
            QCOMPARE(Config::instance()->value("filename").toString(), QFileInfo(name).absoluteFilePath());
            QCOMPARE(MainWindow::recent_files().value(0), QFileInfo(name).absoluteFilePath());
        } else {
            QCOMPARE(window->windowTitle(), shown);
            QVERIFY2(message.startsWith(status), qPrintable(message));
            QVERIFY(MainWindow::recent_files().value(0) != QFileInfo(name).absoluteFilePath());
            if (target == "missing")
                QVERIFY(!MainWindow::recent_files().contains(QFileInfo(name).absoluteFilePath()));
        }
        QCOMPARE(script.events, edited ? QStringList{"question:File Has Changed"} : QStringList{});
    }

    void recent_files_keep_eight_newest_first()
    {
        QStringList opened;
        for (int i = 0; i < 10; ++i) {
            opened.prepend(QFileInfo(pq_test::make_temp_file(i + 1)).absoluteFilePath());
            window->load_file(opened.first());
        }
        // Opening one again moves it to the front without a duplicate.
        window->load_file(opened.at(5));
        opened.move(5, 0);
        QCOMPARE(MainWindow::recent_files(), opened.mid(0, MainWindow::max_recent_files));
        emit recent_menu()->aboutToShow();
        QCOMPARE(recent_menu()->actions().size(), MainWindow::max_recent_files);
        QCOMPARE(recent_menu()->actions().first()->text(), opened.first());
    }
};

QTEST_MAIN(TestMainWindowFile)
#include "tst_mainwindow_file.moc"
