#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"
#include "markup/markupxmlhandler.h"

#include <QBuffer>
#include <QFile>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pq_markup_test;

class TestMarkupXml : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void empty_tree();
    void exact_text_of_nested_tree();
    void round_trip_values_data();
    void round_trip_values();
    void round_trip_keeps_shape_and_colours();
    void saves_are_byte_identical();
    void editor_values_written_as_numbers_and_text();
    void loose_attributes_data();
    void loose_attributes();
    void value_type_attribute_data();
    void value_type_attribute();
    void failures_keep_what_was_read_data();
    void failures_keep_what_was_read();
    void unwritable_characters_replaced();
    void file_encoding_data();
    void file_encoding();
    void deep_nesting();
    void entity_bomb_refused();
    void external_entity_not_read();
    void file_beyond_memory_refused_before_reading();

private:
    std::unique_ptr<MarkupModel> model;
    std::unique_ptr<MarkupTree> tree;
};

void TestMarkupXml::init()
{
    model = std::make_unique<MarkupModel>();
    tree = std::make_unique<MarkupTree>(model.get());
}

void TestMarkupXml::cleanup()
{
    tree.reset();
    model.reset();
}

void TestMarkupXml::empty_tree()
{
    QCOMPARE(tree->to_xml(), QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook/>\n"));
    QVERIFY(tree->insert_range(0, 5));
    QSignalSpy status(tree.get(), &MarkupTree::status_message);
    QVERIFY(tree->load_xml(QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook/>\n")));
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Markup loaded successfully"));
}

void TestMarkupXml::exact_text_of_nested_tree()
{
    QVERIFY(tree->insert_range(5, 9));
    QVERIFY(tree->insert_range(6, 7));
    QVERIFY(tree->insert_range(20, 20));
    model->root()->child(0)->set_foreground(QColor(255, 0, 16));
    model->root()->child(0)->set_background(QColor(1, 2, 3));
    const QString expected = QStringLiteral(
        "<!DOCTYPE PQML>\n"
        "<pellowquarnbybook>\n"
        " <node description=\"Description\" start=\"5\" end=\"9\" repeat=\"false\" "
        "foreground_red=\"255\" foreground_green=\"0\" foreground_blue=\"16\" "
        "background_red=\"1\" background_green=\"2\" background_blue=\"3\">\n"
        "  <node description=\"Description\" start=\"6\" end=\"7\" repeat=\"false\" "
        "foreground_red=\"0\" foreground_green=\"0\" foreground_blue=\"0\" "
        "background_red=\"255\" background_green=\"255\" background_blue=\"255\"/>\n"
        " </node>\n"
        " <node description=\"Description\" start=\"20\" end=\"20\" repeat=\"false\" "
        "foreground_red=\"0\" foreground_green=\"0\" foreground_blue=\"0\" "
        "background_red=\"255\" background_green=\"255\" background_blue=\"255\"/>\n"
        "</pellowquarnbybook>\n");
    QCOMPARE(tree->to_xml(), expected);
    QVERIFY(tree->load_xml(expected));
    QCOMPARE(shape(model->root()), QStringLiteral("5..9(6..7),20..20"));
    QCOMPARE(model->root()->child(0)->length(), 5);
    QCOMPARE(model->root()->child(0)->child(0)->length(), 2);
}

void TestMarkupXml::round_trip_values_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QVariant>("repeat");
    QTest::newRow("beyond-4-gib") << "big" << qint64(3000000000LL) << qint64(3000000015LL)
                                  << QVariant(false);
    QTest::newRow("whole-64-bit-range") << "all" << std::numeric_limits<qint64>::min()
                                        << std::numeric_limits<qint64>::max() << QVariant(false);
    QTest::newRow("near-int64-max") << "max" << qint64(9223372036854775806LL)
                                    << qint64(9223372036854775807LL) << QVariant(true);
    QTest::newRow("cyrillic") << QString::fromUtf8("Заголовок файла") << qint64(0) << qint64(3)
                              << QVariant(true);
    QTest::newRow("cjk") << QString::fromUtf8("文件头 ヘッダー") << qint64(1) << qint64(1)
                         << QVariant(QStringLiteral("true"));
    QTest::newRow("emoji") << QString::fromUtf8("🧩 chunk 🚀") << qint64(16) << qint64(31)
                           << QVariant(false);
    QTest::newRow("markup-characters") << "a<b>&c\"d'e" << qint64(2) << qint64(4) << QVariant(false);
    QTest::newRow("line-breaks-and-tabs") << "line1\nline2\r\tx" << qint64(2) << qint64(4)
                                          << QVariant(false);
    QTest::newRow("empty-description") << "" << qint64(0) << qint64(0) << QVariant(false);
    QTest::newRow("leading-spaces") << "  x  " << qint64(0) << qint64(0) << QVariant(false);
}

void TestMarkupXml::round_trip_values()
{
    QFETCH(QString, description);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QVariant, repeat);
    QVERIFY(tree->insert_range(start, end));
    QVERIFY(model->setData(model->index(0, MarkupColumn::Description), description));
    QVERIFY(model->setData(model->index(0, MarkupColumn::Repeat), repeat));
    const bool was_repeat = model->root()->child(0)->is_repeat();
    // Through the file's bytes, as the markup commands save and load.
    const QByteArray file = MarkupTree::encode_markup_file(tree->to_xml());
    QVERIFY(tree->load_xml(MarkupTree::decode_markup_file(file)));
    QCOMPARE(model->rowCount(), 1);
    MarkupNode *n = model->root()->child(0);
    QCOMPARE(n->data(MarkupColumn::Description).toString(), description);
    QCOMPARE(n->data(MarkupColumn::Start), QVariant(QString::number(start)));
    QCOMPARE(n->start(), start);
    QCOMPARE(n->end(), end);
    QCOMPARE(n->length(), qint64(quint64(end) - quint64(start) + 1));
    QCOMPARE(n->is_repeat(), was_repeat);
    QCOMPARE(n->data(MarkupColumn::Repeat).typeId(), int(QMetaType::QString));
}

void TestMarkupXml::round_trip_keeps_shape_and_colours()
{
    QRandomGenerator rng(99);
    random_tree(*tree, rng, 80, 2000);
    for (MarkupNode *n : all_nodes(model->root())) {
        n->set_foreground(QColor(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256))));
        n->set_background(QColor(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256))));
    }
    const QString before_shape = shape(model->root());
    std::vector<std::pair<QColor, QColor>> colours;
    std::vector<bool> repeats;
    for (MarkupNode *n : all_nodes(model->root())) {
        colours.emplace_back(n->foreground(), n->background());
        repeats.push_back(n->is_repeat());
    }
    QVERIFY(tree->load_xml(tree->to_xml()));
    QCOMPARE(shape(model->root()), before_shape);
    const auto after = all_nodes(model->root());
    QCOMPARE(after.size(), colours.size());
    for (size_t i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i]->foreground(), colours[i].first);
        QCOMPARE(after[i]->background(), colours[i].second);
        QCOMPARE(after[i]->foreground().alpha(), 255);
        QCOMPARE(after[i]->is_repeat(), bool(repeats[i]));
        QCOMPARE(after[i]->parent_node()->children().at(after[i]->row()), after[i]);
    }
}

void TestMarkupXml::saves_are_byte_identical()
{
    QRandomGenerator rng(5);
    random_tree(*tree, rng, 60, 1000);
    QVERIFY(model->setData(model->index(0, 0), QString::fromUtf8("Ω & <é> 😀")));
    const QByteArray first = MarkupTree::encode_markup_file(tree->to_xml());
    QCOMPARE(MarkupTree::encode_markup_file(tree->to_xml()), first);
    QCOMPARE(tree->to_markup_file(), first);
    QVERIFY(tree->load_xml(MarkupTree::decode_markup_file(first)));
    QCOMPARE(MarkupTree::encode_markup_file(tree->to_xml()), first);
}

void TestMarkupXml::editor_values_written_as_numbers_and_text()
{
    QVERIFY(tree->insert_range(0, 9));
    // What the tree view's editor stores: 32-bit integers and a "true" text.
    QVERIFY(model->setData(model->index(0, MarkupColumn::Start), int(2)));
    QVERIFY(model->setData(model->index(0, MarkupColumn::End), int(8)));
    QVERIFY(model->setData(model->index(0, MarkupColumn::Repeat), QStringLiteral("true")));
    QVERIFY(model->setData(model->index(0, MarkupColumn::Description), QStringLiteral("hdr")));
    const QString xml = tree->to_xml();
    QVERIFY2(xml.contains(QStringLiteral("description=\"hdr\" start=\"2\" end=\"8\" repeat=\"true\"")),
             qPrintable(xml));
    // A start that is no number is written as 0; an invalid colour as 0, 0, 0.
    QVERIFY(model->setData(model->index(0, MarkupColumn::Start), QStringLiteral("abc")));
    model->root()->child(0)->set_foreground(QColor());
    const QString xml2 = tree->to_xml();
    QVERIFY2(xml2.contains(QStringLiteral("start=\"0\"")), qPrintable(xml2));
    QVERIFY2(xml2.contains(QStringLiteral(
                 "foreground_red=\"0\" foreground_green=\"0\" foreground_blue=\"0\"")),
             qPrintable(xml2));
}

void TestMarkupXml::loose_attributes_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("start_text");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<bool>("foreground_valid");
    QTest::addColumn<QColor>("background");
    QTest::newRow("no-attributes") << "<node/>" << "" << qint64(1) << false << true << QColor(0, 0, 0);
    QTest::newRow("no-repeat-is-off") << "<node start=\"4\" end=\"7\"/>" << "4" << qint64(4) << false
                                      << true << QColor(0, 0, 0);
    QTest::newRow("foreground-red-300-invalid")
        << "<node foreground_red=\"300\" background_red=\"9\" background_green=\"8\" background_blue=\"7\"/>"
        << "" << qint64(1) << false << false << QColor(9, 8, 7);
    QTest::newRow("negative-component-invalid") << "<node foreground_blue=\"-1\"/>" << "" << qint64(1)
                                                << false << false << QColor(0, 0, 0);
    QTest::newRow("non-numeric-start") << "<node start=\"x1\" end=\"9\" repeat=\"yes\"/>" << "x1"
                                       << qint64(10) << false << true << QColor(0, 0, 0);
    QTest::newRow("repeat-true") << "<node start=\"0\" end=\"1\" repeat=\"true\"/>" << "0" << qint64(2)
                                 << true << true << QColor(0, 0, 0);
    QTest::newRow("unknown-attribute-ignored") << "<node start=\"1\" end=\"1\" colour=\"red\"/>" << "1"
                                               << qint64(1) << false << true << QColor(0, 0, 0);
}

void TestMarkupXml::loose_attributes()
{
    QFETCH(QString, element);
    QFETCH(QString, start_text);
    QFETCH(qint64, length);
    QFETCH(bool, repeat);
    QFETCH(bool, foreground_valid);
    QFETCH(QColor, background);
    QVERIFY(tree->load_xml(QStringLiteral("<!DOCTYPE PQML><pellowquarnbybook>%1</pellowquarnbybook>")
                               .arg(element)));
    QCOMPARE(model->rowCount(), 1);
    MarkupNode *n = model->root()->child(0);
    QCOMPARE(n->data(MarkupColumn::Start).toString(), start_text);
    QCOMPARE(n->length(), length);
    QCOMPARE(n->is_repeat(), repeat);
    QCOMPARE(n->foreground().isValid(), foreground_valid);
    QCOMPARE(n->background(), background);
}

void TestMarkupXml::value_type_attribute_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("type");
    QTest::newRow("absent-in-older-files") << "" << "";
    QTest::newRow("int32-little-endian") << " type=\"int32le\"" << "int32le";
    QTest::newRow("float64-big-endian") << " type=\"float64be\"" << "float64be";
    QTest::newRow("one-byte-without-order") << " type=\"uint8\"" << "uint8";
    QTest::newRow("text-type") << " type=\"utf8\"" << "utf8";
    QTest::newRow("unknown-from-a-later-version") << " type=\"int128le\"" << "";
    QTest::newRow("order-missing") << " type=\"uint16\"" << "";
    QTest::newRow("order-on-one-byte") << " type=\"int8le\"" << "";
}

void TestMarkupXml::value_type_attribute()
{
    QFETCH(QString, attribute);
    QFETCH(QString, type);
    QVERIFY(tree->load_xml(QStringLiteral("<!DOCTYPE PQML><pellowquarnbybook><node start=\"0\" "
                                          "end=\"3\"%1/></pellowquarnbybook>")
                               .arg(attribute)));
    QCOMPARE(model->root()->child(0)->value_type().to_text(), type);
    // Written back only when there is one, and read back the same.
    const QString saved = tree->to_xml();
    QCOMPARE(saved.contains(QStringLiteral(" type=")), !type.isEmpty());
    QVERIFY(tree->load_xml(saved));
    QCOMPARE(model->root()->child(0)->value_type().to_text(), type);
}

void TestMarkupXml::failures_keep_what_was_read_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unknown-element-after-two")
        << "<pellowquarnbybook><node start=\"1\" end=\"2\"/><node start=\"5\" end=\"6\"/>"
           "<markup/><node start=\"9\" end=\"9\"/></pellowquarnbybook>"
        << false << "1..2,5..6";
    QTest::newRow("not-well-formed") << "<pellowquarnbybook><node start=\"1\" end=\"2\"><node start=\"1\" "
                                        "end=\"1\"/></pellowquarnbybook>"
                                     << false << "1..2(1..1)";
    QTest::newRow("truncated") << "<pellowquarnbybook><node start=\"3\" end=\"4\"/><node st" << false
                               << "3..4";
    QTest::newRow("empty-text") << "" << false << "";
    QTest::newRow("root-element-is-node") << "<node start=\"1\" end=\"8\"><node start=\"2\" end=\"3\"/></node>"
                                          << true << "1..8(2..3)";
    QTest::newRow("no-doctype-is-fine") << "<pellowquarnbybook><node start=\"0\" end=\"0\"/></pellowquarnbybook>"
                                        << true << "0..0";
    QTest::newRow("text-and-comments-ignored")
        << "<?xml version=\"1.0\"?><!-- c --><pellowquarnbybook>hi<node start=\"0\" end=\"1\">"
           "<?pi x?></node></pellowquarnbybook>"
        << true << "0..1";
    QTest::newRow("unknown-root") << "<markup><node/></markup>" << false << "";
}

void TestMarkupXml::failures_keep_what_was_read()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QVERIFY(tree->insert_range(100, 200)); // must be gone after any load
    QSignalSpy status(tree.get(), &MarkupTree::status_message);
    QCOMPARE(tree->load_xml(text), ok);
    QCOMPARE(shape(model->root()), expected);
    QCOMPARE(status.count(), 1);
    const QString told = status.at(0).at(0).toString();
    const QString detail = status.at(0).at(1).toString();
    QCOMPARE(told, ok ? QStringLiteral("Markup loaded successfully") : QStringLiteral("Markup load failed"));
    QVERIFY2(ok ? detail.isEmpty() : detail.startsWith(QStringLiteral("Read ")), qPrintable(detail));
    QVERIFY(!model->is_changing());
}

void TestMarkupXml::unwritable_characters_replaced()
{
    QVERIFY(tree->insert_range(0, 1));
    QString text = QStringLiteral("a");
    text += QChar(0x01);
    text += QChar(0xD800); // a lone surrogate
    text += QStringLiteral("b");
    QVERIFY(model->setData(model->index(0, 0), text));
    QVERIFY(tree->load_xml(tree->to_xml()));
    QCOMPARE(model->root()->child(0)->data(0).toString(),
             QStringLiteral("a") + QChar(QChar::ReplacementCharacter) + QChar(QChar::ReplacementCharacter)
                 + QStringLiteral("b"));
}

void TestMarkupXml::file_encoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("description");
    QTest::newRow("utf-8") << QByteArray("<pellowquarnbybook><node description=\"\xc3\xa9\xe2\x82\xac\"/></pellowquarnbybook>")
                           << QString::fromUtf8("é€");
    QTest::newRow("latin-1-fallback") << QByteArray("<pellowquarnbybook><node description=\"caf\xe9\"/></pellowquarnbybook>")
                                      << QString::fromUtf8("café");
    QTest::newRow("utf-8-with-bom") << QByteArray("\xef\xbb\xbf<pellowquarnbybook><node description=\"\xc3\xa9\"/></pellowquarnbybook>")
                                    << QString::fromUtf8("é");
    const QString accented = QString::fromUtf8("\u201cé\u201d \u2013 €");
    const QString utf16_doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
                                             "<pellowquarnbybook><node description=\"")
                              + accented + QStringLiteral("\"/></pellowquarnbybook>");
    QByteArray le("\xff\xfe");
    QByteArray be("\xfe\xff");
    for (const QChar c : utf16_doc) {
        le += char(c.unicode() & 0xff);
        le += char(c.unicode() >> 8);
        be += char(c.unicode() >> 8);
        be += char(c.unicode() & 0xff);
    }
    QTest::newRow("utf-16-le-with-bom") << le << accented;
    QTest::newRow("utf-16-be-with-bom") << be << accented;
    QTest::newRow("legacy-bytes-are-windows-1252")
        << QByteArray("<pellowquarnbybook><node description=\"\x93" "caf\xe9\x94 \x96 \x80\"/></pellowquarnbybook>")
        << QString::fromUtf8("\u201ccafé\u201d \u2013 €");
    QTest::newRow("undefined-in-windows-1252-stays-latin-1")
        << QByteArray("<pellowquarnbybook><node description=\"\x81\x8d\x8f\x90\x9d\xff\"/></pellowquarnbybook>")
        << QString::fromUtf8("\u0081\u008d\u008f\u0090\u009dÿ");
    QTest::newRow("truncated-utf-8-is-latin-1")
        << QByteArray("<pellowquarnbybook><node description=\"\xc3\"/></pellowquarnbybook>")
        << QString::fromUtf8("Ã");
    // Files are read a mebibyte at a time.
    const QByteArray head("<pellowquarnbybook><node description=\"");
    const QByteArray tail("\"/></pellowquarnbybook>");
    const qsizetype pad = (qsizetype(1) << 20) - head.size() - 1;
    QTest::newRow("utf-8-character-across-pieces")
        << head + QByteArray(pad, 'a') + "\xc3\xa9" + tail << QString(pad, 'a') + QChar(0xe9);
    QTest::newRow("legacy-byte-in-a-later-piece")
        << head + QByteArray(pad + 9, 'a') + "\x80" + tail << QString(pad + 9, 'a') + QChar(0x20ac);
}

void TestMarkupXml::file_encoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, description);
    QVERIFY(tree->load_xml(MarkupTree::decode_markup_file(bytes)));
    QCOMPARE(model->root()->child(0)->data(0).toString(), description);
    // Read from the file piece by piece, the same.
    QBuffer file(&bytes);
    QVERIFY(file.open(QIODevice::ReadOnly));
    MarkupModel streamed_model;
    MarkupTree streamed(&streamed_model);
    QCOMPARE(streamed.load_markup_file(file, bytes.size()), MarkupTree::LoadResult::loaded);
    QCOMPARE(streamed_model.root()->child(0)->data(0).toString(), description);
    // Saved back always as UTF-8.
    const QByteArray out = MarkupTree::encode_markup_file(tree->to_xml());
    QVERIFY(out.contains(description.toUtf8()));
}

void TestMarkupXml::deep_nesting()
{
    const int depth = 100000;
    QString xml = QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>");
    xml.reserve(depth * 40);
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("<node start=\"%1\" end=\"%2\">").arg(i).arg(2 * depth - i);
    for (int i = 0; i < depth; ++i)
        xml += QStringLiteral("</node>");
    xml += QStringLiteral("</pellowquarnbybook>");
    QVERIFY(tree->load_xml(xml));
    int levels = 0;
    for (const MarkupNode *n = model->root(); n->child_count() > 0; n = n->child(0))
        ++levels;
    QCOMPARE(levels, depth);

    const QString saved = tree->to_xml();
    // Indentation stops growing at some depth, or the file would be gigabytes.
    QVERIFY2(saved.size() < 40 * 1024 * 1024, qPrintable(QString::number(saved.size())));
    QVERIFY(saved.startsWith(QStringLiteral("<!DOCTYPE PQML>\n<pellowquarnbybook>\n <node ")));
    QVERIFY(saved.contains(QStringLiteral("\n  <node description=\"\" start=\"1\"")));
    QVERIFY(tree->load_xml(saved));
    QCOMPARE(tree->to_xml(), saved);
    QCOMPARE(tree->to_markup_file(), saved.toUtf8());
    const MarkupNode *deepest = model->root();
    while (deepest->child_count() > 0)
        deepest = deepest->child(0);
    QCOMPARE(deepest->start(), depth - 1);

    QVERIFY(tree->node_at(depth) != nullptr);
    tree->clear();
    QCOMPARE(model->rowCount(), 0);
    QVERIFY(tree->load_xml(saved));
    tree.reset();
    model.reset(); // destroyed while holding the whole chain
}

void TestMarkupXml::entity_bomb_refused()
{
    QString xml = QStringLiteral("<!DOCTYPE PQML [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n");
    for (char c = 'b'; c <= 'k'; ++c)
        xml += QStringLiteral("<!ENTITY %1 \"&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;&%2;\">\n")
                   .arg(QLatin1Char(c)).arg(QLatin1Char(char(c - 1)));
    xml += QStringLiteral("]>\n<pellowquarnbybook><node description=\"&k;\"/>&k;</pellowquarnbybook>");
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!tree->load_xml(xml));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(model->rowCount(), 0);

    // Even a single harmless entity declaration is refused: markup files
    // never need one.
    QVERIFY(!tree->load_xml(QStringLiteral(
        "<!DOCTYPE PQML [<!ENTITY x \"y\">]><pellowquarnbybook><node description=\"&x;\"/></pellowquarnbybook>")));
    QCOMPARE(model->rowCount(), 0);
}

void TestMarkupXml::external_entity_not_read()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString secret_path = dir.filePath(QStringLiteral("secret.txt"));
    {
        QFile f(secret_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("TOPSECRET");
    }
    const QString dtd_path = dir.filePath(QStringLiteral("outer.dtd"));
    {
        QFile f(dtd_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<!ENTITY s SYSTEM \"secret.txt\">");
    }
    const QString url = QUrl::fromLocalFile(secret_path).toString();
    QVERIFY(!tree->load_xml(QStringLiteral("<!DOCTYPE PQML [<!ENTITY s SYSTEM \"%1\">]>"
                                           "<pellowquarnbybook><node description=\"x\">&s;</node>"
                                           "</pellowquarnbybook>")
                                .arg(url)));
    QCOMPARE(model->rowCount(), 0);

    // An external subset is never fetched: its entity stays unknown.
    tree->load_xml(QStringLiteral("<!DOCTYPE PQML SYSTEM \"%1\"><pellowquarnbybook>"
                                  "<node description=\"a\">&s;</node><node description=\"&s;\"/>"
                                  "</pellowquarnbybook>")
                       .arg(QUrl::fromLocalFile(dtd_path).toString()));
    for (MarkupNode *n : all_nodes(model->root()))
        QVERIFY(!n->data(0).toString().contains(QStringLiteral("TOPSECRET")));
    QVERIFY(!tree->to_xml().contains(QStringLiteral("TOPSECRET")));
}

void TestMarkupXml::file_beyond_memory_refused_before_reading()
{
    // Markups as dense as they come, then a hole up to the size limit: the
    // head promises a hundred million markups, the file costs no disk.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dense.xml"));
    QByteArray head = "<pellowquarnbybook>";
    while (head.size() < (1 << 20))
        head += "<node/>";
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(head) == head.size());
        QVERIFY(out.resize(MarkupTree::max_markup_file_size));
    }
    const qint64 available = MarkupTree::available_memory();
    if (available < 0
        || MarkupXMLHandler::memory_needed(head, MarkupTree::max_markup_file_size) <= available)
        QSKIP("this machine could hold the markups of the file");

    QVERIFY(tree->load_xml(QStringLiteral("<pellowquarnbybook><node start=\"1\" end=\"2\"/>"
                                          "</pellowquarnbybook>")));
    QSignalSpy told(tree.get(), &MarkupTree::status_message);
    QFile file;
    qint64 size = 0;
    QVERIFY(MarkupTree::open_markup_file(path, &file, &size));
    int reports = 0;
    QCOMPARE(tree->load_markup_file(file, size, [&reports](qint64, qint64) { return ++reports, true; }),
             MarkupTree::LoadResult::too_large);
    QCOMPARE(reports, 0);
    QCOMPARE(file.pos(), qint64(0));
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.at(0).at(0).toString(), QStringLiteral("Markup file too large for the memory available"));
    // Beside it how much the file needs and how much there is (which moves
    // with what else the machine runs).
    QVERIFY(told.at(0).at(1).toString().endsWith(QLatin1String(" MiB are available")));
    QCOMPARE(model->root()->child_count(), 1);
    QCOMPARE(model->root()->child(0)->start(), qint64(1));
}

QTEST_GUILESS_MAIN(TestMarkupXml)
#include "tst_markupxml.moc"
