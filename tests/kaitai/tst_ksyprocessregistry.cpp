// Every processing routine on the edges of its argument and its data: the
// output as hex, or "error: " and the start of the message.

#include "kaitai/ksyprocessregistry.h"

#include <QtTest>

#include <zlib.h>

class TestKsyProcessRegistry : public QObject
{
    Q_OBJECT

private slots:
    void routines_data();
    void routines();
};

void TestKsyProcessRegistry::routines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<KsyValue>("argument");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<QString>("expected");
    const QByteArray edges = QByteArray::fromHex("007f80ff");
    QByteArray packed(64, '\0');
    uLongf packed_size = uLongf(packed.size());
    compress(reinterpret_cast<Bytef *>(packed.data()), &packed_size, reinterpret_cast<const Bytef *>("abcabc"), 6);
    packed.resize(qsizetype(packed_size));
    const auto row = [](const char *tag, const char *name, const QByteArray &data, const KsyValue &arg,
                        const char *expected, qint64 limit = 1 << 20) {
        QTest::newRow(tag) << name << data << arg << limit << expected;
    };
    row("xor-one-byte", "xor", edges, KsyValue::from_int(0xff), "ff807f00");
    row("xor-key-wraps", "xor", edges, KsyValue::from_bytes(QByteArray::fromHex("0f f0 01")), "0f8f81f0");
    row("xor-empty-key", "xor", edges, KsyValue::from_bytes(QByteArray()), "error: xor with an empty key");
    row("rol-by-one", "rol", edges, KsyValue::from_int(1), "00fe01ff");
    row("rol-by-eight-is-none", "rol", edges, KsyValue::from_int(8), "007f80ff");
    row("rol-negative-is-ror", "rol", edges, KsyValue::from_int(-1), "00bf40ff");
    row("ror-by-one", "ror", edges, KsyValue::from_int(1), "00bf40ff");
    row("ror-needs-integer", "ror", edges, KsyValue::from_string(QStringLiteral("1")), "error: ror needs an integer");
    row("zlib", "zlib", packed, KsyValue(), "616263616263");
    row("zlib-ends-early", "zlib", packed.left(packed.size() - 5), KsyValue(), "error: zlib data ends early");
    row("zlib-damaged", "zlib", edges, KsyValue(), "error: zlib data is damaged");
    row("zlib-beyond-limit", "zlib", packed, KsyValue(), "error: zlib data expands beyond 4 bytes", 4);
}

void TestKsyProcessRegistry::routines()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QFETCH(KsyValue, argument);
    QFETCH(qint64, limit);
    QFETCH(QString, expected);
    const KsyProcessRegistry::Entry *routine = KsyProcessRegistry::instance().find(name);
    QVERIFY(routine);
    QCOMPARE(routine->arguments, argument.is_none() ? 0 : 1);
    std::vector<KsyValue> args;
    if (!argument.is_none())
        args.push_back(argument);
    QString error;
    const bool ok = routine->run(&data, args, limit, &error);
    const QString got = ok ? QString::fromLatin1(data.toHex()) : QStringLiteral("error: ") + error;
    QVERIFY2(got.startsWith(expected), qPrintable(got));
}

QTEST_GUILESS_MAIN(TestKsyProcessRegistry)
#include "tst_ksyprocessregistry.moc"
