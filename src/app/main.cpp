#include "settings/config.h"
#include "mainwindow/mainwindow.h"
#include "app/argumentname.h"
#include "app/batchexport.h"
#include "app/commandline.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QScreen>
#include <QSplashScreen>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Prints what --help, --version or a bad argument asks for; returns the exit
// code, or -1 when the program should run.
int answer(const CommandLine &command_line)
{
    switch (command_line.action()) {
    case CommandLine::Action::show_help:
    case CommandLine::Action::show_version:
        std::fputs(command_line.text().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::fail:
        std::fputs(command_line.text().toLocal8Bit().constData(), stderr);
        return 2;
    case CommandLine::Action::run:
    case CommandLine::Action::export_markups:
        break;
    }
    return -1;
}

// The arguments the application object left, file names taken from their
// bytes: argv and arguments() match one to one once Qt has removed its own.
QStringList named_arguments(int argc, char *argv[])
{
    QStringList arguments = QCoreApplication::arguments();
    for (int index = 1; index < argc && index < arguments.size(); ++index)
        arguments[index] = ArgumentName::openable(QByteArray(argv[index]));
    return arguments;
}

// The program's texts, compiled in, and Qt's own (standard dialogs, the
// command line's -h and -v lines) in the language of the user's locale.
// English is the source language and loads nothing.
class Translations
{
public:
    Translations()
    {
        const QLocale locale = QLocale::system();
        m_program.load(locale, QStringLiteral("pellowquarnby"), QStringLiteral("_"),
                       QStringLiteral(":/translations"));
        m_qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }

    // Into the application object now running; the last one installed is
    // asked first, so the program's texts win over Qt's.
    void install()
    {
        QCoreApplication::installTranslator(&m_qt);
        QCoreApplication::installTranslator(&m_program);
    }

private:
    QTranslator m_program;
    QTranslator m_qt;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationVersion(QStringLiteral(PQ_VERSION));
    Translations translations;
    {
        // --help, --version and --export need no display. The window
        // system's own options (-platform ...) are unknown here; the second
        // parse, after the application object has taken them, reports what
        // is left.
        QCoreApplication probe(argc, argv);
        translations.install();
        const CommandLine command_line(named_arguments(argc, argv));
        // Without a display the window system could not start to take its
        // options, so what the parser does not know is a mistake now.
        const bool no_display = qEnvironmentVariableIsEmpty("DISPLAY")
                                && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
        if ((command_line.headless() || no_display)
            && command_line.action() == CommandLine::Action::fail)
            return answer(command_line);
        if (command_line.action() == CommandLine::Action::export_markups) {
            QString error;
            const int code = BatchExport::run({command_line.file(), command_line.markup(),
                                               command_line.template_file(),
                                               command_line.export_file(), command_line.max_fields()},
                                              &error);
            if (!error.isEmpty())
                std::fputs((error + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
            return code;
        }
        if (command_line.action() != CommandLine::Action::fail) {
            const int code = answer(command_line);
            if (code >= 0)
                return code;
        }
    }

    auto *application = new QApplication(argc, argv);
    translations.install();
    const CommandLine command_line(named_arguments(argc, argv));
    const int code = answer(command_line);
    if (code >= 0) {
        delete application;
        return code;
    }
    auto *pixmap = new QPixmap(QStringLiteral(":images/splash.png"));
    auto *splash = new QSplashScreen(*pixmap);

    Config *config = Config::instance();
    MainWindow *window = MainWindow::instance();

    if (!config->contains(QStringLiteral("Splash Screen")))
        config->setValue(QStringLiteral("Splash Screen"), QStringLiteral("yes"));
    if (config->value(QStringLiteral("Splash Screen")).toString() == QLatin1String("yes")) {
        splash->show();
        QCoreApplication::processEvents();
    }

    std::srand(static_cast<unsigned>(std::time(nullptr)));

    QFont font;
    if (config->contains(QStringLiteral("font"))) {
        font = config->value(QStringLiteral("font")).value<QFont>();
    } else {
        font = QFont(QStringLiteral("Courier"), 12);
        // Courier may be missing; these make the fallback a monospaced face.
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    window->apply_font(font);

    if (command_line.file().isEmpty())
        window->load_file(config->value(QStringLiteral("filename")).toString());
    else
        window->open_named_file(command_line.file());
    if (!command_line.markup().isEmpty())
        window->load_markup_file(command_line.markup());
    if (!command_line.template_file().isEmpty())
        window->apply_template_file(command_line.template_file(), command_line.max_fields());

    window->setMaximumSize(32767, 32767);
    window->setMinimumSize(0, 0);
    // On a screen no larger than the first-run size, the frame would push
    // the status bar off the bottom: such a first run starts maximized.
    bool maximized = false;
    if (config->contains(QStringLiteral("width"))) {
        window->resize(config->value(QStringLiteral("width")).toInt(),
                       config->value(QStringLiteral("height")).toInt());
    } else {
        const QSize first_run(1024, 768);
        const QSize available = window->screen()->availableGeometry().size();
        maximized = available.width() <= first_run.width()
                    || available.height() <= first_run.height();
        window->resize(first_run.boundedTo(available));
    }
    // Position, size and dock arrangement of the last run, where stored.
    window->restore_window_layout();

    window->setAnimated(true);
    if (maximized)
        window->showMaximized();
    else
        window->show();
    splash->finish(window);

    const int result = application->exec();

    // Values written late in the run (a link stored while closing) must reach
    // the file; the settings object itself lives to the end of the process.
    config->sync();

    delete splash;
    delete pixmap;
    delete application;
    return result;
}
