#include "panels/searchresultswidget.h"

#include "editedfile/findalltool.h"
#include "editedfile/hitlistmodel.h"
#include "hexview/hexwidget.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

SearchResultsWidget::SearchResultsWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *top = new QHBoxLayout;
    m_count_label = new QLabel(this);
    m_count_label->setObjectName(QStringLiteral("count_label"));
    m_stale_label = new QLabel(FindAllTool::stale_text(), this);
    m_stale_label->setObjectName(QStringLiteral("stale_label"));
    m_stale_label->setVisible(false);
    // A sentence that wraps in a narrow dock, rather than widen the window.
    m_stale_label->setWordWrap(true);
    m_stale_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_mark_all_button = new QPushButton(tr("Mark All"), this);
    m_mark_all_button->setObjectName(QStringLiteral("mark_all_button"));
    m_mark_all_button->setEnabled(false);
    top->addWidget(m_count_label);
    top->addStretch();
    top->addWidget(m_mark_all_button);
    layout->addLayout(top);
    layout->addWidget(m_stale_label);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("hit_view"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setShowGrid(false);
    m_view->setAlternatingRowColors(true);
    // One fixed height for every row: the view never asks the model to size
    // a row, so a long list scrolls at the cost of the rows shown.
    QHeaderView *rows = m_view->verticalHeader();
    rows->setVisible(false);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(m_view, 1);

    connect(m_view, &QAbstractItemView::clicked, this, &SearchResultsWidget::show_hit);
    connect(m_view, &QAbstractItemView::activated, this, &SearchResultsWidget::show_hit);
    connect(m_mark_all_button, &QPushButton::clicked, this, &SearchResultsWidget::mark_all_requested);
    update_count();
}

void SearchResultsWidget::set_tool(FindAllTool *tool)
{
    if (m_tool)
        disconnect(m_tool, nullptr, this, nullptr);
    m_tool = tool;
    m_view->setModel(tool ? tool->model() : nullptr);
    if (tool) {
        connect(tool, &FindAllTool::count_changed, this, &SearchResultsWidget::update_count);
        connect(tool, &FindAllTool::running_changed, this, &SearchResultsWidget::update_count);
        connect(tool, &FindAllTool::stale_changed, this, &SearchResultsWidget::update_stale);
        // Wide enough for an offset beyond 4 GiB and a 16-byte hex preview.
        const QFontMetrics metrics = m_view->fontMetrics();
        m_view->setColumnWidth(HitListModel::Offset, metrics.horizontalAdvance(QStringLiteral("0x0000000000")) + 12);
        m_view->setColumnWidth(HitListModel::Length, metrics.horizontalAdvance(QStringLiteral("Length00")) + 12);
        m_view->setColumnWidth(HitListModel::Hex,
                               metrics.horizontalAdvance(QString(HitListModel::preview_bytes * 3 + 4, QLatin1Char('0'))));
    }
    update_count();
    update_stale();
}

void SearchResultsWidget::set_hex_widget(HexWidget *hex_widget)
{
    m_hex_widget = hex_widget;
}

void SearchResultsWidget::show_hit(const QModelIndex &index)
{
    if (!m_tool || !m_hex_widget || !index.isValid())
        return;
    const std::optional<SearchHit> in_file = m_tool->hit_in_file(index.row());
    if (!in_file)
        return;
    const SearchHit hit = *in_file;
    if (hit.end == hit.first)
        m_hex_widget->set_cursor(hit.first);
    else
        m_hex_widget->set_selection(hit.first, hit.end - 1);
}

void SearchResultsWidget::update_count()
{
    const bool listed = m_tool && (m_tool->count() > 0 || m_tool->running() || !m_tool->expression().isEmpty());
    m_count_label->setText(listed ? m_tool->count_text() : tr("No search yet"));
    m_mark_all_button->setEnabled(m_tool && !m_tool->running() && m_tool->count() > 0);
}

void SearchResultsWidget::update_stale()
{
    m_stale_label->setVisible(m_tool && m_tool->stale());
}
