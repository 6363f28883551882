// The journal as a session leaves it behind: what a crash keeps, what a
// damaged or outdated journal still gives back, and who may write it.
#include "testsettings.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "markup/colourcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "settings/config.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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
    // data file, ended as a crash would: the journal it leaves, and the
    // state after each step (states[0]: before the first).
    QByteArray crashed_session(QList<QByteArray> *states);
    QTemporaryDir m_dir;
    QString m_data;

private slots:
    void initTestCase();
    void init();
    void crash_recovers_steps_and_their_undo();
    void damaged_journal_recovers_valid_prefix_data();
    void damaged_journal_recovers_valid_prefix();
    void changed_file_recovers_markups_alone();
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
    QFile::remove(Journal::path_for(m_data));
}

QByteArray TestJournal::crashed_session(QList<QByteArray> *states)
{
    EditedFile file;
    file.open(m_data);
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

void TestJournal::crash_recovers_steps_and_their_undo()
{
    QList<QByteArray> states;
    const QByteArray journal = crashed_session(&states);
    QCOMPARE(states.size(), 8);
    QVERIFY(!QFile::exists(Journal::path_for(m_data)));
    write_file(Journal::path_for(m_data), journal);

    EditedFile file;
    file.open(m_data);
    QCOMPARE(file.journal()->state(), Journal::State::pending);
    QCOMPARE(file.journal()->found().changes, 7);
    QCOMPARE(file.journal()->found().dropped, 0);
    QVERIFY(!file.journal()->found().file_changed);
    QVERIFY(file.journal()->recover());
    QCOMPARE(state_of(file), states.last());
    QVERIFY(file.is_modified(EditHistory::bytes) && file.is_modified(EditHistory::markup));
    // The replayed steps are the history: undo walks back through them (the
    // undo and redo of the colour cancelled out).
    for (const int expected : {6, 3, 2, 1, 0}) {
        QVERIFY(file.undo());
        QCOMPARE(state_of(file), states.at(expected));
    }
    // Recovery started a journal of its own, which a crash now would find.
    QVERIFY(QFile::exists(Journal::path_for(m_data)));
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

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
