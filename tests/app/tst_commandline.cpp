// The program's arguments: FILE, --markup, --help, --version and mistakes.

#include "app/commandline.h"

#include <QCoreApplication>
#include <QTest>

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
        // Help and mistakes show the usage; a run prints nothing.
        if (action == int(CommandLine::Action::run))
            QVERIFY(command_line.text().isEmpty());
        else if (action != int(CommandLine::Action::show_version))
            QVERIFY(command_line.text().contains("Usage:"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
