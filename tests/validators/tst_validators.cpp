#include "validators/hexvalidator.h"
#include "validators/octdechexvalidator.h"
#include "validators/qint64validator.h"

#include <QLineEdit>
#include <QTest>

Q_DECLARE_METATYPE(QValidator::State)

class TestValidators : public QObject
{
    Q_OBJECT

private slots:
    void hex_validator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QValidator::State>("expected");
        QTest::newRow("empty") << "" << QValidator::Acceptable;
        QTest::newRow("lower-prefix-only") << "0x" << QValidator::Acceptable;
        QTest::newRow("lower-prefix-digits") << "0x1f" << QValidator::Acceptable;
        QTest::newRow("upper-digits-no-prefix") << "1F" << QValidator::Acceptable;
        QTest::newRow("all-digit-range") << "0123456789abcdefABCDEF" << QValidator::Acceptable;
        QTest::newRow("odd-count-still-fine") << "abc" << QValidator::Acceptable;
        QTest::newRow("upper-prefix-not-dropped") << "0X1F" << QValidator::Invalid;
        QTest::newRow("inner-space") << "1f 2e" << QValidator::Invalid;
        QTest::newRow("trailing-space") << "1f " << QValidator::Invalid;
        QTest::newRow("letter-after-f") << "g" << QValidator::Invalid;
        QTest::newRow("prefix-twice") << "0x0x12" << QValidator::Invalid;
        QTest::newRow("non-latin1") << QString::fromUtf8("1\u20ac") << QValidator::Invalid;
        QTest::newRow("latin1-letter") << QString::fromUtf8("\u00e4") << QValidator::Invalid;
    }

    void hex_validator()
    {
        QFETCH(QString, input);
        QFETCH(QValidator::State, expected);
        HexValidator v(nullptr);
        QString text = input;
        int pos = 1;
        QCOMPARE(v.validate(text, pos), expected);
        QCOMPARE(text, input);
        QCOMPARE(pos, 1);
    }

    void oct_dec_hex_validator_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QValidator::State>("expected");
        QTest::newRow("empty") << "" << QValidator::Intermediate;
        QTest::newRow("hex-prefix-alone") << "0x" << QValidator::Intermediate;
        QTest::newRow("any-first-then-x") << "5x" << QValidator::Intermediate;
        QTest::newRow("hex-sixteen") << "0x10" << QValidator::Acceptable;
        QTest::newRow("dec-sixteen") << "16" << QValidator::Acceptable;
        QTest::newRow("oct-sixteen") << "020" << QValidator::Acceptable;
        QTest::newRow("zero") << "0" << QValidator::Acceptable;
        QTest::newRow("hex-mixed-case-digits") << "0xAbC" << QValidator::Acceptable;
        QTest::newRow("eight-not-octal") << "08" << QValidator::Invalid;
        QTest::newRow("upper-x-prefix-alone") << "0X" << QValidator::Invalid;
        QTest::newRow("three-chars-ending-x") << "12x" << QValidator::Invalid;
        QTest::newRow("letters") << "abc" << QValidator::Invalid;
        QTest::newRow("hex-bad-digit") << "0x1g" << QValidator::Invalid;
        QTest::newRow("negative") << "-1" << QValidator::Invalid;
        QTest::newRow("max-unsigned") << "18446744073709551615" << QValidator::Acceptable;
        QTest::newRow("max-unsigned-plus-one") << "18446744073709551616" << QValidator::Invalid;
        QTest::newRow("max-hex") << "0xffffffffffffffff" << QValidator::Acceptable;
        QTest::newRow("hex-17-digits") << "0x10000000000000000" << QValidator::Invalid;
    }

    void oct_dec_hex_validator()
    {
        QFETCH(QString, input);
        QFETCH(QValidator::State, expected);
        OctDecHexValidator v(nullptr);
        QString text = input;
        int pos = 0;
        QCOMPARE(v.validate(text, pos), expected);
        QCOMPARE(text, input);
        QCOMPARE(pos, 0);
    }

    void int64_validator_data()
    {
        QTest::addColumn<qint64>("bottom");
        QTest::addColumn<qint64>("top");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QValidator::State>("expected");
        QTest::newRow("lone-minus-negative-bottom") << qint64(-10) << qint64(100) << "-" << QValidator::Intermediate;
        QTest::newRow("lone-minus-positive-bottom") << qint64(10) << qint64(100) << "-" << QValidator::Invalid;
        QTest::newRow("empty") << qint64(10) << qint64(100) << "" << QValidator::Intermediate;
        QTest::newRow("inside-negative") << qint64(-10) << qint64(100) << "-5" << QValidator::Acceptable;
        QTest::newRow("top-exactly") << qint64(-10) << qint64(100) << "100" << QValidator::Acceptable;
        QTest::newRow("bottom-exactly") << qint64(-10) << qint64(100) << "-10" << QValidator::Acceptable;
        QTest::newRow("top-plus-one") << qint64(-10) << qint64(100) << "101" << QValidator::Invalid;
        QTest::newRow("bottom-minus-one") << qint64(-10) << qint64(100) << "-11" << QValidator::Invalid;
        QTest::newRow("trailing-space") << qint64(-10) << qint64(100) << "5 " << QValidator::Invalid;
        QTest::newRow("below-positive-bottom") << qint64(10) << qint64(100) << "5" << QValidator::Intermediate;
        QTest::newRow("negative-with-positive-bottom") << qint64(10) << qint64(100) << "-5" << QValidator::Invalid;
        QTest::newRow("negative-above-negative-top") << qint64(-100) << qint64(-10) << "-5" << QValidator::Intermediate;
        QTest::newRow("not-a-number") << qint64(0) << qint64(100) << "1a" << QValidator::Invalid;
        QTest::newRow("beyond-4GiB") << qint64(0) << qint64(1) << "4294967296" << QValidator::Invalid;
        QTest::newRow("full-range-max") << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max()
                                        << "9223372036854775807" << QValidator::Acceptable;
        QTest::newRow("full-range-min") << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max()
                                        << "-9223372036854775808" << QValidator::Acceptable;
        QTest::newRow("overflow") << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max()
                                  << "9223372036854775808" << QValidator::Invalid;
    }

    void int64_validator()
    {
        QFETCH(qint64, bottom);
        QFETCH(qint64, top);
        QFETCH(QString, input);
        QFETCH(QValidator::State, expected);
        QInt64Validator v(bottom, top, nullptr);
        QString text = input;
        int pos = 0;
        QCOMPARE(v.validate(text, pos), expected);
        QCOMPARE(text, input);
    }

    // A line edit refuses keystrokes whose result the validator calls Invalid.
    void line_edit_refuses_invalid_keystrokes()
    {
        QLineEdit edit;
        edit.setValidator(new OctDecHexValidator(&edit));
        QTest::keyClicks(&edit, "0x1fz");
        QCOMPARE(edit.text(), QString("0x1f"));

        QLineEdit hex;
        hex.setValidator(new HexValidator(&hex));
        QTest::keyClicks(&hex, "0a g1");
        QCOMPARE(hex.text(), QString("0a1"));
    }
};

QTEST_MAIN(TestValidators)
#include "tst_validators.moc"
