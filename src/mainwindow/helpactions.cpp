#include "mainwindow/helpactions.h"

#include "mainwindow/helpclient.h"
#include "mainwindow/mainwindow.h"

#include <QCoreApplication>
#include <QStatusBar>

#include <boost/version.hpp>

HelpActions::HelpActions(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
    const QString app_dir = QCoreApplication::applicationDirPath();
    m_help_client = new HelpClient(app_dir, this);
    m_help_client->setArguments(
        {QStringLiteral("-profile"), app_dir + QStringLiteral("/html_help/help_contents.adp")});
    connect(m_help_client, &HelpClient::error, m_window, &MainWindow::show_status);
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
    const QString text = QStringLiteral("<font size = 4>") + tr("Pellow Quarnby<br>")
                         + QStringLiteral("</font><br>")
                         + tr("Built with Qt %1 and Boost %2<br>")
                               .arg(QString::fromLatin1(qVersion()),
                                    QStringLiteral("%1.%2.%3")
                                        .arg(BOOST_VERSION / 100000)
                                        .arg(BOOST_VERSION / 100 % 1000)
                                        .arg(BOOST_VERSION % 100))
                         + QStringLiteral("<font size =3>") + tr("Version %1").arg(QStringLiteral(PQ_VERSION));
    m_window->show_about(tr("About Pellow Quarnby"), text);
}
