#include "markup/placemarkupscommand.h"

#include "markup/markupcolumn.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markuptree.h"

#include <QDataStream>

namespace {

// One markup without its children, and how many follow it as its children.
void write_node(QDataStream &out, const MarkupNode *node)
{
    const bool plain = node->values_plain();
    out << plain;
    if (plain) {
        out << node->description() << node->start() << node->end() << node->length() << node->is_repeat();
    } else {
        for (int c = 0; c < MarkupColumn::count; ++c)
            out << node->data(c);
    }
    out << node->foreground() << node->background() << node->doc() << node->is_expanded()
        << node->value_type().to_text() << qint32(node->child_count());
}

// Null when the stream fails.
std::unique_ptr<MarkupNode> read_node(QDataStream &in, qint32 *children)
{
    bool plain = false;
    in >> plain;
    std::unique_ptr<MarkupNode> node;
    if (plain) {
        QString description;
        qint64 start = 0;
        qint64 end = 0;
        qint64 length = 0;
        bool repeat = false;
        in >> description >> start >> end >> length >> repeat;
        node = std::make_unique<MarkupNode>(description, nullptr);
        node->set_range(start, end);
        if (length != node->length())
            node->set_data(MarkupColumn::Length, length);
        node->set_data(MarkupColumn::Repeat, repeat);
    } else {
        node = std::make_unique<MarkupNode>(QVariant(), nullptr);
        for (int c = 0; c < MarkupColumn::count; ++c) {
            QVariant value;
            in >> value;
            node->set_data(c, value);
        }
    }
    QColor foreground;
    QColor background;
    QString doc;
    bool expanded = false;
    QString type;
    in >> foreground >> background >> doc >> expanded >> type >> *children;
    if (in.status() != QDataStream::Ok || *children < 0)
        return nullptr;
    node->set_foreground(foreground);
    node->set_background(background);
    node->set_doc(doc);
    node->set_expanded(expanded);
    node->set_value_type(MarkupValueType::from_text(type));
    return node;
}

// Parents before children, without recursion: subtrees may be deep.
void write_subtree(QDataStream &out, const MarkupNode *top)
{
    std::vector<const MarkupNode *> pending { top };
    while (!pending.empty()) {
        const MarkupNode *node = pending.back();
        pending.pop_back();
        write_node(out, node);
        pending.insert(pending.end(), node->children().crbegin(), node->children().crend());
    }
}

std::unique_ptr<MarkupNode> read_subtree(QDataStream &in)
{
    std::unique_ptr<MarkupNode> top;
    // Markups still waiting for children, with how many.
    std::vector<std::pair<MarkupNode *, qint32>> open;
    do {
        qint32 children = 0;
        std::unique_ptr<MarkupNode> node = read_node(in, &children);
        if (!node)
            return nullptr;
        MarkupNode *at = node.get();
        if (!top) {
            top = std::move(node);
        } else {
            MarkupNode *parent = open.back().first;
            at->set_parent_node(parent);
            parent->append_child(node.release());
            if (--open.back().second == 0)
                open.pop_back();
        }
        if (children > 0)
            open.emplace_back(at, children);
    } while (!open.empty());
    return top;
}

} // namespace

PlaceMarkupsCommand::PlaceMarkupsCommand(EditHistory *history, MarkupTree *tree, const QString &text)
    : EditCommand(history, EditHistory::markup, text)
    , m_tree(tree)
{
}

PlaceMarkupsCommand::~PlaceMarkupsCommand() = default;

bool PlaceMarkupsCommand::apply()
{
    MarkupModel *model = m_tree->model();
    model->begin_change();
    for (Step &step : m_steps) {
        if (step.whole_subtree) {
            MarkupNode *parent = m_tree->node_at_path(step.path.mid(0, step.path.size() - 1));
            m_tree->put_subtree(parent, step.path.last(), step.held.release());
            continue;
        }
        const MarkupNode &values = *step.held;
        MarkupNode *node = m_tree->mark_range(values.start(), values.end(), &step.adopted_rows,
                                              values.description(), values.value_type());
        if (!node)
            continue;
        m_tree->set_colours(node, values.foreground(), values.background());
        node->set_doc(values.doc());
    }
    model->end_change();
    return !m_steps.empty();
}

void PlaceMarkupsCommand::revert()
{
    MarkupModel *model = m_tree->model();
    model->begin_change();
    take_back();
    model->end_change();
}

void PlaceMarkupsCommand::take_back()
{
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
        MarkupNode *node = m_tree->node_at_path(it->path);
        if (it->whole_subtree)
            it->held.reset(m_tree->take_subtree(node));
        else
            m_tree->unmark(node, it->adopted_rows);
    }
}

QByteArray PlaceMarkupsCommand::record() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(record_stream_version);
    out << qint8(record_kind);
    // Texts are copied as they are held, not byte by byte swapped.
    out.setByteOrder(QDataStream::LittleEndian);
    out << text() << qint64(m_steps.size());
    for (const Step &step : m_steps) {
        const MarkupNode *node = step.held ? step.held.get() : m_tree->node_at_path(step.path);
        if (!node)
            return QByteArray();
        out << step.whole_subtree << step.path << step.adopted_rows;
        if (step.whole_subtree)
            write_subtree(out, node);
        else
            write_node(out, node);
    }
    return bytes;
}

PlaceMarkupsCommand *PlaceMarkupsCommand::from_record(QDataStream &in, EditHistory *history, MarkupTree *tree)
{
    QString text;
    qint64 count = 0;
    in.setByteOrder(QDataStream::LittleEndian);
    in >> text >> count;
    if (in.status() != QDataStream::Ok || count <= 0)
        return nullptr;
    std::unique_ptr<PlaceMarkupsCommand> command(new PlaceMarkupsCommand(history, tree, text));
    for (qint64 i = 0; i < count; ++i) {
        Step step;
        in >> step.whole_subtree >> step.path >> step.adopted_rows;
        if (in.status() != QDataStream::Ok || step.path.isEmpty())
            return nullptr;
        if (step.whole_subtree) {
            step.held = read_subtree(in);
        } else {
            qint32 children = 0;
            step.held = read_node(in, &children);
        }
        if (!step.held)
            return nullptr;
        command->m_steps.push_back(std::move(step));
    }
    return command.release();
}
