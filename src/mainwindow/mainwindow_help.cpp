// The font and the default dialog hooks.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "dialogs/manualmarkupdialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>

#include <cstdlib>

void MainWindow::install_default_hooks()
{
    ask_question = [this](const QString &title, const QString &text,
                          QMessageBox::StandardButton default_button) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No,
                                     default_button);
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
    exec_preferences_dialog = [](QDialog *dialog) { return dialog->exec(); };
    random_number = [] { return std::rand(); };
}

void MainWindow::apply_font(const QFont &font)
{
    hex_widget_->set_font(font);
    // Menus, docks and dialogs stay upright whatever face the hex view uses.
    QFont interface_font = font;
    interface_font.setStyle(QFont::StyleNormal);
    interface_font.setStyleName(QString());
    setFont(interface_font);
    fit_markup_columns();
    fit_toolbox_to_pages();
    // A larger font widens the hex view; a toolbox beside it that no longer
    // fits moves up beside the tree rather than stretch the window.
    if (shown_before)
        place_toolbox(false);
}

void MainWindow::update_page_step()
{
    scroll_bar_->set_page_rows(hex_widget_->visible_rows());
}
