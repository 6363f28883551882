// Main-window commands over a markup tree with many parent markups: expanding
// the whole tree view refills the colour mask once, not once per markup the
// view opens, and the one refill sees the view fully expanded.
#include "treeview/hextreeview.h"
#include "hexview/hexwidget.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow_script.h"
#include "mask/markupmask.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"
#include "testsettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestMainWindowLargeTree : public QObject
{
    Q_OBJECT

private:
    MainWindow *m_window = nullptr;
    pq_test::DialogScript m_script;
    QTemporaryDir m_dir;

    // `parents` top-level markups of 16 bytes, each holding one markup on
    // its bytes 4..7.
    QString write_markup_file(int parents)
    {
        QByteArray xml = "<!DOCTYPE PQML>\n<pellowquarnbybook>\n";
        for (int p = 0; p < parents; ++p) {
            const qint64 base = qint64(p) * 16;
            xml += QStringLiteral(" <node description=\"outer\" start=\"%1\" end=\"%2\" repeat=\"false\">\n"
                                  "  <node description=\"inner\" start=\"%3\" end=\"%4\" repeat=\"false\"/>\n"
                                  " </node>\n")
                       .arg(base).arg(base + 15).arg(base + 4).arg(base + 7)
                       .toLatin1();
        }
        xml += "</pellowquarnbybook>\n";
        const QString path = m_dir.filePath(QStringLiteral("tree%1.xml").arg(parents));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size())
            return QString();
        return path;
    }

    bool wait_for_fill()
    {
        MarkupMask *mask = m_window->markup_mask();
        QElapsedTimer timer;
        timer.start();
        while (mask->is_filling() && timer.elapsed() < 10000)
            QThread::msleep(1);
        QCoreApplication::processEvents();
        return !mask->is_filling();
    }

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
        m_window = MainWindow::instance();
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        pq_test::reset_window(m_window, m_script, pq_test::make_temp_file(65536));
        QVERIFY(wait_for_fill());
    }

    void expanding_refills_once_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("parents");
        QTest::newRow("load-markup-file") << "load" << 400;
        QTest::newRow("load-one-parent") << "load" << 1;
        QTest::newRow("random-colours-re-expands") << "colours" << 400;
    }

    void expanding_refills_once()
    {
        QFETCH(QString, command);
        QFETCH(int, parents);
        const QString path = write_markup_file(parents);
        QVERIFY(!path.isEmpty());
        // The window refills the mask on every expanded() of the view.
        QSignalSpy shown(m_window->markup_tree_view(), &QTreeView::expanded);

        if (command == QLatin1String("colours")) {
            m_script.file_names << path;
            m_window->load_markup_action();
            QVERIFY(wait_for_fill());
            // Colouring the markup under the selection resets the view and
            // expands it all again.
            m_window->hex_widget()->set_selection(2, 2);
            shown.clear();
            emit m_window->hex_widget()->pick_random_colors_requested();
        } else {
            m_script.file_names << path;
            m_window->load_markup_action();
        }
        QVERIFY(wait_for_fill());

        QCOMPARE(m_window->markup_model()->rowCount(), parents);
        // A refill per expanded markup would make the command quadratic in
        // a large tree: the view follows the model without the signal.
        QCOMPARE(shown.count(), 0);

        // Every markup is expanded and the mask was filled after that: inner
        // bytes show the inner markup, the others the outer one.
        HexTreeView *view = m_window->markup_tree_view();
        MarkupModel *model = m_window->markup_model();
        for (int p = 0; p < parents; ++p)
            QVERIFY(view->isExpanded(model->index(p, 0)));
        MarkupMask *mask = m_window->markup_mask();
        const qint64 last = qint64(parents - 1) * 16;
        const MarkupNode *outer = model->root()->child(parents - 1);
        mask->markup_at(last); // moves the window there if it is elsewhere
        QVERIFY(wait_for_fill());
        QCOMPARE(mask->markup_at(last + 3), outer);
        QCOMPARE(mask->markup_at(last + 4), outer->child(0));
        QCOMPARE(mask->markup_at(last + 7), outer->child(0));
        QCOMPARE(mask->markup_at(last + 8), outer);
    }
};

QTEST_MAIN(TestMainWindowLargeTree)
#include "tst_mainwindow_largetree.moc"
