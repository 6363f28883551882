// The window's commands as other code and the tests call them by name: each
// is run by the action class of its concern.

#include "mainwindow/mainwindow.h"

#include "mainwindow/helpactions.h"
#include "mainwindow/viewactions.h"

void MainWindow::help_topics_action()
{
    help_actions->help_topics_action();
}

void MainWindow::about_action()
{
    help_actions->about_action();
}

void MainWindow::font_action()
{
    view_actions->font_action();
}

void MainWindow::prefs_action()
{
    view_actions->prefs_action();
}

void MainWindow::copy_action()
{
    view_actions->copy_action();
}

void MainWindow::find_action()
{
    view_actions->find_action();
}

void MainWindow::find_next_action()
{
    view_actions->find_next_action();
}

void MainWindow::goto_action()
{
    view_actions->goto_action();
}

void MainWindow::dock_toplevel(bool toplevel)
{
    view_actions->dock_toplevel(toplevel);
}

void MainWindow::dock_tree_action(bool visible)
{
    view_actions->dock_tree_action(visible);
}

void MainWindow::dock_search_action(bool visible)
{
    view_actions->dock_search_action(visible);
}
