#include "dialogs/manualmarkupdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestManualMarkupDialog : public QObject
{
    Q_OBJECT

private:
    static QLineEdit *field(ManualMarkupDialog &dialog, const char *name)
    {
        auto *edit = dialog.findChild<QLineEdit *>(QLatin1String(name));
        if (!edit)
            qFatal("no line edit named %s", name);
        return edit;
    }

    static QPushButton *button(ManualMarkupDialog &dialog, const QString &text)
    {
        const auto buttons = dialog.findChildren<QPushButton *>();
        for (QPushButton *b : buttons) {
            if (b->text() == text)
                return b;
        }
        qFatal("no button %s", qPrintable(text));
        return nullptr;
    }

private slots:
    void layout_and_title()
    {
        ManualMarkupDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Specify Markup Manually"));
        QVERIFY(dialog.isModal());
        QVERIFY(!dialog.isSizeGripEnabled());
        auto *grid = qobject_cast<QGridLayout *>(dialog.layout());
        QVERIFY(grid);
        auto text_at = [grid](int row, int column) {
            QLayoutItem *item = grid->itemAtPosition(row, column);
            if (!item || !item->widget())
                return QString();
            if (auto *label = qobject_cast<QLabel *>(item->widget()))
                return label->text();
            if (auto *b = qobject_cast<QPushButton *>(item->widget()))
                return b->text();
            return item->widget()->objectName();
        };
        QCOMPARE(text_at(0, 0), QString("Start Position"));
        QCOMPARE(text_at(0, 1), QString("start_edit"));
        QCOMPARE(text_at(1, 0), QString("End Position"));
        QCOMPARE(text_at(1, 1), QString("end_edit"));
        QCOMPARE(text_at(2, 0), QString("or Length"));
        QCOMPARE(text_at(2, 1), QString("length_edit"));
        QCOMPARE(text_at(5, 0), QString("Ok"));
        QCOMPARE(text_at(5, 1), QString("Cancel"));
        // How "010" is read, said under the fields.
        QCOMPARE(text_at(6, 0), QString::fromUtf8("0x\u2026 hexadecimal, 0\u2026 octal, otherwise decimal"));
        QVERIFY(!grid->itemAtPosition(3, 0));
        QVERIFY(!grid->itemAtPosition(4, 0));
        QCOMPARE(button(dialog, "Ok")->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(button(dialog, "Cancel")->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }

    void field_refuses_twentieth_character_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("start") << "start_edit";
        QTest::newRow("end") << "end_edit";
        QTest::newRow("length") << "length_edit";
    }

    void field_refuses_twentieth_character()
    {
        QFETCH(QString, name);
        ManualMarkupDialog dialog;
        QLineEdit *edit = field(dialog, qPrintable(name));
        QCOMPARE(edit->maxLength(), 19);
        QTest::keyClicks(edit, "12345678901234567890");
        QCOMPARE(edit->text(), QString("1234567890123456789"));
    }

    void fields_refuse_invalid_typing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("hex") << "0x1f" << "0x1f";
        QTest::newRow("octal-drops-8") << "0178" << "017";
        QTest::newRow("letters-dropped") << "1a2" << "12";
        QTest::newRow("upper-X-dropped") << "0X10" << "010";
        QTest::newRow("minus-dropped") << "-5" << "5";
    }

    void fields_refuse_invalid_typing()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        ManualMarkupDialog dialog;
        for (const char *name : {"start_edit", "end_edit", "length_edit"}) {
            QLineEdit *edit = field(dialog, name);
            QTest::keyClicks(edit, typed);
            QCOMPARE(edit->text(), kept);
        }
    }

    void values_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("length");
        QTest::addColumn<quint64>("start_value");
        QTest::addColumn<quint64>("end_value");
        QTest::addColumn<quint64>("length_value");
        QTest::newRow("hex-start-length") << "0x10" << "" << "4" << quint64(16) << quint64(0) << quint64(4);
        QTest::newRow("octal-start-hex-end") << "020" << "0x1f" << "" << quint64(16) << quint64(31) << quint64(0);
        QTest::newRow("decimal-reversed") << "100" << "90" << "" << quint64(100) << quint64(90) << quint64(0);
        QTest::newRow("all-empty") << "" << "" << "" << quint64(0) << quint64(0) << quint64(0);
        QTest::newRow("prefix-only-gives-0") << "0x" << "0x" << "0x" << quint64(0) << quint64(0) << quint64(0);
        QTest::newRow("beyond-4GiB") << "0x100000000" << "4294967297" << "" << quint64(0x100000000ULL)
                                     << quint64(4294967297ULL) << quint64(0);
        QTest::newRow("largest-hex") << "0xffffffffffffffff" << "" << "" << quint64(0xffffffffffffffffULL)
                                     << quint64(0) << quint64(0);
    }

    void values()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, length);
        QFETCH(quint64, start_value);
        QFETCH(quint64, end_value);
        QFETCH(quint64, length_value);
        ManualMarkupDialog dialog;
        QTest::keyClicks(field(dialog, "start_edit"), start);
        QTest::keyClicks(field(dialog, "end_edit"), end);
        QTest::keyClicks(field(dialog, "length_edit"), length);
        QCOMPARE(dialog.start_position(), start_value);
        QCOMPARE(dialog.end_position(), end_value);
        QCOMPARE(dialog.length_value(), length_value);
    }

    void ok_accepts_whatever_the_fields_hold()
    {
        ManualMarkupDialog dialog;
        field(dialog, "start_edit")->setText("0x"); // only Intermediate
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        QTest::mouseClick(button(dialog, "Ok"), Qt::LeftButton);
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(rejected.count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void cancel_rejects()
    {
        ManualMarkupDialog dialog;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        QTest::mouseClick(button(dialog, "Cancel"), Qt::LeftButton);
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestManualMarkupDialog)
#include "tst_manualmarkupdialog.moc"
