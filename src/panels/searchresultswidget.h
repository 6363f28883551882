#pragma once

#include <QPointer>
#include <QWidget>

class FindAllTool;
class HexWidget;
class QLabel;
class QModelIndex;
class QPushButton;
class QTableView;

// The Find All list: how many hits, whether the file changed since, Mark
// All, and one row per hit (offset, length, hex and text preview). Clicking
// a row, or Enter on it, selects the hit in the hex view and scrolls to it.
//
// The rows come from the tool's model; every row is one line of the same
// height, so the view lays out a hundred thousand of them without measuring
// each one.
class SearchResultsWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(SearchResultsWidget)

public:
    explicit SearchResultsWidget(QWidget *parent = nullptr);

    void set_tool(FindAllTool *tool);
    void set_hex_widget(HexWidget *hex_widget);
    QTableView *view() const { return m_view; }

signals:
    // Mark All was pressed; the window knows the colours to use.
    void mark_all_requested();

private:
    void show_hit(const QModelIndex &index);
    void update_count();
    void update_stale();

    QPointer<FindAllTool> m_tool;
    QPointer<HexWidget> m_hex_widget;
    QLabel *m_count_label = nullptr;
    QLabel *m_stale_label = nullptr;
    QPushButton *m_mark_all_button = nullptr;
    QTableView *m_view = nullptr;
};
