// Saving where the bytes cannot go: a device that is always full, a full file
// system, a file or folder that refuses writes (root included) and a folder
// that vanished. Each must warn, keep every edit and markup in memory, and
// leave what is on disk no worse than before.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "settings/config.h"
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
#include <sys/stat.h>
#include <unistd.h>

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
    void copy_keeps_access_data();
    void copy_keeps_access();
    void markup_save_keeps_the_file_data();
    void markup_save_keeps_the_file();
    void markup_save_as_target_data();
    void markup_save_as_target();

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
    w->ask_question = [](const QString &, const QString &, QMessageBox::StandardButtons,
                         QMessageBox::StandardButton) {
        return QMessageBox::Yes;
    };
    w->get_save_file_name = [&](const QString &, const QString &, const QString &, bool) { return save_to; };

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
    QVERIFY(w->markup_modified());
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
    QVERIFY(!w->markup_modified());
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(save_to)), xml);
}

namespace {

struct stat status_of(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

void tst_savefaults::copy_keeps_access_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("target_mode");  // -1: no file there yet
    QTest::addColumn<bool>("other_group");
    QTest::newRow("private-0600") << 0600 << -1 << false;
    QTest::newRow("executable-0755") << 0755 << -1 << false;
    QTest::newRow("read-only-0444") << 0444 << -1 << false;
    QTest::newRow("over-a-wider-0666-target") << 0640 << 0666 << false;
    QTest::newRow("group-of-the-source") << 0640 << -1 << true;
}

void tst_savefaults::copy_keeps_access()
{
    QFETCH(int, mode);
    QFETCH(int, target_mode);
    QFETCH(bool, other_group);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString source = dir.filePath(QStringLiteral("access-%1.bin").arg(tag));
    const QString target = dir.filePath(QStringLiteral("access-copy-%1.bin").arg(tag));
    QVERIFY(pq_hostile::write_all(source, QByteArray(5000, 's')));
    if (other_group) {
        if (!pq_hostile::running_as_root())
            QSKIP("only root can give the source a group of its own here");
        QCOMPARE(::chown(QFile::encodeName(source).constData(), uid_t(-1), gid_t(4242)), 0);
    }
    QCOMPARE(::chmod(QFile::encodeName(source).constData(), mode_t(mode)), 0);
    if (target_mode >= 0) {
        QVERIFY(pq_hostile::write_all(target, "old"));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(target_mode)), 0);
    }

    HexWidget hex;
    hex.set_message_box_function([](QMessageBox::Icon, const QString &, const QString &,
                                    QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        return QMessageBox::Yes;
    });
    hex.open_file(source);
    hex.edit_triggered();
    hex.set_selection(7, 7);
    QTest::keyClicks(&hex, QStringLiteral("ab"));
    QVERIFY(hex.save_edits(target));

    const struct stat copied = status_of(target);
    const struct stat original = status_of(source);
    QCOMPARE(int(copied.st_mode & 07777), mode);
    QCOMPARE(copied.st_gid, original.st_gid);
    QCOMPARE(pq_hostile::read_at(target, 6, 2), QByteArray("s\xab"));
}

void tst_savefaults::markup_save_keeps_the_file_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("hard-linked") << "link";
    QTest::newRow("owned-by-another-user") << "owner";
    QTest::newRow("in-a-folder-refusing-new-files") << "folder";
}

// An existing markup file is overwritten in its own inode where a new one
// would lose something: its other names, its owner, or the save itself.
void tst_savefaults::markup_save_keeps_the_file()
{
    QFETCH(QString, kind);
    MainWindow *w = MainWindow::instance();
    QStringList warnings;
    w->show_warning = [&](const QString &title, const QString &) { warnings << title; };
    const QString folder = dir.filePath(QStringLiteral("keep-") + kind);
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QLatin1String("/markup.xml");
    QVERIFY(pq_hostile::write_all(path, QByteArray(100000, 'o')));
    const QString other_name = dir.filePath(QStringLiteral("other-name-") + kind);
    if (kind == QLatin1String("link")) {
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other_name).constData()), 0);
    } else if (kind == QLatin1String("owner")) {
        if (!pq_hostile::running_as_root())
            QSKIP("only root can write a file owned by another user");
        QCOMPARE(::chown(QFile::encodeName(path).constData(), uid_t(4242), gid_t(4242)), 0);
    } else {
        refusals.push_back(std::make_unique<WriteRefusal>(folder));
        if (!refusals.back()->ok())
            QSKIP("cannot make a folder refuse writes here");
    }
    const struct stat before = status_of(path);

    MarkupTree *tree = w->markup_tree();
    tree->clear();
    QVERIFY(tree->insert_range(0, 9));
    w->set_markup_modified();
    const QString xml = tree->to_xml();
    Config::instance()->setValue(QStringLiteral("Link Markup"), QStringLiteral("yes"));
    w->load_linked_markup(QStringLiteral("/no/data/file"));
    w->get_save_file_name = [&](const QString &, const QString &, const QString &, bool) { return path; };
    w->ask_question = [](const QString &, const QString &, QMessageBox::StandardButtons,
                         QMessageBox::StandardButton) {
        return QMessageBox::Yes;
    };
    w->save_markup_action();
    refusals.clear();

    QCOMPARE(warnings, QStringList());
    QVERIFY(!w->markup_modified());
    const struct stat after = status_of(path);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_nlink, before.st_nlink);
    // Shorter than what it replaced: nothing of the old bytes is left.
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(path)), xml);
    if (kind == QLatin1String("link"))
        QCOMPARE(pq_hostile::read_all(other_name), pq_hostile::read_all(path));
}

void tst_savefaults::markup_save_as_target_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saves");
    QTest::newRow("fifo") << "fifo" << "pipe.xml" << false;
    QTest::newRow("vanished-folder") << "plain" << "gone/markup.xml" << false;
    QTest::newRow("name-without-suffix") << "plain" << "sparse" << true;
    QTest::newRow("name-with-suffix") << "plain" << "kept.markup" << true;
}

// Save Markup As moves the current markup file and the data file's link only
// when it wrote the file; a name without a suffix gets ".xml".
void tst_savefaults::markup_save_as_target()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(bool, saves);
    MainWindow *w = MainWindow::instance();
    QStringList warnings;
    w->show_warning = [&](const QString &title, const QString &) { warnings << title; };
    w->ask_question = [](const QString &, const QString &, QMessageBox::StandardButtons,
                         QMessageBox::StandardButton) {
        return QMessageBox::Yes;
    };
    const QString base = dir.filePath(QStringLiteral("as-") + QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(base));
    const QString data = base + QLatin1String("/data.bin");
    QVERIFY(pq_hostile::write_all(data, QByteArray(64, 'd')));
    const QString good = base + QLatin1String("/good.xml");
    Config::instance()->setValue(QStringLiteral("Link Markup"), QStringLiteral("yes"));
    Config::instance()->setValue(QStringLiteral("filename"), data);

    MarkupTree *tree = w->markup_tree();
    tree->clear();
    QVERIFY(tree->insert_range(5, 9));
    QString save_to = good;
    w->get_save_file_name = [&](const QString &, const QString &, const QString &, bool) { return save_to; };
    w->save_markup_as_action();
    QCOMPARE(w->current_markup_file(), good);
    const QString link = Config::instance()->value(MainWindow::link_key(data)).toString();
    QVERIFY(link.endsWith(good));

    QVERIFY(tree->insert_range(20, 29));
    w->set_markup_modified();
    const QString xml = tree->to_xml();
    save_to = base + QLatin1Char('/') + name;
    if (kind == QLatin1String("fifo"))
        QVERIFY(pq_hostile::make_fifo(save_to));
    {
        pq_hostile::FifoWatchdog guard(save_to, 20);
        w->save_markup_as_action();
        QVERIFY2(!guard.fired(), "the save blocked on the FIFO");
    }

    if (!saves) {
        QCOMPARE(warnings, QStringList{QStringLiteral("File Error")});
        QVERIFY(w->markup_modified());
        QCOMPARE(w->current_markup_file(), good);
        QCOMPARE(Config::instance()->value(MainWindow::link_key(data)).toString(), link);
        // The next Save goes to the good file, not to the failed name.
        warnings.clear();
        w->save_markup_action();
        QCOMPARE(warnings, QStringList());
        QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(good)), xml);
        return;
    }
    const QString expected = QFileInfo(save_to).suffix().isEmpty() ? save_to + QLatin1String(".xml") : save_to;
    QCOMPARE(warnings, QStringList());
    QCOMPARE(w->current_markup_file(), expected);
    QVERIFY(!QFile::exists(save_to) || save_to == expected);
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(expected)), xml);
    QVERIFY(Config::instance()->value(MainWindow::link_key(data)).toString().endsWith(QLatin1Char('|') + expected));
}

QTEST_MAIN(tst_savefaults)
#include "tst_savefaults.moc"
