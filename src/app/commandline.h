#pragma once

#include <QString>
#include <QStringList>

// The program's command line: pellowquarnby [FILE] [--markup MARKUPFILE]
// [--template KSY] [--max-fields N] [--export OUT], --help and --version. The arguments are those the application object left
// after taking its own (-platform and the like); the first is the program.
class CommandLine
{
public:
    enum class Action { run, export_markups, show_help, show_version, fail };

    explicit CommandLine(const QStringList &arguments);

    Action action() const { return m_action; }
    // --export was given: the run needs no window, and its mistakes are
    // reported at once, with no display to wait for.
    bool headless() const { return m_headless; }
    // The data file to open instead of the last one; empty: the last one.
    QString file() const { return m_file; }
    // The markup file to load after it; empty: the linked one, as usual.
    QString markup() const { return m_markup; }
    // The Kaitai Struct template to apply to the file after its markups.
    QString template_file() const { return m_template; }
    // --max-fields: the most fields the template may read this time; 0 when
    // not given (the Preferences' limit holds).
    qint64 max_fields() const { return m_max_fields; }
    // For export_markups: where to write FILE's markups; its suffix (.json,
    // .csv, .ksy or .xml) names the format.
    QString export_file() const { return m_export; }
    // What to print for show_help, show_version (standard output) and fail
    // (standard error, followed by the usage).
    QString text() const { return m_text; }

private:
    // Why --export cannot run with what was given; empty when it can.
    QString export_mistake(const QString &output) const;

    Action m_action = Action::run;
    bool m_headless = false;
    QString m_file;
    QString m_markup;
    QString m_template;
    qint64 m_max_fields = 0;
    QString m_export;
    QString m_text;
};
