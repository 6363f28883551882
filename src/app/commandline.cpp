#include "app/commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine", "A hex editor that annotates binary files with coloured, nested markups."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption markup(QStringLiteral("markup"),
                                    QCoreApplication::translate(
                                        "CommandLine", "Load the markup file <file> after FILE "
                                                       "(instead of the markup linked to FILE)."),
                                    QStringLiteral("file"));
    parser.addOption(markup);
    const QString file_text = QCoreApplication::translate(
        "CommandLine", "The data file to open instead of the last one.");
    parser.addPositionalArgument(QStringLiteral("FILE"), file_text, QStringLiteral("[FILE]"));

    // parse(), not process(): process() would exit the program from here.
    if (!parser.parse(arguments)) {
        m_action = Action::fail;
        m_text = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return;
    }
    if (parser.isSet(help)) {
        m_action = Action::show_help;
        m_text = parser.helpText();
        return;
    }
    if (parser.isSet(version)) {
        m_action = Action::show_version;
        m_text = QCoreApplication::applicationName() + QLatin1Char(' ')
                 + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        m_action = Action::fail;
        m_text = QCoreApplication::translate("CommandLine", "Only one FILE can be opened.")
                 + QLatin1Char('\n') + parser.helpText();
        return;
    }
    m_file = files.value(0);
    m_markup = parser.value(markup);
    if (parser.isSet(markup) && m_markup.isEmpty()) {
        m_action = Action::fail;
        m_text = QCoreApplication::translate("CommandLine", "--markup needs a file name.")
                 + QLatin1Char('\n') + parser.helpText();
    }
}
