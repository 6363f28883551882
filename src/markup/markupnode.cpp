#include "markup/markupnode.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace {

// Whether `text` is exactly what QString::number(value) makes, checked
// without making it: a markup file's loader stores every offset as text.
bool spells(const QString &text, qint64 value)
{
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    const qsizetype size = written.ptr - digits;
    if (text.size() != size)
        return false;
    for (qsizetype i = 0; i < size; ++i) {
        if (text.at(i) != QLatin1Char(digits[i]))
            return false;
    }
    return true;
}

} // namespace

MarkupNode::MarkupNode(const QVariant &description, MarkupNode *parent)
    : m_parent(parent)
{
    set_data(MarkupColumn::Description, description);
}

MarkupNode::MarkupNode(const MarkupNode &other)
    : m_repeat(other.m_repeat)
    , m_doc(other.m_doc)
    , m_start(other.m_start)
    , m_end(other.m_end)
    , m_length(other.m_length)
    , m_description(other.m_description)
    , m_foreground(other.m_foreground)
    , m_background(other.m_background)
    , m_forms(other.m_forms)
    , m_value_type(other.m_value_type)
{
    if (other.column_values)
        column_values = std::make_unique<std::array<QVariant, MarkupColumn::count>>(*other.column_values);
}

MarkupNode::~MarkupNode()
{
    // A subtree can be as deep as the file that described it: take it apart
    // with an explicit stack instead of recursive destructors.
    std::vector<MarkupNode *> pending(m_children.cbegin(), m_children.cend());
    m_children.clear();
    while (!pending.empty()) {
        MarkupNode *node = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), node->m_children.cbegin(), node->m_children.cend());
        node->m_children.clear();
        delete node;
    }
}

MarkupNode *MarkupNode::child(int row) const
{
    if (row == 0)
        return m_first_child;
    if (row < 0 || row >= m_children.size())
        return nullptr;
    return m_children.at(row);
}

int MarkupNode::row() const
{
    if (!m_parent)
        return 0;
    if (m_row == 0)
        return m_parent->m_first_child == this ? 0 : -1;
    const QList<MarkupNode *> &siblings = m_parent->m_children;
    if (m_row >= 0 && m_row < siblings.size() && siblings.at(m_row) == this)
        return m_row;
    return -1;
}

QVariant MarkupNode::data(int column) const
{
    if (column < 0 || column >= MarkupColumn::count)
        return QVariant();
    if (m_forms[size_t(column)] == Form::stored)
        return (*column_values)[size_t(column)];
    return compact_data(column);
}

QVariant MarkupNode::compact_data(int column) const
{
    const bool text = m_forms[size_t(column)] == Form::text;
    switch (column) {
    case MarkupColumn::Description:
        return m_description;
    case MarkupColumn::Start:
        return text ? QVariant(QString::number(m_start)) : QVariant(m_start);
    case MarkupColumn::End:
        return text ? QVariant(QString::number(m_end)) : QVariant(m_end);
    case MarkupColumn::Length:
        return text ? QVariant(QString::number(m_length)) : QVariant(m_length);
    default:
        return text ? QVariant(m_repeat ? QStringLiteral("true") : QStringLiteral("false")) : QVariant(m_repeat);
    }
}

bool MarkupNode::values_plain() const
{
    return std::all_of(m_forms.cbegin(), m_forms.cend(), [](Form f) { return f == Form::plain; });
}

QString MarkupNode::description() const
{
    if (m_forms[MarkupColumn::Description] == Form::stored)
        return (*column_values)[MarkupColumn::Description].toString();
    return m_description;
}

void MarkupNode::set_range(qint64 start, qint64 end)
{
    m_start = start;
    m_end = end;
    m_length = qint64(quint64(end) - quint64(start) + 1);
    for (const int c : { int(MarkupColumn::Start), int(MarkupColumn::End), int(MarkupColumn::Length) }) {
        m_forms[size_t(c)] = Form::plain;
        if (column_values)
            (*column_values)[size_t(c)] = QVariant();
    }
    if (column_values && std::none_of(m_forms.cbegin(), m_forms.cend(), [](Form f) { return f == Form::stored; }))
        column_values.reset();
    if (m_parent)
        m_parent->m_order_dirty = true;
}

void MarkupNode::set_data(int column, const QVariant &value)
{
    if (column < 0 || column >= MarkupColumn::count)
        return;
    const int type = value.typeId();
    Form form = Form::stored;
    switch (column) {
    case MarkupColumn::Description:
        m_description = type == QMetaType::QString ? value.toString() : QString();
        if (type == QMetaType::QString)
            form = Form::plain;
        break;
    case MarkupColumn::Start:
    case MarkupColumn::End:
    case MarkupColumn::Length: {
        const qint64 offset = to_offset(value);
        if (type == QMetaType::LongLong)
            form = Form::plain;
        else if (type == QMetaType::QString && spells(value.toString(), offset))
            form = Form::text;
        if (column == MarkupColumn::Length) {
            m_length = offset;
            break;
        }
        (column == MarkupColumn::Start ? m_start : m_end) = offset;
        if (m_parent)
            m_parent->m_order_dirty = true;
        break;
    }
    default:
        m_repeat = to_repeat(value);
        if (type == QMetaType::Bool)
            form = Form::plain;
        else if (type == QMetaType::QString
                 && (value.toString() == QLatin1String("true") || value.toString() == QLatin1String("false")))
            form = Form::text;
        break;
    }
    m_forms[size_t(column)] = form;
    if (form == Form::stored) {
        if (!column_values)
            column_values = std::make_unique<std::array<QVariant, MarkupColumn::count>>();
        (*column_values)[size_t(column)] = value;
    } else if (column_values) {
        (*column_values)[size_t(column)] = QVariant();
        if (std::none_of(m_forms.cbegin(), m_forms.cend(), [](Form f) { return f == Form::stored; }))
            column_values.reset();
    }
}

void MarkupNode::children_changed()
{
    m_order_dirty = true;
    m_grandchildren_dirty = true;
    // Whether this node has children is part of its parent's answer.
    if (m_parent)
        m_parent->m_grandchildren_dirty = true;
}

bool MarkupNode::children_ordered() const
{
    if (m_order_dirty) {
        m_children_ordered = true;
        for (qsizetype i = 0; i < m_children.size() && m_children_ordered; ++i) {
            const MarkupNode *c = m_children.at(i);
            if (c->m_start > c->m_end || (i > 0 && m_children.at(i - 1)->m_end >= c->m_start))
                m_children_ordered = false;
        }
        m_order_dirty = false;
    }
    return m_children_ordered;
}

bool MarkupNode::has_grandchildren() const
{
    if (m_grandchildren_dirty) {
        m_has_grandchildren = std::any_of(m_children.cbegin(), m_children.cend(),
                                          [](const MarkupNode *c) { return !c->m_children.isEmpty(); });
        m_grandchildren_dirty = false;
    }
    return m_has_grandchildren;
}

void MarkupNode::renumber_from(int row)
{
    for (qsizetype i = row; i < m_children.size(); ++i)
        m_children.at(i)->m_row = int(i);
}

void MarkupNode::insert_child(int row, MarkupNode *node)
{
    children_changed();
    const int at = m_children.isEmpty() ? 0 : qBound(0, row, int(m_children.size()));
    m_children.insert(at, node);
    first_child_changed();
    renumber_from(at);
}

void MarkupNode::append_child(MarkupNode *node)
{
    children_changed();
    node->m_row = int(m_children.size());
    m_children.append(node);
    first_child_changed();
}

void MarkupNode::remove_child(int row)
{
    if (row < 0 || row >= m_children.size())
        return;
    // A list in order stays in order without one of its entries.
    const bool stays_ordered = !m_order_dirty && m_children_ordered;
    children_changed();
    m_order_dirty = !stays_ordered;
    m_children.at(row)->m_row = -1;
    m_children.removeAt(row);
    first_child_changed();
    renumber_from(row);
}

void MarkupNode::clear_children()
{
    children_changed();
    m_children.clear();
    first_child_changed();
}

qint64 MarkupNode::to_offset(const QVariant &value)
{
    // Texts come from markup files and must be base-10 numbers; anything
    // unreadable counts as 0 rather than as a guess.
    bool ok = false;
    qint64 result = 0;
    switch (value.typeId()) {
    case QMetaType::QString:
        result = value.toString().toLongLong(&ok, 10);
        break;
    case QMetaType::QByteArray:
        result = value.toByteArray().toLongLong(&ok, 10);
        break;
    default:
        result = value.toLongLong(&ok);
        break;
    }
    return ok ? result : 0;
}

bool MarkupNode::to_repeat(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString:
        return value.toString() == QLatin1String("true");
    case QMetaType::QByteArray:
        return value.toByteArray() == "true";
    default:
        return false;
    }
}
