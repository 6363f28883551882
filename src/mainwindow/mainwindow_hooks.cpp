// The dialog hooks' defaults: the real modal dialogs.

#include "mainwindow/mainwindow.h"

#include "dialogs/manualmarkupdialog.h"
#include "dialogs/templategallerydialog.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QRegularExpression>

#include <cstdlib>

namespace {

// The patterns of one filter entry, "JSON (*.json *.js)" -> *.json, *.js.
QStringList filter_patterns(const QString &entry)
{
    static const QRegularExpression parenthesised(QStringLiteral("\\(([^)]*)\\)"));
    const QRegularExpressionMatch match = parenthesised.match(entry);
    return match.hasMatch() ? match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                            : QStringList();
}

} // namespace

QString MainWindow::name_for_filter(const QString &name, const QString &filter,
                                    const QString &selected_filter)
{
    if (name.isEmpty() || selected_filter.isEmpty())
        return name;
    const QString file_name = QFileInfo(name).fileName();
    for (const QString &entry : filter.split(QStringLiteral(";;"))) {
        for (const QString &pattern : filter_patterns(entry)) {
            if (QDir::match(pattern, file_name))
                return name;
        }
    }
    for (const QString &pattern : filter_patterns(selected_filter)) {
        if (pattern.startsWith(QLatin1String("*.")) && pattern.size() > 2
            && pattern.indexOf(QLatin1Char('*'), 1) < 0)
            return name + pattern.mid(1);
    }
    return name;
}

void MainWindow::install_default_hooks()
{
    ask_question = [this](const QString &title, const QString &text,
                          QMessageBox::StandardButtons buttons,
                          QMessageBox::StandardButton default_button) {
        return QMessageBox::question(this, title, text, buttons, default_button);
    };
    ask_choice = [this](const QString &title, const QString &text, const QStringList &answers) {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, this);
        QList<QAbstractButton *> buttons;
        for (const QString &answer : answers)
            buttons << box.addButton(answer, QMessageBox::AcceptRole);
        box.exec();
        return int(buttons.indexOf(box.clickedButton()));
    };
    show_warning = [this](const QString &title, const QString &text) {
        QMessageBox::warning(this, title, text, QMessageBox::Ok);
    };
    show_about = [this](const QString &title, const QString &text) {
        QMessageBox::about(this, title, text);
    };
    get_open_file_name = [this](const QString &caption, const QString &dir, const QString &filter) {
        return QFileDialog::getOpenFileName(this, caption, dir, filter);
    };
    get_save_file_name = [this](const QString &caption, const QString &dir, const QString &filter,
                                bool dialog_asks_overwrite) {
        QString selected;
        const QString name = QFileDialog::getSaveFileName(
            this, caption, dir, filter, &selected,
            dialog_asks_overwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
        return name_for_filter(name, filter, selected);
    };
    get_color = [this](const QColor &initial) { return QColorDialog::getColor(initial, this); };
    get_font = [this](bool *ok, const QFont &initial) {
        // The hex view lines up columns by character count, so only
        // fixed-pitch families are offered.
        return QFontDialog::getFont(ok, initial, this, QString(), QFontDialog::MonospacedFonts);
    };
    exec_manual_dialog = [](ManualMarkupDialog *dialog) { return dialog->exec(); };
    exec_template_dialog = [](TemplateGalleryDialog *dialog) { return dialog->exec(); };
    exec_preferences_dialog = [](QDialog *dialog) { return dialog->exec(); };
    random_number = [] { return std::rand(); };
}
