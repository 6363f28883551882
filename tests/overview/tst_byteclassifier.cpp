#include "overview/byteclassifier.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>

Q_DECLARE_METATYPE(ByteClass)

class TestByteClassifier : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
};

void TestByteClassifier::classify_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ByteClass>("expected");
    QTest::addColumn<double>("entropy");

    QByteArray random(1 << 16, '\0');
    QRandomGenerator generator(40);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    QByteArray every_value;
    for (int v = 0; v < 256; ++v)
        every_value.append(char(v));
    const QByteArray text = "The quick brown fox\tjumps over the lazy dog.\r\n";

    QTest::newRow("empty") << QByteArray() << ByteClass::unknown << 0.0;
    QTest::newRow("zeros") << QByteArray(4096, '\0') << ByteClass::repeated << 0.0;
    QTest::newRow("one-repeated-0xff") << QByteArray(17, '\xff') << ByteClass::repeated << 0.0;
    // A run broken by its very first or last byte is no run.
    QTest::newRow("run-but-first") << QByteArray(1, '\x01') + QByteArray(6000, '\0') << ByteClass::binary << -1.0;
    QTest::newRow("run-but-last") << QByteArray(6000, '\x80') + QByteArray(1, '\x7f') << ByteClass::binary << -1.0;
    QTest::newRow("two-values-halves") << QByteArray(8, 'a') + QByteArray(8, '\x80') << ByteClass::binary << 1.0;
    QTest::newRow("every-value-once") << every_value << ByteClass::random << 8.0;
    QTest::newRow("text") << text.repeated(50) << ByteClass::text << -1.0;
    // One byte in twenty outside printable text is still text; one in ten is not.
    QTest::newRow("text-95-percent") << QByteArray(19, 'x') + QByteArray(1, '\x01') << ByteClass::text << -1.0;
    QTest::newRow("text-90-percent") << QByteArray(9, 'x') + QByteArray(1, '\x7f') << ByteClass::binary << -1.0;
    QTest::newRow("random") << random << ByteClass::random << -1.0;
}

void TestByteClassifier::classify()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ByteClass, expected);
    QFETCH(double, entropy);

    // Added in two parts: the counts add up across calls.
    ByteClassifier counts;
    counts.add(bytes.constData(), bytes.size() / 3);
    counts.add(bytes.constData() + bytes.size() / 3, bytes.size() - bytes.size() / 3);
    QCOMPARE(counts.total(), qint64(bytes.size()));
    std::array<qint64, 256> expected_counts {};
    for (const char c : bytes)
        ++expected_counts[quint8(c)];
    for (int v = 0; v < 256; ++v)
        QCOMPARE(counts.count(quint8(v)), expected_counts[v]);
    QCOMPARE(counts.byte_class(), expected);
    if (entropy >= 0)
        QVERIFY2(qAbs(counts.entropy() - entropy) < 1e-9, qPrintable(QString::number(counts.entropy())));
    if (expected == ByteClass::random)
        QVERIFY(counts.entropy() >= ByteClassifier::random_entropy);
    if (expected == ByteClass::text)
        QVERIFY(counts.entropy() > 0 && counts.entropy() < 5);

    // A hole counted as repeated zeros weighs as the same zeros read.
    ByteClassifier with_hole = counts;
    with_hole.add_repeated(0, 1000);
    ByteClassifier read = counts;
    const QByteArray zeros(1000, '\0');
    read.add(zeros.constData(), zeros.size());
    QCOMPARE(with_hole.count(0), read.count(0));
    QCOMPARE(with_hole.entropy(), read.entropy());
}

QTEST_GUILESS_MAIN(TestByteClassifier)
#include "tst_byteclassifier.moc"
