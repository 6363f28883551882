#pragma once

// Answers the main window's dialogs from a script, so its commands can be
// driven without a person. Header-only: only the main-window tests include it.

#include "settings/config.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "dialogs/manualmarkupdialog.h"
#include "dialogs/templategallerydialog.h"
#include "markup/markuptree.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QList>
#include <QMap>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QString>
#include <QStringList>

namespace pq_test {

struct DialogScript
{
    // Every question, warning, about box and file dialog, in order, as
    // "question:<title>", "warning:<title>", "about:<title>", "open:<caption>",
    // "save:<caption>", "colour", "font", "manual", "preferences".
    QStringList events;
    QStringList warning_texts;
    QStringList question_texts;
    // The answers each question offered, in order.
    QList<QMessageBox::StandardButtons> question_buttons;
    // Answers by question title; a title not listed is answered No. An
    // answer the question does not offer (Cancel to a Yes/No question) is
    // answered NoButton, which no command takes for Yes.
    QMap<QString, QMessageBox::StandardButton> answers;
    // ask_choice answers (the answer's index) by title.
    QMap<QString, int> choices;
    // File dialog answers, taken in order; an empty queue cancels.
    QStringList file_names;
    // For each save dialog: whether it was to ask before replacing a file.
    QList<bool> save_dialog_asks;
    // Colour dialog answers, in order; an empty queue cancels.
    QList<QColor> colours;
    // The colour each colour dialog opened on.
    QList<QColor> colour_initials;
    // Font dialog answers, in order; an empty queue cancels.
    QList<QFont> fonts;
    // Manual markup dialog: texts for start, end and length, and whether to
    // accept. Empty: the dialog is cancelled.
    QList<QStringList> manual_fields;
    // The gallery entry to apply (a path); empty: Other File..., which asks
    // through get_open_file_name. What the gallery showed: "folder/title" rows.
    QString template_choice;
    QStringList template_rows;
    QString about_text;
    // Random numbers handed out in order, then 0.
    QList<int> randoms;

    void install(MainWindow *window)
    {
        window->ask_question = [this](const QString &title, const QString &text,
                                      QMessageBox::StandardButtons buttons,
                                      QMessageBox::StandardButton) {
            events << "question:" + title;
            question_texts << text;
            question_buttons << buttons;
            const QMessageBox::StandardButton answer = answers.value(title, QMessageBox::No);
            return buttons.testFlag(answer) ? answer : QMessageBox::NoButton;
        };
        // Questions with answers of their own: by title, else the last
        // answer ("Later" where there is one).
        window->ask_choice = [this](const QString &title, const QString &text,
                                    const QStringList &offered) {
            events << "choice:" + title;
            question_texts << text;
            return choices.value(title, int(offered.size()) - 1);
        };
        window->show_warning = [this](const QString &title, const QString &text) {
            events << "warning:" + title;
            warning_texts << text;
        };
        window->show_about = [this](const QString &title, const QString &text) {
            events << "about:" + title;
            about_text = text;
        };
        window->get_open_file_name = [this](const QString &caption, const QString &,
                                            const QString &) {
            events << "open:" + caption;
            return file_names.isEmpty() ? QString() : file_names.takeFirst();
        };
        window->get_save_file_name = [this](const QString &caption, const QString &,
                                            const QString &, bool dialog_asks_overwrite) {
            events << "save:" + caption;
            save_dialog_asks << dialog_asks_overwrite;
            return file_names.isEmpty() ? QString() : file_names.takeFirst();
        };
        window->get_color = [this](const QColor &initial) {
            events << "colour";
            colour_initials << initial;
            return colours.isEmpty() ? QColor() : colours.takeFirst();
        };
        window->get_font = [this](bool *ok, const QFont &initial) {
            events << "font";
            *ok = !fonts.isEmpty();
            return fonts.isEmpty() ? initial : fonts.takeFirst();
        };
        window->exec_manual_dialog = [this](ManualMarkupDialog *dialog) {
            events << "manual";
            if (manual_fields.isEmpty())
                return int(QDialog::Rejected);
            const QStringList fields = manual_fields.takeFirst();
            const char *names[] = {"start_edit", "end_edit", "length_edit"};
            for (int i = 0; i < 3 && i < fields.size(); ++i) {
                if (auto *edit = dialog->findChild<QLineEdit *>(names[i]))
                    edit->setText(fields[i]);
            }
            return int(QDialog::Accepted);
        };
        window->exec_template_dialog = [this](TemplateGalleryDialog *dialog) {
            events << "template";
            const QStandardItemModel *model = dialog->model();
            for (int f = 0; f < model->rowCount(); ++f)
                for (int row = 0; row < model->item(f)->rowCount(); ++row)
                    template_rows << model->item(f)->text() + "/" + model->item(f)->child(row)->text();
            if (template_choice.isEmpty())
                return TemplateGalleryDialog::other_file;
            return dialog->select_path(template_choice) && !dialog->selected_path().isEmpty()
                       ? int(QDialog::Accepted)
                       : int(QDialog::Rejected);
        };
        window->random_number = [this] { return randoms.isEmpty() ? 0 : randoms.takeFirst(); };
    }
};

// Brings the one window back to a known state between test functions: no
// markups, no markup file, both modified flags false, `data` open, no
// selection, empty status, linking off.
inline void reset_window(MainWindow *window, DialogScript &script, const QString &data)
{
    script = DialogScript();
    script.install(window);
    script.answers["Clear All markup"] = QMessageBox::Yes;
    window->clear_marks_action();
    Config::instance()->setValue("Link Markup", "yes");
    window->load_linked_markup(QStringLiteral("/no/such/data/file"));
    Config::instance()->setValue("Link Markup", "no");
    Config::instance()->setValue("filename", data);
    window->load_file(data);
    window->hex_widget()->clear_selection();
    window->statusBar()->clearMessage();
    script = DialogScript();
    script.install(window);
}

} // namespace pq_test
