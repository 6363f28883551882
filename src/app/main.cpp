#include "settings/config.h"
#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QPixmap>
#include <QSplashScreen>

#include <cstdlib>
#include <ctime>

int main(int argc, char *argv[])
{
    auto *application = new QApplication(argc, argv);
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

    window->load_file(config->value(QStringLiteral("filename")).toString());

    window->setMaximumSize(32767, 32767);
    window->setMinimumSize(0, 0);
    if (config->contains(QStringLiteral("width")))
        window->resize(config->value(QStringLiteral("width")).toInt(),
                       config->value(QStringLiteral("height")).toInt());
    else
        window->resize(1024, 768);
    // Position, size and dock arrangement of the last run, where stored.
    window->restore_window_layout();

    window->setAnimated(true);
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
