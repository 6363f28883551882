#include "panels/inspectorwidget.h"

#include "editedfile/editedfile.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>


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
    m_little_button = new QRadioButton(tr("&Little-endian"), this);
    m_big_button = new QRadioButton(tr("&Big-endian"), this);
    m_little_button->setChecked(true);
    auto *group = new QButtonGroup(this);
    group->addButton(m_little_button);
    group->addButton(m_big_button);
    order->addWidget(m_little_button);
    order->addWidget(m_big_button);
    order->addStretch(1);
    layout->addLayout(order);
    connect(m_little_button, &QRadioButton::toggled, this, [this] { refresh(); });

    m_table = new QTreeWidget(this);
    m_table->setColumnCount(2);
    m_table->setHeaderLabels({tr("Type"), tr("Value")});
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (ValueDecoder::Type type : ValueDecoder::types()) {
        auto *item = new QTreeWidgetItem(m_table, {ValueDecoder::name(type), QString()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    layout->addWidget(m_table);
    connect(m_table, &QTreeWidget::customContextMenuRequested, this,
            &InspectorWidget::show_context_menu);
}

void InspectorWidget::set_edited_file(EditedFile *file)
{
    if (m_file)
        disconnect(m_file, nullptr, this, nullptr);
    m_file = file;
    if (file) {
        connect(file, &EditedFile::bytes_changed, this, &InspectorWidget::follow_bytes);
        connect(file, &EditedFile::file_changed, this, [this] { set_offset(m_offset); });
    }
    set_offset(m_offset);
}

void InspectorWidget::follow_bytes(qint64 first, qint64 last)
{
    if (m_offset >= 0 && first < m_offset + ValueDecoder::max_bytes && last >= m_offset)
        set_offset(m_offset);
}

bool InspectorWidget::little_endian() const
{
    return m_little_button->isChecked();
}

void InspectorWidget::set_little_endian(bool little)
{
    (little ? m_little_button : m_big_button)->setChecked(true);
}

QString InspectorWidget::value_text(ValueDecoder::Type type) const
{
    const int row = int(ValueDecoder::types().indexOf(type));
    return m_table->topLevelItem(row)->text(1);
}

void InspectorWidget::set_offset(qint64 offset)
{
    m_offset = offset;
    m_stale = true;
    // A hidden dock costs nothing: the bytes are read when it is shown.
    if (isVisible())
        refresh();
}

void InspectorWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        refresh();
}

QByteArray InspectorWidget::read_at_cursor() const
{
    if (!m_file || m_offset < 0)
        return QByteArray();
    return m_file->read(m_offset, ValueDecoder::max_bytes);
}

void InspectorWidget::refresh()
{
    m_stale = false;
    m_bytes = read_at_cursor();
    const bool little = little_endian();
    const QList<ValueDecoder::Type> types = ValueDecoder::types();
    for (int row = 0; row < types.size(); ++row)
        m_table->topLevelItem(row)->setText(1, ValueDecoder::decode(types.at(row), m_bytes, little));
}

bool InspectorWidget::mark_range(ValueDecoder::Type type, qint64 *first, qint64 *last) const
{
    if (m_stale || m_offset < 0)
        return false;
    const int count = ValueDecoder::size(type, read_at_cursor());
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
        emit mark_requested(first, last, ValueDecoder::name(type),
                            MarkupValueType(type, little_endian()));
}

void InspectorWidget::show_context_menu(const QPoint &pos)
{
    QTreeWidgetItem *item = m_table->itemAt(pos);
    if (!item)
        return;
    const ValueDecoder::Type type = row_type(m_table->indexOfTopLevelItem(item));
    qint64 first = 0;
    qint64 last = 0;
    QMenu menu;
    QAction *mark = menu.addAction(tr("Mark as %1").arg(ValueDecoder::name(type)));
    mark->setEnabled(mark_range(type, &first, &last));
    if (menu.exec(m_table->viewport()->mapToGlobal(pos)) == mark)
        mark_as(type);
}
