#include "settings/config.h"
#include "treeview/hexoptionspinbox.h"
#include "testsettings.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

// Gives the tests the spin box's line edit, which QAbstractSpinBox keeps protected.
class ProbeSpinBox : public HexOptionSpinBox
{
public:
    using HexOptionSpinBox::HexOptionSpinBox;
    QLineEdit *edit() const { return lineEdit(); }
};

class TestHexOptionSpinBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        pq_test::isolate_settings();
    }

    void cleanup()
    {
        Config::instance()->remove("Hex Markup Display");
    }

    void text_follows_setting_data()
    {
        QTest::addColumn<QVariant>("setting");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing-means-hex") << QVariant() << qint64(255) << "0xff";
        QTest::newRow("yes-hex") << QVariant("yes") << qint64(255) << "0xff";
        QTest::newRow("other-text-hex") << QVariant("maybe") << qint64(255) << "0xff";
        QTest::newRow("upper-NO-still-hex") << QVariant("NO") << qint64(255) << "0xff";
        QTest::newRow("no-decimal") << QVariant("no") << qint64(255) << "255";
        QTest::newRow("hex-zero") << QVariant() << qint64(0) << "0x0";
        QTest::newRow("hex-beyond-4GiB") << QVariant() << qint64(0x123456789aLL) << "0x123456789a";
        QTest::newRow("decimal-beyond-4GiB") << QVariant("no") << qint64(5000000000LL) << "5000000000";
    }

    void text_follows_setting()
    {
        QFETCH(QVariant, setting);
        QFETCH(qint64, value);
        QFETCH(QString, text);
        if (setting.isValid())
            Config::instance()->setValue("Hex Markup Display", setting);
        ProbeSpinBox box;
        box.setRange(0, std::numeric_limits<qint64>::max());
        box.setValue(value);
        QCOMPARE(box.textFromValue(value), text);
        QCOMPARE(box.edit()->text(), text);
        box.show();
        QCOMPARE(box.edit()->text(), text);
        QCOMPARE(box.value(), value);
    }

    void value_from_text_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::newRow("hex-with-prefix") << "yes" << "0x1a" << qint64(26);
        QTest::newRow("hex-without-prefix") << "yes" << "1a" << qint64(26);
        QTest::newRow("hex-upper-digits") << "yes" << "0x1A" << qint64(26);
        QTest::newRow("hex-beyond-4GiB") << "yes" << "0x100000000" << qint64(0x100000000LL);
        QTest::newRow("hex-garbage") << "yes" << "0xzz" << qint64(0);
        QTest::newRow("decimal-plain") << "no" << "255" << qint64(255);
        QTest::newRow("decimal-rejects-prefix") << "no" << "0x1a" << qint64(0);
        QTest::newRow("decimal-rejects-hex-digits") << "no" << "ff" << qint64(0);
        QTest::newRow("decimal-beyond-4GiB") << "no" << "5000000000" << qint64(5000000000LL);
        QTest::newRow("empty") << "yes" << "" << qint64(0);
    }

    void value_from_text()
    {
        QFETCH(QString, setting);
        QFETCH(QString, text);
        QFETCH(qint64, value);
        Config::instance()->setValue("Hex Markup Display", setting);
        HexOptionSpinBox box;
        QCOMPARE(box.valueFromText(text), value);
    }

    void validate_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        // Range used: 16 .. 0x1000 (4096).
        QTest::newRow("hex-prefix-alone") << "yes" << "0x" << int(QValidator::Intermediate);
        QTest::newRow("hex-in-range") << "yes" << "0x1a" << int(QValidator::Acceptable);
        QTest::newRow("hex-at-max") << "yes" << "0x1000" << int(QValidator::Acceptable);
        QTest::newRow("hex-max-plus-one-explained-later") << "yes" << "0x1001" << int(QValidator::Intermediate);
        QTest::newRow("hex-below-min") << "yes" << "0xf" << int(QValidator::Intermediate);
        QTest::newRow("hex-not-a-digit") << "yes" << "0xg" << int(QValidator::Invalid);
        QTest::newRow("hex-sign") << "yes" << "-1" << int(QValidator::Invalid);
        QTest::newRow("decimal-in-range") << "no" << "4096" << int(QValidator::Acceptable);
        QTest::newRow("decimal-above") << "no" << "4097" << int(QValidator::Intermediate);
        QTest::newRow("decimal-below") << "no" << "1" << int(QValidator::Intermediate);
        QTest::newRow("decimal-prefix") << "no" << "0x1a" << int(QValidator::Invalid);
        QTest::newRow("empty") << "no" << "" << int(QValidator::Intermediate);
    }

    void validate()
    {
        QFETCH(QString, setting);
        QFETCH(QString, text);
        QFETCH(int, expected);
        Config::instance()->setValue("Hex Markup Display", setting);
        HexOptionSpinBox box;
        box.setRange(16, 4096);
        int pos = 0;
        QCOMPARE(int(box.validate(text, pos)), expected);
    }

    void typing_displayed_form_sets_value_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("value");
        QTest::newRow("hex") << "yes" << "0x1a" << qint64(26);
        QTest::newRow("decimal") << "no" << "26" << qint64(26);
        QTest::newRow("hex-beyond-4GiB") << "yes" << "0x1000000ff" << qint64(0x1000000ffLL);
    }

    void typing_displayed_form_sets_value()
    {
        QFETCH(QString, setting);
        QFETCH(QString, typed);
        QFETCH(qint64, value);
        Config::instance()->setValue("Hex Markup Display", setting);
        ProbeSpinBox box;
        box.setRange(0, 0x200000000LL);
        box.setValue(5);
        box.show();
        QSignalSpy spy(&box, &HexOptionSpinBox::valueChanged);
        box.edit()->selectAll();
        QTest::keyClicks(box.edit(), typed);
        QCOMPARE(box.edit()->text(), typed);
        QCOMPARE(box.value(), value);
        QVERIFY(!spy.isEmpty());
        QCOMPARE(spy.last().at(0).toLongLong(), value);
        QTest::keyClick(box.edit(), Qt::Key_Return);
        QCOMPARE(box.value(), value);
        QCOMPARE(box.edit()->text(), box.textFromValue(value));
    }

    void out_of_range_typing_reverts_on_enter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("below-minimum") << "5";
        QTest::newRow("above-maximum") << "250";
        // "175" lies in the range on the way: the value still goes back.
        QTest::newRow("above-through-values-in-range") << "1750";
    }

    // A number outside the range can be typed whole; Enter announces it, so
    // the owner can say why, and the text reverts to the value.
    void out_of_range_typing_reverts_on_enter()
    {
        QFETCH(QString, typed);
        Config::instance()->setValue("Hex Markup Display", "no");
        ProbeSpinBox box;
        box.setRange(100, 200);
        box.setValue(150);
        box.show();
        QSignalSpy announced(&box, &HexOptionSpinBox::out_of_range);
        box.edit()->selectAll();
        QTest::keyClicks(box.edit(), typed);
        QCOMPARE(box.edit()->text(), typed);
        qint64 shown = 0;
        QVERIFY(box.typed_out_of_range(&shown));
        QCOMPARE(shown, typed.toLongLong());
        QTest::keyClick(&box, Qt::Key_Return); // the box has the focus, not its line edit
        QCOMPARE(box.value(), qint64(150));
        QCOMPARE(box.edit()->text(), QString("150"));
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(0).toLongLong(), typed.toLongLong());
    }

    void steps_stop_at_range_ends_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("steps");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("up-one") << qint64(10) << 1 << qint64(11);
        QTest::newRow("down-one") << qint64(10) << -1 << qint64(9);
        QTest::newRow("up-past-max") << qint64(0x100000002LL) << 10 << qint64(0x100000004LL);
        QTest::newRow("down-past-min") << qint64(2) << -10 << qint64(0);
        QTest::newRow("at-max-up") << qint64(0x100000004LL) << 1 << qint64(0x100000004LL);
    }

    void steps_stop_at_range_ends()
    {
        QFETCH(qint64, start);
        QFETCH(int, steps);
        QFETCH(qint64, expected);
        HexOptionSpinBox box;
        box.setRange(0, 0x100000004LL);
        box.setValue(start);
        box.stepBy(steps);
        QCOMPARE(box.value(), expected);
    }

    void set_value_clamps_and_signals_once()
    {
        HexOptionSpinBox box;
        box.setRange(10, 20);
        QCOMPARE(box.value(), qint64(10));
        QSignalSpy spy(&box, &HexOptionSpinBox::valueChanged);
        box.setValue(50);
        QCOMPARE(box.value(), qint64(20));
        box.setValue(20);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toLongLong(), qint64(20));
    }

    void setting_change_shows_at_next_step()
    {
        ProbeSpinBox box;
        box.setRange(0, 1000);
        box.setValue(255);
        QCOMPARE(box.edit()->text(), QString("0xff"));
        Config::instance()->setValue("Hex Markup Display", "no");
        box.stepBy(1);
        QCOMPARE(box.edit()->text(), QString("256"));
    }
};

QTEST_MAIN(TestHexOptionSpinBox)
#include "tst_hexoptionspinbox.moc"
