#pragma once

#include <QObject>
#include <QString>

class EditedFile;
class FormatBar;
class MainWindow;
class QThread;

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
    ~TemplateActions() override;

    // The line above the hex view where a template for the open file's
    // format is offered; from then on every file opened is looked at.
    void set_format_bar(FormatBar *bar);
    // The description offered for the open file; empty when none is.
    QString offered_template() const { return m_offered; }

    // Applies `path` as the menu entry does once the file is chosen; true
    // when markups were added. `max_fields` above 0 overrides the field
    // limit of Preferences.
    bool apply_template_file(const QString &path, qint64 max_fields = 0);

public slots:
    void apply_template_action();
    // Offers the gallery's best match for the open file (unless switched
    // off in the preferences), or hides the offer. The gallery is read once,
    // in the background the first time, so opening never waits for it.
    void recognise();

private:
    MainWindow *m_window;
    EditedFile *m_file;
    FormatBar *m_bar = nullptr;
    QString m_offered;
    QThread *m_gallery_reader = nullptr;
};
