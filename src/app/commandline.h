#pragma once

#include <QString>
#include <QStringList>

// The program's command line: pellowquarnby [FILE] [--markup MARKUPFILE],
// --help and --version. The arguments are those the application object left
// after taking its own (-platform and the like); the first is the program.
class CommandLine
{
public:
    enum class Action { run, show_help, show_version, fail };

    explicit CommandLine(const QStringList &arguments);

    Action action() const { return m_action; }
    // The data file to open instead of the last one; empty: the last one.
    QString file() const { return m_file; }
    // The markup file to load after it; empty: the linked one, as usual.
    QString markup() const { return m_markup; }
    // What to print for show_help, show_version (standard output) and fail
    // (standard error, followed by the usage).
    QString text() const { return m_text; }

private:
    Action m_action = Action::run;
    QString m_file;
    QString m_markup;
    QString m_text;
};
