// The program's arguments: FILE, --markup, --help, --version and mistakes.

#include "app/argumentname.h"
#include "app/commandline.h"
#include "markup/markuptree.h"
#include "markup/markupxmlhandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7")); }

    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("text_part");
        const int run = int(CommandLine::Action::run);
        const int help = int(CommandLine::Action::show_help);
        const int version = int(CommandLine::Action::show_version);
        const int fail = int(CommandLine::Action::fail);
        QTest::newRow("nothing-reopens-last") << QStringList{} << run << "" << "" << "";
        QTest::newRow("file") << QStringList{"data.bin"} << run << "data.bin" << "" << "";
        QTest::newRow("file-and-markup") << QStringList{"data.bin", "--markup", "m.xml"} << run
                                         << "data.bin" << "m.xml" << "";
        QTest::newRow("markup-before-file") << QStringList{"--markup=m.xml", "data.bin"} << run
                                            << "data.bin" << "m.xml" << "";
        QTest::newRow("markup-alone") << QStringList{"--markup", "m.xml"} << run << "" << "m.xml" << "";
        QTest::newRow("dash-dash-file-named-like-option")
            << QStringList{"--", "--help"} << run << "--help" << "" << "";
        QTest::newRow("help") << QStringList{"--help"} << help << "" << "" << "--markup <file>";
        QTest::newRow("help-short") << QStringList{"-h", "data.bin"} << help << "" << "" << "[FILE]";
        QTest::newRow("version") << QStringList{"--version"} << version << "" << "" << "9.8.7";
        QTest::newRow("unknown-option") << QStringList{"--bogus"} << fail << "" << "" << "bogus";
        QTest::newRow("markup-without-name") << QStringList{"--markup"} << fail << "" << "" << "markup";
        QTest::newRow("markup-empty-name") << QStringList{"--markup="} << fail << "" << "" << "needs a file";
        QTest::newRow("two-files") << QStringList{"a.bin", "b.bin"} << fail << "" << "" << "Only one FILE";
        QTest::newRow("export-needs-file") << QStringList{"--markup", "m.xml", "--export", "o.json"}
                                           << fail << "" << "m.xml" << "needs FILE";
        QTest::newRow("export-needs-markup") << QStringList{"--export", "o.json", "d.bin"} << fail
                                             << "d.bin" << "" << "needs --markup or --template";
        QTest::newRow("template-needs-file") << QStringList{"--template", "t.ksy"} << fail << ""
                                             << "" << "--template needs FILE";
        QTest::newRow("export-unknown-suffix")
            << QStringList{"--markup", "m.xml", "--export", "o.txt", "d.bin"} << fail << "d.bin"
            << "m.xml" << ".json, .csv, .ksy or .xml";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, file);
        QFETCH(QString, markup);
        QFETCH(QString, text_part);
        arguments.prepend(QStringLiteral("pellowquarnby"));
        const CommandLine command_line(arguments);
        QCOMPARE(int(command_line.action()), action);
        QCOMPARE(command_line.file(), file);
        QCOMPARE(command_line.markup(), markup);
        QVERIFY2(command_line.text().contains(text_part), qPrintable(command_line.text()));
        QCOMPARE(command_line.headless(), arguments.contains("--export"));
        // Help and mistakes show the usage; a run prints nothing.
        if (action == int(CommandLine::Action::run))
            QVERIFY(command_line.text().isEmpty());
        else if (action != int(CommandLine::Action::show_version))
            QVERIFY(command_line.text().contains("Usage:"));
    }

    // Names are bytes: one that is not UTF-8 still opens the file it names,
    // and two such names that decode alike stay two files.
    void names_open_whatever_their_bytes_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<bool>("through_link");
        QTest::newRow("utf-8") << QByteArrayList{"caf\xc3\xa9.bin"} << false;
        QTest::newRow("latin-1") << QByteArrayList{"caf\xe9.bin"} << true;
        QTest::newRow("lone-ff") << QByteArrayList{"\xff.bin"} << true;
        QTest::newRow("decode-alike") << QByteArrayList{"\xfe.bin", "\xff.bin"} << true;
        QTest::newRow("missing") << QByteArrayList{} << false;
    }

    void names_open_whatever_their_bytes()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(bool, through_link);
        QTemporaryDir runtime;
        QTemporaryDir data;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                  | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        if (names.isEmpty()) {
            const QByteArray missing = QFile::encodeName(data.path()) + "/gone\xe9.bin";
            QCOMPARE(ArgumentName::openable(missing), QFile::decodeName(missing));
            return;
        }
        QStringList opened;
        QByteArrayList created;
        // Qt cannot remove what it cannot name: these go by their bytes.
        const auto cleanup = qScopeGuard([&created] {
            for (const QByteArray &raw : created)
                ::unlink(raw.constData());
        });
        for (const QByteArray &name : names) {
            // Created by bytes, as another program would.
            const QByteArray raw = QFile::encodeName(data.path()) + '/' + name;
            created << raw;
            const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, name.constData(), size_t(name.size())), ssize_t(name.size()));
            ::close(fd);
            const QString openable = ArgumentName::openable(raw);
            QCOMPARE(openable.startsWith(ArgumentName::link_folder()), through_link);
            QFile file(openable);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(openable));
            QCOMPARE(file.readAll(), name);
            QCOMPARE(QFileInfo(openable).fileName().startsWith(QFile::decodeName(name)), true);
            // Asking again reuses the link rather than piling up new ones.
            QCOMPARE(ArgumentName::openable(raw), openable);
            opened << openable;
        }
        QCOMPARE(QSet<QString>(opened.begin(), opened.end()).size(), opened.size());
        if (through_link)
            QCOMPARE(QFileInfo(ArgumentName::link_folder()).permissions() & 0x0077, 0);
    }

    // --help speaks the language of the locale, with no display: the
    // program's own lines and Qt's (-h), German for any German locale.
    void help_follows_the_locale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("lines");
        const QStringList german{"Die Markierungen von FILE nach <out> schreiben",
                                 "Zeigt Hilfe zu den Kommandozeilenoptionen an."};
        QTest::newRow("german") << "de_DE.UTF-8" << german;
        QTest::newRow("german-austria") << "de_AT.UTF-8" << german;
        QTest::newRow("c-is-english") << "C.UTF-8"
                                      << QStringList{"Write the markups of FILE to <out>",
                                                     "Displays help on commandline options."};
        QTest::newRow("no-translation-is-english") << "fi_FI.UTF-8"
                                                   << QStringList{"Write the markups of FILE to <out>"};
    }

    void help_follows_the_locale()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, lines);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LANG"), locale);
        environment.insert(QStringLiteral("LC_ALL"), locale);
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PQ_PROGRAM), {QStringLiteral("--help")});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        const QString help = QString::fromUtf8(program.readAllStandardOutput()).simplified();
        for (const QString &line : lines)
            QVERIFY2(help.contains(line), qPrintable(help));
    }

    // --export runs with no display at all: exit 0 and the file written, 1
    // and one line on standard error (the file not written), 3 with the file written and a line
    // naming where the template stopped, 2 for a usage mistake.
    void export_runs_without_display_data()
    {
        // In the arguments, M is the markup file, T a template, D the data
        // file and O the output; the others are taken as they are.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("written");
        const QStringList markup{"--markup", "M", "--export", "O", "D"};
        const QStringList ksy{"--template", "T", "--export", "O", "D"};
        QTest::newRow("json") << markup << "o.json" << 0 << "\"description\":\"tag\"";
        QTest::newRow("csv") << markup << "o.csv" << 0 << ",tag,";
        QTest::newRow("ksy") << markup << "o.ksy" << 0 << "size: 4";
        QTest::newRow("markup-file") << markup << "o.xml" << 0 << "description=\"tag\"";
        QTest::newRow("template") << ksy << "o.json" << 0 << "\"description\":\"len = 12337\"";
        QTest::newRow("template-field-limit")
            << QStringList{"--template", "T", "--max-fields", "1", "--export", "O", "D"} << "o.json" << 3
            << "len = 12337\"";
        QTest::newRow("max-fields-not-a-number")
            << QStringList{"--template", "T", "--max-fields", "0", "--export", "O", "D"} << "o.json" << 2 << "";
        QTest::newRow("max-fields-without-template")
            << QStringList{"--markup", "M", "--max-fields", "5", "--export", "O", "D"} << "o.json" << 2 << "";
        QTest::newRow("missing-markup") << QStringList{"--markup", "gone.xml", "--export", "O", "D"}
                                        << "o.json" << 1 << "";
        // d.bin holds "0123456789": the check on its first byte fails, or a
        // field asks for more than there is.
        QTest::newRow("template-does-not-match")
            << QStringList{"--template", "X", "--export", "O", "D"} << "o.json" << 1
            << "x.ksy does not match this file: contents [89 50] expected, [30 31] found at 0x0 in magic (x.ksy:4:5)";
        QTest::newRow("template-stops-partway")
            << QStringList{"--template", "P", "--export", "O", "D"} << "o.json" << 3 << "len = 12337";
        // auto: the gallery beside the program picks the template by the
        // file's first bytes.
        QTest::newRow("template-auto")
            << QStringList{"--template", "auto", "--export", "O", "G"} << "o.json" << 0
            << "\"description\":\"hdr\"";
        QTest::newRow("template-auto-no-match")
            << QStringList{"--template", "auto", "--export", "O", "D"} << "o.json" << 1 << "no template matches";
        QTest::newRow("unreadable-template")
            << QStringList{"--template", "gone.ksy", "--export", "O", "D"} << "o.json" << 1 << "";
        // B promises far more markups than memory can hold: refused unread.
        QTest::newRow("markup-beyond-memory") << QStringList{"--markup", "B", "--export", "O", "D"}
                                              << "o.json" << 1 << "Markup file too large for the memory available";
        QTest::newRow("unwritable") << markup << "no-such-folder/o.json" << 1 << "";
        QTest::newRow("expression-too-deep")
            << QStringList{"--template", "E", "--export", "O", "D"} << "o.json" << 1 << "depth limit of 256";
        QTest::newRow("usage") << markup << "o.txt" << 2 << "";
        QTest::newRow("unknown-option") << QStringList{"--bogus", "D"} << "o.json" << 2 << "";
    }

    void export_runs_without_display()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(int, code);
        QFETCH(QString, written);
        QTemporaryDir folder;
        const auto write = [&folder](const char *name, const QByteArray &bytes) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write("d.bin", "0123456789"));
        QVERIFY(write("m.xml", "<pellowquarnbybook><node description=\"tag\" start=\"2\" end=\"5\" "
                               "repeat=\"false\"/></pellowquarnbybook>"));
        QVERIFY(write("t.ksy", "meta:\n  id: t\n  endian: be\nseq:\n  - id: len\n    type: u2\n"
                               "  - id: rest\n    size-eos: true\n"));
        QVERIFY(write("g.gif", QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00"
                                          "\x01\x00\x00\x02\x00;", 27)));
        QVERIFY(write("x.ksy", "meta:\n  id: x\nseq:\n  - id: magic\n    contents: [0x89, 0x50]\n"));
        QVERIFY(write("p.ksy", "meta:\n  id: p\n  endian: be\nseq:\n  - id: len\n    type: u2\n"
                               "  - id: rest\n    size: 100\n"));
        // A value of 50,000 terms: refused with the depth limit, never a crash.
        QVERIFY(write("e.ksy", "meta:\n  id: e\ninstances:\n  total:\n    value: "
                                   + QByteArrayList(50000, "1").join(" + ") + "\n"));
        if (arguments.contains("B")) {
            QByteArray dense = "<pellowquarnbybook>";
            while (dense.size() < (1 << 20))
                dense += "<node/>";
            QVERIFY(write("b.xml", dense));
            QVERIFY(QFile::resize(folder.filePath("b.xml"), MarkupTree::max_markup_file_size));
            if (MarkupXMLHandler::memory_needed(dense, MarkupTree::max_markup_file_size)
                <= MarkupTree::available_memory())
                QSKIP("this machine could hold the markups of the file");
        }
        const QHash<QString, QString> names{{"M", folder.filePath("m.xml")},
                                            {"B", folder.filePath("b.xml")},
                                            {"T", folder.filePath("t.ksy")},
                                            {"X", folder.filePath("x.ksy")},
                                            {"G", folder.filePath("g.gif")},
                                            {"P", folder.filePath("p.ksy")},
                                            {"E", folder.filePath("e.ksy")},
                                            {"D", folder.filePath("d.bin")},
                                            {"O", folder.filePath(output)}};
        for (QString &argument : arguments)
            argument = names.value(argument, argument);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PQ_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), code);
        const QByteArray errors = program.readAllStandardError();
        if (code == 1 || code == 3)
            QCOMPARE(errors.count('\n'), 1);
        // For a failure, `written` is what standard error says.
        if (code == 1)
            QVERIFY2(errors.contains(written.toUtf8()), errors.constData());
        // Reaching the limit is said, and the part read is still written.
        if (code == 3 && arguments.contains("--max-fields"))
            QVERIFY2(errors.contains("the field limit"), errors.constData());
        QFile result(folder.filePath(output));
        const bool written_expected = code == 0 || code == 3;
        QCOMPARE(result.exists(), written_expected);
        if (written_expected) {
            QVERIFY(result.open(QIODevice::ReadOnly));
            QVERIFY2(result.readAll().contains(written.toUtf8()), qPrintable(written));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
