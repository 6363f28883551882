#pragma once

#include "editedfile/editedfile.h"
#include "mainwindow/mainwindow.h"

#include <QObject>
#include <QString>

// The markup tree in files: Load Markup, Save Markup, Save Markup As and
// Export, and the link that reopens a data file's markup file with it. The
// edited file reads, writes and links; these commands ask the questions and
// tell the outcome.
class MarkupFileActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MarkupFileActions)

public:
    MarkupFileActions(MainWindow *window, EditedFile *file);

    // The file the markups were last loaded from or saved to; empty for none.
    QString current_file() const;

    // Loads a markup file as Load Markup does once the file is chosen.
    void load_markup_file(const QString &name);
    // "Markup Has Changed": Yes saves the markup as Save Markup does (to a
    // name asked for when there is no markup file), No goes on without
    // saving, Cancel stops the command.
    MainWindow::Unsaved ask_save_markup();

    // Reads the markup file linked to `data_path`, as load_markup_file()
    // reads, without making it the file of a new link.
    void load_linked_markup(const QString &data_path);

public slots:
    void save_markup_action();
    void save_markup_as_action();
    void load_markup_action();
    // The tree as JSON, CSV or a .ksy skeleton; only reads it: the markups,
    // their file and their modified flag stay as they were.
    void export_markup_action();

private:
    // Reads `name` into the tree; an unreadable file is told and changes
    // nothing.
    EditedFile::MarkupRead read_markup_file(const QString &name, bool linked);

    MainWindow *m_window;
    EditedFile *m_file;
};
