#include "panels/searchwidget.h"

#include "document/fileanchor.h"
#include "document/hexdocument.h"
#include "validators/hexvalidator.h"
#include "hexview/hexwidget.h"

#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

const int progress_maximum = 10000;
// Long enough that a report rarely pays for event processing, short enough
// that Cancel and repaints feel immediate.
const qint64 events_interval_ms = 15;
const int reports_per_clock_check = 16;

} // namespace

SearchWidget::SearchWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QGridLayout(this);

    auto *label = new QLabel(QStringLiteral("Expression"), this);
    expression_edit = new QLineEdit(this);
    expression_edit->setObjectName(QStringLiteral("expression_edit"));
    expression_edit->setMaxLength(999);
    progress_bar = new QProgressBar(this);
    progress_bar->setObjectName(QStringLiteral("progress_bar"));
    search_button = new QPushButton(QStringLiteral("Search"), this);
    search_button->setObjectName(QStringLiteral("search_button"));
    search_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_button->setObjectName(QStringLiteral("cancel_button"));
    cancel_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    format_box = new QGroupBox(this);
    format_box->setObjectName(QStringLiteral("format_box"));
    auto *format_layout = new QVBoxLayout(format_box);
    alpha_button = new QRadioButton(tr("&Alpha"), format_box);
    alpha_button->setObjectName(QStringLiteral("alpha_button"));
    alpha_button->setChecked(true);
    hex_button = new QRadioButton(tr("&Hexadecimal"), format_box);
    hex_button->setObjectName(QStringLiteral("hex_button"));
    format_layout->addWidget(alpha_button, 0, Qt::AlignLeft);
    format_layout->addWidget(hex_button, 0, Qt::AlignLeft);
    format_layout->addStretch(1);

    mode_box = new QGroupBox(this);
    mode_box->setObjectName(QStringLiteral("mode_box"));
    auto *mode_layout = new QVBoxLayout(mode_box);
    regex_button = new QRadioButton(tr("&Regex"), mode_box);
    regex_button->setObjectName(QStringLiteral("regex_button"));
    regex_button->setChecked(true);
    simple_button = new QRadioButton(tr("&Simple"), mode_box);
    simple_button->setObjectName(QStringLiteral("simple_button"));
    mode_layout->addWidget(regex_button, 0, Qt::AlignLeft);
    mode_layout->addWidget(simple_button, 0, Qt::AlignLeft);
    mode_layout->addStretch(1);

    format_box->setEnabled(false);

    // Stacked for a narrow dock: every row takes the page's width, so the
    // page is only as wide as its widest control, and extra height stays
    // below the buttons. In a wide dock the two radio groups may sit side by
    // side to save height (set_groups_side_by_side).
    label->setBuddy(expression_edit);
    layout->addWidget(label, 0, 0, 1, 2);
    layout->addWidget(expression_edit, 1, 0, 1, 2);
    groups_layout = new QBoxLayout(QBoxLayout::TopToBottom);
    groups_layout->addWidget(mode_box);
    groups_layout->addWidget(format_box);
    layout->addLayout(groups_layout, 2, 0, 1, 2);
    layout->addWidget(progress_bar, 3, 0, 1, 2);
    layout->addWidget(search_button, 4, 0);
    layout->addWidget(cancel_button, 4, 1);
    layout->setRowStretch(5, 1);

    connect(search_button, &QPushButton::clicked, this, &SearchWidget::search);
    connect(cancel_button, &QPushButton::clicked, this, &SearchWidget::cancel);
    connect(hex_button, &QRadioButton::clicked, this, &SearchWidget::resetsearch);
    connect(alpha_button, &QRadioButton::clicked, this, &SearchWidget::resetsearch);
    connect(regex_button, &QRadioButton::clicked, this, &SearchWidget::resetsearch);
    connect(simple_button, &QRadioButton::clicked, this, &SearchWidget::resetsearch);
    connect(expression_edit, &QLineEdit::textEdited, this, &SearchWidget::resetsearch);
    connect(hex_button, &QRadioButton::clicked, this, &SearchWidget::enable_hex_validator);
    connect(alpha_button, &QRadioButton::clicked, this, &SearchWidget::disable_hex_validator);
    connect(regex_button, &QRadioButton::clicked, this, &SearchWidget::disablebuttongroup);
    connect(simple_button, &QRadioButton::clicked, this, &SearchWidget::disablebuttongroup);
    // The hexadecimal validator belongs to Simple + Hexadecimal only: Regex
    // drops it (so "(" can be typed), Simple brings it back when Hexadecimal
    // is still the chosen format.
    connect(regex_button, &QRadioButton::clicked, this, &SearchWidget::disable_hex_validator);
    connect(simple_button, &QRadioButton::clicked, this, [this] {
        if (hex_button->isChecked())
            enable_hex_validator();
    });
    connect(expression_edit, &QLineEdit::returnPressed, this, &SearchWidget::search);
}

SearchWidget::~SearchWidget() = default;

void SearchWidget::set_groups_side_by_side(bool side_by_side)
{
    groups_layout->setDirection(side_by_side ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // The grid caches its size hints until the next layout pass; callers
    // measure the page right after this.
    layout()->invalidate();
}

void SearchWidget::set_hex_widget(HexWidget *widget)
{
    hex_widget = widget;
}

void SearchWidget::set_status_bar(QStatusBar *bar)
{
    status_bar = bar;
}

HexDocument *SearchWidget::current_document() const
{
    return hex_widget ? hex_widget->document() : nullptr;
}

void SearchWidget::show_status(const QString &text)
{
    if (status_bar)
        status_bar->showMessage(text, 0);
}

void SearchWidget::search()
{
    if (running)
        return;
    const bool regex_mode = regex_button->isChecked();
    if (!regex_mode && !simple_button->isChecked())
        return;

    QString bytes = expression_edit->text();
    if (!regex_mode && hex_button->isChecked()
        && !SearchEngine::hex_to_bytes(expression_edit->text(), bytes)) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::OddHexLength));
        return;
    }
    if (bytes.isEmpty()) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::EmptyPattern));
        return;
    }
    // A range never set, set while no file was open, or made for a file that
    // has since been replaced by another starts again at the new file's start.
    if (!engine.range_matches(current_document()))
        resetsearch();
    if (!engine.has_range()) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::NoFile));
        return;
    }

    // An empty match is not found again: the search after it starts one byte on.
    if (step_past_empty) {
        step_past_empty = false;
        if (!engine.skip_byte()) {
            progress_bar->reset();
            resetsearch();
            show_status(SearchEngine::status_text(SearchEngine::Outcome::NoMatch));
            return;
        }
    }

    connect(FileAnchor::instance(), &FileAnchor::iterator_changed, this,
            &SearchWidget::setProgress, Qt::UniqueConnection);
    // Only a Cancel pressed during this search may stop it.
    FileAnchor::instance()->clear();
    set_running(true);
    const SearchEngine::Outcome outcome =
        regex_mode ? engine.search_regex(bytes) : engine.search_simple(bytes);
    set_running(false);

    switch (outcome) {
    case SearchEngine::Outcome::Hit:
        if (engine.hit_end() == engine.hit_first()) {
            // Nothing to select: the cursor marks the place.
            const qint64 at = engine.hit_first();
            if (hex_widget)
                hex_widget->set_selection(at, at);
            show_status(QStringLiteral("Empty match at 0x%1").arg(at, 0, 16));
            step_past_empty = true;
        } else {
            // An earlier outcome ("Empty match at ...") no longer holds.
            if (status_bar)
                status_bar->clearMessage();
            if (hex_widget)
                hex_widget->set_selection(engine.hit_first(), engine.hit_end() - 1);
        }
        break;
    case SearchEngine::Outcome::NoMatch:
    case SearchEngine::Outcome::Cancelled:
    case SearchEngine::Outcome::RuntimeError:
        progress_bar->reset();
        resetsearch();
        show_status(SearchEngine::status_text(outcome));
        break;
    case SearchEngine::Outcome::EmptyPattern:
    case SearchEngine::Outcome::OddHexLength:
    case SearchEngine::Outcome::NoFile:
        show_status(SearchEngine::status_text(outcome));
        break;
    }
}

void SearchWidget::cancel()
{
    // With no search running there is nothing to stop; a request left behind
    // would end the next search at once.
    if (running)
        FileAnchor::instance()->cancel();
}

void SearchWidget::setProgress(int value)
{
    progress_bar->setValue(value);
    if (running && events_timer.isValid()) {
        if (++reports_since_check < reports_per_clock_check)
            return;
        reports_since_check = 0;
        if (events_timer.elapsed() < events_interval_ms)
            return;
    }
    events_timer.start();
    QApplication::processEvents();
}

void SearchWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Another toolbox page hides the panel too; only a closed window counts.
    if (running && !window()->isVisible())
        cancel();
}

void SearchWidget::perform_search(const QString &text)
{
    if (running)
        return;
    expression_edit->setText(text);
    simple_button->click();
    hex_button->click();
    search();
}

void SearchWidget::resetsearch()
{
    // The running search owns the range until it returns.
    if (running)
        return;
    if (status_bar)
        status_bar->clearMessage();
    FileAnchor::instance()->clear();
    step_past_empty = false;
    progress_bar->setRange(0, progress_maximum);
    if (hex_widget)
        hex_widget->clear_selection();
    engine.reset(current_document());
}

void SearchWidget::disablebuttongroup()
{
    if (regex_button->isChecked())
        format_box->setEnabled(false);
    if (simple_button->isChecked())
        format_box->setEnabled(true);
}

void SearchWidget::enable_hex_validator()
{
    if (!hex_validator)
        hex_validator = new HexValidator(this);
    expression_edit->setValidator(hex_validator);
    QString text = expression_edit->text();
    int pos = 0;
    if (hex_validator->validate(text, pos) == QValidator::Invalid)
        expression_edit->clear();
}

void SearchWidget::disable_hex_validator()
{
    expression_edit->setValidator(nullptr);
}

void SearchWidget::set_running(bool on)
{
    // Disabling the focused control moves the focus away; bring it back after.
    if (on)
        focus_before = QApplication::focusWidget();
    running = on;
    events_timer.invalidate();
    reports_since_check = 0;
    search_button->setEnabled(!on);
    mode_box->setEnabled(!on);
    expression_edit->setEnabled(!on);
    if (on) {
        format_box->setEnabled(false);
    } else {
        disablebuttongroup();
        if (focus_before && focus_before->isEnabled() && isAncestorOf(focus_before))
            focus_before->setFocus();
        focus_before = nullptr;
    }
    if (hex_widget)
        hex_widget->set_edit_locked(on);
    emit running_changed(on);
}

void SearchWidget::focus_expression()
{
    expression_edit->setFocus(Qt::ShortcutFocusReason);
    expression_edit->selectAll();
}
