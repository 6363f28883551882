// Values decoded from the bytes at the cursor: both byte orders, every size,
// sign edges, floats, text, times, and bytes that end before the value.

#include "document/valuedecoder.h"

#include <QTest>

using Type = ValueDecoder::Type;
Q_DECLARE_METATYPE(ValueDecoder::Type)

class TestValueDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<Type>("type");
        QTest::addColumn<bool>("little");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::newRow("int8-0x80") << QByteArray("80") << Type::int8 << true << "-128" << 1;
        QTest::newRow("int8-0x7f") << QByteArray("7f") << Type::int8 << false << "127" << 1;
        QTest::newRow("uint8-0xff") << QByteArray("ff00") << Type::uint8 << true << "255" << 1;
        QTest::newRow("int16-le") << QByteArray("feff") << Type::int16 << true << "-2" << 2;
        QTest::newRow("int16-be") << QByteArray("fffe") << Type::int16 << false << "-2" << 2;
        QTest::newRow("uint16-le") << QByteArray("3412") << Type::uint16 << true << "4660" << 2;
        QTest::newRow("uint16-be") << QByteArray("3412") << Type::uint16 << false << "13330" << 2;
        QTest::newRow("int32-le-min") << QByteArray("00000080") << Type::int32 << true << "-2147483648" << 4;
        QTest::newRow("int32-be-0x80-low") << QByteArray("00000080") << Type::int32 << false << "128" << 4;
        QTest::newRow("uint32-be-max") << QByteArray("ffffffff") << Type::uint32 << false << "4294967295" << 4;
        QTest::newRow("int64-le-minus-one") << QByteArray("ffffffffffffffff") << Type::int64 << true << "-1" << 8;
        QTest::newRow("int64-be-min") << QByteArray("8000000000000000") << Type::int64 << false
                                      << "-9223372036854775808" << 8;
        QTest::newRow("uint64-le-max") << QByteArray("ffffffffffffffff") << Type::uint64 << true
                                       << "18446744073709551615" << 8;
        QTest::newRow("uint64-le-order") << QByteArray("0102030405060708") << Type::uint64 << true
                                         << "578437695752307201" << 8;
        QTest::newRow("float32-le-one") << QByteArray("0000803f") << Type::float32 << true << "1" << 4;
        QTest::newRow("float32-be-one") << QByteArray("3f800000") << Type::float32 << false << "1" << 4;
        QTest::newRow("float32-be-tenth") << QByteArray("3dcccccd") << Type::float32 << false << "0.100000001" << 4;
        QTest::newRow("float32-nan") << QByteArray("7fc00000") << Type::float32 << false << "nan" << 4;
        QTest::newRow("float64-le-1.5") << QByteArray("000000000000f83f") << Type::float64 << true << "1.5" << 8;
        QTest::newRow("float64-be-minus-inf") << QByteArray("fff0000000000000") << Type::float64 << false << "-inf" << 8;
        QTest::newRow("binary") << QByteArray("a5") << Type::binary << true << "10100101" << 1;
        QTest::newRow("binary-zero") << QByteArray("00") << Type::binary << false << "00000000" << 1;
        QTest::newRow("ascii-non-printables-dotted") << QByteArray("48690a7f80") << Type::ascii << true << "Hi..." << 5;
        QTest::newRow("ascii-at-most-16") << QByteArray("41").repeated(20) << Type::ascii << true
                                          << QString(16, 'A') << 16;
        QTest::newRow("utf8-two-byte") << QByteArray("c3a921") << Type::utf8 << true << QString::fromUtf8("\xc3\xa9!") << 3;
        QTest::newRow("utf8-cut-sequence-left-out") << QByteArray("41e282") << Type::utf8 << true << "A" << 1;
        QTest::newRow("utf8-invalid-byte-replaced") << QByteArray("ff41") << Type::utf8 << true
                                                    << QString(QChar(0xFFFD)) + "A" << 2;
        QTest::newRow("utf8-control-dotted") << QByteArray("0a41") << Type::utf8 << true << ".A" << 2;
        QTest::newRow("utf8-sequence-across-16-left-out") << QByteArray("41").repeated(15) + "e282ac"
                                                          << Type::utf8 << true << QString(15, 'A') << 15;
        QTest::newRow("time32-epoch") << QByteArray("00000000") << Type::unix_time32 << true
                                      << "1970-01-01 00:00:00 UTC" << 4;
        QTest::newRow("time32-le-minus-one") << QByteArray("ffffffff") << Type::unix_time32 << true
                                             << "1969-12-31 23:59:59 UTC" << 4;
        QTest::newRow("time32-be-2038") << QByteArray("7fffffff") << Type::unix_time32 << false
                                        << "2038-01-19 03:14:07 UTC" << 4;
        QTest::newRow("time64-le-2106") << QByteArray("0000000001000000") << Type::unix_time64 << true
                                        << "2106-02-07 06:28:16 UTC" << 8;
        QTest::newRow("time64-beyond-year-9999") << QByteArray("7fffffffffffffff") << Type::unix_time64 << false
                                                 << "out of range" << 8;
        // Bytes that end before the value: nothing to show, nothing to mark.
        QTest::newRow("past-eof-uint16") << QByteArray("ff") << Type::uint16 << true << "" << 0;
        QTest::newRow("past-eof-float64") << QByteArray("00000000000000") << Type::float64 << true << "" << 0;
        QTest::newRow("past-eof-time32") << QByteArray("000000") << Type::unix_time32 << false << "" << 0;
        QTest::newRow("empty-int8") << QByteArray() << Type::int8 << true << "" << 0;
        QTest::newRow("empty-ascii") << QByteArray() << Type::ascii << true << "" << 0;
        QTest::newRow("empty-utf8") << QByteArray() << Type::utf8 << true << "" << 0;
    }

    void decode()
    {
        QFETCH(QByteArray, hex);
        QFETCH(Type, type);
        QFETCH(bool, little);
        QFETCH(QString, text);
        QFETCH(int, size);
        const QByteArray bytes = QByteArray::fromHex(hex);
        QCOMPARE(ValueDecoder::decode(type, bytes, little), text);
        QCOMPARE(ValueDecoder::size(type, bytes), size);
    }

    // Every type has a distinct name, and only single bytes and text ignore
    // the byte order.
    void names_and_byte_order()
    {
        QStringList names;
        // The second sample keeps both readings of a 64-bit time in range.
        const QByteArray samples[] = {QByteArray::fromHex("0102030405060708"),
                                      QByteArray::fromHex("0000000102000000")};
        for (Type type : ValueDecoder::types()) {
            names << ValueDecoder::name(type);
            bool differs = false;
            for (const QByteArray &bytes : samples)
                differs = differs
                          || ValueDecoder::decode(type, bytes, true)
                                 != ValueDecoder::decode(type, bytes, false);
            QCOMPARE(differs, ValueDecoder::has_byte_order(type));
        }
        QCOMPARE(names.size(), 15);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    }
};

QTEST_GUILESS_MAIN(TestValueDecoder)
#include "tst_valuedecoder.moc"
