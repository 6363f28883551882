#include "mainwindow/viewactions.h"

#include "settings/config.h"
#include "document/documentfailure.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/statusfields.h"
#include "panels/inspectorwidget.h"
#include "panels/jumpwidget.h"
#include "panels/searchwidget.h"
#include "treeview/hextreeview.h"
#include "dialogs/preferencesdialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QStatusBar>

#include <string>

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

ViewActions::ViewActions(MainWindow *window, SearchWidget *search_panel, JumpWidget *goto_panel,
                         InspectorWidget *inspector)
    : QObject(window)
    , m_window(window)
    , m_search_panel(search_panel)
    , m_goto_panel(goto_panel)
    , m_inspector(inspector)
{
}

void ViewActions::font_action()
{
    if (m_window->refuse_while_searching())
        return;
    Config *config = Config::instance();
    // Starts on the font the hex view shows, not on the toolkit's default.
    bool ok = false;
    const QFont font = m_window->get_font(&ok, upright(m_window->hex_widget()->hex_font()));
    if (!ok)
        return;
    m_window->apply_font(font);
    m_window->update_page_step();
    config->setValue(QStringLiteral("font"), font);
}

void ViewActions::prefs_action()
{
    if (m_window->refuse_while_searching())
        return;
    MainWindow *window = m_window;
    PreferencesDialog dialog(window, [window](int style) { window->set_toolbar_style(style); });
    if (m_window->exec_preferences_dialog(&dialog) != QDialog::Accepted)
        return;
    // The tree reads "Hex Markup Display" as it paints: show the choice now,
    // in columns wide enough for it.
    m_window->fit_markup_columns();
    m_window->markup_tree_view()->viewport()->update();
    m_window->apply_overview_setting();
}

void ViewActions::copy_action()
{
    // With nothing to copy the clipboard keeps what the user put there;
    // selection_text() has said why in the status bar.
    const QString text = m_window->hex_widget()->selection_text();
    if (text.isEmpty())
        return;
    QApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void ViewActions::find_action()
{
    m_window->show_toolbox_page(m_search_panel);
    m_search_panel->focus_expression();
}

void ViewActions::find_next_action()
{
    if (m_window->refuse_while_searching())
        return;
    m_search_panel->search();
}

void ViewActions::goto_action()
{
    m_window->show_toolbox_page(m_goto_panel);
    m_goto_panel->focus_address();
}

void ViewActions::dock_toplevel(bool)
{
    m_window->update();
}

void ViewActions::dock_tree_action(bool visible)
{
    Config::instance()->setValue(QStringLiteral("Show Dock Tree"),
                                 visible ? QStringLiteral("yes") : QStringLiteral("no"));
}

void ViewActions::dock_search_action(bool visible)
{
    Config::instance()->setValue(QStringLiteral("Show Dock Search"),
                                 visible ? QStringLiteral("yes") : QStringLiteral("no"));
}

void ViewActions::build_status_fields()
{
    // Permanent widgets sit on the right; showMessage() keeps the left.
    m_status_fields = new StatusFields(m_window->statusBar());
    HexWidget *hex = m_window->hex_widget();
    connect(hex, &HexWidget::selection_changed, this, &ViewActions::follow_cursor);
    // An edit changes the bytes under the cursor.
    connect(hex, &HexWidget::content_changed, this, &ViewActions::follow_cursor);
    follow_cursor();
}

void ViewActions::follow_cursor()
{
    update_status_fields();
    const qint64 start = m_window->hex_widget()->selection_start();
    const qint64 end = m_window->hex_widget()->selection_end();
    // A value is read from where the selected bytes begin, whichever end
    // the user moved last.
    m_inspector->set_offset(start < 0 || end < 0 ? -1 : qMin(start, end));
}

void ViewActions::update_status_fields()
{
    HexWidget *hex = m_window->hex_widget();
    // The end moved last (a click, a drag, Shift with a key) is where the
    // user is; with no selection there is no cursor to show.
    m_status_fields->show_selection(hex->selection_start(), hex->selection_end());
    HexDocument *document = hex->document();
    qint64 size = -1;
    if (document->is_open()) {
        try {
            size = document->size();
        } catch (const std::string &) {
            size = -1;
        }
    }
    m_status_fields->show_size(size);
}
