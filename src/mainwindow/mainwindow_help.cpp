// The font choice, preferences and the default dialog hooks.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "treeview/hextreeview.h"
#include "dialogs/manualmarkupdialog.h"
#include "dialogs/preferencesdialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QStatusBar>

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

namespace {

// The face of `font` as the screen shows it, upright: a font dialog started on
// a bare family name may pick the family's first style, an oblique one.
QFont upright(const QFont &font)
{
    const QFontInfo info(font);
    QFont result(info.family());
    result.setPointSizeF(info.pointSizeF() > 0 ? info.pointSizeF() : font.pointSizeF());
    result.setWeight(QFont::Weight(info.weight()));
    result.setStyle(QFont::StyleNormal);
    return result;
}

} // namespace

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

void MainWindow::font_action()
{
    if (refuse_while_searching())
        return;
    Config *config = Config::instance();
    // Starts on the font the hex view shows, not on the toolkit's default.
    bool ok = false;
    const QFont font = get_font(&ok, upright(hex_widget_->hex_font()));
    if (!ok)
        return;
    apply_font(font);
    update_page_step();
    config->setValue(QStringLiteral("font"), font);
}

void MainWindow::prefs_action()
{
    if (refuse_while_searching())
        return;
    PreferencesDialog dialog(this, [this](int style) { set_toolbar_style(style); });
    if (exec_preferences_dialog(&dialog) != QDialog::Accepted)
        return;
    // The tree reads "Hex Markup Display" as it paints: show the choice now,
    // in columns wide enough for it.
    fit_markup_columns();
    markup_tree_view_->viewport()->update();
}
