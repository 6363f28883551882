#include "mainwindow/helpactions.h"

#include "mainwindow/helpclient.h"
#include "mainwindow/mainwindow.h"

#include <QCoreApplication>
#include <QStatusBar>

HelpActions::HelpActions(MainWindow *window, HelpClient *client)
    : QObject(window)
    , m_window(window)
    , m_help_client(client)
{
    connect(m_help_client, &HelpClient::error, m_window,
            [window](const QString &text) { window->show_status(text); });
}

void HelpActions::close_help()
{
    m_help_client->closeAssistant();
}

void HelpActions::help_topics_action()
{
    m_help_client->openAssistant();
    m_help_client->showPage(QCoreApplication::applicationDirPath()
                            + QStringLiteral("/html_help/index.html"));
}

void HelpActions::about_action()
{
    m_window->statusBar()->clearMessage();
    // The name in the larger font, the version below it in the smaller one.
    const QString text = QStringLiteral("<font size = 4>") + tr("Pellow Quarnby<br>")
                         + QStringLiteral("</font><br>") + QStringLiteral("<font size =3>")
                         + tr("Version %1").arg(QStringLiteral(PQ_VERSION));
    m_window->show_about(tr("About Pellow Quarnby"), text);
}
