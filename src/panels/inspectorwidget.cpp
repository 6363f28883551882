#include "panels/inspectorwidget.h"

#include "document/buffereddocument.h"
#include "document/documenterror.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>

namespace {

ValueDecoder::Type row_type(int row)
{
    return ValueDecoder::types().at(row);
}

} // namespace

InspectorWidget::InspectorWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);

    auto *order = new QHBoxLayout;
    little_button = new QRadioButton(tr("&Little-endian"), this);
    big_button = new QRadioButton(tr("&Big-endian"), this);
    little_button->setChecked(true);
    auto *group = new QButtonGroup(this);
    group->addButton(little_button);
    group->addButton(big_button);
    order->addWidget(little_button);
    order->addWidget(big_button);
    order->addStretch(1);
    layout->addLayout(order);
    connect(little_button, &QRadioButton::toggled, this, [this] { refresh(); });

    table = new QTreeWidget(this);
    table->setColumnCount(2);
    table->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Value")});
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (ValueDecoder::Type type : ValueDecoder::types()) {
        auto *item = new QTreeWidgetItem(table, {ValueDecoder::name(type), QString()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    layout->addWidget(table);
    connect(table, &QTreeWidget::customContextMenuRequested, this,
            &InspectorWidget::show_context_menu);
}

void InspectorWidget::set_hex_widget(HexWidget *widget)
{
    hex_widget = widget;
    set_offset(m_offset);
}

bool InspectorWidget::little_endian() const
{
    return little_button->isChecked();
}

void InspectorWidget::set_little_endian(bool little)
{
    (little ? little_button : big_button)->setChecked(true);
}

QString InspectorWidget::value_text(ValueDecoder::Type type) const
{
    const int row = int(ValueDecoder::types().indexOf(type));
    return table->topLevelItem(row)->text(1);
}

void InspectorWidget::set_offset(qint64 offset)
{
    m_offset = offset;
    stale = true;
    // A hidden dock costs nothing: the bytes are read when it is shown.
    if (isVisible())
        refresh();
}

void InspectorWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (stale)
        refresh();
}

QByteArray InspectorWidget::read_at_cursor() const
{
    if (!hex_widget || m_offset < 0)
        return QByteArray();
    HexDocument *document = hex_widget->document();
    if (!document->is_open())
        return QByteArray();
    QByteArray result;
    try {
        const qint64 size = document->size();
        if (m_offset >= size)
            return QByteArray();
        result.resize(int(qMin<qint64>(ValueDecoder::max_bytes, size - m_offset)));
        document->buffered_document()->read(int(result.size()), m_offset, result.data());
    } catch (const DocumentError &) {
        // The file went away or shrank: nothing to decode.
        return QByteArray();
    }
    // The values the user typed but has not saved yet are what the view shows.
    for (int i = 0; i < result.size(); ++i) {
        const int edited = hex_widget->edited_value(m_offset + i);
        if (edited >= 0)
            result[i] = char(edited);
    }
    return result;
}

void InspectorWidget::refresh()
{
    stale = false;
    bytes = read_at_cursor();
    const bool little = little_endian();
    const QList<ValueDecoder::Type> types = ValueDecoder::types();
    for (int row = 0; row < types.size(); ++row)
        table->topLevelItem(row)->setText(1, ValueDecoder::decode(types.at(row), bytes, little));
}

bool InspectorWidget::mark_range(ValueDecoder::Type type, qint64 *first, qint64 *last) const
{
    if (stale || m_offset < 0)
        return false;
    const int count = ValueDecoder::size(type, bytes);
    if (count == 0)
        return false;
    *first = m_offset;
    *last = m_offset + count - 1;
    return true;
}

void InspectorWidget::mark_as(ValueDecoder::Type type)
{
    qint64 first = 0;
    qint64 last = 0;
    if (mark_range(type, &first, &last))
        emit mark_requested(first, last, ValueDecoder::name(type));
}

void InspectorWidget::show_context_menu(const QPoint &pos)
{
    QTreeWidgetItem *item = table->itemAt(pos);
    if (!item)
        return;
    const ValueDecoder::Type type = row_type(table->indexOfTopLevelItem(item));
    qint64 first = 0;
    qint64 last = 0;
    QMenu menu;
    QAction *mark = menu.addAction(QStringLiteral("Mark as %1").arg(ValueDecoder::name(type)));
    mark->setEnabled(mark_range(type, &first, &last));
    if (menu.exec(table->viewport()->mapToGlobal(pos)) == mark)
        mark_as(type);
}
