#include "markup/markupcolumn.h"
#include "markup/markupexporter.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <yaml-cpp/yaml.h>

#include <memory>

using namespace pq_markup_test;


// Offsets past 2^53, where a double would lose the last digit.
constexpr qint64 far = (qint64(1) << 53) + 1;
const QString odd_text = QStringLiteral("Header, \"main\"\nGr\u00f6\u00dfe \u00fc");

class TestMarkupExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void json_reads_back_as_the_tree();
    void json_written_in_pieces();
    void csv_reads_back_as_the_rows();
    void csv_neutralises_formulas_data();
    void csv_neutralises_formulas();
    void ksy_lays_out_every_level();
    void identifiers_data();
    void identifiers();
    void ksy_ids_and_type_names_data();
    void ksy_ids_and_type_names();
    void ksy_value_types();
    void ksy_compiles();

private:
    // One row per markup in tree order, as the CSV columns: the oracle.
    QList<QStringList> tree_rows() const;

    std::unique_ptr<MarkupModel> model;
    std::unique_ptr<MarkupTree> tree;
};

// A 64-byte file: header 0..15 (magic, count, a gap, name, a gap), a gap,
// record 20..27 repeating until trailer 52..55, a trailing gap, and one
// markup far beyond the end of the file.
void TestMarkupExport::init()
{
    model = std::make_unique<MarkupModel>();
    tree = std::make_unique<MarkupTree>(model.get());
    const struct { qint64 first, last; QString description; } marks[] = {
        { 0, 15, odd_text }, { 0, 3, "magic" }, { 4, 5, "count" }, { 8, 12, "line\nbreak" },
        { 20, 27, "Record" }, { 20, 21, "Value" }, { 22, 25, "value" },
        { 52, 55, "Trailer" }, { far, far + 2, "far" },
    };
    for (const auto &m : marks) {
        QVERIFY(tree->insert_range(m.first, m.last));
        find_range(model->root(), m.first, m.last)->set_data(MarkupColumn::Description, m.description);
    }
    find_range(model->root(), 20, 27)->set_data(MarkupColumn::Repeat, true);
    find_range(model->root(), 0, 3)->set_foreground(QColor(0x12, 0xab, 0xff));
}

QList<QStringList> TestMarkupExport::tree_rows() const
{
    QList<QStringList> rows;
    const std::function<void(const MarkupNode *, QStringList)> walk =
        [&](const MarkupNode *node, QStringList path) {
            for (const MarkupNode *c : node->children()) {
                const QString d = c->data(MarkupColumn::Description).toString();
                rows.append({ QString::number(path.size() + 1), (path + QStringList(d)).join('/'),
                              QString::number(c->start()), QString::number(c->end()),
                              QString::number(c->end() - c->start() + 1),
                              c->is_repeat() ? "true" : "false", d, c->foreground().name(),
                              c->background().name() });
                walk(c, path + QStringList(d));
            }
        };
    walk(model->root(), {});
    return rows;
}

void TestMarkupExport::json_reads_back_as_the_tree()
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(MarkupExporter::to_json(model->root()), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QList<QStringList> rows;
    const std::function<void(const QJsonArray &, QStringList)> walk =
        [&](const QJsonArray &markups, QStringList path) {
            for (const QJsonValue &v : markups) {
                const QJsonObject o = v.toObject();
                const QString d = o["description"].toString();
                QVERIFY(o["start"].isDouble() && o["repeat"].isBool() && o["children"].isArray());
                rows.append({ QString::number(path.size() + 1), (path + QStringList(d)).join('/'),
                              QString::number(o["start"].toInteger()), QString::number(o["end"].toInteger()),
                              QString::number(o["length"].toInteger()),
                              o["repeat"].toBool() ? "true" : "false", d,
                              o["foreground"].toString(), o["background"].toString() });
                walk(o["children"].toArray(), path + QStringList(d));
            }
        };
    walk(doc.array(), {});
    QCOMPARE(rows, tree_rows());
    QCOMPARE(rows.last().at(2), QString::number(far));
    QCOMPARE(rows.at(1).at(7), QStringLiteral("#12abff"));
}

void TestMarkupExport::json_written_in_pieces()
{
    // Several megabytes of markups: the device gets the text in pieces, and
    // the pieces are the text to_json makes; a device that refuses fails it.
    MarkupNode root(QStringLiteral("Description"), nullptr);
    for (int i = 0; i < 20000; ++i) {
        auto *node = new MarkupNode(odd_text.repeated(8) + QString::number(i), &root);
        node->set_data(MarkupColumn::Start, qint64(i) * 2);
        node->set_data(MarkupColumn::End, qint64(i) * 2 + 1);
        root.append_child(node);
    }
    const QByteArray whole = MarkupExporter::to_json(&root);
    QVERIFY(whole.size() > 3 << 20);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(MarkupExporter::write_json(&root, &buffer));
    QVERIFY(buffer.data() == whole);
    QBuffer refusing;
    QVERIFY(refusing.open(QIODevice::ReadOnly));
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QVERIFY(!MarkupExporter::write_json(&root, &refusing));
}

// A plain RFC 4180 reader: CRLF between records, quoted fields with "".
// Fails the test on text that breaks the rules.
static QList<QStringList> read_csv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == '"' && text.mid(i + 1, 1) == "\"") {
            field += c;
            ++i;
        } else if (c == '"' && (quoted || field.isEmpty())) {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            row << field;
            field.clear();
        } else if (!quoted && text.mid(i, 2) == "\r\n") {
            rows << (row << field);
            row.clear();
            field.clear();
            ++i;
        } else {
            if (!quoted && (c == '\r' || c == '\n'))
                QTest::qFail("bare line break outside quotes", __FILE__, __LINE__);
            field += c;
        }
    }
    if (quoted || !row.isEmpty() || !field.isEmpty())
        QTest::qFail("text ends inside a record", __FILE__, __LINE__);
    return rows;
}

void TestMarkupExport::csv_reads_back_as_the_rows()
{
    QList<QStringList> rows = read_csv(MarkupExporter::to_csv(model->root()));
    QCOMPARE(rows.takeFirst(), QString("depth,path,start,end,length,repeat,description,"
                                       "foreground,background").split(','));
    QCOMPARE(rows, tree_rows());
    QCOMPARE(rows.at(2).at(1), odd_text + "/count");
}

void TestMarkupExport::csv_neutralises_formulas_data()
{
    // A markup described so, and one inside it described "1": their cells.
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("inner_path");
    QTest::newRow("hyperlink") << "=HYPERLINK(\"http://x\")" << "'=HYPERLINK(\"http://x\")"
                               << "'=HYPERLINK(\"http://x\")/1";
    QTest::newRow("plus-sum") << "+1+1" << "'+1+1" << "'+1+1/1";
    QTest::newRow("minus-sum") << "-2+3" << "'-2+3" << "'-2+3/1";
    QTest::newRow("at-function") << "@SUM(A1)" << "'@SUM(A1)" << "'@SUM(A1)/1";
    QTest::newRow("tab-first") << "\t=1" << "'\t=1" << "'\t=1/1";
    QTest::newRow("cr-first") << "\r=1" << "'\r=1" << "'\r=1/1";
    QTest::newRow("minus-alone") << "-" << "'-" << "'-/1";
    QTest::newRow("number-then-text") << "-12 bytes" << "'-12 bytes" << "'-12 bytes/1";
    // A number is only a number; divided by the next level it is a formula.
    QTest::newRow("negative-number") << "-12" << "-12" << "'-12/1";
    QTest::newRow("signed-decimal") << "+3.5" << "+3.5" << "'+3.5/1";
    QTest::newRow("equals-inside") << "a=b" << "a=b" << "a=b/1";
    QTest::newRow("empty") << "" << "" << "/1";
}

void TestMarkupExport::csv_neutralises_formulas()
{
    QFETCH(QString, description);
    QFETCH(QString, cell);
    QFETCH(QString, inner_path);
    MarkupModel flat;
    MarkupTree flat_tree(&flat);
    QVERIFY(flat_tree.insert_range(0, 3) && flat_tree.insert_range(0, 1));
    find_range(flat.root(), 0, 3)->set_data(MarkupColumn::Description, description);
    find_range(flat.root(), 0, 1)->set_data(MarkupColumn::Description, QStringLiteral("1"));
    const QList<QStringList> rows = read_csv(MarkupExporter::to_csv(flat.root()));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(1).at(1), cell);
    QCOMPARE(rows.at(1).at(6), cell);
    QCOMPARE(rows.at(2).at(1), inner_path);
}

void TestMarkupExport::ksy_lays_out_every_level()
{
    const YAML::Node ksy = YAML::Load(
        MarkupExporter::to_ksy(model->root(), "/data/Sample File.v2.bin", 64).toStdString());
    QCOMPARE(ksy["meta"]["id"].as<std::string>(), std::string("sample_file_v2"));
    QCOMPARE(ksy["meta"]["endian"].as<std::string>(), std::string("le"));

    // Each seq as "id@offset+size" (size of all records), relative to its level;
    // keys outside the format, bad or repeated ids show up as entries too.
    const QSet<QString> allowed { "id", "doc", "size", "type", "repeat", "repeat-expr" };
    const QRegularExpression id_pattern("^[a-z][a-z0-9_]*$");
    const auto layout = [&](const YAML::Node &seq) -> QStringList {
        QStringList fields;
        QSet<QString> ids;
        qint64 offset = 0;
        for (const YAML::Node &f : seq) {
            for (const auto &key : f) {
                if (!allowed.contains(QString::fromStdString(key.first.as<std::string>())))
                    fields << "key " + QString::fromStdString(key.first.as<std::string>());
            }
            const QString id = QString::fromStdString(f["id"].as<std::string>());
            if (!id_pattern.match(id).hasMatch() || ids.contains(id))
                fields << "bad id " + id;
            ids.insert(id);
            const QString type = f["type"] ? QString::fromStdString(f["type"].as<std::string>()) : "";
            qint64 size = f["size"] ? f["size"].as<qint64>() : type.mid(1).toLongLong();
            if (f["repeat"])
                size *= f["repeat"].as<std::string>() == "expr" ? f["repeat-expr"].as<qint64>() : -1;
            fields << QStringLiteral("%1@%2+%3").arg(id).arg(offset).arg(size);
            offset += size;
        }
        return fields;
    };
    const YAML::Node top = ksy["seq"];
    QCOMPARE(QString::fromStdString(top[0]["doc"].as<std::string>()), odd_text);
    const QString header = QString::fromStdString(top[0]["type"].as<std::string>());
    QCOMPARE(layout(top), QStringList({ header + "@0+16", "gap_16@16+4", "record@20+32",
                                        "trailer@52+4", "gap_56@56+8" }));
    QCOMPARE(top[2]["repeat-expr"].as<int>(), 4);
    QCOMPARE(layout(ksy["types"][header.toStdString()]["seq"]),
             QStringList({ "magic@0+4", "count@4+2", "gap_6@6+2", "line_break@8+5", "gap_13@13+3" }));
    QCOMPARE(layout(ksy["types"]["record"]["seq"]),
             QStringList({ "value@0+2", "value_2@2+4", "gap_26@6+2" }));
    QCOMPARE(ksy["types"].size(), std::size_t(2));

    // A type never takes the name of the top level, which the meta id names.
    const YAML::Node clash = YAML::Load(
        MarkupExporter::to_ksy(model->root(), "/data/record.bin", 64).toStdString());
    QCOMPARE(clash["seq"][2]["type"].as<std::string>(), std::string("record_2"));
    QVERIFY(clash["types"]["record_2"]["seq"] && !clash["types"]["record"]);
}

void TestMarkupExport::identifiers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("accents-dropped") << "  Caf\u00e9 Data!! " << "cafe_data";
    QTest::newRow("leading-digit") << "4cc code" << "field_4cc_code";
    QTest::newRow("unsplit-letters") << "Gr\u00f6\u00dfe \u0141\u00f3d\u017a" << "grosse_lodz";
    QTest::newRow("nothing-usable") << "--\u2603" << "field";
    QTest::newRow("already-valid") << "chunk_size2" << "chunk_size2";
}

void TestMarkupExport::identifiers()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(MarkupExporter::identifier(text, "field"), expected);
}

namespace {

// Markups side by side, four bytes each, every one with a one-byte child
// so that it is also a type.
void mark_side_by_side(MarkupTree &tree, const QStringList &names)
{
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY(tree.insert_range(i * 4, i * 4 + 3, names.at(i)));
        QVERIFY(tree.insert_range(i * 4, i * 4, QStringLiteral("inner")));
    }
}

} // namespace

void TestMarkupExport::ksy_ids_and_type_names_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("types");
    for (const char *word : { "yes", "no", "on", "off", "true", "false", "null" }) {
        const QString w = QString::fromLatin1(word);
        QTest::newRow(word) << QStringList { w.toUpper() } << QStringList { w + "_field" }
                            << QStringList { w + "_type" };
    }
    QTest::newRow("keyword-of-a-target-language") << QStringList { "class" }
                                                  << QStringList { "class_field" }
                                                  << QStringList { "class_type" };
    QTest::newRow("duplicate-names") << QStringList { "Size", "size", "SIZE" }
                                     << QStringList { "size", "size_2", "size_3" }
                                     << QStringList { "size", "size_2", "size_3" };
    QTest::newRow("renamed-word-meets-its-own-name") << QStringList { "no", "no field" }
                                                     << QStringList { "no_field", "no_field_2" }
                                                     << QStringList { "no_type", "no_field" };
    QTest::newRow("spaces") << QStringList { "  chunk  size " } << QStringList { "chunk_size" }
                            << QStringList { "chunk_size" };
    QTest::newRow("leading-digits") << QStringList { "3d", "3d" }
                                    << QStringList { "field_3d", "field_3d_2" }
                                    << QStringList { "type_3d", "type_3d_2" };
    // A template's markups show a value after the name; the field is the name.
    QTest::newRow("value-after-the-name") << QStringList { "width = 640", "chunks[4] = IHDR", "a=b" }
                                          << QStringList { "width", "chunks_4", "a_b" }
                                          << QStringList { "width", "chunks_4", "a_b" };
    QTest::newRow("empty") << QStringList { "", "" } << QStringList { "field", "field_2" }
                           << QStringList { "type", "type_2" };
}

void TestMarkupExport::ksy_ids_and_type_names()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, types);
    MarkupModel flat_model;
    MarkupTree flat(&flat_model);
    mark_side_by_side(flat, names);
    const QByteArray text = MarkupExporter::to_ksy(flat_model.root(), "/data/on.bin",
                                                   names.size() * 4);
    const YAML::Node ksy = YAML::Load(text.toStdString());
    QStringList seen_ids;
    QStringList seen_types;
    for (const YAML::Node &field : ksy["seq"]) {
        seen_ids << QString::fromStdString(field["id"].as<std::string>());
        seen_types << QString::fromStdString(field["type"].as<std::string>());
    }
    QCOMPARE(seen_ids, ids);
    QCOMPARE(seen_types, types);
    QCOMPARE(ksy["meta"]["id"].as<std::string>(), std::string("on_file"));
    for (const QString &type : types)
        QVERIFY2(ksy["types"][type.toStdString()]["seq"], qPrintable(type));
    // Written plain, so a YAML 1.1 reader sees the same strings.
    for (const QString &id : ids)
        QVERIFY(text.contains("- id: " + id.toLatin1() + '\n'));
}

void TestMarkupExport::ksy_value_types()
{
    // Side by side, as "Mark as" makes them; the last two were resized or
    // marked by hand and read as bytes of their size.
    using T = ValueDecoder::Type;
    const struct { T type; bool little; int size; const char *expected; } marks[] = {
        { T::int32, true, 4, "s4le" }, { T::uint16, false, 2, "u2be" },
        { T::float64, true, 8, "f8le" }, { T::uint8, true, 1, "u1" }, { T::int8, false, 1, "s1" },
        { T::unix_time32, false, 4, "s4be" }, { T::utf8, true, 5, "str UTF-8" },
        { T::int32, true, 3, "" }, { T::ascii, true, -4, "u4" },
    };
    MarkupModel typed_model;
    MarkupTree typed(&typed_model);
    QStringList expected;
    qint64 at = 0;
    for (const auto &m : marks) {
        QVERIFY(typed.insert_range(at, at + qAbs(m.size) - 1));
        if (m.size > 0)
            typed_model.root()->child(typed_model.root()->child_count() - 1)
                ->set_value_type(MarkupValueType(m.type, m.little));
        at += qAbs(m.size);
        expected << m.expected;
    }
    QStringList written;
    for (const YAML::Node &f : YAML::Load(MarkupExporter::to_ksy(typed_model.root(), "v.bin", at)
                                              .toStdString())["seq"]) {
        QString type = f["type"] ? QString::fromStdString(f["type"].as<std::string>()) : "";
        if (f["encoding"])
            type += " " + QString::fromStdString(f["encoding"].as<std::string>());
        // Bytes without a type of their own, and text, say how many.
        QCOMPARE(bool(f["size"]), type.isEmpty() || type.startsWith("str"));
        written << type;
    }
    QCOMPARE(written, expected);
}

void TestMarkupExport::ksy_compiles()
{
    // A command taking "-t python --outdir <dir> <file>", such as a small
    // front for the npm package kaitai-struct-compiler.
    const QString compiler = qEnvironmentVariable("PQ_KSC");
    if (compiler.isEmpty())
        QSKIP("no Kaitai Struct compiler: set PQ_KSC to run this check");
    MarkupModel ksy_model;
    MarkupTree ksy_tree(&ksy_model);
    mark_side_by_side(ksy_tree, { "yes", "null", "class", "Size", "size", "3d", "" });
    QVERIFY(ksy_tree.insert_range(28, 31, QStringLiteral("count")));
    ksy_model.root()->child(7)->set_value_type(MarkupValueType(ValueDecoder::Type::uint32, false));
    QTemporaryDir dir;
    const QString file = dir.filePath("null.ksy");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(MarkupExporter::to_ksy(ksy_model.root(), "null.bin", 32));
    out.close();
    QStringList args = QProcess::splitCommand(compiler);
    QCOMPARE(QProcess::execute(args.takeFirst(), args << "-t" << "python" << "--outdir" << dir.path() << file), 0);
    // What it made is Python.
    QCOMPARE(QProcess::execute("python3", { "-m", "py_compile", dir.filePath("null_file.py") }), 0);
}

QTEST_GUILESS_MAIN(TestMarkupExport)
#include "tst_markupexport.moc"
