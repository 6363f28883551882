// Help topics, the about box, the font choice, preferences and the default
// dialog hooks.

#include "mainwindow/mainwindow.h"

#include "settings/config.h"
#include "mainwindow/helpclient.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"
#include "dialogs/manualmarkupdialog.h"
#include "dialogs/preferencesdialog.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QStatusBar>

#include <boost/version.hpp>

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
    get_save_file_name = [this](const QString &caption, const QString &dir, const QString &filter) {
        return QFileDialog::getSaveFileName(this, caption, dir, filter);
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

void MainWindow::help_topics_action()
{
    help_client->openAssistant();
    help_client->showPage(QCoreApplication::applicationDirPath()
                          + QStringLiteral("/html_help/index.html"));
}

void MainWindow::about_action()
{
    statusBar()->clearMessage();
    const QString text = QStringLiteral("<font size = 4>") + QStringLiteral("Pellow Quarnby<br>")
                         + QStringLiteral("</font><br>")
                         + QStringLiteral("Built with Qt %1 and Boost %2<br>")
                               .arg(QString::fromLatin1(qVersion()),
                                    QStringLiteral("%1.%2.%3")
                                        .arg(BOOST_VERSION / 100000)
                                        .arg(BOOST_VERSION / 100 % 1000)
                                        .arg(BOOST_VERSION % 100))
                         + QStringLiteral("<font size =3>") + QStringLiteral("Version 1.0");
    show_about(QStringLiteral("About Pellow Quarnby"), text);
}

void MainWindow::apply_font(const QFont &font)
{
    hex_widget_->set_font(font);
    setFont(font);
}

void MainWindow::update_page_step()
{
    scroll_bar_->set_page_rows(hex_widget_->visible_rows());
}

void MainWindow::font_action()
{
    Config *config = Config::instance();
    const QFont initial = config->contains(QStringLiteral("font"))
                              ? config->value(QStringLiteral("font")).value<QFont>()
                              : QFont();
    bool ok = false;
    const QFont font = get_font(&ok, initial);
    if (!ok)
        return;
    apply_font(font);
    update_page_step();
    config->setValue(QStringLiteral("font"), font);
}

void MainWindow::prefs_action()
{
    PreferencesDialog dialog(this, [this](int style) { set_toolbar_style(style); });
    exec_preferences_dialog(&dialog);
}
