#include "markup/edithistory.h"
#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupstepdecoder.h"
#include "markup/markuptree.h"
#include "markup/placemarkupscommand.h"

#include <QDataStream>
#include <QTest>

#include <memory>

namespace {

// Places given subtrees as its steps, as a template's command does once it
// has found where they go.
class Placer : public PlaceMarkupsCommand
{
public:
    Placer(EditHistory *history, MarkupTree *tree)
        : PlaceMarkupsCommand(history, tree, QStringLiteral("Place"))
    {
    }
    void add(const QList<int> &path, MarkupNode *subtree)
    {
        m_steps.push_back(Step { true, path, {}, std::unique_ptr<MarkupNode>(subtree) });
    }
};

// Every column's value with its type, the colours in their colour model, the doc
// and the children, in file order.
QStringList dump(const MarkupNode *node)
{
    QStringList out;
    for (const MarkupNode *c : node->children()) {
        QStringList values;
        for (int col = 0; col < MarkupColumn::count; ++col)
            values << QString::fromLatin1(c->data(col).typeName()) + QLatin1Char(':') + c->data(col).toString();
        // A colour as a stream writes it: its model first, then its values.
        QByteArray background;
        QDataStream stream(&background, QIODevice::WriteOnly);
        stream << c->background();
        values << c->foreground().name(QColor::HexArgb) << QString::fromLatin1(background.toHex()) << c->doc();
        out << values.join(QLatin1Char(' ')) << dump(c);
    }
    return out;
}

} // namespace

class TestPlaceMarkupsCommand : public QObject
{
    Q_OBJECT

private slots:
    // Its journal record makes the same markups again, every value in the
    // form it was stored in, and undo and redo keep them.
    void record_makes_the_same_markups();
};

void TestPlaceMarkupsCommand::record_makes_the_same_markups()
{
    EditHistory history;
    MarkupModel model;
    MarkupTree tree(&model);
    auto *top = new MarkupNode(QStringLiteral("top"), nullptr);
    top->set_range(0, 99);
    top->set_background(QColor::fromHsl(120, 150, 222));
    top->set_doc(QStringLiteral("what it is"));
    auto *edited = new MarkupNode(QVariant(7), top);
    edited->set_data(MarkupColumn::Start, QStringLiteral("10"));
    edited->set_data(MarkupColumn::End, int(19));
    edited->set_data(MarkupColumn::Length, QStringLiteral("010"));
    edited->set_data(MarkupColumn::Repeat, QStringLiteral("true"));
    top->append_child(edited);
    auto *placer = new Placer(&history, &tree);
    placer->add({ 0 }, top);
    const QByteArray record = placer->record();
    QVERIFY(history.run(placer));
    const QStringList placed = dump(model.root());
    QCOMPARE(placed.size(), 2);
    QVERIFY2(placed.at(1).startsWith(QStringLiteral("int:7 QString:10 int:19 QString:010 QString:true")),
             qPrintable(placed.at(1)));

    EditHistory again_history;
    MarkupModel again_model;
    MarkupTree again(&again_model);
    EditCommand *decoded = MarkupStepDecoder::decode(record, &again_history, &again);
    QVERIFY(decoded);
    QVERIFY(again_history.run(decoded));
    QCOMPARE(dump(again_model.root()), placed);
    again_history.undo();
    QCOMPARE(again_model.root()->child_count(), 0);
    again_history.redo();
    QCOMPARE(dump(again_model.root()), placed);
    QVERIFY(!MarkupStepDecoder::decode(record.left(record.size() - 3), &again_history, &again));
}

QTEST_GUILESS_MAIN(TestPlaceMarkupsCommand)
#include "tst_placemarkupscommand.moc"
