#pragma once

#include "search/searchengine.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

class FindAllTool;
class HexValidator;
class HexWidget;
class QBoxLayout;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;

// The "Search" page of the side toolbox: an expression, Regex or Simple
// search, the Simple string typed as Alpha text or as Hexadecimal digits,
// Search and Cancel, and the progress of a running search. The progress bar
// stands at 0 whenever no search runs: it is reset when a search starts and
// ends (whatever the outcome) and when the edited file opens another file.
//
// Each Search continues where the previous hit ended; any click on a mode
// button and any edit of the expression start again at offset 0, and so do a
// miss, a cancel and an error. The search runs on the GUI thread and keeps the
// window alive through setProgress(); while it runs, Search, the mode buttons
// and the expression are disabled and every request to start another search
// or to reset the range is ignored, so only Cancel acts on it; the hex
// widget refuses byte edits meanwhile. Cancel acts on nothing else: pressed
// while no search runs, it is ignored.
//
// An empty regex match at p shows the cursor at p with "Empty match at 0x..."
// and the next search starts at p + 1, so repeated searches walk on.
//
// A file cut short while the search read it ends the search with "The file
// changed during the search", and the edited file shows it as it now is.
//
// Find All runs the same search over the whole file, with the same progress,
// Cancel and locks, and lists every hit in find_all_tool() (the hits repeated
// Search from the start of the file would find); the Search walk keeps its
// place.
//
// The hex widget shows the hits and supplies the document and the edited
// file; the status bar shows the outcome. Both are handed in and may be null.
class SearchWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(SearchWidget)

public:
    explicit SearchWidget(QWidget *parent = nullptr);
    ~SearchWidget() override;

    void set_hex_widget(HexWidget *hex_widget);
    // Find All's hit list, made for the hex widget's edited file; null until
    // a hex widget is set.
    FindAllTool *find_all_tool() const { return m_find_all; }
    void set_status_bar(QStatusBar *status_bar);
    // The Regex/Simple and Alpha/Hexadecimal groups one above the other (the
    // default, for a narrow dock) or side by side (a wide, short dock).
    void set_groups_side_by_side(bool side_by_side);

    // True while search() is running (it processes events as it goes).
    bool searching() const { return m_running; }
    // Puts the keyboard in the expression field with its text selected.
    void focus_expression();

signals:
    // A search started (true) or returned (false). While one runs the hex
    // widget's byte edits are locked as well.
    void running_changed(bool running);
    // Find All is about to fill its list (the window shows it).
    void find_all_started();

public slots:
    void search();
    void find_all();
    void cancel();
    // Shows `value` (ten-thousandths of the file) and lets pending events run,
    // at most every few milliseconds while a search runs.
    void setProgress(int value);
    // Searches from the start of the file for the bytes that `text` spells in
    // hexadecimal (the hex widget's selection); ignored while a search runs.
    void perform_search(const QString &text);

protected:
    // A window closed in the middle of a search cancels it, so that a closed
    // program does not go on scanning out of sight.
    void hideEvent(QHideEvent *event) override;

private slots:
    void resetsearch();
    void disablebuttongroup();
    void enable_hex_validator();
    void disable_hex_validator();

private:
    void show_status(const QString &text, const QString &detail = QString());
    // The pattern the fields ask for: Latin-1 bytes for Simple, the
    // expression for Regex. False, with the reason shown, when there is none.
    bool read_pattern(QString *pattern, bool *regex_mode);
    void connect_progress();
    void set_running(bool on);
    // Find All: only with a file open and no search running.
    void update_find_all_button();
    HexDocument *current_document() const;

    QLineEdit *expression_edit = nullptr;
    QProgressBar *progress_bar = nullptr;
    SearchEngine m_engine;
    QGroupBox *format_box = nullptr;
    QGroupBox *m_mode_box = nullptr;
    QBoxLayout *m_groups_layout = nullptr;
    QRadioButton *hex_button = nullptr;
    QRadioButton *alpha_button = nullptr;
    QRadioButton *regex_button = nullptr;
    QRadioButton *simple_button = nullptr;
    QPushButton *m_search_button = nullptr;
    QPushButton *m_cancel_button = nullptr;
    QPushButton *m_find_all_button = nullptr;
    FindAllTool *m_find_all = nullptr;
    HexValidator *m_hex_validator = nullptr;

    QPointer<HexWidget> m_hex_widget;
    QPointer<QStatusBar> m_status_bar;

    bool m_running = false;
    // The last hit was an empty match; the next search starts one byte later.
    bool m_step_past_empty = false;
    QPointer<QWidget> m_focus_before;
    // Events run at the first report of a search and then at most once per
    // interval, checked every few reports, so that a report costs little more
    // than the progress bar's own update.
    QElapsedTimer m_events_timer;
    int m_reports_since_check = 0;
};
