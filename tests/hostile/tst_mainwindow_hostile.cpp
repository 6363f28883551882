// The whole program facing hostile files: markup files that are deep, huge,
// broken or malicious loaded through the main window's Load command, and a
// 1 TiB data file opened, marked near its end and saved. After each, marking
// and saving still work. Commands given while a search runs are refused.
#include "hostilehelpers.h"
#include "testsettings.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "treeview/hextreeview.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "dialogs/manualmarkupdialog.h"
#include "panels/searchwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char secret[] = "PQ-SECRET-0b7e-main-window";

QByteArray nested_document(int depth)
{
    QByteArray doc = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
    for (int i = 0; i < depth; ++i)
        doc += "<node description=\"d\" start=\"" + QByteArray::number(i) + "\" end=\""
            + QByteArray::number(2 * depth - i) + "\">";
    for (int i = 0; i < depth; ++i)
        doc += "</node>";
    doc += "</pellowquarnbybook>\n";
    return doc;
}

} // namespace

class tst_mainwindow_hostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void load_hostile_markup_data();
    void load_hostile_markup();
    void terabyte_file_in_the_window();
    void commands_refused_while_searching_data();
    void commands_refused_while_searching();
    void exit_cancels_the_search_and_closes();

private:
    // Starts a search that only Cancel ends and runs `during` from inside it.
    // False when the search ended before `during` ran.
    bool while_searching(const std::function<void()> &during);

    // Marks bytes through the hex view's selection and the Mark command, then
    // saves the markups and reads the file back.
    void mark_and_save(qint64 first, qint64 last);

    QTemporaryDir dir;
    QString data_path;
    QStringList warnings;
    // Every dialog a command opened, by hook.
    QStringList asked;
    QString open_answer;
    QString save_answer;
    int serial = 0;
};

void tst_mainwindow_hostile::initTestCase()
{
    pq_test::isolate_settings();
    QVERIFY(dir.isValid());
    data_path = dir.filePath(QStringLiteral("data.bin"));
    QVERIFY(pq_hostile::write_all(data_path, QByteArray(256 * 1024, 'd')));
    QVERIFY(pq_hostile::write_all(dir.filePath(QStringLiteral("secret.txt")), secret));

    MainWindow *w = MainWindow::instance();
    w->show_warning = [this](const QString &title, const QString &) { warnings << title; };
    w->ask_question = [this](const QString &title, const QString &, QMessageBox::StandardButtons,
                             QMessageBox::StandardButton) {
        asked << title;
        return QMessageBox::No;
    };
    w->get_open_file_name = [this](const QString &caption, const QString &, const QString &) {
        asked << caption;
        return open_answer;
    };
    w->get_save_file_name = [this](const QString &caption, const QString &, const QString &, bool) {
        asked << caption;
        return save_answer;
    };
    w->get_color = [this](const QColor &) {
        asked << QStringLiteral("colour");
        return QColor(Qt::red);
    };
    w->get_font = [this](bool *ok, const QFont &) {
        asked << QStringLiteral("font");
        *ok = true;
        return QFont(QStringLiteral("Monospace"), 30);
    };
    w->exec_manual_dialog = [this](ManualMarkupDialog *) {
        asked << QStringLiteral("manual");
        return int(QDialog::Rejected);
    };
    w->exec_preferences_dialog = [this](QDialog *) {
        asked << QStringLiteral("preferences");
        return int(QDialog::Rejected);
    };
    // Closed by one test and shown again; the test keeps running.
    QApplication::setQuitOnLastWindowClosed(false);
    w->resize(1000, 700);
    w->show();
}

void tst_mainwindow_hostile::init()
{
    warnings.clear();
    asked.clear();
    MainWindow *w = MainWindow::instance();
    w->load_file(data_path);
    w->markup_tree()->clear();
    if (w->hex_widget()->edit_mode())
        w->hex_widget()->edit_triggered();
}

void tst_mainwindow_hostile::mark_and_save(qint64 first, qint64 last)
{
    MainWindow *w = MainWindow::instance();
    QString why;
    const int before = pq_hostile::check_tree(*w->markup_model(), &why);
    w->hex_widget()->set_selection(first, last);
    w->mark_action();
    QVERIFY(w->markup_modified());
    QCOMPARE(pq_hostile::check_tree(*w->markup_model(), &why), before + 1);
    const QString expected = w->markup_tree()->to_xml();

    save_answer = dir.filePath(QStringLiteral("saved-%1.xml").arg(++serial));
    w->save_markup_as_action();
    QCOMPARE(warnings, QStringList());
    QVERIFY(!w->markup_modified());
    QCOMPARE(MarkupTree::decode_markup_file(pq_hostile::read_all(save_answer)), expected);
}

void tst_mainwindow_hostile::load_hostile_markup_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("markups");
    const QByteArray secret_url = "file://" + QFile::encodeName(dir.filePath(QStringLiteral("secret.txt")));
    QByteArray noise(1 << 16, '\0');
    QRandomGenerator gen(7);
    for (char &c : noise)
        c = char(gen.bounded(256));

    QTest::newRow("100000-nested") << nested_document(100000) << 100000;
    QTest::newRow("entity-bomb")
        << QByteArray("<!DOCTYPE PQML [<!ENTITY a \"aaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                      "<pellowquarnbybook><node description=\"&d;&d;&d;&d;\" start=\"0\" end=\"1\"/>"
                      "</pellowquarnbybook>")
        << 0;
    QTest::newRow("external-entity")
        << ("<!DOCTYPE PQML [<!ENTITY s SYSTEM \"" + secret_url + "\">]>"
            "<pellowquarnbybook><node description=\"&s;\" start=\"0\" end=\"1\"/></pellowquarnbybook>")
        << 0;
    QTest::newRow("random-garbage") << noise << 0;
    QTest::newRow("truncated")
        << QByteArray("<pellowquarnbybook><node start=\"0\" end=\"9\"/><node start=\"20\" en") << 1;
    QTest::newRow("empty-file") << QByteArray() << 0;
}

void tst_mainwindow_hostile::load_hostile_markup()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, markups);
    MainWindow *w = MainWindow::instance();
    QVERIFY(w->markup_tree()->insert_range(100, 199));
    open_answer = dir.filePath(QStringLiteral("hostile-%1.xml").arg(++serial));
    QVERIFY(pq_hostile::write_all(open_answer, bytes));

    QElapsedTimer clock;
    clock.start();
    w->load_markup_action();
    QVERIFY2(clock.elapsed() < 120000, "loading a hostile file must not stall the window");
    QString why;
    QCOMPARE(pq_hostile::check_tree(*w->markup_model(), &why), markups);
    QVERIFY(!w->markup_tree()->to_xml().contains(QLatin1String(secret)));
    // The window paints and its views cope with whatever was loaded.
    QVERIFY(!w->grab().isNull());
    QVERIFY(!w->markup_tree_view()->grab().isNull());

    // Marking past everything loaded, and saving, still work.
    w->load_file(data_path);
    // Past every markup the files hold, so it can never overlap one.
    mark_and_save(250000, 250015);
}

void tst_mainwindow_hostile::terabyte_file_in_the_window()
{
    const qint64 size = Q_INT64_C(1) << 40;
    const QString path = dir.filePath(QStringLiteral("tebibyte.bin"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(size))
            QSKIP("this file system cannot hold a sparse 1 TiB file");
    }
    MainWindow *w = MainWindow::instance();
    w->load_file(path);
    QCOMPARE(w->hex_widget()->document()->size(), size);
    w->hex_widget()->set_selection(size - 1, size - 1);
    QCOMPARE(w->hex_widget()->selection_text(), QStringLiteral("00"));
    QVERIFY(!w->grab().isNull());
    mark_and_save(size - 32, size - 1);
    MarkupNode *n = w->markup_model()->root()->child(0);
    QCOMPARE(n->start(), size - 32);
    QCOMPARE(n->end(), size - 1);
    // The mask colours the marked bytes once it has filled.
    QTRY_COMPARE_WITH_TIMEOUT(w->markup_mask()->markup_at(size - 1), n, 10000);
    QVERIFY(!w->grab().isNull());
    w->load_file(data_path);
    QVERIFY(QFile::remove(path));
}

bool tst_mainwindow_hostile::while_searching(const std::function<void()> &during)
{
    MainWindow *w = MainWindow::instance();
    auto *panel = w->findChild<SearchWidget *>();
    auto *regex = panel->findChild<QRadioButton *>(QStringLiteral("regex_button"));
    if (!regex->isChecked())
        regex->click();
    // Backtracking without end over the data file's 'd's: only Cancel stops it.
    panel->findChild<QLineEdit *>(QStringLiteral("expression_edit"))->setText(QStringLiteral("(d+)\\1+b"));
    bool ran = false;
    QTimer::singleShot(100, w, [&] {
        if (!panel->searching())
            return;
        ran = true;
        during();
        panel->cancel();
    });
    panel->findChild<QPushButton *>(QStringLiteral("search_button"))->click();
    return ran;
}

void tst_mainwindow_hostile::commands_refused_while_searching_data()
{
    QTest::addColumn<QString>("command");
    for (const char *name :
         {"open", "save", "save-as", "load-markup", "save-markup", "save-markup-as", "mark",
          "context-mark", "manual", "delete", "prune", "clear", "foreground", "background",
          "random", "context-random", "font", "preferences", "edit-mode", "byte-key",
          "tree-edit"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_mainwindow_hostile::commands_refused_while_searching()
{
    QFETCH(QString, command);
    MainWindow *w = MainWindow::instance();
    HexWidget *hex = w->hex_widget();
    QVERIFY(w->markup_tree()->insert_range(32, 47));
    const QModelIndex first = w->markup_model()->index(0, 0);
    w->markup_tree_view()->selectionModel()->select(
        first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // One unsaved byte edit, typed in edit mode, which stays on.
    hex->edit_triggered();
    hex->set_selection(0, 0);
    QTest::keyClick(hex, Qt::Key_B);
    QTest::keyClick(hex, Qt::Key_B);
    QCOMPARE(hex->edited_value(0), 0xbb);
    QVERIFY(w->document_modified());
    const QString xml = w->markup_tree()->to_xml();
    const QString title = w->windowTitle();
    const QString markup_file = w->current_markup_file();
    const QFont font = hex->hex_font();
    open_answer = dir.filePath(QStringLiteral("secret.txt"));
    save_answer = dir.filePath(QStringLiteral("refused-copy"));

    const QMap<QString, std::function<void()>> commands{
        {"open", [w] { w->open_action(); }},
        {"save", [w] { w->save_action(); }},
        {"save-as", [w] { w->save_as_action(); }},
        {"load-markup", [w] { w->load_markup_action(); }},
        {"save-markup", [w] { w->save_markup_action(); }},
        {"save-markup-as", [w] { w->save_markup_as_action(); }},
        {"mark", [w, hex] { hex->set_selection(100, 110); w->mark_action(); }},
        {"context-mark", [hex] { hex->set_selection(100, 110); emit hex->mark_requested(); }},
        {"manual", [w] { w->manual_selection_action(); }},
        {"delete", [w] { w->delete_markup_action(); }},
        {"prune", [w] { w->prune_markup_action(); }},
        {"clear", [w] { w->clear_marks_action(); }},
        {"foreground", [w] { w->mark_color_action(); }},
        {"background", [w] { w->mark_background_color_action(); }},
        {"random", [w] { w->pick_random_color_action(); }},
        {"context-random",
         [hex] { hex->set_selection(40, 40); emit hex->pick_random_colors_requested(); }},
        {"font", [w] { w->font_action(); }},
        {"preferences", [w] { w->prefs_action(); }},
        {"edit-mode", [hex] { hex->edit_triggered(); }},
        {"byte-key", [hex] { QTest::keyClick(hex, Qt::Key_C); QTest::keyClick(hex, Qt::Key_C); }},
        {"tree-edit", [w] { w->markup_tree_view()->edit(w->markup_model()->index(0, 0)); }},
    };
    QVERIFY(commands.contains(command));
    QString status;
    if (!while_searching([&] {
            commands.value(command)();
            status = w->statusBar()->currentMessage();
        }))
        QSKIP("the search ended before the command was given");

    QCOMPARE(status, QStringLiteral("A search is running: cancel it first."));
    QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Search Operation Cancelled"));
    QCOMPARE(asked, QStringList());
    QCOMPARE(warnings, QStringList());
    // Tree, document, edits and window exactly as before the command.
    QCOMPARE(w->markup_tree()->to_xml(), xml);
    QVERIFY(!w->markup_modified());
    QCOMPARE(w->current_markup_file(), markup_file);
    QCOMPARE(w->windowTitle(), title);
    QCOMPARE(hex->document()->absolute_path(), QFileInfo(data_path).absoluteFilePath());
    QVERIFY(w->document_modified());
    QCOMPARE(hex->edited_value(0), 0xbb);
    QCOMPARE(hex->edited_value(1), -1);
    QVERIFY(hex->edit_mode());
    QCOMPARE(hex->hex_font(), font);
    QCOMPARE(pq_hostile::read_at(data_path, 0, 1), QByteArray("d"));
    QVERIFY(!QFile::exists(save_answer));
    QVERIFY(w->markup_tree_view()->findChildren<QLineEdit *>().isEmpty());

    // The lock ends with the search: the same key edits again.
    hex->set_selection(1, 1);
    QTest::keyClick(hex, Qt::Key_C);
    QVERIFY(hex->edited_value(1) >= 0);
    hex->edit_triggered();
    QVERIFY(!hex->edit_mode());
}

void tst_mainwindow_hostile::exit_cancels_the_search_and_closes()
{
    MainWindow *w = MainWindow::instance();
    w->hex_widget()->edit_triggered();
    w->hex_widget()->set_selection(0, 0);
    QTest::keyClick(w->hex_widget(), Qt::Key_A);
    QVERIFY(w->document_modified());
    bool cancelled = false;
    bool visible = false;
    QVERIFY(while_searching([&] {
        w->exit_action();
        cancelled = file_anchor::instance()->is_cancelled();
        visible = w->isVisible();
    }));
    // Cancelled at once; the window waits for the search to return, then
    // asks about the edits (answered No) and closes.
    QVERIFY(cancelled);
    QVERIFY(visible);
    QCOMPARE(asked, QStringList());
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(asked, QStringList{QStringLiteral("File Has Changed")});
    QCOMPARE(pq_hostile::read_at(data_path, 0, 1), QByteArray("d"));
    w->show();
}

QTEST_MAIN(tst_mainwindow_hostile)
#include "tst_mainwindow_hostile.moc"
