#pragma once

#include <QObject>

class HelpClient;
class MainWindow;

// The Help menu: the help pages in the external viewer, and the about box.
class HelpActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HelpActions)

public:
    // `client` is the window's; the viewer's complaints (missing viewer,
    // missing pages) go to the window's status bar.
    HelpActions(MainWindow *window, HelpClient *client);

    // Ends the help viewer; the window calls it as it closes.
    void close_help();

public slots:
    void help_topics_action();
    void about_action();

private:
    MainWindow *m_window;
    HelpClient *m_help_client;
};
