#include "mainwindow/helpclient.h"
#include "testsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

#include <sys/types.h>
#include <signal.h>

namespace {

const QString index_url = QStringLiteral("qthelp://org.sorrelworks.pellowquarnby/doc/index.html");

// A stand-in viewer: records each start (its pid), its arguments and every
// remote-control line it receives, next to itself. `prelude` runs first, to
// make it misbehave.
const char *const recording_viewer = R"(#!/bin/sh
dir=$(dirname "$0")
%PRELUDE%
echo $$ >> "$dir/starts.log"
printf '%s\n' "$@" > "$dir/args.log"
while IFS= read -r line; do
    printf '%s\n' "$line" >> "$dir/commands.log"
done
)";

QStringList read_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool write_file(const QString &path, const QByteArray &contents, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(contents);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

// An application directory holding a stand-in viewer and, when asked, a help
// directory with a collection and an index page.
struct FakeInstall
{
    QTemporaryDir dir;

    explicit FakeInstall(bool with_help = true, const QByteArray &prelude = QByteArray())
    {
        QByteArray script(recording_viewer);
        script.replace("%PRELUDE%", prelude);
        write_file(path("assistant"), script, true);
        if (with_help) {
            write_file(path("html_help/pellowquarnby.qhc"), "collection");
            write_file(path("html_help/index.html"), "<html></html>");
            write_file(path("html_help/searching.html"), "<html></html>");
        }
    }
    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? dir.path() : dir.filePath(name);
    }
    QStringList starts() const { return read_lines(path("starts.log")); }
    QStringList arguments() const { return read_lines(path("args.log")); }
    QStringList commands() const { return read_lines(path("commands.log")); }
};

bool process_alive(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return false;
    // A zombie still answers kill(); it has ended all the same.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        if (close > 0 && close + 2 < text.size() && text.at(close + 2) == 'Z')
            return false;
    }
    return true;
}

QString source_dir()
{
    const QString data = qEnvironmentVariable("PQ_TEST_DATA");
    return data.isEmpty() ? QString() : QDir::cleanPath(data + QStringLiteral("/../.."));
}

} // namespace

class TestHelpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void arguments_follow_the_rules_data();
    void arguments_follow_the_rules();
    void page_urls_data();
    void page_urls();

    void starts_once_and_reuses_the_viewer();
    void close_ends_the_viewer();
    void viewer_ignoring_terminate_is_killed();
    void destruction_ends_the_viewer();
    void viewer_that_fails_is_reported_and_restarted();
    void missing_pieces_are_reported_quickly_data();
    void missing_pieces_are_reported_quickly();
    void missing_named_collection_is_reported();
    void installed_layout_is_found();

    void real_viewer_shows_the_built_collection();

    void help_pages_are_listed_and_linked();

private:
    QTemporaryDir viewer_data;
};

void TestHelpClient::initTestCase()
{
    pq_test::isolate_settings();
    // The real viewer keeps a cache of the collection under the data
    // directory and must not draw on a screen.
    QVERIFY(viewer_data.isValid());
    qputenv("XDG_DATA_HOME", viewer_data.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

void TestHelpClient::arguments_follow_the_rules_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("expected");

    const QString collection = QStringLiteral("%HELP%/pellowquarnby.qhc");
    const QString remote = QStringLiteral("-enableRemoteControl");
    const QString flag = QStringLiteral("-collectionFile");
    // At least 900 x 700: a page beside the contents.
    const QStringList size{QStringLiteral("-qwindowgeometry"), QStringLiteral("960x700")};

    QTest::newRow("none-given") << QStringList() << QStringList{flag, collection, remote} + size;
    QTest::newRow("old-profile-pair-becomes-collection")
        << QStringList{QStringLiteral("-profile"), QStringLiteral("%APP%/html_help/help_contents.adp")}
        << QStringList{flag, collection, remote} + size;
    QTest::newRow("caller-collection-kept")
        << QStringList{flag, QStringLiteral("/elsewhere/other.qhc")}
        << QStringList{flag, QStringLiteral("/elsewhere/other.qhc"), remote} + size;
    QTest::newRow("remote-control-not-doubled")
        << QStringList{remote} << QStringList{remote, flag, collection} + size;
    QTest::newRow("other-options-kept-in-order")
        << QStringList{QStringLiteral("-show"), QStringLiteral("contents")}
        << QStringList{QStringLiteral("-show"), QStringLiteral("contents"), flag, collection, remote} + size;
    QTest::newRow("caller-size-kept")
        << QStringList{QStringLiteral("-qwindowgeometry"), QStringLiteral("800x600")}
        << QStringList{QStringLiteral("-qwindowgeometry"), QStringLiteral("800x600"), flag, collection, remote};
}

void TestHelpClient::arguments_follow_the_rules()
{
    QFETCH(QStringList, given);
    QFETCH(QStringList, expected);

    FakeInstall install;
    HelpClient client(install.path());
    const QString help = QDir(install.path("html_help")).absolutePath();
    given.replaceInStrings(QStringLiteral("%APP%"), install.path());
    expected.replaceInStrings(QStringLiteral("%HELP%"), help);

    client.setArguments(given);
    QCOMPARE(client.arguments(), expected);
    QCOMPARE(client.help_directory(), help);
}

void TestHelpClient::page_urls_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    const QString base = QStringLiteral("qthelp://org.sorrelworks.pellowquarnby/doc/");
    QTest::newRow("index-beside-program") << QStringLiteral("%APP%/html_help/index.html")
                                          << base + QStringLiteral("index.html");
    QTest::newRow("page-of-another-install")
        << QStringLiteral("/usr/share/pellowquarnby/html_help/searching.html")
        << base + QStringLiteral("searching.html");
    QTest::newRow("relative-with-anchor") << QStringLiteral("markups.html#repeat")
                                          << base + QStringLiteral("markups.html#repeat");
    QTest::newRow("subfolder-kept") << QStringLiteral("%APP%/html_help/images/splash.png")
                                    << base + QStringLiteral("images/splash.png");
    QTest::newRow("ready-url-unchanged") << base + QStringLiteral("goto.html")
                                         << base + QStringLiteral("goto.html");
    QTest::newRow("empty-means-index") << QString() << base + QStringLiteral("index.html");
    QTest::newRow("bare-directory-means-index") << QStringLiteral("%APP%/html_help/")
                                                << base + QStringLiteral("index.html");
}

void TestHelpClient::page_urls()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);

    FakeInstall install;
    HelpClient client(install.path());
    path.replace(QStringLiteral("%APP%"), install.path());
    QCOMPARE(client.page_url(path), expected);
}

void TestHelpClient::starts_once_and_reuses_the_viewer()
{
    FakeInstall install;
    HelpClient client(install.path());
    QSignalSpy opened(&client, &HelpClient::assistantOpened);
    QSignalSpy errors(&client, &HelpClient::error);
    client.setArguments({QStringLiteral("-profile"),
                         install.path("html_help/help_contents.adp")});

    // What the Help Topics command does, twice.
    client.openAssistant();
    client.showPage(install.path("html_help/index.html"));
    QVERIFY(client.isOpen());
    const qint64 pid = client.process_id();
    QVERIFY(pid > 0);
    const QStringList first_commands{QStringLiteral("expandToc 2"),
                                     QStringLiteral("setSource ") + index_url};
    QTRY_COMPARE(install.commands(), first_commands);

    client.openAssistant();
    client.showPage(install.path("html_help/index.html"));
    QTRY_COMPARE(install.commands().size(), 3);
    QCOMPARE(install.commands().last(), QStringLiteral("setSource ") + index_url);

    QCOMPARE(install.starts(), QStringList{QString::number(pid)});
    QCOMPARE(client.process_id(), pid);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(install.arguments(),
             (QStringList{QStringLiteral("-collectionFile"),
                          QDir(install.path("html_help")).absoluteFilePath(
                              QStringLiteral("pellowquarnby.qhc")),
                          QStringLiteral("-enableRemoteControl"),
                          QStringLiteral("-qwindowgeometry"), QStringLiteral("960x700")}));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(0).toString()));
    client.closeAssistant();
}

void TestHelpClient::close_ends_the_viewer()
{
    FakeInstall install;
    HelpClient client(install.path());
    QSignalSpy closed(&client, &HelpClient::assistantClosed);
    QSignalSpy errors(&client, &HelpClient::error);

    client.closeAssistant(); // nothing runs yet: nothing happens
    QCOMPARE(closed.count(), 0);

    client.showPage(QStringLiteral("index.html"));
    const qint64 pid = client.process_id();
    QVERIFY(process_alive(pid));
    QTRY_COMPARE(install.starts().size(), 1);

    client.closeAssistant();
    QVERIFY(!client.isOpen());
    QCOMPARE(client.process_id(), 0);
    QVERIFY(!process_alive(pid));
    QCOMPARE(closed.count(), 1);
    QVERIFY(errors.isEmpty()); // an end asked for is no failure

    // The next request starts a fresh viewer.
    client.showPage(QStringLiteral("index.html"));
    QVERIFY(client.isOpen());
    QVERIFY(client.process_id() != pid);
    QTRY_COMPARE(install.starts().size(), 2);
    client.closeAssistant();
}

void TestHelpClient::viewer_ignoring_terminate_is_killed()
{
    FakeInstall install(true, "trap '' TERM");
    HelpClient client(install.path());
    client.openAssistant();
    const qint64 pid = client.process_id();
    QTRY_COMPARE(install.starts().size(), 1); // written once the trap is set

    QElapsedTimer timer;
    timer.start();
    client.closeAssistant();
    QVERIFY(!client.isOpen());
    QVERIFY(!process_alive(pid));
    QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(timer.elapsed())));
}

void TestHelpClient::destruction_ends_the_viewer()
{
    FakeInstall install;
    auto client = std::make_unique<HelpClient>(install.path());
    client->openAssistant();
    const qint64 pid = client->process_id();
    QVERIFY(process_alive(pid));
    client.reset();
    QVERIFY(!process_alive(pid));
}

void TestHelpClient::viewer_that_fails_is_reported_and_restarted()
{
    FakeInstall install(true, "echo 'start-up chatter' >&2\necho 'Cannot load collection' >&2\nexit 3");
    HelpClient client(install.path());
    QSignalSpy errors(&client, &HelpClient::error);
    QSignalSpy closed(&client, &HelpClient::assistantClosed);

    client.showPage(QStringLiteral("index.html"));
    QTRY_COMPARE(closed.count(), 1);
    QVERIFY(!client.isOpen());
    QCOMPARE(errors.count(), 1);
    const QString message = errors.at(0).at(0).toString();
    QVERIFY2(message.contains(QLatin1String("exit code 3"))
                 && message.contains(QLatin1String("Cannot load collection"))
                 && !message.contains(QLatin1String("chatter")),
             qPrintable(message));

    // A dead viewer is not taken for a running one: the next request starts
    // (and loses) another.
    client.showPage(QStringLiteral("index.html"));
    QTRY_COMPARE(closed.count(), 2);
    QCOMPARE(errors.count(), 2);
}

void TestHelpClient::missing_pieces_are_reported_quickly_data()
{
    QTest::addColumn<bool>("with_viewer");
    QTest::addColumn<bool>("executable_viewer");
    QTest::addColumn<bool>("with_help");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no-viewer-anywhere") << false << false << true << "index.html"
                                        << "Help viewer not found";
    QTest::newRow("viewer-not-executable") << true << false << true << "index.html"
                                           << "Help viewer not found";
    QTest::newRow("no-collection") << true << true << false << "index.html"
                                   << "Help files not found";
    QTest::newRow("no-such-page") << true << true << true << "nosuchpage.html"
                                  << "Help page not found";
}

void TestHelpClient::missing_pieces_are_reported_quickly()
{
    QFETCH(bool, with_viewer);
    QFETCH(bool, executable_viewer);
    QFETCH(bool, with_help);
    QFETCH(QString, page);
    QFETCH(QString, expected);

    FakeInstall install(with_help);
    if (!with_viewer)
        QVERIFY(QFile::remove(install.path("assistant")));
    else if (!executable_viewer)
        QVERIFY(QFile::setPermissions(install.path("assistant"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    HelpClient client(install.path());
    // Only the fake installation counts, so a viewer installed on this
    // machine cannot stand in for the missing one.
    client.set_viewer_directories({install.path()});
    QSignalSpy errors(&client, &HelpClient::error);
    QSignalSpy opened(&client, &HelpClient::assistantOpened);

    QElapsedTimer timer;
    timer.start();
    client.openAssistant();
    client.showPage(install.path(QStringLiteral("html_help/") + page));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));

    QVERIFY(!errors.isEmpty());
    for (const auto &args : errors)
        QVERIFY2(args.at(0).toString().startsWith(expected), qPrintable(args.at(0).toString()));
    if (expected != QLatin1String("Help page not found")) {
        QVERIFY(!client.isOpen());
        QCOMPARE(opened.count(), 0);
        QVERIFY(install.starts().isEmpty());
        // The message names every place the missing piece was looked for.
        const QString message = errors.at(0).at(0).toString();
        QVERIFY2(message.contains(QDir::toNativeSeparators(install.path())), qPrintable(message));
        if (!with_help)
            QVERIFY2(message.contains(QLatin1String("share/pellowquarnby/html_help")),
                     qPrintable(message));
    } else {
        QVERIFY(errors.at(0).at(0).toString().contains(page));
        QVERIFY(install.commands().isEmpty());
        client.closeAssistant();
    }
}

void TestHelpClient::missing_named_collection_is_reported()
{
    FakeInstall install;
    HelpClient client(install.path());
    QSignalSpy errors(&client, &HelpClient::error);
    const QString missing = install.path("elsewhere/other.qhc");
    client.setArguments({QStringLiteral("-collectionFile"), missing});

    client.showPage(QStringLiteral("index.html"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("Help files not found: %1 is missing").arg(QDir::toNativeSeparators(missing)));
    QVERIFY(!client.isOpen());
    QVERIFY(install.starts().isEmpty());
}

void TestHelpClient::installed_layout_is_found()
{
    // <prefix>/bin/pellowquarnby with the help in <prefix>/share/pellowquarnby/html_help.
    QTemporaryDir prefix;
    const QString help = prefix.filePath(QStringLiteral("share/pellowquarnby/html_help"));
    QVERIFY(write_file(help + QStringLiteral("/pellowquarnby.qhc"), "collection"));
    QDir().mkpath(prefix.filePath(QStringLiteral("bin")));

    HelpClient client(prefix.filePath(QStringLiteral("bin")));
    QCOMPARE(client.help_directory(), QDir(help).absolutePath());
    QCOMPARE(client.arguments().mid(0, 2),
             (QStringList{QStringLiteral("-collectionFile"),
                          QDir(help).absoluteFilePath(QStringLiteral("pellowquarnby.qhc"))}));

    // Help beside the program wins over the installed share directory.
    QVERIFY(write_file(prefix.filePath(QStringLiteral("bin/html_help/pellowquarnby.qhc")), "x"));
    QCOMPARE(client.help_directory(),
             QDir(prefix.filePath(QStringLiteral("bin/html_help"))).absolutePath());
}

void TestHelpClient::real_viewer_shows_the_built_collection()
{
    // The test program lives in <build>/tests, the program and its help in <build>.
    const QString build = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    HelpClient client(build);
    if (client.viewer_path().isEmpty())
        QSKIP("Qt Assistant is not installed (Debian package assistant-qt6)");
    QVERIFY2(!client.help_directory().isEmpty(),
             qPrintable(QStringLiteral("no help collection built in %1/html_help").arg(build)));

    QSignalSpy opened(&client, &HelpClient::assistantOpened);
    QSignalSpy closed(&client, &HelpClient::assistantClosed);
    QSignalSpy errors(&client, &HelpClient::error);

    client.openAssistant();
    client.showPage(build + QStringLiteral("/html_help/index.html"));
    QVERIFY(client.isOpen());
    const qint64 pid = client.process_id();
    QCOMPARE(client.arguments().at(1), build + QStringLiteral("/html_help/pellowquarnby.qhc"));

    // A viewer that rejects the collection or the page quits on its own;
    // this one must still be there after it has had time to load both.
    QTest::qWait(2500);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(0).toString()));
    QVERIFY(client.isOpen());

    client.openAssistant();
    client.showPage(build + QStringLiteral("/html_help/index.html"));
    QTest::qWait(500);
    QCOMPARE(client.process_id(), pid);
    QCOMPARE(opened.count(), 1);
    QVERIFY(errors.isEmpty());

    client.closeAssistant();
    QVERIFY(!client.isOpen());
    QVERIFY(!process_alive(pid));
    QCOMPARE(closed.count(), 1);
    QVERIFY(errors.isEmpty());
}

void TestHelpClient::help_pages_are_listed_and_linked()
{
    const QString source = source_dir();
    if (source.isEmpty())
        QSKIP("PQ_TEST_DATA is not set; run this test through ctest");
    const QDir help(source + QStringLiteral("/html_help"));
    const QDir images(source + QStringLiteral("/src/mainwindow/images"));

    QFile project(help.filePath(QStringLiteral("pellowquarnby.qhp")));
    QVERIFY(project.open(QIODevice::ReadOnly));
    const QString qhp = QString::fromUtf8(project.readAll());

    QSet<QString> listed;
    static const QRegularExpression file_entry(QStringLiteral("<file>([^<]+)</file>"));
    for (auto it = file_entry.globalMatch(qhp); it.hasNext();)
        listed.insert(it.next().captured(1));
    QSet<QString> in_toc;
    static const QRegularExpression toc_entry(QStringLiteral("<section [^>]*ref=\"([^\"#]+)"));
    for (auto it = toc_entry.globalMatch(qhp); it.hasNext();)
        in_toc.insert(it.next().captured(1));

    // Every file the project lists exists; pages here, images in the program's images.
    for (const QString &file : std::as_const(listed)) {
        const QString path = file.startsWith(QLatin1String("images/"))
                                 ? images.filePath(file.mid(7)) : help.filePath(file);
        QVERIFY2(QFileInfo::exists(path), qPrintable(file));
    }

    const QStringList pages = help.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(pages.contains(QStringLiteral("index.html")));
    QVERIFY(pages.size() >= 8);
    static const QRegularExpression link(QStringLiteral("(href|src)=\"([^\"]*)\""));
    static const QRegularExpression id(QStringLiteral("id=\"([^\"]+)\""));
    for (const QString &page : pages) {
        // A page left out of the project would be missing from the compiled help.
        QVERIFY2(listed.contains(page), qPrintable(page + QStringLiteral(" not in the .qhp files")));
        QVERIFY2(in_toc.contains(page), qPrintable(page + QStringLiteral(" not in the contents")));

        QFile file(help.filePath(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY2(html.contains(QLatin1String("<title>")), qPrintable(page));

        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(2);
            QVERIFY2(!target.contains(QLatin1String("://")),
                     qPrintable(page + QStringLiteral(" links outside the help: ") + target));
            const QString file_part = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString target_page = file_part.isEmpty() ? page : file_part;
            QVERIFY2(listed.contains(target_page),
                     qPrintable(page + QStringLiteral(" -> ") + target));
            if (anchor.isEmpty())
                continue;
            QFile linked(help.filePath(target_page));
            QVERIFY(linked.open(QIODevice::ReadOnly));
            QSet<QString> ids;
            const QString linked_html = QString::fromUtf8(linked.readAll());
            for (auto ids_it = id.globalMatch(linked_html); ids_it.hasNext();)
                ids.insert(ids_it.next().captured(1));
            QVERIFY2(ids.contains(anchor), qPrintable(page + QStringLiteral(" -> ") + target));
        }
    }

    // The contents page links every other page.
    QFile index_page(help.filePath(QStringLiteral("index.html")));
    QVERIFY(index_page.open(QIODevice::ReadOnly));
    const QString index_html = QString::fromUtf8(index_page.readAll());
    for (const QString &page : pages)
        QVERIFY2(page == QLatin1String("index.html") || index_html.contains("href=\"" + page),
                 qPrintable(page + QStringLiteral(" not linked from index.html")));

    // Keyword references point at existing anchors too.
    static const QRegularExpression keyword(QStringLiteral("<keyword [^>]*ref=\"([^\"]+)\""));
    for (auto it = keyword.globalMatch(qhp); it.hasNext();) {
        const QString ref = it.next().captured(1);
        const QString page = ref.section(QLatin1Char('#'), 0, 0);
        const QString anchor = ref.section(QLatin1Char('#'), 1);
        QVERIFY2(pages.contains(page), qPrintable(ref));
        if (!anchor.isEmpty()) {
            QFile file(help.filePath(page));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(QString::fromUtf8(file.readAll()).contains(QStringLiteral("id=\"%1\"").arg(anchor)),
                     qPrintable(ref));
        }
    }
}

QTEST_GUILESS_MAIN(TestHelpClient)
#include "tst_helpclient.moc"
