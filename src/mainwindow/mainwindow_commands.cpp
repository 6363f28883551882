// The window's commands as other code and the tests call them by name: each
// is run by the action class of its concern.

#include "mainwindow/mainwindow.h"

#include "mainwindow/helpactions.h"

void MainWindow::help_topics_action()
{
    help_actions->help_topics_action();
}

void MainWindow::about_action()
{
    help_actions->about_action();
}
