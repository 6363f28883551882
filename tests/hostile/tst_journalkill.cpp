// Unsaved work must survive SIGKILL. A child process (this binary, started
// with --child) edits a data file through the document layer in a seeded
// random run: typing, marks, deletes, prunes, colours, cell edits, undo,
// redo and saves. After each step it writes the step's number and the time
// to its stdout (a pipe: what was written before the kill survives it). The
// parent kills it at a random moment, opens the file as the program would,
// recovers the journal and compares with the same run repeated in-process:
// the bytes and markups must be those after some step no earlier than the
// last one finished a second before the kill.
//
// PQ_JOURNAL_RUNS sets the number of seeded runs (5 by default; the slow
// label runs 50).
#include "testsettings.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "markup/colourcommand.h"
#include "markup/deletemarkupcommand.h"
#include "markup/markupcolumn.h"
#include "markup/markupeditcommand.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "markup/prunecommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <random>

#include <time.h>
#include <unistd.h>

namespace {

constexpr int steps = 220;
constexpr qint64 file_size = 4096;

qint64 now_ms()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

QByteArray initial_bytes(quint32 seed)
{
    std::mt19937 random(seed ^ 0x5eedu);
    QByteArray bytes(file_size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random() & 0xff);
    return bytes;
}

// Every markup, depth first, for picking one at random.
QList<MarkupNode *> all_markups(MarkupNode *root)
{
    QList<MarkupNode *> found;
    QList<MarkupNode *> pending { root };
    while (!pending.isEmpty()) {
        MarkupNode *node = pending.takeLast();
        if (node != root)
            found.append(node);
        for (int i = 0; i < node->child_count(); ++i)
            pending.append(node->child(i));
    }
    return found;
}

// One seeded run over `file`, whose markup file is `markup_path`. Each step
// is one change as the journal sees it (a nibble, one undo), so that a kill
// never falls inside a step.
class Run
{
public:
    Run(quint32 seed, EditedFile *file, QString markup_path)
        : m_random(seed)
        , m_file(file)
        , m_markup_path(std::move(markup_path))
    {
    }

    void step()
    {
        const int action = pick(100);
        EditHistory *history = m_file->history();
        MarkupTree *tree = m_file->markup_tree();
        const QList<MarkupNode *> markups = all_markups(m_file->markup_model()->root());
        MarkupNode *some = markups.isEmpty() ? nullptr : markups.at(pick(int(markups.size())));
        if (m_pending >= 0 && pick(4) != 0) {
            // The second nibble, joining the first's step.
            const qint64 offset = m_pending;
            m_file->type_byte(offset, quint8(m_high << 4 | pick(16)), {offset, offset, m_high},
                              {offset + 1, offset + 1, -1});
            m_pending = -1;
            return;
        }
        m_pending = -1;
        if (action < 30) {
            const qint64 offset = pick(int(file_size));
            const int high = pick(16);
            const int old = m_file->byte_at(offset);
            if (m_file->type_byte(offset, quint8(high << 4 | (old & 0x0f)), {offset, offset, -1},
                                  {offset, offset, qint16(high)})) {
                m_pending = offset;
                m_high = qint16(high);
            }
        } else if (action < 50) {
            const qint64 first = pick(int(file_size));
            m_file->mark(first, qMin(file_size - 1, first + pick(96)),
                         QStringLiteral("m%1").arg(pick(1000)));
        } else if (action < 55 && some) {
            m_file->run(new DeleteMarkupCommand(history, tree, some));
        } else if (action < 59 && some) {
            m_file->run(new PruneCommand(history, tree, some));
        } else if (action < 65 && some) {
            m_file->run(new ColourCommand(history, tree, some, QColor::fromRgb(m_random()),
                                          QColor::fromRgb(m_random()), QStringLiteral("Colour")));
        } else if (action < 70 && some) {
            m_file->run(new MarkupEditCommand(
                history, tree, some, {{MarkupColumn::Description, some->data(MarkupColumn::Description)}},
                {{MarkupColumn::Description, QStringLiteral("e%1").arg(pick(1000))}},
                QStringLiteral("Edit")));
        } else if (action < 84) {
            m_file->undo();
        } else if (action < 93) {
            m_file->redo();
        } else if (action < 96) {
            m_file->save_bytes(QString());
        } else {
            m_file->save_markup(m_markup_path);
        }
    }

    int pick(int below) { return int(m_random() % quint32(below)); }

private:
    std::mt19937 m_random;
    // A byte whose first nibble was typed, waiting for its second.
    qint64 m_pending = -1;
    qint16 m_high = -1;
    EditedFile *m_file;
    QString m_markup_path;
};

QByteArray state_of(const EditedFile &file)
{
    return file.read(0, int(file.size())) + '\n' + file.markup_tree()->to_xml().toUtf8();
}

int run_child(const QString &dir, quint32 seed)
{
    EditedFile file;
    if (!file.open(dir + QStringLiteral("/data.bin")))
        return 2;
    Run run(seed, &file, dir + QStringLiteral("/markup.xml"));
    std::mt19937 pace(seed + 1);
    for (int i = 0; i < steps; ++i) {
        run.step();
        const QByteArray line = QByteArray::number(i) + ' ' + QByteArray::number(now_ms()) + '\n';
        if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
            return 3;
        QThread::msleep(pace() % 20);
    }
    // Waits for the kill.
    for (;;)
        QThread::sleep(10);
}

} // namespace

class TestJournalKill : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killed_at_random_recovers_what_was_done();
};

void TestJournalKill::initTestCase()
{
    pq_test::isolate_settings();
}

void TestJournalKill::killed_at_random_recovers_what_was_done()
{
    const int runs = qEnvironmentVariableIsSet("PQ_JOURNAL_RUNS")
                         ? qEnvironmentVariableIntValue("PQ_JOURNAL_RUNS")
                         : 5;
    std::mt19937 timing(20240611);
    for (int r = 0; r < runs; ++r) {
        const quint32 seed = quint32(1000 + r);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString data = dir.filePath(QStringLiteral("data.bin"));
        QFile out(data);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(initial_bytes(seed));
        out.close();
        // The journal lives where the child and the recovery look, never
        // in the user's data folder.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("share"))));

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), dir.path(), QString::number(seed)});
        QVERIFY(child.waitForStarted());
        const qint64 started = now_ms();
        // From a second into the run, so some step has settled, to about its end.
        QThread::msleep(1100 + timing() % 1000);
        const qint64 killed = now_ms();
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAllStandardError());

        int last = -1;
        int settled = -1;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() != 2)
                continue;
            last = fields.at(0).toInt();
            if (fields.at(1).toLongLong() <= killed - 1000)
                settled = last;
        }

        // The program's way in: the linked markup file, then the journal.
        EditedFile recovered;
        QVERIFY(recovered.open(data));
        if (QFile::exists(dir.filePath(QStringLiteral("markup.xml"))))
            recovered.read_markup(dir.filePath(QStringLiteral("markup.xml")));
        Journal *journal = recovered.journal();
        if (journal->state() == Journal::State::pending) {
            QVERIFY2(!journal->found().file_changed, qPrintable(QStringLiteral("seed %1").arg(seed)));
            QCOMPARE(journal->found().dropped, 0);
            QVERIFY(journal->recover());
        }
        const QByteArray got = state_of(recovered);

        // The same run in-process, on a copy, up to the step after the last
        // one reported (it may have been journaled before its report).
        const QString copy_dir = dir.filePath(QStringLiteral("copy"));
        QVERIFY(QDir().mkpath(copy_dir));
        QFile copy(copy_dir + QStringLiteral("/data.bin"));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(initial_bytes(seed));
        copy.close();
        EditedFile expected;
        QVERIFY(expected.open(copy.fileName()));
        Run run(seed, &expected, copy_dir + QStringLiteral("/markup.xml"));
        int match = state_of(expected) == got ? -1 : -2;
        for (int i = 0; i <= qMin(last + 1, steps - 1); ++i) {
            run.step();
            if (i >= settled && state_of(expected) == got)
                match = i;
        }
        qInfo("run %d (seed %u): killed %lld ms in after step %d; settled %d; recovered step %d",
              r, seed, killed - started, last, settled, match);
        QVERIFY2(match >= settled && match != -2,
                 qPrintable(QStringLiteral("seed %1: the recovered state is no step from %2 on")
                                .arg(seed)
                                .arg(settled)));
    }
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        return run_child(QString::fromLocal8Bit(argv[2]), quint32(atoi(argv[3])));
    }
    QCoreApplication app(argc, argv);
    TestJournalKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journalkill.moc"
