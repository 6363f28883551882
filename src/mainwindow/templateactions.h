#pragma once

#include <QObject>
#include <QString>

class EditedFile;
class MainWindow;

// Markup > Apply Template: a Kaitai Struct description applied to the open
// file turns into nested markups, one undo step. The run itself needs no
// window (TemplateRun); this asks for the file, shows progress with Cancel
// and tells the outcome in the status bar.
class TemplateActions : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TemplateActions)

public:
    TemplateActions(MainWindow *window, EditedFile *file);

    // Applies `path` as the menu entry does once the file is chosen; true
    // when markups were added. `max_fields` above 0 overrides the field
    // limit of Preferences.
    bool apply_template_file(const QString &path, qint64 max_fields = 0);

    // Where the file dialog starts the first time: the example templates
    // beside the program (build tree) or installed with it; empty for none.
    static QString examples_folder();

public slots:
    void apply_template_action();

private:
    MainWindow *m_window;
    EditedFile *m_file;
};
