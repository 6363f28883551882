#pragma once

#include <QObject>
#include <QString>

class EditedFile;
class MainWindow;

// Markup > Apply Template: a Kaitai Struct description applied to the open
// file turns into nested markups, one undo step. The run itself needs no
// window (TemplateRun); this offers the gallery installed with the program
// (or a file of the user's own), shows progress with Cancel and tells the
// outcome in the status bar.
class TemplateActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TemplateActions)

public:
    TemplateActions(MainWindow *window, EditedFile *file);

    // Applies `path` as the menu entry does once the file is chosen; true
    // when markups were added.
    bool apply_template_file(const QString &path);

public slots:
    void apply_template_action();

private:
    MainWindow *m_window;
    EditedFile *m_file;
};
