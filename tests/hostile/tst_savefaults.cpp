// Saving where the bytes cannot go: a device that is always full, a full file
// system, a file or folder that refuses writes (root included) and a folder
// that vanished. Each must warn, keep every edit and markup in memory, and
// leave what is on disk no worse than before.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

namespace {

// A tiny file system that is full: the truest "disk full" there is. Needs
// root and mount rights; ok() is false elsewhere.
class FullFileSystem
{
public:
    explicit FullFileSystem(const QString &where)
        : m_path(where)
    {
        QDir().mkpath(where);
        if (::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, "size=256k") != 0)
            return;
        m_mounted = true;
        // Fill it to the last block.
        QFile filler(where + QLatin1String("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'F');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        // Small files take what pages are left.
        for (int i = 0; i < 1000; ++i) {
            QFile crumb(where + QLatin1String("/crumb-") + QString::number(i));
            if (!crumb.open(QIODevice::WriteOnly) || crumb.write("c", 1) != 1 || !crumb.flush())
                break;
        }
        m_ok = true;
    }
    ~FullFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    bool ok() const { return m_ok; }
    QString path() const { return m_path; }
    // Frees a little room (for a file the test places there itself).
    void shrink_filler(qint64 by)
    {
        const QString f = m_path + QLatin1String("/filler");
        QFile::resize(f, QFileInfo(f).size() - by);
    }

private:
    QString m_path;
    bool m_mounted = false;
    bool m_ok = false;
};

// Refuses writes to `path` the way that works for the current user: for root
// permissions mean nothing, so the file or folder is made immutable.
class WriteRefusal
{
public:
    explicit WriteRefusal(const QString &path)
        : m_path(path)
    {
        if (pq_hostile::running_as_root()) {
            m_guard = std::make_unique<pq_hostile::ImmutableGuard>(path);
            m_ok = m_guard->ok();
        } else {
            m_mode = QFile::permissions(path);
            m_ok = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~WriteRefusal()
    {
        if (!m_guard && m_ok)
            QFile::setPermissions(m_path, m_mode);
    }
    bool ok() const { return m_ok; }

private:
    QString m_path;
    std::unique_ptr<pq_hostile::ImmutableGuard> m_guard;
    QFile::Permissions m_mode;
    bool m_ok = false;
};

// What is on disk at a path: kind and bytes, compared before and after.
QString snapshot(const QString &path)
{
    if (pq_hostile::is_char_device(path))
        return QStringLiteral("device");
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("absent");
    if (info.isDir())
        return QStringLiteral("dir:") + QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u',');
    return QStringLiteral("file:") + QString::fromLatin1(pq_hostile::read_all(path).toHex());
}

} // namespace

class tst_savefaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void save_bytes_data();
    void save_bytes();
    void save_markups_data();
    void save_markups();

private:
    // Prepares the case's target; returns the path to save to, or an empty
    // string with *skip set when this machine cannot stage it.
    QString stage(const QString &where, const QString &source, QString *skip);

    QTemporaryDir dir;
    std::unique_ptr<FullFileSystem> full_fs;
    std::vector<std::unique_ptr<WriteRefusal>> refusals;
};

void tst_savefaults::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
}

QString tst_savefaults::stage(const QString &where, const QString &source, QString *skip)
{
    const QString base = dir.filePath(QStringLiteral("case-%1").arg(QString::fromLatin1(QTest::currentDataTag())));
    QDir().mkpath(base);
    if (where == QLatin1String("full-device")) {
        const QString node = base + QLatin1String("/full");
        if (!pq_hostile::make_full_device(node))
            *skip = QStringLiteral("cannot make a device node here");
        return node;
    }
    if (where == QLatin1String("full-file-system")) {
        full_fs = std::make_unique<FullFileSystem>(base + QLatin1String("/mnt"));
        if (!full_fs->ok())
            *skip = QStringLiteral("cannot mount a small file system here");
        return full_fs->path() + QLatin1String("/target.bin");
    }
    if (where == QLatin1String("immutable-file")) {
        const QString target = base + QLatin1String("/target.bin");
        pq_hostile::write_all(target, QByteArray("old contents"));
        refusals.push_back(std::make_unique<WriteRefusal>(target));
        if (!refusals.back()->ok())
            *skip = QStringLiteral("cannot make a file refuse writes here");
        return target;
    }
    if (where == QLatin1String("immutable-source")) {
        refusals.push_back(std::make_unique<WriteRefusal>(source));
        if (!refusals.back()->ok())
            *skip = QStringLiteral("cannot make a file refuse writes here");
        return source;
    }
    if (where == QLatin1String("unwritable-folder")) {
        const QString folder = base + QLatin1String("/locked");
        QDir().mkpath(folder);
        refusals.push_back(std::make_unique<WriteRefusal>(folder));
        if (!refusals.back()->ok())
            *skip = QStringLiteral("cannot make a folder refuse writes here");
        return folder + QLatin1String("/target.bin");
    }
    if (where == QLatin1String("vanished-folder")) {
        const QString folder = base + QLatin1String("/gone");
        QDir().mkpath(folder);
        QDir(folder).removeRecursively();
        return folder + QLatin1String("/target.bin");
    }
    if (where == QLatin1String("proc-file"))
        return QStringLiteral("/proc/version");
    *skip = QStringLiteral("unknown case");
    return QString();
}

void tst_savefaults::save_bytes_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("copy-to-full-device") << "full-device";
    QTest::newRow("copy-to-full-file-system") << "full-file-system";
    QTest::newRow("copy-over-unwritable-file") << "immutable-file";
    QTest::newRow("in-place-unwritable-file") << "immutable-source";
    QTest::newRow("copy-into-unwritable-folder") << "unwritable-folder";
    QTest::newRow("copy-into-vanished-folder") << "vanished-folder";
    QTest::newRow("copy-over-proc-file") << "proc-file";
}

void tst_savefaults::save_bytes()
{
    QFETCH(QString, where);
    QByteArray original(100000, '\0');
    for (int i = 0; i < original.size(); ++i)
        original[i] = char(i % 251);
    const QString source = dir.filePath(QStringLiteral("source-%1.bin").arg(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(pq_hostile::write_all(source, original));

    HexWidget hex;
    QStringList boxes;
    hex.set_message_box_function([&](QMessageBox::Icon icon, const QString &title, const QString &,
                                     QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        boxes << title;
        // Yes to "overwrite?"; a warning only has OK.
        return icon == QMessageBox::Question ? QMessageBox::Yes : QMessageBox::Ok;
    });
    hex.resize(hex.width(), 8 * hex.line_height());
    hex.show();
    hex.open_file(source);
    hex.edit_triggered();
    hex.set_selection(10, 10);
    QTest::keyClicks(&hex, QStringLiteral("abcd"));
    hex.set_selection(99999, 99999);
    QTest::keyClicks(&hex, QStringLiteral("ef"));

    QString skip;
    const QString target = stage(where, source, &skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString before = snapshot(target);
    const QString folder_before = snapshot(QFileInfo(target).absolutePath());

    const bool saved = hex.save_edits(target == source ? QString() : target);
    refusals.clear();
    full_fs.reset();

    QVERIFY2(!saved, "the save claimed success");
    QVERIFY2(boxes.contains(QStringLiteral("File Write Error")), qPrintable(boxes.join(u'|')));
    // Every edit is still there to save elsewhere.
    QVERIFY(hex.has_edits());
    QCOMPARE(hex.edited_value(10), 0xab);
    QCOMPARE(hex.edited_value(11), 0xcd);
    QCOMPARE(hex.edited_value(99999), 0xef);
    // Neither the target nor the source changed; no stray file was left.
    if (where != QLatin1String("full-file-system")) {
        QCOMPARE(snapshot(target), before);
        // /proc lists the processes of the moment: no folder to compare there.
        if (where != QLatin1String("proc-file"))
            QCOMPARE(snapshot(QFileInfo(target).absolutePath()), folder_before);
    }
    QCOMPARE(pq_hostile::read_all(source), original);
    // And the edits can still be saved once there is somewhere to put them.
    const QString rescue = dir.filePath(QStringLiteral("rescue-%1.bin").arg(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(hex.save_edits(rescue));
    QByteArray expected = original;
    expected[10] = char(0xab);
    expected[11] = char(0xcd);
    expected[99999] = char(0xef);
    QCOMPARE(pq_hostile::read_all(rescue), expected);
}

void tst_savefaults::save_markups_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("to-full-device") << "full-device";
    QTest::newRow("to-full-file-system") << "full-file-system";
    QTest::newRow("over-unwritable-file") << "immutable-file";
    QTest::newRow("into-unwritable-folder") << "unwritable-folder";
    QTest::newRow("into-vanished-folder") << "vanished-folder";
    QTest::newRow("over-proc-file") << "proc-file";
}

void tst_savefaults::save_markups()
{
    QFETCH(QString, where);
    MainWindow *w = MainWindow::instance();
    QStringList warnings;
    QString save_to;
    w->show_warning = [&](const QString &title, const QString &) { warnings << title; };
    w->ask_question = [](const QString &, const QString &, QMessageBox::StandardButton) {
        return QMessageBox::Yes;
    };
    w->get_save_file_name = [&](const QString &, const QString &, const QString &) { return save_to; };

    MarkupTree *tree = w->markup_tree();
    tree->clear();
    QVERIFY(tree->insert_range(0, 99));
    QVERIFY(tree->insert_range(10, 19));
    QVERIFY(tree->insert_range(Q_INT64_C(5000000000), Q_INT64_C(5000000099)));
    w->set_markup_modified();
    const QString xml = tree->to_xml();

    QString skip;
    save_to = stage(where, QString(), &skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QString before = snapshot(save_to);
    const QString folder_before = snapshot(QFileInfo(save_to).absolutePath());

    w->save_markup_as_action();
    const bool on_full_fs = full_fs != nullptr;
    refusals.clear();
    full_fs.reset();

    QCOMPARE(warnings, QStringList { QStringLiteral("File Error") });
    // The markups are all still in memory, and still count as unsaved.
    QCOMPARE(tree->to_xml(), xml);
    QVERIFY(w->is_markup_modified());
    if (!on_full_fs) {
        QCOMPARE(snapshot(save_to), before);
        if (where != QLatin1String("proc-file"))
            QCOMPARE(snapshot(QFileInfo(save_to).absolutePath()), folder_before);
    }
    // Saving somewhere sound afterwards writes every markup.
    warnings.clear();
    save_to = dir.filePath(QStringLiteral("rescue-%1.xml").arg(QString::fromLatin1(QTest::currentDataTag())));
    w->save_markup_as_action();
    QVERIFY(warnings.isEmpty());
    QVERIFY(!w->is_markup_modified());
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(save_to)), xml);
}

QTEST_MAIN(tst_savefaults)
#include "tst_savefaults.moc"
