// The journal as a session leaves it behind: what a crash keeps, what a
// damaged or outdated journal still gives back, and who may write it.
#include "testsettings.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "editedfile/journalformat.h"
#include "markup/colourcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "settings/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

QByteArray state_of(const EditedFile &file)
{
    return file.read(0, int(file.size())) + '\n' + file.markup_tree()->to_xml().toUtf8();
}

QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_file(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private:
    // A session of marks, typing, a colour, an undo and a redo on a fresh
    // data file (its markups loaded first from `markups` when given), ended
    // as a crash would: the journal it leaves, and the state after each step
    // (states[0]: before the first).
    QByteArray crashed_session(QList<QByteArray> *states, const QString &markups = QString());
    // A markup file of one markup, "loaded", saved as the window saves it.
    QString saved_markup_file();
    QTemporaryDir m_dir;
    QString m_data;

private slots:
    void initTestCase();
    void init();
    void crash_recovers_steps_and_their_undo_data();
    void crash_recovers_steps_and_their_undo();
    void damaged_journal_recovers_valid_prefix_data();
    void damaged_journal_recovers_valid_prefix();
    void changed_file_recovers_markups_alone();
    void lost_markup_file_recovers_bytes_alone_data();
    void lost_markup_file_recovers_bytes_alone();
    void saving_over_named_markup_file_keeps_recovery();
    void unreadable_journal_is_kept_aside();
    void lock_names_its_holder_data();
    void lock_names_its_holder();
    void full_or_read_only_disk_is_told();
    void second_window_and_setting_off_write_nothing();
    void saving_both_parts_removes_journal();
};

void TestJournal::initTestCase()
{
    pq_test::isolate_settings();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
}

void TestJournal::init()
{
    Config::instance()->remove(QStringLiteral("Journal"));
    m_data = m_dir.filePath(QStringLiteral("data.bin"));
    write_file(m_data, QByteArray(256, '\x11'));
    const QDir folder(Journal::folder());
    for (const QString &name : folder.entryList({"*.pqj*"}, QDir::Files | QDir::Hidden))
        QFile::remove(folder.filePath(name));
}

QString TestJournal::saved_markup_file()
{
    const QString path = m_dir.filePath(QStringLiteral("loaded.xml"));
    EditedFile maker;
    maker.open(m_data);
    maker.mark(100, 120, QStringLiteral("loaded"));
    return maker.save_markup(path) ? path : QString();
}

QByteArray TestJournal::crashed_session(QList<QByteArray> *states, const QString &markups)
{
    EditedFile file;
    file.open(m_data);
    if (!markups.isEmpty()) {
        // As the window loads a markup file.
        if (file.read_markup(markups) != EditedFile::MarkupRead::loaded)
            return QByteArray();
        file.set_markup_file(markups);
        file.history()->mark_saved(EditHistory::markup);
    }
    states->append(state_of(file));
    auto step = [&](bool done) {
        if (done)
            states->append(state_of(file));
    };
    step(file.mark(0, 15, QStringLiteral("outer")));
    step(file.type_byte(4, 0xab, {4, 4, -1}, {5, 5, -1}));
    step(file.mark(2, 5, QStringLiteral("inner")));
    MarkupNode *outer = file.markup_model()->root()->child(0);
    step(file.run(new ColourCommand(file.history(), file.markup_tree(), outer, Qt::red, Qt::yellow,
                                    QStringLiteral("Colour"))));
    step(file.undo());
    step(file.redo());
    step(file.mark(32, 40, QStringLiteral("last")));
    // Long enough for the writer to have synced everything.
    QThread::msleep(400);
    return read_file(Journal::path_for(m_data));
}

void TestJournal::crash_recovers_steps_and_their_undo_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("version");
    QTest::newRow("markups-copied") << false << 2;
    QTest::newRow("format-1-journal") << false << 1;
    QTest::newRow("markups-named-by-unchanged-file") << true << 2;
}

void TestJournal::crash_recovers_steps_and_their_undo()
{
    QFETCH(bool, loaded);
    QFETCH(int, version);
    QList<QByteArray> states;
    QByteArray journal = crashed_session(&states, loaded ? saved_markup_file() : QString());
    QCOMPARE(states.size(), 8);
    QVERIFY(!QFile::exists(Journal::path_for(m_data)));
    // Loaded markups are named by their file, not copied.
    QVERIFY(!journal.contains("loaded"));
    if (version != 2) {
        QList<JournalFormat::Record> records = JournalFormat::parse(journal).records;
        qToBigEndian<qint32>(version, records[0].payload.data());
        journal = JournalFormat::magic();
        for (const JournalFormat::Record &record : records)
            journal += JournalFormat::frame(record.type, record.payload);
    }
    // A crash, and a second one right after the recovery: the same changes
    // come back both times, as undoable steps.
    for (int crash = 1; crash <= 2; ++crash) {
        write_file(Journal::path_for(m_data), journal);
        EditedFile file;
        file.open(m_data);
        QCOMPARE(file.journal()->state(), Journal::State::pending);
        QCOMPARE(file.journal()->found().changes, 7);
        QCOMPARE(file.journal()->found().undoable, 7);
        QCOMPARE(file.journal()->found().dropped, 0);
        QVERIFY(!file.journal()->found().file_changed);
        QVERIFY(file.journal()->recover());
        QCOMPARE(state_of(file), states.last());
        QVERIFY(file.is_modified(EditHistory::bytes) && file.is_modified(EditHistory::markup));
        // Recovery started a journal of its own, which a crash now finds.
        journal = read_file(Journal::path_for(m_data));
        QVERIFY(!journal.isEmpty());
        // The replayed steps are the history: undo walks back through them
        // (the undo and redo of the colour cancelled out).
        for (const int expected : {6, 3, 2, 1, 0}) {
            QVERIFY(file.undo());
            QCOMPARE(state_of(file), states.at(expected));
        }
    }
}

void TestJournal::damaged_journal_recovers_valid_prefix_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("flip_from_end");
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("state");
    QTest::newRow("intact") << 0 << -1 << QByteArray() << 0 << 7;
    QTest::newRow("last-record-cut-short") << 3 << -1 << QByteArray() << 1 << 6;
    QTest::newRow("checksum-of-last-flipped") << 0 << 1 << QByteArray() << 1 << 6;
    QTest::newRow("garbage-after") << 0 << -1 << QByteArray("\x07\x00\x00") << 1 << 7;
    QTest::newRow("huge-length-after") << 0 << -1 << QByteArray("\xff\xff\xff\xff\x03xxxx", 9) << 1
                                       << 7;
}

void TestJournal::damaged_journal_recovers_valid_prefix()
{
    QFETCH(int, cut);
    QFETCH(int, flip_from_end);
    QFETCH(QByteArray, garbage);
    QFETCH(int, dropped);
    QFETCH(int, state);
    QList<QByteArray> states;
    QByteArray journal = crashed_session(&states);
    journal.chop(cut);
    if (flip_from_end > 0)
        journal[journal.size() - flip_from_end] = char(journal.at(journal.size() - flip_from_end) ^ 1);
    journal += garbage;
    write_file(Journal::path_for(m_data), journal);

    EditedFile file;
    file.open(m_data);
    QCOMPARE(file.journal()->found().dropped, dropped);
    QVERIFY(file.journal()->recover());
    QCOMPARE(state_of(file), states.at(state));
}

void TestJournal::changed_file_recovers_markups_alone()
{
    QList<QByteArray> states;
    const QByteArray journal = crashed_session(&states);
    write_file(Journal::path_for(m_data), journal);
    // Same size, but another byte under the typed edit.
    QByteArray bytes(256, '\x11');
    bytes[4] = '\x22';
    write_file(m_data, bytes);

    EditedFile file;
    file.open(m_data);
    QVERIFY(file.journal()->found().file_changed);
    QVERIFY(file.journal()->recover());
    QVERIFY(!file.has_edits());
    QCOMPARE(file.byte_at(4), 0x22);
    QCOMPARE(file.markup_tree()->to_xml().toUtf8(), states.last().mid(257));
    QVERIFY(file.is_modified(EditHistory::markup));
    QVERIFY(!file.is_modified(EditHistory::bytes));

    // A second crash: the markups come back as one state, still counted as
    // the changes they hold.
    const QByteArray second = read_file(Journal::path_for(m_data));
    file.journal()->release();
    EditedFile again;
    write_file(Journal::path_for(m_data), second);
    again.open(m_data);
    QCOMPARE(again.journal()->state(), Journal::State::pending);
    QCOMPARE(again.journal()->found().changes, 7);
    QCOMPARE(again.journal()->found().undoable, 0);
    QVERIFY(!again.journal()->found().file_changed);
    QVERIFY(again.journal()->recover());
    QCOMPARE(again.markup_tree()->to_xml().toUtf8(), states.last().mid(257));
}

void TestJournal::lost_markup_file_recovers_bytes_alone_data()
{
    QTest::addColumn<QByteArray>("now");
    QTest::newRow("markup-file-changed") << QByteArray("<?xml version=\"1.0\"?>");
    QTest::newRow("markup-file-missing") << QByteArray();
}

void TestJournal::lost_markup_file_recovers_bytes_alone()
{
    QFETCH(QByteArray, now);
    const QString markups = saved_markup_file();
    QList<QByteArray> states;
    write_file(Journal::path_for(m_data), crashed_session(&states, markups));
    QFile::remove(markups);
    if (!now.isEmpty())
        write_file(markups, now);

    EditedFile file;
    file.open(m_data);
    QVERIFY(file.mark(200, 210, QStringLiteral("now")));
    const QByteArray markups_now = file.markup_tree()->to_xml().toUtf8();
    QCOMPARE(file.journal()->found().markup_file_lost, QFileInfo(markups).absoluteFilePath());
    QCOMPARE(file.journal()->found().undoable, 0);
    QVERIFY(file.journal()->recover());
    // The typed byte is back; the markups are the ones there were, untouched.
    QCOMPARE(file.read(0, 256), states.last().left(256));
    QVERIFY(file.is_modified(EditHistory::bytes));
    QCOMPARE(file.markup_tree()->to_xml().toUtf8(), markups_now);
}

void TestJournal::saving_over_named_markup_file_keeps_recovery()
{
    const QString markups = saved_markup_file();
    QByteArray journal;
    QByteArray expected;
    {
        EditedFile file;
        file.open(m_data);
        QCOMPARE(file.read_markup(markups), EditedFile::MarkupRead::loaded);
        file.history()->mark_saved(EditHistory::markup);
        QVERIFY(file.type_byte(4, 0xab, {4, 4, -1}, {5, 5, -1}));
        QVERIFY(file.mark(0, 15, QStringLiteral("outer")));
        // Replaces the file the journal's snapshot named.
        QVERIFY(file.save_markup(markups));
        QVERIFY(file.mark(32, 40, QStringLiteral("last")));
        expected = state_of(file);
        QThread::msleep(400);
        journal = read_file(Journal::path_for(m_data));
    }
    write_file(Journal::path_for(m_data), journal);
    EditedFile file;
    file.open(m_data);
    QVERIFY(file.journal()->found().markup_file_lost.isEmpty());
    QVERIFY(file.journal()->recover());
    QCOMPARE(state_of(file), expected);
}

void TestJournal::unreadable_journal_is_kept_aside()
{
    QList<QByteArray> states;
    QByteArray journal = crashed_session(&states);
    // One bit of the header flipped: nothing in the journal can be trusted.
    journal[12] = char(journal.at(12) ^ 0x20);
    const QString path = Journal::path_for(m_data);
    write_file(path, journal);
    // An older damaged journal is not replaced.
    write_file(path + ".damaged", "older");
    EditedFile file;
    file.open(m_data);
    QCOMPARE(file.journal()->state(), Journal::State::recording);
    QCOMPARE(file.journal()->damaged_path(), path + ".damaged.2");
    QCOMPARE(read_file(path + ".damaged.2"), journal);
    QCOMPARE(read_file(path + ".damaged"), QByteArray("older"));
    QVERIFY(!QFile::exists(path));
}

void TestJournal::second_window_and_setting_off_write_nothing()
{
    EditedFile first;
    first.open(m_data);
    QVERIFY(first.mark(0, 3));
    QCOMPARE(first.journal()->state(), Journal::State::recording);
    QThread::msleep(300);
    const QByteArray before = read_file(Journal::path_for(m_data));
    QVERIFY(!before.isEmpty());

    EditedFile second;
    second.open(m_data);
    QCOMPARE(second.journal()->state(), Journal::State::foreign);
    QCOMPARE(second.journal()->holder_pid(), QCoreApplication::applicationPid());
    QCOMPARE(second.journal()->holder_host(), QSysInfo::machineHostName());
    QVERIFY(second.mark(8, 9));
    QThread::msleep(300);
    QCOMPARE(read_file(Journal::path_for(m_data)), before);

    Config::instance()->setValue(QStringLiteral("Journal"), QStringLiteral("no"));
    const QString other = m_dir.filePath(QStringLiteral("other.bin"));
    write_file(other, QByteArray(16, 'x'));
    EditedFile off;
    off.open(other);
    QCOMPARE(off.journal()->state(), Journal::State::off);
    QVERIFY(off.mark(0, 3));
    QVERIFY(!QFile::exists(Journal::path_for(other)));
}

void TestJournal::saving_both_parts_removes_journal()
{
    EditedFile file;
    file.open(m_data);
    const QString journal = Journal::path_for(m_data);
    QVERIFY(file.type_byte(1, 0x42, {1, 1, -1}, {2, 2, -1}));
    QVERIFY(file.mark(0, 7));
    QVERIFY(QFile::exists(journal));
    // It holds markup texts: nobody else may read it.
    QCOMPARE(QFile::permissions(journal) & (QFile::ReadGroup | QFile::ReadOther), 0);
    QVERIFY(file.save_bytes(QString()));
    QVERIFY(QFile::exists(journal));
    QVERIFY(file.save_markup(m_dir.filePath(QStringLiteral("m.xml"))));
    QVERIFY(!QFile::exists(journal));
    // Undoing past the save is unsaved work again.
    QVERIFY(file.undo());
    QVERIFY(QFile::exists(journal));
    QVERIFY(file.redo());
    QVERIFY(!QFile::exists(journal));
}

void TestJournal::lock_names_its_holder_data()
{
    // What the lock file holds when the data file is opened.
    QTest::addColumn<QString>("lock");
    QTest::addColumn<bool>("taken");
    QTest::newRow("holder-gone") << "dead" << true;
    QTest::newRow("cut-short-as-it-was-made") << "empty" << true;
    QTest::newRow("live-holder-an-hour-ago") << "old" << false;
}

void TestJournal::lock_names_its_holder()
{
    QFETCH(QString, lock);
    QFETCH(bool, taken);
    const QString lock_path = Journal::path_for(m_data) + ".lock";
    QByteArray content;
    {
        QLockFile ours(lock_path);
        QVERIFY(ours.tryLock(0));
        content = read_file(lock_path);
    }
    if (lock == "dead") {
        QProcess gone;
        gone.start("true", {});
        QVERIFY(gone.waitForFinished());
        const qint64 pid = gone.processId();
        content = QByteArray::number(pid) + content.mid(content.indexOf('\n'));
    } else if (lock == "empty") {
        content.clear();
    }
    write_file(lock_path, content);
    QFile old(lock_path);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                            QFileDevice::FileModificationTime));
    old.close();

    EditedFile file;
    file.open(m_data);
    QCOMPARE(file.journal()->state(), taken ? Journal::State::recording : Journal::State::foreign);
    QVERIFY(file.mark(0, 3));
    QCOMPARE(QFile::exists(Journal::path_for(m_data)), taken);
    file.journal()->release();
    QCOMPARE(QFile::exists(lock_path), !taken);
    QFile::remove(lock_path);
}

void TestJournal::full_or_read_only_disk_is_told()
{
    // The journal folder on a small file system of the test's own.
    const QString folder = Journal::folder();
    QVERIFY(QDir().mkpath(folder));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder}) != 0)
        QSKIP("this process cannot mount the small file system a full disk needs");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {folder}); });
    auto file = std::make_unique<EditedFile>();
    file->open(m_data);
    QVERIFY(file->mark(0, 3));
    QCOMPARE(file->journal()->state(), Journal::State::recording);
    QFile filler(folder + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) == 4096) {
    }
    // A record larger than what the journal's last page has left; told
    // within a second of the failed write.
    QSignalSpy told(file.get(), &EditedFile::journal_changed);
    QVERIFY(file->mark(4, 7, QString(8192, 'd')));
    QTRY_COMPARE_WITH_TIMEOUT(file->journal()->state(), Journal::State::failing, 1000);
    QVERIFY2(file->journal()->failure().endsWith(QString::fromLocal8Bit(strerror(ENOSPC))),
             qPrintable(file->journal()->failure()));
    QCOMPARE(told.size(), 1);

    // Killed now: what was written is offered, not refused as another
    // window's, although not even a lock fits on the disk.
    const QByteArray written = read_file(Journal::path_for(m_data));
    file.reset();
    write_file(Journal::path_for(m_data), written);
    file = std::make_unique<EditedFile>();
    file->open(m_data);
    QCOMPARE(file->journal()->state(), Journal::State::pending);
    QCOMPARE(file->journal()->found().changes, 1);
    QVERIFY(file->journal()->recover());
    QCOMPARE(file->journal()->state(), Journal::State::failing);

    // Room again: the next change, a second on, journals the whole state.
    QVERIFY(filler.remove());
    QThread::msleep(1100);
    QSignalSpy resumed(file.get(), &EditedFile::journal_changed);
    QVERIFY(file->mark(240, 243));
    QCOMPARE(file->journal()->state(), Journal::State::recording);
    QCOMPARE(resumed.size(), 1);
    QVERIFY(QFile::exists(Journal::path_for(m_data)));

    // Read-only: told as the file is opened.
    file.reset();
    QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", folder}), 0);
    file = std::make_unique<EditedFile>();
    file->open(m_data);
    QCOMPARE(file->journal()->state(), Journal::State::failing);
    QVERIFY2(file->journal()->failure().endsWith(QString::fromLocal8Bit(strerror(EROFS))),
             qPrintable(file->journal()->failure()));
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
