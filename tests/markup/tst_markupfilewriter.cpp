// The writers of markup files: to_markup_file(), the streaming
// write_markup_file() and to_xml() must give exactly the bytes of a plain
// reference writer, whatever the tree; files written before the writer used
// QXmlStreamWriter load to the same tree; and a device that stops taking
// bytes makes the streaming writer report failure.
#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markuptesthelpers.h"
#include "markup/markuptree.h"

#include <QBuffer>
#include <QColor>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

namespace {

// Takes `limit` bytes (the write that reaches the limit is cut short), then
// refuses every write.
class ShortDevice : public QIODevice
{
public:
    explicit ShortDevice(qint64 limit) : m_limit(limit) { open(QIODevice::WriteOnly); }
    qint64 taken() const { return m_taken; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override
    {
        const qint64 n = qMin(len, m_limit - m_taken);
        if (n <= 0)
            return -1;
        m_taken += n;
        return n;
    }

private:
    qint64 m_limit;
    qint64 m_taken = 0;
};

} // namespace

// The markup file format written out plainly, one QString piece at a time:
// the oracle the writers are held to. Earlier versions wrote a line feed,
// carriage return and tab as hexadecimal references and '>' as it is
// (`legacy`); QXmlStreamWriter writes decimal references and "&gt;".
QString reference_text(const QString &value, bool legacy)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar ch = value.at(i);
        const char16_t u = ch.unicode();
        if (u == '&')
            out += QStringLiteral("&amp;");
        else if (u == '<')
            out += QStringLiteral("&lt;");
        else if (u == '"')
            out += QStringLiteral("&quot;");
        else if (u == '>' && !legacy)
            out += QStringLiteral("&gt;");
        else if (u == '\n')
            out += legacy ? QStringLiteral("&#xa;") : QStringLiteral("&#10;");
        else if (u == '\r')
            out += legacy ? QStringLiteral("&#xd;") : QStringLiteral("&#13;");
        else if (u == '\t')
            out += legacy ? QStringLiteral("&#x9;") : QStringLiteral("&#9;");
        else if (ch.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate())
            out += QString(ch) + value.at(++i);
        else if (u < 0x20 || ch.isSurrogate() || u == 0xFFFE || u == 0xFFFF)
            out += QChar(QChar::ReplacementCharacter);
        else
            out += ch;
    }
    return out;
}

void reference_node(QString &out, const MarkupNode *node, int depth, bool legacy)
{
    const QString indent(qMin(depth, 100), QLatin1Char(' '));
    out += indent + QStringLiteral("<node description=\"")
           + reference_text(node->data(MarkupColumn::Description).toString(), legacy)
           + QStringLiteral("\" start=\"")
           + QString::number(MarkupNode::to_offset(node->data(MarkupColumn::Start)))
           + QStringLiteral("\" end=\"")
           + QString::number(MarkupNode::to_offset(node->data(MarkupColumn::End)))
           + QStringLiteral("\" repeat=\"");
    const QVariant repeat = node->data(MarkupColumn::Repeat);
    if (repeat.typeId() == QMetaType::Bool)
        out += repeat.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    else
        out += reference_text(repeat.toString(), legacy);
    const QColor colours[] = { node->foreground(), node->background() };
    const char *names[] = { "foreground", "background" };
    for (int k = 0; k < 2; ++k) {
        const QColor c = colours[k];
        out += QStringLiteral("\" %1_red=\"%2\" %1_green=\"%3\" %1_blue=\"%4")
                   .arg(QLatin1String(names[k]))
                   .arg(c.isValid() ? c.red() : 0)
                   .arg(c.isValid() ? c.green() : 0)
                   .arg(c.isValid() ? c.blue() : 0);
    }
    if (node->child_count() == 0) {
        out += QStringLiteral("\"/>\n");
        return;
    }
    out += QStringLiteral("\">\n");
    for (const MarkupNode *c : node->children())
        reference_node(out, c, depth + 1, legacy);
    out += indent + QStringLiteral("</node>\n");
}

QByteArray reference_file(const MarkupNode *root, bool legacy = false)
{
    QString out = QStringLiteral("<!DOCTYPE PQML>\n");
    if (root->child_count() == 0)
        return (out + QStringLiteral("<pellowquarnbybook/>\n")).toUtf8();
    out += QStringLiteral("<pellowquarnbybook>\n");
    for (const MarkupNode *c : root->children())
        reference_node(out, c, 1, legacy);
    out += QStringLiteral("</pellowquarnbybook>\n");
    return out.toUtf8();
}

class TestMarkupFileWriter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MarkupModel> m_model;
    std::unique_ptr<MarkupTree> m_tree;

    QByteArray streamed()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!m_tree->write_markup_file(buffer))
            return QByteArray("write failed");
        return buffer.data();
    }

    void build(const QString &kind, int size)
    {
        QRandomGenerator rng(quint32(size) * 7 + 1);
        if (kind == QLatin1String("empty"))
            return;
        if (kind == QLatin1String("random")) {
            pq_markup_test::random_tree(*m_tree, rng, size, qint64(size) * 20);
            return;
        }
        if (kind == QLatin1String("nested")) {
            // Deeper than the indentation grows.
            for (int k = 0; k < size; ++k)
                QVERIFY(m_tree->insert_range(k, 10 * size - k));
            return;
        }
        if (kind == QLatin1String("offsets")) {
            // Every digit count, the 32-bit edges, the largest offset, and the
            // negative and unreadable offsets a hand-made file may hold.
            QString xml = QStringLiteral("<pellowquarnbybook>");
            const qint64 starts[] = { 0, 9, 10, 99, 100, 999999999, 1000000000, 4294967295LL,
                                      4294967296LL, 99999999999999LL, 9223372036854775806LL };
            for (qint64 a : starts)
                xml += QStringLiteral("<node start=\"%1\" end=\"%2\"/>").arg(a).arg(a + 1);
            xml += QStringLiteral("<node start=\"-5\" end=\"x\"/><node start=\"-9223372036854775808\" "
                                  "end=\"9223372036854775807\"/></pellowquarnbybook>");
            QVERIFY(m_tree->load_xml(xml));
            return;
        }
        if (kind == QLatin1String("texts")) {
            // Escaped characters, non-ASCII, surrogate pairs, lone surrogates
            // and control characters, in descriptions and repeat texts.
            const QStringList texts = {
                QStringLiteral("plain"), QStringLiteral("a & b < c > d \"e\" 'f'"),
                QString::fromUtf8("Ω é 😀"), QString::fromUtf8("café"),
                QStringLiteral("tab\there\nnew\rline"),
                QString(QChar(0xD800)) + QStringLiteral("x"), QString(QChar(0x01)),
                QString(QChar(0xFFFE)), QString(), QString(300, QLatin1Char('w')),
                // A special unit after a plain run, and the units 0x7F, 0x80
                // and 0x8000 at either end of a text.
                QStringLiteral("abcdefgh"), QStringLiteral("0123456789abcdef"),
                QStringLiteral("abcdefghij&k"), QStringLiteral("abcdefg\""),
                QStringLiteral("abcdefgh<"), QStringLiteral("abcdefgh") + QChar(0x1F),
                QStringLiteral("abcdefg") + QChar(0x7F) + QChar(0x80),
                QStringLiteral("abcdefghijklmno") + QChar(0xE9),
                QChar(0x8000) + QStringLiteral("abcdefgh"),
            };
            for (int i = 0; i < texts.size(); ++i) {
                QVERIFY(m_tree->insert_range(i * 10, i * 10 + 5));
                const QModelIndex row = m_model->index(i, 0);
                QVERIFY(m_model->setData(row.siblingAtColumn(MarkupColumn::Description), texts[i]));
                QVERIFY(m_model->setData(row.siblingAtColumn(MarkupColumn::Repeat),
                                       i % 2 ? QVariant(texts[i]) : QVariant(i % 4 == 0)));
                MarkupNode *node = m_model->root()->child(i);
                node->set_foreground(i % 3 ? QColor(i * 25, 255 - i, 7) : QColor());
                // Colours held in other models are written as their RGB values.
                node->set_background(i == 2 ? QColor::fromHsv(200, 150, 99)
                                     : i == 3 ? QColor::fromCmyk(10, 200, 30, 40)
                                              : QColor(0, 100, 255));
            }
        }
    }

private slots:
    void init()
    {
        m_model = std::make_unique<MarkupModel>();
        m_tree = std::make_unique<MarkupTree>(m_model.get());
    }

    void cleanup()
    {
        m_tree.reset();
        m_model.reset();
    }

    void same_bytes_as_reference_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::newRow("empty-tree") << "empty" << 0;
        QTest::newRow("one-markup") << "random" << 1;
        QTest::newRow("random-small") << "random" << 60;
        // Several megabytes.
        QTest::newRow("random-large") << "random" << 24000;
        QTest::newRow("nested-past-indent-limit") << "nested" << 150;
        QTest::newRow("escaped-and-unicode-texts") << "texts" << 0;
        QTest::newRow("offsets-of-every-length") << "offsets" << 0;
    }

    void same_bytes_as_reference()
    {
        QFETCH(QString, kind);
        QFETCH(int, size);
        build(kind, size);
        const QByteArray expected = reference_file(m_model->root());
        QCOMPARE(m_tree->to_markup_file(), expected);
        QCOMPARE(streamed(), expected);
        QCOMPARE(MarkupTree::encode_markup_file(m_tree->to_xml()), expected);
        // It reads back as the same tree, and so does the file as earlier
        // versions wrote it.
        QVERIFY(m_tree->load_xml(MarkupTree::decode_markup_file(expected)));
        QCOMPARE(m_tree->to_markup_file(), expected);
        QVERIFY(m_tree->load_xml(MarkupTree::decode_markup_file(reference_file(m_model->root(), true))));
        QCOMPARE(m_tree->to_markup_file(), expected);
    }

    void device_that_stops_taking_bytes_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("refuses-at-once") << qint64(0);
        QTest::newRow("stops-after-one-mib") << qint64(1024 * 1024);
        QTest::newRow("cut-short-inside-a-write") << qint64(1200 * 1024 + 3);
        QTest::newRow("fails-on-last-bytes") << qint64(-1);
    }

    void device_that_stops_taking_bytes()
    {
        QFETCH(qint64, limit);
        build(QStringLiteral("random"), 24000);
        const QByteArray whole = m_tree->to_markup_file();
        QVERIFY(whole.size() > 3 * 1024 * 1024);
        ShortDevice device(limit < 0 ? whole.size() - 1 : limit);
        QVERIFY(!m_tree->write_markup_file(device));
        QVERIFY(device.taken() < whole.size());
    }

    void device_not_open_for_writing()
    {
        QVERIFY(m_tree->insert_range(0, 9));
        QBuffer closed;
        QVERIFY(!m_tree->write_markup_file(closed));
        QBuffer read_only;
        read_only.open(QIODevice::ReadOnly);
        QVERIFY(!m_tree->write_markup_file(read_only));
    }
};

QTEST_GUILESS_MAIN(TestMarkupFileWriter)
#include "tst_markupfilewriter.moc"
