#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

// Edits the markup directory, markup linking, the toolbar style, the splash
// screen, hexadecimal display of markup positions, the journal, whether a
// template is offered for a file's format when it opens, the overview strip
// and the template field limit. Reads the settings when built; "Save" writes
// them all and hands the toolbar style (a
// Qt::ToolButtonStyle value, 0..3) to m_apply_toolbar_style at once. "Cancel",
// Escape and the close button write nothing.
//
// The controls carry object names ("link_check", "toolbar_style_combo",
// "markup_dir_edit", "splash_check", "hex_display_check", "journal_check",
// "overview_check", "recognise_check", "field_limit_spin", "browse_button",
// "save_button", "cancel_button") for callers that drive it without a person.
class PreferencesDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(PreferencesDialog)

public:
    // m_apply_toolbar_style may be empty; the style is then only stored.
    explicit PreferencesDialog(QWidget *parent = nullptr,
                               std::function<void(int)> m_apply_toolbar_style = {});

    // Asks for a directory: (parent, caption, start directory) -> chosen path,
    // or the empty text when cancelled. Defaults to the real chooser.
    std::function<QString(QWidget *parent, const QString &caption, const QString &dir)>
        get_existing_directory;

public slots:
    void accept() override;
    // Starts at the home directory; a cancelled chooser empties the field.
    virtual void browse_dir();

private:
    QCheckBox *link_check;
    // "Journal": files opened afterwards keep (or do not keep) a journal.
    QCheckBox *m_journal_check;
    // "Overview Strip": the strip of byte classes beside the hex view.
    QCheckBox *m_overview_check;
    // "Recognise Formats": offer a template for the format of a file opened.
    QCheckBox *m_recognise_check;
    QComboBox *toolbar_style_combo;
    QLineEdit *markup_dir_edit;
    QCheckBox *splash_check;
    QCheckBox *hex_display_check;
    // The most fields a template reads before it stops.
    QSpinBox *m_field_limit_spin;

    std::function<void(int)> m_apply_toolbar_style;
};
