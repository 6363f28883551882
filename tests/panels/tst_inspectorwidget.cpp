// The inspector page: values at the offset it is given, read through the
// hex widget's document with unsaved edits over them, only while visible,
// and the markup ranges "Mark as" asks for.

#include "hexview/hexwidget.h"
#include "panels/inspectorwidget.h"
#include "testsettings.h"

#include "editedfile/editedfile.h"

#include <QFile>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Type = ValueDecoder::Type;
Q_DECLARE_METATYPE(ValueDecoder::Type)

class TestInspectorWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    HexWidget *hex = nullptr;
    InspectorWidget *panel = nullptr;

private slots:
    void initTestCase() { pq_test::isolate_settings(); }

    void init()
    {
        window = std::make_unique<QWidget>();
        auto *layout = new QHBoxLayout(window.get());
        hex = new HexWidget(window.get());
        panel = new InspectorWidget(window.get());
        panel->set_edited_file(hex->edited_file());
        layout->addWidget(hex);
        layout->addWidget(panel);
        // 24 bytes: a little-endian 0x12345678, a float 1.0, then text.
        hex->open_file(pq_test::make_temp_file(
            0, QByteArray::fromHex("78563412" "0000803f") + "ABCDEFGHIJKLMNOP"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void values_at_offset_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("little");
        QTest::addColumn<Type>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("uint32-le") << 0LL << true << Type::uint32 << "305419896";
        QTest::newRow("uint32-be") << 0LL << false << Type::uint32 << "2018915346";
        QTest::newRow("float32-le") << 4LL << true << Type::float32 << "1";
        QTest::newRow("ascii-to-eof") << 16LL << true << Type::ascii << "IJKLMNOP";
        QTest::newRow("uint16-last-two-bytes") << 22LL << false << Type::uint16 << "20304";
        QTest::newRow("uint16-past-eof-empty") << 23LL << true << Type::uint16 << "";
        QTest::newRow("offset-past-eof-empty") << 24LL << true << Type::int8 << "";
        QTest::newRow("no-cursor-empty") << -1LL << true << Type::uint8 << "";
    }

    void values_at_offset()
    {
        QFETCH(qint64, offset);
        QFETCH(bool, little);
        QFETCH(Type, type);
        QFETCH(QString, text);
        panel->set_little_endian(!little);
        panel->set_offset(offset);
        // The switch alone redecodes the bytes.
        panel->set_little_endian(little);
        QCOMPARE(panel->value_text(type), text);
    }

    void unsaved_edit_is_shown()
    {
        hex->edit_triggered();
        hex->set_selection(0, 0);
        QTest::keyClick(hex, Qt::Key_F);
        QTest::keyClick(hex, Qt::Key_F);
        panel->set_offset(0);
        QCOMPARE(panel->value_text(Type::uint8), QString("255"));
        QCOMPARE(panel->value_text(Type::uint32), QString("305420031"));
    }

    void hidden_page_reads_when_shown()
    {
        panel->set_offset(0);
        QCOMPARE(panel->value_text(Type::uint8), QString("120"));
        panel->hide();
        panel->set_offset(8);
        // Nothing is read while hidden, and nothing can be marked from it.
        QCOMPARE(panel->value_text(Type::uint8), QString("120"));
        qint64 first = 0, last = 0;
        QVERIFY(!panel->mark_range(Type::uint8, &first, &last));
        panel->show();
        QCOMPARE(panel->value_text(Type::uint8), QString("65"));
    }

    void mark_as_asks_for_the_value_bytes_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<Type>("type");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("little");
        QTest::addColumn<QString>("value_type");
        QTest::addColumn<qint64>("shrink_to");
        QTest::newRow("uint32") << 2LL << Type::uint32 << 2LL << 5LL << "UInt32" << true << "uint32le" << -1LL;
        QTest::newRow("float64-be-ending-at-last-byte")
            << 16LL << Type::float64 << 16LL << 23LL << "Float64" << false << "float64be" << -1LL;
        QTest::newRow("ascii-up-to-eof") << 20LL << Type::ascii << 20LL << 23LL << "ASCII" << false << "ascii" << -1LL;
        QTest::newRow("uint32-past-eof-asks-nothing") << 22LL << Type::uint32 << -1LL << -1LL << "" << true << "" << -1LL;
        QTest::newRow("no-cursor-asks-nothing") << -1LL << Type::int8 << -1LL << -1LL << "" << true << "" << -1LL;
        QTest::newRow("file-shrank-under-the-value")
            << 16LL << Type::uint32 << -1LL << -1LL << "" << true << "" << 18LL;
    }

    void mark_as_asks_for_the_value_bytes()
    {
        QFETCH(qint64, offset);
        QFETCH(Type, type);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(QString, description);
        QFETCH(bool, little);
        QFETCH(QString, value_type);
        QFETCH(qint64, shrink_to);
        panel->set_little_endian(little);
        panel->set_offset(offset);
        if (shrink_to >= 0) {
            QCOMPARE(panel->value_text(type), QString("1280002633"));
            QVERIFY(QFile::resize(hex->edited_file()->path(), shrink_to));
            // The page follows without the cursor moving.
            QTRY_COMPARE(panel->value_text(type), QString());
        }
        QSignalSpy asked(panel, &InspectorWidget::mark_requested);
        panel->mark_as(type);
        if (first < 0) {
            QCOMPARE(asked.count(), 0);
            return;
        }
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.at(0).at(0).toLongLong(), first);
        QCOMPARE(asked.at(0).at(1).toLongLong(), last);
        QCOMPARE(asked.at(0).at(2).toString(), description);
        QCOMPARE(asked.at(0).at(3).value<MarkupValueType>().to_text(), value_type);
    }
};

QTEST_MAIN(TestInspectorWidget)
#include "tst_inspectorwidget.moc"
