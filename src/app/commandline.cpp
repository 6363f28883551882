#include "app/commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

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
    const QCommandLineOption ksy(QStringLiteral("template"),
                                 QCoreApplication::translate(
                                     "CommandLine", "Apply the Kaitai Struct template <ksy> to "
                                                    "FILE, adding its markups; \"auto\": the "
                                                    "installed one that matches FILE's format."),
                                 QStringLiteral("ksy"));
    parser.addOption(ksy);
    const QCommandLineOption max_fields(QStringLiteral("max-fields"),
                                        QCoreApplication::translate(
                                            "CommandLine", "Let the template read at most <n> fields "
                                                           "(instead of the limit set in Preferences)."),
                                        QStringLiteral("n"));
    parser.addOption(max_fields);
    const QCommandLineOption output(QStringLiteral("export"),
                                    QCoreApplication::translate(
                                        "CommandLine", "Write the markups of FILE to <out> "
                                                       "(.json, .csv, .ksy, or .xml for a markup "
                                                       "file) and exit, without a window."),
                                    QStringLiteral("out"));
    parser.addOption(output);
    const QString file_text = QCoreApplication::translate(
        "CommandLine", "The data file to open instead of the last one.");
    parser.addPositionalArgument(QStringLiteral("FILE"), file_text, QStringLiteral("[FILE]"));

    // parse(), not process(): process() would exit the program from here.
    const bool parsed = parser.parse(arguments);
    m_headless = parser.isSet(output);
    if (!parsed) {
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
    m_template = parser.value(ksy);
    QString mistake;
    if (parser.isSet(markup) && m_markup.isEmpty())
        mistake = QCoreApplication::translate("CommandLine", "--markup needs a file name.");
    if (parser.isSet(ksy) && m_template.isEmpty())
        mistake = QCoreApplication::translate("CommandLine", "--template needs a file name.");
    if (mistake.isEmpty() && !m_template.isEmpty() && m_file.isEmpty())
        mistake = QCoreApplication::translate("CommandLine", "--template needs FILE.");
    if (mistake.isEmpty() && parser.isSet(max_fields)) {
        bool number = false;
        m_max_fields = parser.value(max_fields).toLongLong(&number);
        if (!number || m_max_fields <= 0)
            mistake = QCoreApplication::translate("CommandLine", "--max-fields needs a positive number.");
        else if (m_template.isEmpty())
            mistake = QCoreApplication::translate("CommandLine", "--max-fields needs --template.");
    }
    if (mistake.isEmpty() && parser.isSet(output))
        mistake = export_mistake(parser.value(output));
    if (!mistake.isEmpty()) {
        m_action = Action::fail;
        m_text = mistake + QLatin1Char('\n') + parser.helpText();
    } else if (parser.isSet(output)) {
        m_action = Action::export_markups;
        m_export = parser.value(output);
    }
}

QString CommandLine::export_mistake(const QString &output) const
{
    if (output.isEmpty())
        return QCoreApplication::translate("CommandLine", "--export needs a file name.");
    if (m_file.isEmpty())
        return QCoreApplication::translate("CommandLine", "--export needs FILE.");
    if (m_markup.isEmpty() && m_template.isEmpty())
        return QCoreApplication::translate("CommandLine", "--export needs --markup or --template.");
    const QString suffix = QFileInfo(output).suffix().toLower();
    if (!QStringList{QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("ksy"),
                     QStringLiteral("xml")}
             .contains(suffix))
        return QCoreApplication::translate(
            "CommandLine", "--export needs a file name ending in .json, .csv, .ksy or .xml.");
    return QString();
}
