// The window's commands as other code and the tests call them by name: each
// is run by the action class of its concern.

#include "mainwindow/mainwindow.h"

#include "editedfile/editedfile.h"

#include "mainwindow/fileactions.h"
#include "mainwindow/helpactions.h"
#include "mainwindow/markupactions.h"
#include "mainwindow/markupfileactions.h"
#include "mainwindow/templateactions.h"
#include "mainwindow/viewactions.h"

void MainWindow::help_topics_action()
{
    m_help_actions->help_topics_action();
}

void MainWindow::about_action()
{
    m_help_actions->about_action();
}

void MainWindow::font_action()
{
    m_view_actions->font_action();
}

void MainWindow::prefs_action()
{
    m_view_actions->prefs_action();
}

void MainWindow::copy_action()
{
    m_view_actions->copy_action();
}

void MainWindow::find_action()
{
    m_view_actions->find_action();
}

void MainWindow::find_next_action()
{
    m_view_actions->find_next_action();
}

void MainWindow::goto_action()
{
    m_view_actions->goto_action();
}

void MainWindow::dock_toplevel(bool toplevel)
{
    m_view_actions->dock_toplevel(toplevel);
}

void MainWindow::dock_tree_action(bool visible)
{
    m_view_actions->dock_tree_action(visible);
}

void MainWindow::dock_search_action(bool visible)
{
    m_view_actions->dock_search_action(visible);
}

void MainWindow::open_action()
{
    m_file_actions->open_action();
}

void MainWindow::save_action()
{
    m_file_actions->save_action();
}

void MainWindow::save_as_action()
{
    m_file_actions->save_as_action();
}

void MainWindow::load_file(const QString &name)
{
    m_file_actions->load_file(name);
}

bool MainWindow::open_named_file(const QString &name)
{
    return m_file_actions->open_named_file(name);
}

MainWindow::Unsaved MainWindow::ask_save_changes()
{
    return m_file_actions->ask_save_changes();
}

QStringList MainWindow::recent_files()
{
    return FileActions::recent_files();
}

QString MainWindow::current_markup_file() const
{
    return m_markup_file_actions->current_file();
}

void MainWindow::save_markup_action()
{
    m_markup_file_actions->save_markup_action();
}

void MainWindow::save_markup_as_action()
{
    m_markup_file_actions->save_markup_as_action();
}

void MainWindow::load_markup_action()
{
    m_markup_file_actions->load_markup_action();
}

void MainWindow::export_markup_action()
{
    m_markup_file_actions->export_markup_action();
}

void MainWindow::load_markup_file(const QString &name)
{
    m_markup_file_actions->load_markup_file(name);
}

bool MainWindow::apply_template_file(const QString &path, qint64 max_fields)
{
    return m_template_actions->apply_template_file(path, max_fields);
}

MainWindow::Unsaved MainWindow::ask_save_markup()
{
    return m_markup_file_actions->ask_save_markup();
}

void MainWindow::link_markup_file(const QString &markup_path)
{
    m_file->link_markup_file(markup_path);
}

void MainWindow::load_linked_markup(const QString &data_path)
{
    m_markup_file_actions->load_linked_markup(data_path);
}

QString MainWindow::link_key(const QString &data_path)
{
    return EditedFile::link_key(data_path);
}

void MainWindow::mark_action()
{
    m_markup_actions->mark_action();
}

void MainWindow::manual_selection_action()
{
    m_markup_actions->manual_selection_action();
}

void MainWindow::mark_color_action()
{
    m_markup_actions->mark_color_action();
}

void MainWindow::mark_background_color_action()
{
    m_markup_actions->mark_background_color_action();
}

void MainWindow::pick_random_color_action()
{
    m_markup_actions->pick_random_color_action();
}

void MainWindow::delete_markup_action()
{
    m_markup_actions->delete_markup_action();
}

void MainWindow::prune_markup_action()
{
    m_markup_actions->prune_markup_action();
}

void MainWindow::clear_marks_action()
{
    m_markup_actions->clear_marks_action();
}

void MainWindow::undo_action()
{
    m_markup_actions->undo_action();
}

void MainWindow::redo_action()
{
    m_markup_actions->redo_action();
}

void MainWindow::mark_as(qint64 first, qint64 last, const QString &description,
                         const MarkupValueType &type)
{
    m_markup_actions->mark_as(first, last, description, type);
}

void MainWindow::assign_random_colours(MarkupNode *node)
{
    m_markup_actions->assign_random_colours(node);
}

QColor MainWindow::contrast_colour(const QColor &foreground)
{
    return MarkupActions::contrast_colour(foreground);
}
