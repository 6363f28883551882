// The interpreter against the reference compiler's ranges (fixtures made by
// make_fixtures.sh), field semantics on small templates, hostile templates,
// and the markups as one undoable step.

#include "ksysamples.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "kaitai/editedfilesource.h"
#include "kaitai/ksybuffersource.h"
#include "kaitai/ksymarkcommand.h"
#include "kaitai/ksymarkupbuilder.h"
#include "kaitai/ksyparser.h"
#include "kaitai/ksystream.h"
#include "kaitai/ksytemplate.h"
#include "kaitai/templaterun.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupstepdecoder.h"
#include "markup/markuptree.h"
#include "settings/config.h"
#include "testsettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

using Ranges = QMap<QString, QPair<qint64, qint64>>;

// A field range as the reference parser read it; bytes first..last.
struct Reference
{
    QString path;
    qint64 first;
    qint64 last;
};

// "chunks[0].len" style paths of every item with a range, and the values.
void flatten(const KsyItem &item, const QString &prefix, Ranges *ranges, QMap<QString, QString> *values)
{
    for (const auto &child : item.children) {
        const QString name = child->name();
        QString path = prefix + name;
        // Array elements are named after the array already.
        if (name.contains(QLatin1Char('[')) && prefix.endsWith(QLatin1Char('.'))) {
            const QString array = prefix.left(prefix.size() - 1);
            if (name.startsWith(array.section(QLatin1Char('.'), -1) + QLatin1Char('[')))
                path = array.left(array.size() - array.section(QLatin1Char('.'), -1).size()) + name;
        }
        // The oracle's names come back from camel case, which loses an
        // underscore before a digit ("second_div_2" -> "second_div2").
        static const QRegularExpression before_digit(QStringLiteral("_(\\d)"));
        if (child->has_range())
            ranges->insert(QString(path).replace(before_digit, QStringLiteral("\\1")), { child->start, child->end });
        if (values && child->is_scalar)
            values->insert(path, child->value());
        flatten(*child, path + QLatin1Char('.'), ranges, values);
    }
}

KsyResult apply(const QByteArray &yaml, const QByteArray &data, QString *error,
                const KsyParser::Limits &limits = KsyParser::Limits())
{
    auto ksy = KsyTemplate::from_yaml(yaml, QStringLiteral("test.ksy"), QString(), error);
    if (!ksy)
        return KsyResult();
    KsyBufferSource source(data);
    KsyParser parser(ksy, &source);
    parser.set_limits(limits);
    return parser.parse();
}

// "first..last text {value type} [children; ...]" for each markup, "; "
// between siblings.
template<typename Nodes>
QString outline(const Nodes &markups)
{
    QStringList parts;
    for (const auto &m : markups) {
        QString part = QStringLiteral("%1..%2 %3").arg(m->start()).arg(m->end()).arg(m->description());
        if (!m->value_type().is_none())
            part += QStringLiteral(" {%1}").arg(m->value_type().to_text());
        if (m->child_count() > 0)
            part += QStringLiteral(" [%1]").arg(outline(m->children()));
        parts << part;
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

class TestKsyParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gallery_data();
    void gallery();
    void fields_data();
    void fields();
    void features_data();
    void features();
    void hostile_data();
    void hostile();
    void one_undo_step();
    void docs_and_decoded_fields_reach_the_tree();
    void outcomes_data();
    void outcomes();
    void large_source_reads_windows();
    void cancel_and_progress();
    void field_limit_data();
    void field_limit();
    void png_markups();
    void markups_nest_by_range_data();
    void markups_nest_by_range();
    void cancel_in_each_step_data();
    void cancel_in_each_step();

private:
    QString m_gallery;
};

void TestKsyParser::initTestCase()
{
    pq_test::isolate_settings();
    m_gallery = QStringLiteral(PQ_KSY_GALLERY);
    // make_fixtures.sh asks for the samples to hand them to the oracle.
    const QString out = qEnvironmentVariable("PQ_KSY_WRITE_SAMPLES");
    if (!out.isEmpty()) {
        for (const ksy_samples::Sample &s : ksy_samples::all()) {
            QFile bin(out + QLatin1Char('/') + s.name + QStringLiteral(".bin"));
            QFile ksy(out + QLatin1Char('/') + s.name + QStringLiteral(".ksy-path"));
            QVERIFY(bin.open(QIODevice::WriteOnly) && ksy.open(QIODevice::WriteOnly));
            bin.write(s.make());
            ksy.write(s.ksy.toUtf8());
        }
    }
}

void TestKsyParser::gallery_data()
{
    QTest::addColumn<QString>("ksy");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");
    for (const ksy_samples::Sample &s : ksy_samples::all())
        QTest::newRow(qPrintable(s.name)) << s.ksy << s.name << s.make();
}

void TestKsyParser::gallery()
{
    QFETCH(QString, ksy);
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QVERIFY2(QFileInfo::exists(m_gallery), "the example templates are missing from ksy/");
    QString error;
    auto t = KsyTemplate::load(m_gallery + QLatin1Char('/') + ksy + QStringLiteral(".ksy"), m_gallery, &error);
    QVERIFY2(t, qPrintable(error));
    KsyBufferSource source(data);
    KsyParser parser(t, &source);
    const KsyResult result = parser.parse();
    QVERIFY2(!result.stopped, qPrintable(result.message()));

    Ranges mine;
    flatten(*result.root, QString(), &mine, nullptr);
    QFile fixture(QStringLiteral(PQ_KSY_FIXTURES "/%1.ranges").arg(name));
    QVERIFY2(fixture.open(QIODevice::ReadOnly), "fixture missing: run tests/kaitai/make_fixtures.sh");
    static const QRegularExpression before_digit(QStringLiteral("_(\\d)"));
    QStringList wrong;
    std::vector<Reference> reference;
    for (const QByteArray &line : fixture.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 3)
            continue;
        const QString path = QString::fromUtf8(f[0]).replace(before_digit, QStringLiteral("\\1"));
        const QPair<qint64, qint64> expected(f[1].toLongLong(), f[2].toLongLong());
        reference.push_back({ path, expected.first, expected.second - 1 });
        if (mine.value(path, { -1, -1 }) != expected)
            wrong << QStringLiteral("%1: oracle %2..%3, here %4..%5")
                         .arg(path).arg(expected.first).arg(expected.second)
                         .arg(mine.value(path, { -1, -1 }).first).arg(mine.value(path, { -1, -1 }).second);
    }
    QVERIFY(!reference.empty());
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join(QLatin1Char('\n'))));

    // The markups a user gets, through the undo step into an empty tree: of
    // the reference's ranges that nest with those kept before them, nearly
    // all must be markups of the same range and name.
    KsyMarkupBuilder::Outcome built = KsyMarkupBuilder::build(*result.root);
    EditHistory history;
    MarkupModel model;
    MarkupTree tree(&model);
    auto *command = new KsyMarkCommand(&history, &tree, std::move(built.markups));
    const auto counts = command->counts();
    QVERIFY(history.run(command));
    QCOMPARE(counts->refused, 0);
    QCOMPARE(counts->added, built.count);
    QMultiMap<QPair<qint64, qint64>, QString> marked;
    std::vector<const MarkupNode *> pending { model.root() };
    while (!pending.empty()) {
        const MarkupNode *n = pending.back();
        pending.pop_back();
        if (n != model.root())
            marked.insert({ n->start(), n->end() }, n->data(0).toString().replace(before_digit, QStringLiteral("\\1")));
        pending.insert(pending.end(), n->children().cbegin(), n->children().cend());
    }
    std::vector<const Reference *> kept;
    QStringList missing;
    for (const Reference &r : reference) {
        const bool nests = std::none_of(kept.cbegin(), kept.cend(), [&r](const Reference *k) {
            const bool meet = k->first <= r.last && r.first <= k->last;
            const bool inside = (k->first <= r.first && r.last <= k->last) || (r.first <= k->first && k->last <= r.last);
            return meet && !inside;
        });
        if (!nests)
            continue;
        kept.push_back(&r);
        const QString field = r.path.section(QLatin1Char('.'), -1);
        const QStringList texts = marked.values({ r.first, r.last });
        const bool named = std::any_of(texts.cbegin(), texts.cend(), [&field](const QString &text) {
            const QStringList parts = text.split(QStringLiteral(", "));
            return std::any_of(parts.cbegin(), parts.cend(), [&field](const QString &part) {
                const QString label = part.section(QStringLiteral(" = "), 0, 0);
                return label == field || label.endsWith(QLatin1Char('.') + field);
            });
        });
        if (!named)
            missing << QStringLiteral("%1 %2..%3").arg(r.path).arg(r.first).arg(r.last);
    }
    const double agreement = 100.0 * double(kept.size() - size_t(missing.size())) / double(kept.size());
    qInfo("%s: %.1f%% of %d nesting reference ranges are markups of that range and name", qPrintable(name),
          agreement, int(kept.size()));
    QVERIFY2(agreement >= 95.0, qPrintable(missing.mid(0, 10).join(QLatin1Char('\n'))));
}

void TestKsyParser::fields_data()
{
    // A template, the bytes (hex), and what must come out: "path=value"
    // entries separated by "; ", and "path@start..end" for ranges.
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("expected");
    const QByteArray head = "meta: {id: t, endian: le}\n";
    QTest::newRow("integers-both-endians-and-signs")
        << head + "seq:\n- {id: a, type: u2}\n- {id: b, type: u2be}\n- {id: c, type: s1}\n- {id: d, type: u8}\n"
        << QByteArray("0102" "0102" "ff" "ffffffffffffffff")
        << "a=513; b=258; c=-1; d=18446744073709551615; d@5..13";
    QTest::newRow("floats")
        << head + "seq:\n- {id: f, type: f4}\n- {id: g, type: f8be}\n" << QByteArray("0000c03f" "4004000000000000")
        << "f=1.5; g=2.5";
    QTest::newRow("bits-big-and-little-endian")
        << QByteArray("meta: {id: t}\nseq:\n- {id: a, type: b3}\n- {id: b, type: b5}\n- {id: c, type: b4le}\n"
                      "- {id: d, type: b4le}\n- {id: e, type: u1}\n")
        << QByteArray("a5" "3c" "07") << "a=5; b=5; c=12; d=3; e=7; e@2..3";
    QTest::newRow("strings-terminators-and-padding")
        << head + "seq:\n- {id: z, type: strz, encoding: ASCII}\n"
                  "- {id: p, type: str, size: 4, pad-right: 0x20, encoding: ASCII}\n"
                  "- {id: k, type: str, terminator: 0x2c, include: true, encoding: ASCII}\n"
                  "- {id: n, type: str, terminator: 0x2e, consume: false, encoding: ASCII}\n- {id: dot, type: u1}\n"
                  "- {id: u, type: str, size: 4, encoding: UTF-16LE}\n"
        << QByteArray("414200" "58202020" "78792c" "71" "2e" "e9002000")
        << "z=\"AB\"; z@0..3; p=\"X\"; k=\"xy,\"; n=\"q\"; dot=46; u=\"é \"";
    // parent: the leaf's _parent is the top level, not the type reading it
    // (the reference compiler 0.11 cannot type this case, so no fixture).
    QTest::newRow("parent-key")
        << head + "seq:\n- {id: scale, type: u1}\n- {id: outer, type: middle}\n"
                  "types:\n  middle:\n    seq:\n    - {id: pad, type: u1}\n    - {id: inner, type: leaf, parent: _root}\n"
                  "  leaf:\n    seq: [{id: v, type: u1}]\n    instances: {scaled: {value: v * _parent.scale}}\n"
        << QByteArray("030907") << "outer.inner.v=7; outer.inner.scaled=21; outer.inner@2..3";
    // head.a waits for b_inst, which waits for head.c, which needs tail, read
    // last: each is computed once what it needs is there.
    QTest::newRow("instances-waiting-on-each-other")
        << head + "seq:\n- {id: head, type: h}\n- {id: tail, type: u1}\n"
                  "instances: {b_inst: {value: head.c + 1}}\n"
                  "types:\n  h:\n    seq: [{id: v, type: u1}]\n"
                  "    instances: {a: {value: _parent.b_inst + 1}, c: {value: _parent.tail}}\n"
        << QByteArray("0105") << "head.a=7; head.c=5; b_inst=6; tail=5";
    // Past 256 bytes a field holds only its head; expressions get every byte.
    QTest::newRow("long-bytes-read-again")
        << head + "seq:\n- {id: body, size: 300}\n- {id: a, type: u1, valid: {eq: 'body[299]'}}\n"
                  "- {id: b, size: 'body.to_s(\"ASCII\").length - 299'}\n"
                  "- {id: c, type: u1, if: 'body == body and body.max == 66'}\n"
        << QByteArray("41").repeated(299) + "42" + "42" + "07" + "09" << "a=66; b=[07]; c=9";
    // An instance's condition comes before its stream and position: s would
    // lie past the end, and is not there.
    QTest::newRow("instance-if-before-its-position")
        << head + "seq:\n- {id: tag, type: u1}\n"
                  "instances:\n  s: {pos: 100, type: u1, if: tag == 1}\n"
                  "  t: {io: _root._io, pos: 0, type: u1, if: tag == 2}\n"
        << QByteArray("02") << "tag=2; t=2; s=<none>";
    QTest::newRow("bytes-size-eos-and-contents")
        << head + "seq:\n- {id: m, contents: [0xca, 0xfe]}\n- {id: r, size-eos: true}\n"
        << QByteArray("cafe" "0102") << "m=[CA FE]; r=[01 02]; r@2..4";
    QTest::newRow("repeat-expr-eos-until")
        << head + "seq:\n- {id: n, type: u1}\n- {id: x, type: u1, repeat: expr, repeat-expr: n}\n"
                  "- {id: y, type: u1, repeat: until, repeat-until: _ == 0}\n- {id: z, type: u2, repeat: eos}\n"
        << QByteArray("02" "0a0b" "0900" "01000200")
        << "x[1]=11; x@1..3; y[1]=0; z[1]=2; z[1]@7..9";
    QTest::newRow("switch-enum-and-params")
        << head + "seq:\n- {id: k, type: u1, enum: kind}\n"
                  "- id: body\n  type:\n    switch-on: k\n    cases:\n      'kind::word': w(3)\n      _: b\n"
                  "types:\n  w:\n    params: [{id: add, type: u1}]\n    seq: [{id: v, type: u2}]\n"
                  "    instances: {sum: {value: v + add}}\n  b:\n    seq: [{id: v, type: u1}]\n"
                  "enums:\n  kind: {1: word, 2: byte}\n"
        << QByteArray("01" "0500") << "k=word (1); body.v=5; body@1..3";
    QTest::newRow("substream-limits-the-child")
        << head + "seq:\n- {id: s, size: 3, type: rest}\n- {id: after, type: u1}\n"
                  "types:\n  rest:\n    seq: [{id: all, size-eos: true}]\n    instances: {n: {value: _io.size}}\n"
        << QByteArray("010203" "04") << "s.all=[01 02 03]; s.all@0..3; after=4";
    QTest::newRow("instances-pos-io-and-sizeof")
        << head + "seq:\n- {id: ofs, type: u1}\n- {id: h, type: hdr}\n"
                  "instances:\n  at: {pos: ofs, type: u2}\n  hs: {value: h._sizeof + ofs._sizeof}\n"
                  "types:\n  hdr:\n    seq: [{id: a, type: u2}, {id: b, type: u1}]\n"
        << QByteArray("04" "aabb" "cc" "3412") << "at=4660; at@4..6; h@1..4";
    QTest::newRow("process-xor-rol-zlib")
        << head + "seq:\n- {id: x, size: 2, process: xor(0xff)}\n- {id: r, size: 1, process: rol(1)}\n"
                  "- {id: z, size-eos: true, process: zlib, type: inner}\n"
                  "types:\n  inner:\n    seq: [{id: text, type: str, size-eos: true, encoding: ASCII}]\n"
        << QByteArray("feff" "81") + QByteArray(ksy_samples::deflate_bytes("hi", 15)).toHex()
        << "x=[01 00]; r=[03]; z.text=\"hi\"; z@3..13";
    QTest::newRow("endian-switched-at-run-time")
        << QByteArray("meta: {id: t}\nseq:\n- {id: e, type: u1}\n- {id: b, type: body}\ntypes:\n  body:\n"
                      "    meta:\n      endian:\n        switch-on: _parent.e\n        cases: {1: le, 2: be}\n"
                      "    seq: [{id: v, type: u2}, {id: s, type: sub}]\n    types:\n"
                      "      sub: {seq: [{id: w, type: u2}]}\n")
        << QByteArray("02" "0102" "0003") << "b.v=258; b.s.w=3";
    QTest::newRow("if-skips-and-valid-passes")
        << head + "seq:\n- {id: f, type: u1, valid: {min: 1, max: 3}}\n- {id: o, type: u1, if: f == 2}\n"
                  "- {id: q, type: u1, valid: {any-of: [7, 9]}}\n"
        << QByteArray("01" "09") << "f=1; q=9; q@1..2";
}

void TestKsyParser::fields()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QByteArray, hex);
    QFETCH(QString, expected);
    QString error;
    const KsyResult result = apply(yaml, QByteArray::fromHex(hex), &error);
    QVERIFY2(result.root, qPrintable(error));
    QVERIFY2(!result.stopped, qPrintable(result.message()));
    QCOMPARE(result.instances_failed, 0);
    Ranges ranges;
    QMap<QString, QString> values;
    flatten(*result.root, QString(), &ranges, &values);
    for (const QString &entry : expected.split(QStringLiteral("; "))) {
        if (entry.contains(QLatin1Char('@'))) {
            const QString path = entry.section(QLatin1Char('@'), 0, 0);
            const QString range = entry.section(QLatin1Char('@'), 1);
            const auto r = ranges.value(path, { -1, -1 });
            QCOMPARE(QStringLiteral("%1@%2..%3").arg(path).arg(r.first).arg(r.second), entry);
        } else {
            const QString path = entry.section(QLatin1Char('='), 0, 0);
            QCOMPARE(path + QLatin1Char('=') + values.value(path, QStringLiteral("<none>")), entry);
        }
    }
}

void TestKsyParser::features_data()
{
    QTest::addColumn<QString>("name");
    const QDir folder(QStringLiteral(PQ_KSY_FIXTURES "/../features"));
    for (const QFileInfo &ksy : folder.entryInfoList({ QStringLiteral("*.ksy") }, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(ksy.baseName())) << ksy.absoluteFilePath().chopped(4);
}

// One language feature each, against the ranges and values the reference
// read (features/<name>.expected, made by make_feature_fixtures.sh).
void TestKsyParser::features()
{
    QFETCH(QString, name);
    QFile hex(name + QStringLiteral(".hex"));
    QFile expected(name + QStringLiteral(".expected"));
    QVERIFY(hex.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
    QString error;
    auto t = KsyTemplate::load(name + QStringLiteral(".ksy"), QFileInfo(name).absolutePath(), &error);
    QVERIFY2(t, qPrintable(error));
    KsyBufferSource source(QByteArray::fromHex(hex.readAll().trimmed()));
    KsyParser parser(t, &source);
    const KsyResult result = parser.parse();
    QVERIFY2(!result.stopped, qPrintable(result.message()));
    QCOMPARE(result.instances_failed, 0);
    Ranges ranges;
    QMap<QString, QString> values;
    flatten(*result.root, QString(), &ranges, &values);
    QStringList wrong;
    for (const QString &line : QString::fromUtf8(expected.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QStringList f = line.split(QLatin1Char(' '));
        if (equals > 0 && !line.left(equals).contains(QLatin1Char(' '))) {
            const QString path = line.left(equals);
            if (values.value(path, QStringLiteral("<none>")) != line.mid(equals + 1))
                wrong << QStringLiteral("%1: reference %2, here %3").arg(path, line.mid(equals + 1), values.value(path, QStringLiteral("<none>")));
        } else if (f.size() == 3) {
            const QPair<qint64, qint64> r(f[1].toLongLong(), f[2].toLongLong());
            if (ranges.value(f[0], { -1, -1 }) != r)
                wrong << QStringLiteral("%1: reference %2..%3, here %4..%5").arg(f[0]).arg(r.first).arg(r.second)
                             .arg(ranges.value(f[0], { -1, -1 }).first).arg(ranges.value(f[0], { -1, -1 }).second);
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

void TestKsyParser::hostile_data()
{
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    const QByteArray head = "meta: {id: t, endian: le}\n";
    QTest::newRow("endless-repeat-until-of-empty-records")
        << head + "seq:\n- {id: x, type: e, repeat: until, repeat-until: false}\ntypes: {e: {seq: []}}\n"
        << QByteArray() << "Template stopped at 0x0 in x[250000] (test.ksy:3:3): more than 250000 fields, the field limit";
    QTest::newRow("endless-repeat-until-past-the-end")
        << head + "seq:\n- {id: x, type: u1, repeat: until, repeat-until: false}\n" << QByteArray(3, 'a')
        << "Template stopped at 0x3 in x[3] (test.ksy:3:3): end of data: u1 needs 1 bytes, 0 left";
    QTest::newRow("self-recursive-type")
        << head + "seq: [{id: x, type: r}]\ntypes: {r: {seq: [{id: y, type: r}]}}\n" << QByteArray(4, 'a')
        << "types nested deeper than 64";
    QTest::newRow("size-2-to-the-62")
        << head + "seq: [{id: x, size: 0x4000000000000000}]\n" << QByteArray(4, 'a')
        << "Template stopped at 0x0 in x (test.ksy:2:7): end of data: size 4611686018427387904 needed, 4 left";
    QTest::newRow("a-million-fields")
        << head + "seq: [{id: x, type: u1, repeat: expr, repeat-expr: 1000000}]\n" << QByteArray(1000000, 'a')
        << "Template stopped at 0x3D090 in x[250000] (test.ksy:2:7): more than 250000 fields, the field limit";
    QTest::newRow("division-by-zero")
        << head + "seq: [{id: n, type: u1}, {id: x, size: 4 / (n - 1)}]\n" << QByteArray(4, '\1')
        << "Template stopped at 0x1 in x (test.ksy:2:26): division by zero in '4 / (n - 1)'";
    QTest::newRow("unknown-type")
        << head + "seq: [{id: x, type: nothere}]\n" << QByteArray(4, 'a')
        << "Template stopped at 0x0 in x (test.ksy:2:7): unknown type 'nothere'";
    QTest::newRow("opaque-type-named")
        << QByteArray("meta: {id: t, ks-opaque-types: true}\nseq: [{id: x, type: outside}]\n") << QByteArray(4, 'a')
        << "(test.ksy:2:7): type 'outside' is an opaque (external) type, which templates cannot read";
    QTest::newRow("custom-process-named")
        << head + "seq: [{id: x, size: 2, process: my_cipher(1)}]\n" << QByteArray(4, 'a')
        << "(test.ksy:2:7): process 'my_cipher' is a custom routine, which templates cannot run";
    QTest::newRow("malformed-expression-with-its-reason")
        << head + "seq: [{id: a, type: u1}, {id: x, size: a +}]\n" << QByteArray(4, 'a')
        << "Template stopped at 0x1 in x (test.ksy:2:26): cannot read expression 'a +': expected a value at the end";
    QTest::newRow("instance-depends-on-itself")
        << head + "seq: [{id: x, size: a}]\ninstances: {a: {value: a + 1}}\n" << QByteArray(4, 'a')
        << "instance 'a' depends on itself";
    QTest::newRow("bad-yaml-with-line-and-column")
        << QByteArray("meta: {id: t}\nseq:\n  - id: a\n    type: u1\n   - id: b\n") << QByteArray()
        << "test.ksy:5:4: ";
    QTest::newRow("unknown-key-with-line-and-column")
        << QByteArray("meta: {id: t}\nseq:\n  - id: a\n    tpye: u1\n") << QByteArray()
        << "test.ksy:4:5: unknown key 'tpye'";
    QTest::newRow("import-missing")
        << QByteArray("meta:\n  id: t\n  imports:\n    - nowhere/gone\n") << QByteArray()
        << "test.ksy:4:7: cannot import 'nowhere/gone'";
}

void TestKsyParser::hostile()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    QElapsedTimer timer;
    timer.start();
    QString error;
    KsyParser::Limits limits;
    limits.max_fields = 250000;
    const KsyResult result = apply(yaml, data, &error, limits);
    const QString got = result.root ? result.message() : error;
    QVERIFY2(got.contains(message), qPrintable(got));
    // The limits end these, not the clock; this only catches a hang (a
    // sanitizer build on a busy machine runs many times slower).
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
}

void TestKsyParser::outcomes_data()
{
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("markups");
    const QByteArray head = "meta: {id: t, endian: be}\n";
    const QByteArray png_on_zip = QByteArray::fromHex("504b0304140000000800");
    const int complete = int(TemplateRun::Result::complete);
    const int nothing = int(TemplateRun::Result::nothing_applied);
    const int partial = int(TemplateRun::Result::partial);
    QTest::newRow("complete") << head + "seq: [{id: a, type: u2}, {id: b, size-eos: true}]\n"
                              << QByteArray("0123") << complete << "3 markups added from t.ksy" << 3;
    QTest::newRow("malformed-expression-never-reached")
        << head + "seq: [{id: a, type: u1}, {id: x, size: a +, if: a == 0}]\n"
        << QByteArray("1") << complete << "1 markup added from t.ksy" << 1;
    // The second try of `outer` replaces what the first read, inside which
    // the first try's `far` still waits to be told.
    QTest::newRow("instance-failing-inside-a-retried-one")
        << QByteArray("meta: {id: t}\nseq: [{id: a, type: u1}]\ninstances: {outer: {pos: 0, type: wrap}}\n"
                      "types:\n  wrap: {seq: [{id: b, type: u1}, {id: i, type: inner}, {id: c, size: 1000}]}\n"
                      "  inner: {seq: [{id: d, type: u1}], instances: {far: {pos: 1000, type: u1}}}\n")
        << QByteArray("abcd") << partial << "3 instances could not be computed, the first at 0x2 in outer.i" << 3;
    QTest::newRow("first-contents-fails")
        << QByteArray() << png_on_zip << nothing
        << "png.ksy does not match this file: contents [89 50 4E 47 0D 0A 1A 0A] expected, "
           "[50 4B 03 04 14 00 00 00] found at 0x0 in magic (png.ksy:97:5)" << 0;
    QTest::newRow("first-valid-after-a-field-fails")
        << head + "seq:\n- {id: a, type: u1}\n- {id: b, type: u1, valid: 7}\n" << QByteArray("\1\2", 2)
        << nothing << "t.ksy does not match this file: 2 is not valid: == 7 expected at 0x1 in b (t.ksy:4:3)"
        << 0;
    QTest::newRow("valid-fails-after-contents-passed")
        << head + "seq:\n- {id: m, contents: [1]}\n- {id: b, type: u1, valid: 7}\n" << QByteArray("\1\2", 2)
        << partial << "3 markups added from t.ksy; Template stopped at 0x1 in b (t.ksy:4:3): 2 is not valid: == 7 expected"
        << 3;
    QTest::newRow("end-of-data")
        << head + "seq:\n- {id: a, type: u1}\n- {id: b, type: u4}\n" << QByteArray("\1\2", 2) << partial
        << "1 markup added from t.ksy; Template stopped at 0x1 in b (t.ksy:4:3): end of data: u4 needs 4 bytes, 1 left" << 1;
    QTest::newRow("instance-divides-by-zero")
        << head + "seq: [{id: a, type: u1}]\ninstances:\n  q: {value: 4 / a}\n" << QByteArray("\0", 1)
        << partial << "1 markup added from t.ksy; 1 instances could not be computed, the first at 0x0 in q "
                      "(t.ksy:4:6): division by zero in '4 / a'" << 1;
    QTest::newRow("too-short-for-the-magic")
        << QByteArray() << QByteArray("\x89PNG", 4) << nothing
        << "png.ksy does not match this file: end of data: 8 bytes of contents needed, 4 left" << 0;
    QTest::newRow("unreadable") << head + "seq: [\n" << QByteArray("0123") << nothing << "t.ksy:3:1:" << 0;
    QTest::newRow("empty-file") << head + "seq: [{id: a, type: u2}]\n" << QByteArray() << nothing
                                << "no markups read" << 0;
}

// The three ends of a run: complete, nothing applied (the tree and the
// history untouched), or partial (what was read kept as one undo step).
void TestKsyParser::outcomes()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(int, markups);
    QTemporaryDir dir;
    QString ksy = m_gallery + QStringLiteral("/image/png.ksy");
    if (!yaml.isEmpty()) {
        ksy = dir.filePath(QStringLiteral("t.ksy"));
        QFile file(ksy);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(yaml) == yaml.size());
    }
    QFile file(dir.filePath(QStringLiteral("d.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    file.close();
    EditedFile edited;
    QVERIFY(edited.open(file.fileName()));
    const TemplateRun::Outcome outcome = TemplateRun::apply(&edited, ksy, {}, nullptr);
    QVERIFY2(outcome.message.contains(message), qPrintable(outcome.message));
    QCOMPARE(int(outcome.result), result);
    QCOMPARE(edited.history()->count(), result == int(TemplateRun::Result::nothing_applied) ? 0 : 1);
    QCOMPARE(edited.markup_model()->root()->child_count() > 0, markups > 0);
    QCOMPARE(outcome.added, qint64(markups));
}

// A field's doc (its type's when it has none, the file's for the whole)
// goes with its markup, each array element's too, trimmed. Fields read from
// decoded bytes go under the processed field's markup, also when it holds a
// markup of the user's, and leave with it on undo.
void TestKsyParser::docs_and_decoded_fields_reach_the_tree()
{
    QTemporaryDir dir;
    const QString ksy = dir.filePath(QStringLiteral("t.ksy"));
    const QString bin = dir.filePath(QStringLiteral("d.bin"));
    QFile t(ksy);
    QFile d(bin);
    QVERIFY(t.open(QIODevice::WriteOnly) && d.open(QIODevice::WriteOnly));
    t.write("meta: {id: t}\ndoc: The whole.\nseq:\n- id: a\n  type: u1\n  doc: |\n    First byte.\n"
            "- {id: b, type: pair, repeat: expr, repeat-expr: 2}\n"
            "- {id: p, type: pair, size: 2, process: xor(0xff), doc: Hidden.}\n"
            "types:\n  pair: {doc: Two bytes., seq: [{id: x, type: u1}, {id: y, type: u1}]}\n");
    d.write("\1\2\3\4\5\xfe\xfd", 7);
    t.close();
    d.close();
    EditedFile edited;
    QVERIFY(edited.open(bin));
    QVERIFY(edited.mark(6, 6, QStringLiteral("mine")));
    const TemplateRun::Outcome outcome = TemplateRun::apply(&edited, ksy, {}, nullptr);
    QCOMPARE(int(outcome.result), int(TemplateRun::Result::complete));
    std::function<QString(const MarkupNode *)> walk = [&](const MarkupNode *node) {
        QString text;
        for (const MarkupNode *child : node->children())
            text += QStringLiteral("|%1..%2 %3:%4").arg(child->start()).arg(child->end())
                        .arg(child->data(MarkupColumn::Description).toString(), child->doc()) + walk(child);
        return text;
    };
    QCOMPARE(walk(edited.markup_model()->root()),
             QStringLiteral("|0..6 t:The whole.|0..0 a = 1:First byte.|1..4 b:|1..2 b[0]:Two bytes.|1..1 x = 2:"
                            "|2..2 y = 3:|3..4 b[1]:Two bytes.|3..3 x = 4:|4..4 y = 5:|5..6 p:Hidden.|6..6 mine:"
                            "|5..6 x = 1 (decoded):|5..6 y = 2 (decoded):"));
    QVERIFY(edited.undo());
    QCOMPARE(walk(edited.markup_model()->root()), QStringLiteral("|6..6 mine:"));
}

void TestKsyParser::one_undo_step()
{
    // A PNG opened as the edited file, with three markups already there: one
    // inside the IHDR chunk's data, one inside its crc (a number, marked
    // around it with its value type) and one across the signature's end.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.png"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ksy_samples::png());
    file.close();
    EditedFile edited;
    QVERIFY(edited.open(path));
    QVERIFY(edited.mark(18, 19, QStringLiteral("mine")));
    QVERIFY(edited.mark(30, 31, QStringLiteral("in crc")));
    QVERIFY(edited.mark(6, 9, QStringLiteral("across")));
    MarkupNode *root = edited.markup_model()->root();

    const QByteArray yaml = "meta: {id: p, endian: be}\nseq:\n- {id: magic, size: 8}\n"
                            "- {id: chunks, type: chunk, repeat: eos}\n"
                            "types:\n  chunk:\n    seq:\n    - {id: len, type: u4}\n"
                            "    - {id: type, type: str, size: 4, encoding: ASCII}\n"
                            "    - {id: body, size: len}\n    - {id: crc, type: u4}\n";
    QString error;
    auto t = KsyTemplate::from_yaml(yaml, QStringLiteral("p.ksy"), QString(), &error);
    QVERIFY2(t, qPrintable(error));
    EditedFileSource source(&edited);
    KsyParser parser(t, &source);
    const KsyResult result = parser.parse();
    QVERIFY2(!result.stopped, qPrintable(result.message()));
    KsyMarkupBuilder::Outcome outcome = KsyMarkupBuilder::build(*result.root);

    auto *command = new KsyMarkCommand(edited.history(), edited.markup_tree(), std::move(outcome.markups));
    const auto counts = command->counts();
    const int steps = edited.history()->count();
    QVERIFY(edited.run(command));
    QCOMPARE(edited.history()->count(), steps + 1);
    // "across" partly overlaps magic, the chunk array, the first chunk and
    // its len: those four are left out, the rest goes in under the
    // template's top markup, which adopts both markups.
    QCOMPARE(counts->refused, 4);
    QCOMPARE(counts->added, outcome.count - 4);
    QCOMPARE(root->child_count(), 1);
    MarkupNode *body = nullptr;
    std::vector<MarkupNode *> pending { root };
    while (!pending.empty()) {
        MarkupNode *n = pending.back();
        pending.pop_back();
        if (n->start() == 16 && n->end() == 28)
            body = n;
        pending.insert(pending.end(), n->children().cbegin(), n->children().cend());
    }
    QVERIFY(body);
    QCOMPARE(body->data(0).toString(), QStringLiteral("body = [00 00 00 04 00 00 00 02 08 02 00 00 00]"));
    QCOMPARE(body->child_count(), 1);
    QCOMPARE(body->child(0)->data(0).toString(), QStringLiteral("mine"));
    // Undo keeps what it takes out; each redo puts back the same markups.
    const QString applied = outline(root->children());
    for (int round = 0; round < 2; ++round) {
        QVERIFY(edited.undo());
        QCOMPARE(root->child_count(), 3);
        QCOMPARE(root->child(0)->data(0).toString(), QStringLiteral("across"));
        QVERIFY(edited.redo());
        QCOMPARE(outline(root->children()), applied);
    }
    // The journal's record of the step makes it again on the tree as it was.
    const QByteArray record = command->record();
    const QString xml = edited.markup_tree()->to_xml();
    QVERIFY(edited.undo());
    EditCommand *again = MarkupStepDecoder::decode(record, edited.history(), edited.markup_tree());
    QVERIFY(again);
    QVERIFY(edited.run(again));
    QCOMPARE(edited.markup_tree()->to_xml(), xml);
    QVERIFY(edited.undo());
    QCOMPARE(root->child(0)->data(0).toString(), QStringLiteral("across"));
}

namespace {

// A 16 GiB source that makes up its bytes and counts what is read.
class HugeSource : public KsyByteSource
{
public:
    qint64 size() const override { return qint64(16) << 30; }
    QByteArray read(qint64 offset, qint64 length) const override
    {
        const qint64 n = qBound<qint64>(0, length, size() - offset);
        m_read += n;
        return QByteArray(int(n), char(offset & 0x7f));
    }
    mutable qint64 m_read = 0;
};

} // namespace

void TestKsyParser::large_source_reads_windows()
{
    // A header, a body far too large to keep, and a trailer read at the end.
    const QByteArray yaml = "meta: {id: t, endian: le}\nseq:\n- {id: head, type: u4}\n"
                            "- {id: body, size: _io.size - 8}\n- {id: tail, type: u4}\n"
                            "instances:\n  last: {pos: _io.size - 1, type: u1}\n";
    QString error;
    auto t = KsyTemplate::from_yaml(yaml, QStringLiteral("t.ksy"), QString(), &error);
    QVERIFY2(t, qPrintable(error));
    HugeSource source;
    KsyParser parser(t, &source);
    const KsyResult result = parser.parse();
    QVERIFY2(!result.stopped, qPrintable(result.message()));
    const KsyItem &body = *result.root->children.at(1);
    QCOMPARE(body.end - body.start, source.size() - 8);
    QVERIFY(body.value().contains(QStringLiteral("(17179869176 bytes)")));
    QVERIFY2(source.m_read < 4 * KsyStream::window_size, qPrintable(QString::number(source.m_read)));
}

void TestKsyParser::cancel_and_progress()
{
    const QByteArray yaml = "meta: {id: t}\nseq: [{id: x, type: u1, repeat: eos}]\n";
    QString error;
    auto t = KsyTemplate::from_yaml(yaml, QStringLiteral("t.ksy"), QString(), &error);
    QVERIFY(t);
    KsyBufferSource source(QByteArray(100000, 'x'));
    KsyParser parser(t, &source);
    std::atomic_bool cancel { false };
    QList<qint64> reported;
    parser.set_cancel_flag(&cancel);
    parser.set_progress([&](qint64 done, qint64 total) {
        QCOMPARE(total, qint64(100000));
        reported << done;
        if (done >= 50000)
            cancel = true;
    });
    const KsyResult result = parser.parse();
    QVERIFY(result.stopped);
    QVERIFY2(result.message().startsWith(QStringLiteral("Template stopped at 0xC")) && result.message().endsWith(QStringLiteral(": cancelled")),
             qPrintable(result.message()));
    QVERIFY(reported.size() >= 48);
    QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
    // What was read before the cancel is kept.
    const auto &elements = result.root->children.at(0)->children;
    QCOMPARE(std::count_if(elements.cbegin(), elements.cend(), [](const auto &e) { return e->has_range(); }),
             std::ptrdiff_t(result.fields));
}

void TestKsyParser::field_limit_data()
{
    // The setting as stored, the limit given to the run (0: none), and what
    // the run of a template reading 100 fields says.
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<qint64>("given");
    QTest::addColumn<QString>("message");
    const QString done = QStringLiteral("101 markups added from t.ksy");
    QTest::newRow("unset-is-twenty-million") << QVariant() << qint64(0) << done;
    QTest::newRow("stored-below-the-fields")
        << QVariant(50) << qint64(0) << QStringLiteral("more than 50 fields, the field limit");
    QTest::newRow("stored-exactly-the-fields") << QVariant(101) << qint64(0) << done;
    QTest::newRow("not-a-number-is-the-default") << QVariant(QStringLiteral("many")) << qint64(0) << done;
    QTest::newRow("zero-is-the-default") << QVariant(0) << qint64(0) << done;
    QTest::newRow("given-overrides-stored")
        << QVariant(50) << qint64(10) << QStringLiteral("more than 10 fields, the field limit");
}

void TestKsyParser::field_limit()
{
    QFETCH(QVariant, stored);
    QFETCH(qint64, given);
    QFETCH(QString, message);
    Config::instance()->remove(QStringLiteral("Template Field Limit"));
    if (stored.isValid())
        Config::instance()->setValue(QStringLiteral("Template Field Limit"), stored);
    QCOMPARE(TemplateRun::field_limit() == TemplateRun::default_field_limit,
             !stored.isValid() || stored.toLongLong() <= 0);
    QTemporaryDir dir;
    QFile ksy(dir.filePath(QStringLiteral("t.ksy")));
    QFile data(dir.filePath(QStringLiteral("d.bin")));
    QVERIFY(ksy.open(QIODevice::WriteOnly) && data.open(QIODevice::WriteOnly));
    ksy.write("meta: {id: t}\nseq: [{id: x, type: u1, repeat: eos}]\n");
    data.write(QByteArray(100, 'x'));
    ksy.close();
    data.close();
    EditedFile edited;
    QVERIFY(edited.open(data.fileName()));
    const TemplateRun::Outcome outcome = TemplateRun::apply(&edited, ksy.fileName(), {}, nullptr, given);
    QVERIFY2(outcome.message.contains(message), qPrintable(outcome.message));
    QCOMPARE(outcome.result == TemplateRun::Result::complete, message == QStringLiteral("101 markups added from t.ksy"));
}

void TestKsyParser::png_markups()
{
    QVERIFY2(QFileInfo::exists(m_gallery), "the example templates are missing from ksy/");
    QString error;
    auto t = KsyTemplate::load(m_gallery + QStringLiteral("/image/png.ksy"), m_gallery, &error);
    QVERIFY2(t, qPrintable(error));
    KsyBufferSource source(ksy_samples::png());
    KsyParser parser(t, &source);
    const KsyResult result = parser.parse();
    const KsyMarkupBuilder::Outcome outcome = KsyMarkupBuilder::build(*result.root);
    QCOMPARE(int(outcome.markups.size()), 1);
    QStringList texts;
    std::vector<const MarkupNode *> pending { outcome.markups.front().get() };
    qint64 seen = 0;
    while (!pending.empty()) {
        const MarkupNode *m = pending.back();
        pending.pop_back();
        ++seen;
        texts << m->description();
        QCOMPARE(m->length(), m->end() - m->start() + 1);
        // Light fill, dark text: WCAG contrast of at least 4.5:1.
        const auto luminance = [](const QColor &c) {
            const auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        };
        QVERIFY((luminance(m->background()) + 0.05) / (luminance(m->foreground()) + 0.05) >= 4.5);
        qint64 previous_end = m->start() - 1;
        for (const MarkupNode *c : m->children()) {
            QCOMPARE(c->parent_node(), m);
            // What was read from decoded bytes has its processed field's range.
            const bool decoded = c->start() == m->start() && c->end() == m->end();
            if (decoded)
                QVERIFY(c->background() == m->background());
            else
                QVERIFY(c->start() > previous_end && c->end() <= m->end());
            previous_end = decoded ? previous_end : c->end();
            pending.push_back(c);
        }
    }
    QCOMPARE(seen, outcome.count);
    QVERIFY(texts.contains(QStringLiteral("png")));
    QVERIFY(texts.contains(QStringLiteral("width = 4")));
    QVERIFY(texts.contains(QStringLiteral("color_type = truecolor (2)")));
    // A chunk is named as its type's -webide-representation says: "{type}".
    QVERIFY2(texts.indexOf(QRegularExpression(QStringLiteral("^chunks\\[0\\] = [A-Za-z]{4}$"))) >= 0,
             qPrintable(texts.filter(QStringLiteral("chunks[")).join(QStringLiteral(", "))));
    QVERIFY(texts.contains(QStringLiteral("keyword = \"Title\"")));
    // The zTXt text is processed: one markup for the compressed bytes, and
    // one inside it for the text read from them once inflated.
    QCOMPARE(texts.count(QStringLiteral("text")), 1);
    QVERIFY(texts.contains(QStringLiteral("value = \"made for the template tests\" (decoded)")));
    QVERIFY(KsyMarkupBuilder::background(QStringLiteral("chunk")) != KsyMarkupBuilder::background(QStringLiteral("integer")));
}

void TestKsyParser::markups_nest_by_range_data()
{
    // A template, the bytes (hex), the markups as outline() writes them
    // ("-": not compared), and how many were left out.
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("overlapping");
    QTest::addColumn<qint64>("too_deep");
    const QByteArray head = "meta: {id: t, endian: le}\n";
    QTest::newRow("instance-past-its-parent-moves-up-with-its-path")
        << head + "seq: [{id: h, type: hdr}, {id: pad, type: u1}]\n"
                  "types:\n  hdr:\n    seq: [{id: ofs, type: u1}, {id: n, type: u1}]\n"
                  "    instances: {body: {pos: ofs, size: n}}\n"
        << QByteArray("0402" "00" "00" "abcd")
        << "0..5 t [0..1 h [0..0 ofs = 4 {uint8}; 1..1 n = 2 {uint8}]; 2..2 pad = 0 {uint8}; 4..5 h.body = [AB CD]]" << qint64(6)
        << qint64(0) << qint64(0);
    QTest::newRow("partial-overlap-left-out-its-children-placed")
        << head + "seq: [{id: a, type: u2}, {id: b, type: u2}]\n"
                  "instances: {x: {pos: 1, type: pair}}\ntypes:\n  pair: {seq: [{id: p, type: u1}, {id: q, type: u1}]}\n"
        << QByteArray("0102" "0304")
        << "0..3 t [0..1 a = 513 {uint16le} [1..1 x.p = 2 {uint8}]; 2..3 b = 1027 {uint16le} [2..2 x.q = 3 {uint8}]]" << qint64(5) << qint64(1)
        << qint64(0);
    QTest::newRow("same-range-merges-and-says-it-once")
        << head + "seq: [{id: a, type: u1}, {id: b, type: u1}]\n"
                  "instances: {again: {pos: 0, type: u1}, whole: {pos: 0, size: 2}}\n"
        << QByteArray("0709") << "0..1 t, whole = [07 09] [0..0 a = 7, again = 7 {uint8}; 1..1 b = 9 {uint8}]" << qint64(3)
        << qint64(0) << qint64(0);
    QTest::newRow("instances-not-computed-shown-in-their-object")
        << head + "seq: [{id: a, type: u1}, {id: h, type: hdr}]\n"
                  "types:\n  hdr:\n    seq: [{id: n, type: u1}]\n"
                  "    instances: {q: {value: 4 / n}, loop: {value: loop + 1}, ok: {value: n + 1}}\n"
        << QByteArray("0100")
        << "0..1 t [0..0 a = 1 {uint8}; 1..1 h, n = 0, q = n/a: division by zero in '4 / n', "
           "loop = n/a: instance 'loop' depends on itself]" << qint64(3) << qint64(0) << qint64(0);
    QTest::newRow("decoded-fields-nest-in-the-processed-range")
        << head + "seq: [{id: p, type: two, size: 3, process: xor(0xff)}, {id: z, type: u1}]\n"
                  "types:\n  two: {seq: [{id: a, type: u1}, {id: b, type: u1, repeat: expr, repeat-expr: 2}]}\n"
        << QByteArray("fefdfc07")
        << "0..3 t [0..2 p [0..2 a = 1 (decoded); 0..2 b (decoded) [0..2 b[0] = 2 (decoded); "
           "0..2 b[1] = 3 (decoded)]]; 3..3 z = 7 {uint8}]" << qint64(7) << qint64(0) << qint64(0);
    // A number's type and byte order go with its markup, not with a bit
    // field's, a struct's or a decoded one's.
    QTest::newRow("value-types-of-built-in-numbers")
        << head + "seq: [{id: a, type: u4be}, {id: b, type: s2}, {id: c, type: f4}, {id: d, type: b4},\n"
                  "  {id: e, type: u1, enum: k}, {id: p, size: 1, process: xor(1), type: one}]\n"
                  "types: {one: {seq: [{id: x, type: u1}]}}\nenums: {k: {1: one}}\n"
        << QByteArray("0000000d" "feff" "0000c03f" "f0" "01" "00")
        << "0..12 t [0..3 a = 13 {uint32be}; 4..5 b = -2 {int16le}; 6..9 c = 1.5 {float32le}; 10..10 d = 15; "
           "11..11 e = one (1) {uint8}; 12..12 p [12..12 x = 1 (decoded)]]" << qint64(8) << qint64(0) << qint64(0);
    // Each element reads a range inside the one before it: 300 levels.
    QTest::newRow("nesting-deeper-than-the-limit")
        << head + "seq: [{id: e, type: shrink(_index), repeat: expr, repeat-expr: 300}]\n"
                  "types:\n  shrink:\n    params: [{id: i, type: u2}]\n"
                  "    instances: {v: {pos: i, size: 300 - i}}\n"
        << QByteArray(300, 'a').toHex() << "-" << qint64(KsyMarkupBuilder::max_depth)
        << qint64(0) << qint64(300 - KsyMarkupBuilder::max_depth);
}

void TestKsyParser::markups_nest_by_range()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QByteArray, hex);
    QFETCH(QString, expected);
    QFETCH(qint64, count);
    QFETCH(qint64, overlapping);
    QFETCH(qint64, too_deep);
    QString error;
    const KsyResult result = apply(yaml, QByteArray::fromHex(hex), &error);
    QVERIFY2(result.root, qPrintable(error));
    QVERIFY2(!result.stopped, qPrintable(result.message()));
    const KsyMarkupBuilder::Outcome outcome = KsyMarkupBuilder::build(*result.root);
    if (expected != QLatin1String("-"))
        QCOMPARE(outline(outcome.markups), expected);
    QCOMPARE(outcome.count, count);
    QCOMPARE(outcome.overlapping, overlapping);
    QCOMPARE(outcome.too_deep, too_deep);
}

void TestKsyParser::cancel_in_each_step_data()
{
    // Where in the run's progress the cancel is set; -1: none.
    QTest::addColumn<qint64>("cancel_at");
    QTest::newRow("parse") << TemplateRun::parse_share_end / 4;
    QTest::newRow("build") << TemplateRun::parse_share_end;
    QTest::newRow("add") << TemplateRun::build_share_end;
    QTest::newRow("none") << qint64(-1);
}

// Progress moves through the parse, the build and the adding; a cancel in
// any of them leaves the markups, the undo steps (the redo step too) and
// the modified state as they were.
void TestKsyParser::cancel_in_each_step()
{
    QFETCH(qint64, cancel_at);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("share"))));
    const QString ksy = dir.filePath(QStringLiteral("t.ksy"));
    QFile file(ksy);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("meta: {id: t}\nseq: [{id: x, type: u1, repeat: expr, repeat-expr: 20000}]\n");
    file.close();
    QFile data(dir.filePath(QStringLiteral("d.bin")));
    QVERIFY(data.open(QIODevice::WriteOnly) && data.write(QByteArray(20100, 'x')) == 20100);
    data.close();
    EditedFile edited;
    QVERIFY(edited.open(data.fileName()));
    QVERIFY(edited.mark(20010, 20019) && edited.mark(20030, 20039) && edited.undo());
    const auto markups = [&edited] {
        QStringList seen;
        const MarkupNode *root = edited.markup_model()->root();
        for (int r = 0; r < root->child_count(); ++r)
            seen << root->child(r)->data(0).toString() + QString::number(root->child(r)->child_count());
        return seen;
    };
    const QStringList before = markups();

    std::atomic_bool cancel { false };
    QList<qint64> reported;
    const TemplateRun::Outcome outcome = TemplateRun::apply(&edited, ksy, [&](qint64 done, qint64 total) {
        QCOMPARE(total, TemplateRun::progress_total);
        reported << done;
        if (cancel_at >= 0 && done >= cancel_at)
            cancel = true;
    }, &cancel, 1000000);

    QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
    // Every step reports while it works, not just once at its end.
    const auto in = [&reported](qint64 from, qint64 to) {
        return std::count_if(reported.cbegin(), reported.cend(), [=](qint64 d) { return d > from && d < to; });
    };
    const qint64 reached = cancel_at < 0 ? TemplateRun::progress_total : cancel_at;
    if (reached > 0)
        QVERIFY(in(0, TemplateRun::parse_share_end) > 3);
    if (reached > TemplateRun::parse_share_end)
        QVERIFY(in(TemplateRun::parse_share_end, TemplateRun::build_share_end) > 3);
    if (reached > TemplateRun::build_share_end)
        QVERIFY(in(TemplateRun::build_share_end, TemplateRun::progress_total) > 3);
    if (cancel_at < 0) {
        QCOMPARE(reported.last(), TemplateRun::progress_total);
        QVERIFY2(outcome.applied(), qPrintable(outcome.message));
        QCOMPARE(edited.history()->count(), 2);
        // A crash now: the journal gives the template's markups back.
        QThread::msleep(400);
        QFile journal(Journal::path_for(data.fileName()));
        QVERIFY(journal.open(QIODevice::ReadOnly));
        const QByteArray left = journal.readAll();
        journal.close();
        edited.journal()->release();
        QVERIFY(journal.open(QIODevice::WriteOnly) && journal.write(left) == left.size());
        journal.close();
        EditedFile again;
        QVERIFY(again.open(data.fileName()));
        QVERIFY(again.journal()->recover());
        QCOMPARE(again.markup_tree()->to_xml(), edited.markup_tree()->to_xml());
        return;
    }
    // The cancel is seen at the first report after it, whatever the step.
    QVERIFY(reported.last() < cancel_at + TemplateRun::progress_total / 50);
    QCOMPARE(outcome.result, TemplateRun::Result::nothing_applied);
    QCOMPARE(outcome.message, QStringLiteral("Template cancelled: no markups added"));
    QCOMPARE(markups(), before);
    QCOMPARE(edited.history()->count(), 2);
    QCOMPARE(edited.history()->index(), 1);
    QVERIFY(edited.is_modified());
    QVERIFY(edited.undo() && !edited.is_modified());
}

QTEST_GUILESS_MAIN(TestKsyParser)
#include "tst_ksyparser.moc"
