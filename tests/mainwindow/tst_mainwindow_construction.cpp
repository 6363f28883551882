// The window as it is built: menus, toolbar, docks, status text, shortcuts,
// window events, and the help, about, font and preferences commands.

#include "settings/config.h"
#include "hexview/hexscrollbar.h"
#include "treeview/hextreeview.h"
#include "hexview/hexwidget.h"
#include "hexview/overviewstrip.h"
#include "mainwindow/mainwindow.h"
#include "markup/markupmodel.h"
#include "markup/markuptree.h"
#include "mainwindow_script.h"
#include "testsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>

class TestMainWindowConstruction : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;
    pq_test::DialogScript script;
    QString status_after_construction;
    QString title_after_construction;

    QMenu *menu(const QString &title) const
    {
        for (QAction *action : window->menuBar()->actions())
            if (action->text() == title)
                return action->menu();
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
        Config::instance()->setValue("Toolbar Style", 3);
        window = MainWindow::instance();
        status_after_construction = window->statusBar()->currentMessage();
        title_after_construction = window->windowTitle();
        script.install(window);
    }

    void instance_is_one_window()
    {
        QCOMPARE(MainWindow::instance(), window);
        QVERIFY(window->hex_widget());
        QVERIFY(window->scroll_bar());
        QVERIFY(window->markup_tree_view());
        QVERIFY(window->markup_model());
        QVERIFY(window->markup_tree());
        QVERIFY(window->markup_mask());
        QCOMPARE(window->markup_tree_view()->model(), static_cast<QAbstractItemModel *>(window->markup_model()));
    }

    void state_after_construction()
    {
        QCOMPARE(title_after_construction, QString("No File"));
        QCOMPARE(status_after_construction, QString("Pellow Quarnby Status"));
        QVERIFY(!window->markup_modified());
        QVERIFY(!window->document_modified());
        QVERIFY(window->current_markup_file().isEmpty());
        // No file yet: nothing to scroll.
        QCOMPARE(window->scroll_bar()->maximum(), 0);
    }

    void menus_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("file") << "File"
                              << QStringList{"Open", "Recent Files", "Save", "Save As", "Load Markup", "Save Markup",
                                             "Save Markup As", "Exit"};
        // Undo and Redo name no step while the history is empty; "" is the separator.
        QTest::newRow("edit") << "Edit"
                              << QStringList{"Undo", "Redo", "", "Copy to Clipboard", "Find",
                                             "Find Next", "Go to Address"};
        QTest::newRow("view") << "View" << QStringList{"Markup Tree", "Toolbox", "Inspector", "Overview Strip"};
        QTest::newRow("options") << "Options"
                                 << QStringList{"Choose Fonts", "Markup Tree", "Toolbox",
                                                "Preferences"};
        QTest::newRow("markup") << "Markup"
                                << QStringList{"Mark", "Clear Marks", "Foreground Color",
                                               "Background Color", "Pick Random Colors", "Delete",
                                               "Prune", "Manual Selection", "Apply Template\u2026", "Export\u2026"};
        QTest::newRow("help") << "Help" << QStringList{"Help Topics", "About Pellow Quarnby"};
    }

    void menus()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, items);
        QMenu *m = menu(title);
        QVERIFY(m);
        QStringList texts;
        for (QAction *action : m->actions())
            texts << action->text();
        QCOMPARE(texts, items);
    }

    void menu_bar_order()
    {
        QStringList titles;
        for (QAction *action : window->menuBar()->actions())
            titles << action->text();
        QCOMPARE(titles, (QStringList{"File", "Edit", "View", "Options", "Markup", "Help"}));
    }

    void copy_has_its_shortcut()
    {
        QAction *copy = menu("Edit")->actions().value(3);
        QVERIFY(copy);
        QCOMPARE(copy->shortcut(), QKeySequence("Ctrl+C"));
    }

    // Each key is shown in its menu entry and belongs to that entry only.
    void menu_keys_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("open") << "File" << "Open" << QKeySequence(QKeySequence::Open);
        QTest::newRow("save") << "File" << "Save" << QKeySequence(QKeySequence::Save);
        // Where the platform has no Save As key, the common one stands in.
        QTest::newRow("save-as") << "File" << "Save As"
                                 << QKeySequence::keyBindings(QKeySequence::SaveAs)
                                        .value(0, QKeySequence("Ctrl+Shift+S"));
        QTest::newRow("load-markup") << "File" << "Load Markup" << QKeySequence("Ctrl+Shift+O");
        QTest::newRow("save-markup") << "File" << "Save Markup" << QKeySequence("Ctrl+Shift+M");
        QTest::newRow("find") << "Edit" << "Find" << QKeySequence("Ctrl+F");
        QTest::newRow("find-next") << "Edit" << "Find Next" << QKeySequence("F3");
        QTest::newRow("goto") << "Edit" << "Go to Address" << QKeySequence("Ctrl+G");
        QTest::newRow("delete-markup") << "Markup" << "Delete" << QKeySequence(QKeySequence::Delete);
        QTest::newRow("exit") << "File" << "Exit" << QKeySequence("Ctrl+Q");
        QTest::newRow("help-topics") << "Help" << "Help Topics" << QKeySequence("F1");
        QTest::newRow("mark") << "Markup" << "Mark" << QKeySequence("Ctrl+M");
        QTest::newRow("redo-shift-z") << "Edit" << "Redo" << QKeySequence("Ctrl+Shift+Z");
        QTest::newRow("redo-y") << "Edit" << "Redo" << QKeySequence("Ctrl+Y");
    }

    void menu_keys()
    {
        QFETCH(QString, title);
        QFETCH(QString, item);
        QFETCH(QKeySequence, key);
        QVERIFY(!key.isEmpty());
        QAction *found = nullptr;
        int holders = 0;
        for (QAction *bar_action : window->menuBar()->actions()) {
            for (QAction *action : bar_action->menu()->actions()) {
                if (bar_action->text() == title && action->text() == item)
                    found = action;
                if (action->shortcuts().contains(key))
                    ++holders;
            }
        }
        QVERIFY(found);
        QVERIFY(found->shortcuts().contains(key));
        QCOMPARE(holders, 1);
        for (QShortcut *shortcut : window->findChildren<QShortcut *>())
            QVERIFY(shortcut->key() != key);
    }

    void dock_toggles_are_the_docks_own()
    {
        auto *tree_dock = window->findChild<QDockWidget *>("MarkupTreeDockWidget");
        auto *toolbox_dock = window->findChild<QDockWidget *>("Toolboxdockwidget");
        QVERIFY(tree_dock && toolbox_dock);
        const QList<QAction *> options = menu("Options")->actions();
        QCOMPARE(options.value(1), tree_dock->toggleViewAction());
        QCOMPARE(options.value(2), toolbox_dock->toggleViewAction());
    }

    void toolbar()
    {
        auto *bar = window->findChild<QToolBar *>("QuarnbyToolbar");
        QVERIFY(bar);
        QCOMPARE(bar->windowTitle(), QString("Markup Toolbar"));
        QCOMPARE(window->toolBarArea(bar), Qt::TopToolBarArea);
        QStringList texts;
        for (QAction *action : bar->actions()) {
            texts << action->text();
            QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
        }
        QCOMPARE(texts, (QStringList{"Open File", "Open Markup", "Save Markup", "Mark",
                                     "Foreground", "Background", "Random"}));
        // The stored style (3, text under icon) is applied when the window is built.
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    }

    void docks_data()
    {
        QTest::addColumn<QString>("object_name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("allowed");
        QTest::addColumn<int>("area");
        QTest::newRow("markup-tree-top-bottom-only")
            << "MarkupTreeDockWidget" << "Markup Tree"
            << int(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea) << int(Qt::TopDockWidgetArea);
        QTest::newRow("toolbox-anywhere") << "Toolboxdockwidget" << "Toolbox"
                                          << int(Qt::AllDockWidgetAreas)
                                          << int(Qt::LeftDockWidgetArea);
    }

    void docks()
    {
        QFETCH(QString, object_name);
        QFETCH(QString, title);
        QFETCH(int, allowed);
        QFETCH(int, area);
        auto *dock = window->findChild<QDockWidget *>(object_name);
        QVERIFY(dock);
        QCOMPARE(dock->windowTitle(), title);
        QCOMPARE(int(dock->allowedAreas()), allowed);
        QCOMPARE(int(window->dockWidgetArea(dock)), area);
    }

    void toolbox_pages()
    {
        auto *toolbox = window->findChild<QToolBox *>();
        QVERIFY(toolbox);
        QCOMPARE(toolbox->count(), 2);
        QCOMPARE(toolbox->itemText(0), QString("Goto"));
        QCOMPARE(toolbox->itemText(1), QString("Search"));
        QCOMPARE(toolbox->currentIndex(), 1);
    }

    void slots_by_name_data()
    {
        QTest::addColumn<QByteArray>("signature");
        const char *slots_[] = {"exit_action()", "open_action()", "save_action()",
                                "save_as_action()", "save_markup_action()",
                                "save_markup_as_action()", "load_markup_action()",
                                "manual_selection_action()", "font_action()", "prefs_action()",
                                "mark_action()", "mark_color_action()",
                                "mark_background_color_action()", "delete_markup_action()",
                                "prune_markup_action()", "clear_marks_action()", "about_action()",
                                "help_topics_action()", "dock_toplevel(bool)",
                                "dock_tree_action(bool)", "dock_search_action(bool)",
                                "copy_action()", "pick_random_color_action()",
                                "editor_content_changed()"};
        for (const char *s : slots_)
            QTest::newRow(s) << QByteArray(s);
    }

    void slots_by_name()
    {
        QFETCH(QByteArray, signature);
        const QMetaObject *meta = window->metaObject();
        const int index = meta->indexOfSlot(signature.constData());
        QVERIFY2(index >= 0, signature.constData());
        QCOMPARE(meta->method(index).methodType(), QMetaMethod::Slot);
    }

    void shortcuts_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("ctrl-q") << QKeySequence("Ctrl+Q");
        QTest::newRow("f1") << QKeySequence("F1");
    }

    // Exit and Help answer their keys anywhere in the window, not only where
    // the focus is.
    void shortcuts()
    {
        QFETCH(QKeySequence, key);
        int found = 0;
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->shortcuts().contains(key)) {
                ++found;
                QCOMPARE(action->shortcutContext(), Qt::WindowShortcut);
            }
        }
        QCOMPARE(found, 1);
    }

    void dock_visibility_settings_data()
    {
        QTest::addColumn<bool>("tree");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("tree-shown") << true << true << "Show Dock Tree" << "yes";
        QTest::newRow("tree-hidden") << true << false << "Show Dock Tree" << "no";
        QTest::newRow("search-shown") << false << true << "Show Dock Search" << "yes";
        QTest::newRow("search-hidden") << false << false << "Show Dock Search" << "no";
    }

    void dock_visibility_settings()
    {
        QFETCH(bool, tree);
        QFETCH(bool, visible);
        QFETCH(QString, key);
        QFETCH(QString, value);
        if (tree)
            window->dock_tree_action(visible);
        else
            window->dock_search_action(visible);
        QCOMPARE(Config::instance()->value(key).toString(), value);
    }

    void toggling_the_dock_changes_no_setting()
    {
        auto *dock = window->findChild<QDockWidget *>("MarkupTreeDockWidget");
        window->resize(900, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        Config::instance()->remove("Show Dock Tree");
        QVERIFY(dock->isVisible());
        dock->toggleViewAction()->trigger();
        QVERIFY(!dock->isVisible());
        QVERIFY(!Config::instance()->contains("Show Dock Tree"));
        dock->toggleViewAction()->trigger();
        QVERIFY(dock->isVisible());
    }

    void overview_strip_follows_its_view_entry()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        OverviewStrip *strip = window->overview_strip();
        // Between the view and its scroll bar.
        QVERIFY(strip->isVisible());
        QVERIFY(strip->x() >= window->hex_widget()->geometry().right());
        QVERIFY(strip->geometry().right() <= window->scroll_bar()->x());
        QAction *entry = menu("View")->actions().last();
        entry->trigger();
        QVERIFY(!strip->isVisible());
        QCOMPARE(Config::instance()->value("Overview Strip").toString(), QString("no"));
        entry->trigger();
        QVERIFY(strip->isVisible());
        QCOMPARE(Config::instance()->value("Overview Strip").toString(), QString("yes"));
    }

    void resize_stores_size_and_clears_status()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->statusBar()->showMessage("something");
        const QSize target = window->size() + QSize(40, 30);
        window->resize(target);
        QTRY_COMPARE(window->size(), target);
        QCOMPARE(Config::instance()->value("width").toInt(), target.width());
        QCOMPARE(Config::instance()->value("height").toInt(), target.height());
        QCOMPARE(window->statusBar()->currentMessage(), QString());
    }

    void show_sets_page_step()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->scroll_bar()->pageStep(),
                 qMax(1, window->hex_widget()->visible_rows() - 1));
    }

    void toolbox_whole_at_default_size_data()
    {
        QTest::addColumn<int>("point_size");
        QTest::addColumn<int>("area");
        // Beside the hex view while it fits there; beside the tree when the
        // larger font leaves it no room.
        QTest::newRow("12-point") << 12 << int(Qt::LeftDockWidgetArea);
        QTest::newRow("14-point") << 14 << int(Qt::TopDockWidgetArea);
    }

    void toolbox_whole_at_default_size()
    {
        QFETCH(int, point_size);
        QFETCH(int, area);
        auto *dock = window->findChild<QDockWidget *>("Toolboxdockwidget");
        auto *tree_dock = window->findChild<QDockWidget *>("MarkupTreeDockWidget");
        window->resize(1024, 768);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Where a first start puts the toolbox, below a tree of the height
        // a first start gives it.
        window->addDockWidget(Qt::LeftDockWidgetArea, dock);
        window->resizeDocks({tree_dock}, {200}, Qt::Vertical);
        window->apply_font(QFont("DejaVu Sans Mono", point_size));
        QApplication::processEvents();
        auto *toolbox = window->findChild<QToolBox *>();
        QCOMPARE(int(window->dockWidgetArea(dock)), area);
        // Nothing grew the window: the hex view, the tree and the toolbox all fit.
        QCOMPARE(window->size(), QSize(1024, 768));
        HexWidget *hex = window->hex_widget();
        QVERIFY(window->rect().contains(QRect(hex->mapTo(window, QPoint(0, 0)), hex->size())));
        QVERIFY(tree_dock->isVisible() && tree_dock->height() > 50);
        const int open_page = toolbox->currentIndex();
        for (int i = 0; i < toolbox->count(); ++i) {
            toolbox->setCurrentIndex(i);
            QApplication::processEvents();
            QWidget *page = toolbox->widget(i);
            auto *area_ = qobject_cast<QScrollArea *>(page->parentWidget()->parentWidget());
            QVERIFY(area_);
            QVERIFY(!area_->horizontalScrollBar()->isVisible());
            QWidget *viewport = area_->viewport();
            for (QWidget *w : page->findChildren<QWidget *>()) {
                if (!w->isVisible())
                    continue;
                // Whole: as wide as it asks to be, and seen without scrolling.
                const QRect seen(w->mapTo(viewport, QPoint(0, 0)), w->size());
                QVERIFY2(viewport->rect().contains(seen),
                         qPrintable(toolbox->itemText(i) + ": " + w->objectName()));
                QVERIFY2(w->width() >= w->minimumSizeHint().width(),
                         qPrintable(toolbox->itemText(i) + ": " + w->objectName()));
            }
        }
        toolbox->setCurrentIndex(open_page);
    }

    void window_layout_saved_at_close_and_restored()
    {
        auto *dock = window->findChild<QDockWidget *>("Toolboxdockwidget");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->addDockWidget(Qt::BottomDockWidgetArea, dock);
        window->resize(1000, 740);
        QTRY_COMPARE(window->size(), QSize(1000, 740));
        QVERIFY(window->close());
        Config *config = Config::instance();
        QVERIFY(config->contains("Window Geometry"));
        QVERIFY(config->contains("Window State"));
        QCOMPARE(config->value("width").toInt(), 1000);
        QCOMPARE(config->value("height").toInt(), 740);

        // Another arrangement, then what the next start does.
        window->addDockWidget(Qt::TopDockWidgetArea, dock);
        window->resize(1020, 760);
        QVERIFY(window->restore_window_layout());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_COMPARE(window->size(), QSize(1000, 740));
        QCOMPARE(window->dockWidgetArea(dock), Qt::BottomDockWidgetArea);
        QVERIFY(dock->isVisible());
    }

    void font_is_stored_and_page_step_follows()
    {
        window->show();
        window->resize(900, 700);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QFont small("DejaVu Sans Mono", 8);
        QFont large("DejaVu Sans Mono", 20);
        script.fonts = {small};
        window->font_action();
        QTRY_VERIFY(window->hex_widget()->visible_rows() > 0);
        QApplication::processEvents();
        const int small_width = window->hex_widget()->width();
        const int small_step = window->scroll_bar()->pageStep();
        QCOMPARE(Config::instance()->value("font").value<QFont>().pointSize(), 8);

        script.fonts = {large};
        window->font_action();
        QApplication::processEvents();
        const int large_width = window->hex_widget()->width();
        const int large_step = window->scroll_bar()->pageStep();
        QCOMPARE(Config::instance()->value("font").value<QFont>().pointSize(), 20);

        QVERIFY2(large_width > small_width,
                 qPrintable(QString("%1 <= %2").arg(large_width).arg(small_width)));
        QVERIFY2(large_step < small_step,
                 qPrintable(QString("%1 >= %2").arg(large_step).arg(small_step)));
        QCOMPARE(large_step, qMax(1, window->hex_widget()->visible_rows() - 1));
        QCOMPARE(window->font().pointSize(), 20);
    }

    void font_dialog_cancelled_changes_nothing()
    {
        Config::instance()->setValue("font", QFont("DejaVu Sans Mono", 11));
        window->apply_font(QFont("DejaVu Sans Mono", 11));
        const int width = window->hex_widget()->width();
        script.fonts.clear();
        script.events.clear();
        window->font_action();
        QCOMPARE(script.events, QStringList{"font"});
        QCOMPARE(window->hex_widget()->width(), width);
        QCOMPARE(Config::instance()->value("font").value<QFont>().pointSize(), 11);
    }

    // The dialog starts on the face the hex view shows, upright, and an
    // oblique choice never slants the menus and docks.
    void font_dialog_starts_on_font_in_use_upright()
    {
        Config::instance()->remove("font");
        QFont oblique("DejaVu Sans Mono", 10);
        oblique.setItalic(true);
        window->apply_font(oblique);
        QCOMPARE(window->font().style(), QFont::StyleNormal);

        QFont offered;
        window->get_font = [&offered](bool *ok, const QFont &initial) {
            offered = initial;
            *ok = false;
            return initial;
        };
        window->apply_font(QFont("DejaVu Sans Mono", 13));
        window->font_action();
        QCOMPARE(offered.style(), QFont::StyleNormal);
        QCOMPARE(offered.family(), QFontInfo(window->hex_widget()->hex_font()).family());
        QCOMPARE(qRound(offered.pointSizeF()), 13);
        script.install(window);

        script.fonts = {oblique};
        window->font_action();
        QCOMPARE(window->font().style(), QFont::StyleNormal);
        QVERIFY(!QFontInfo(window->font()).italic());
        QCOMPARE(Config::instance()->value("font").value<QFont>().italic(), true);
    }

    void about_box()
    {
        window->statusBar()->showMessage("old message");
        window->about_action();
        QCOMPARE(script.events.last(), QString("about:About Pellow Quarnby"));
        QVERIFY(script.about_text.startsWith("<font size = 4>Pellow Quarnby<br></font><br>"));
        QVERIFY(script.about_text.endsWith("<font size =3>Version 1.0"));
        QCOMPARE(window->statusBar()->currentMessage(), QString());
    }

    void help_without_viewer_or_pages_reports_and_returns()
    {
        // The test program's folder holds neither the viewer's help files nor
        // (usually) the viewer itself: the command must come back at once and
        // say what is missing.
        window->statusBar()->clearMessage();
        QElapsedTimer timer;
        timer.start();
        window->help_topics_action();
        QVERIFY2(timer.elapsed() < 10000, "help command blocked");
        QTRY_VERIFY_WITH_TIMEOUT(!window->statusBar()->currentMessage().isEmpty(), 5000);
    }

    void preferences_apply_toolbar_style()
    {
        auto *bar = window->findChild<QToolBar *>("QuarnbyToolbar");
        window->exec_preferences_dialog = [](QDialog *dialog) {
            auto *combo = dialog->findChild<QComboBox *>("toolbar_style_combo");
            auto *save = dialog->findChild<QPushButton *>("save_button");
            if (!combo || !save)
                return int(QDialog::Rejected);
            combo->setCurrentIndex(1);
            save->click();
            return dialog->result();
        };
        window->prefs_action();
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextOnly);
        QCOMPARE(Config::instance()->value("Toolbar Style").toInt(), 1);
    }

    void toolbar_style_out_of_range_is_ignored_data()
    {
        QTest::addColumn<int>("style");
        QTest::newRow("negative") << -1;
        QTest::newRow("follow-style-4") << 4;
        QTest::newRow("large") << 99;
    }

    void toolbar_style_out_of_range_is_ignored()
    {
        QFETCH(int, style);
        auto *bar = window->findChild<QToolBar *>("QuarnbyToolbar");
        window->set_toolbar_style(Qt::ToolButtonTextBesideIcon);
        window->set_toolbar_style(style);
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    }

    void preferences_cancelled_keeps_toolbar()
    {
        auto *bar = window->findChild<QToolBar *>("QuarnbyToolbar");
        window->set_toolbar_style(Qt::ToolButtonIconOnly);
        window->exec_preferences_dialog = [](QDialog *dialog) {
            if (auto *combo = dialog->findChild<QComboBox *>("toolbar_style_combo"))
                combo->setCurrentIndex(3);
            dialog->reject();
            return dialog->result();
        };
        window->prefs_action();
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        script.install(window);
    }

    // The window's keys act where they belong: Ctrl+F and Ctrl+G hand the
    // keyboard to their panel; Delete deletes a markup only from the tree.
    void keys_reach_their_targets()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto *toolbox = window->findChild<QToolBox *>();
        HexWidget *hex = window->hex_widget();
        hex->setFocus();
        QTest::keyClick(hex, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(toolbox->currentIndex(), 0);
        QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        QVERIFY(toolbox->widget(0)->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(toolbox->currentIndex(), 1);
        QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        QVERIFY(toolbox->widget(1)->isAncestorOf(QApplication::focusWidget()));

        QVERIFY(window->markup_tree()->insert_range(4, 7));
        HexTreeView *tree = window->markup_tree_view();
        tree->selectionModel()->select(window->markup_model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        hex->setFocus();
        QTest::keyClick(hex, Qt::Key_Delete);
        QCOMPARE(window->markup_model()->rowCount(), 1);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(window->markup_model()->rowCount(), 0);
        QVERIFY(window->markup_modified());
    }

    void quit_shortcut_runs_close_prompts()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->editor_content_changed();
        window->set_markup_modified();
        script.events.clear();
        QAction *quit = nullptr;
        for (QAction *action : window->findChildren<QAction *>())
            if (action->shortcut() == QKeySequence("Ctrl+Q"))
                quit = action;
        QVERIFY(quit);
        quit->trigger();
        // No file is open and no markup file chosen: the Save commands of the
        // two prompts have nothing to write but the window still closes.
        QCOMPARE(script.events.value(0), QString("question:File Has Changed"));
        QCOMPARE(script.events.value(1), QString("question:Markup Has Changed"));
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(TestMainWindowConstruction)
#include "tst_mainwindow_construction.moc"
