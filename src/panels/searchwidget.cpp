#include "panels/searchwidget.h"

#include "document/file_anchor.h"
#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "editedfile/findalltool.h"
#include "validators/hexvalidator.h"
#include "hexview/hexwidget.h"
#include "panels/statusdetail.h"

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

    auto *caption = new QLabel(tr("Expression"), this);
    caption->setObjectName(QStringLiteral("expression_caption"));
    expression_edit = new QLineEdit(this);
    expression_edit->setObjectName(QStringLiteral("expression_edit"));
    caption->setBuddy(expression_edit);
    expression_edit->setMaxLength(999);
    progress_bar = new QProgressBar(this);
    progress_bar->setObjectName(QStringLiteral("progress_bar"));
    progress_bar->setRange(0, progress_maximum);
    progress_bar->setValue(0);
    // Named inside the bar: a label beside it would widen the narrow page.
    progress_bar->setFormat(tr("Progress: %p%"));
    progress_bar->setAccessibleName(tr("Progress"));
    // These two captions stay as they are in every language.
    m_search_button = new QPushButton(QStringLiteral("Search"), this);
    m_search_button->setObjectName(QStringLiteral("search_button"));
    m_search_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel_button->setObjectName(QStringLiteral("cancel_button"));
    m_cancel_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_find_all_button = new QPushButton(tr("Find All"), this);
    m_find_all_button->setObjectName(QStringLiteral("find_all_button"));
    m_find_all_button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_find_all_button->setEnabled(false);

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

    m_mode_box = new QGroupBox(this);
    m_mode_box->setObjectName(QStringLiteral("mode_box"));
    auto *mode_layout = new QVBoxLayout(m_mode_box);
    regex_button = new QRadioButton(tr("&Regex"), m_mode_box);
    regex_button->setObjectName(QStringLiteral("regex_button"));
    regex_button->setChecked(true);
    simple_button = new QRadioButton(tr("&Simple"), m_mode_box);
    simple_button->setObjectName(QStringLiteral("simple_button"));
    mode_layout->addWidget(regex_button, 0, Qt::AlignLeft);
    mode_layout->addWidget(simple_button, 0, Qt::AlignLeft);
    mode_layout->addStretch(1);

    format_box->setEnabled(false);

    // The two groups are the page's tallest part: half their usual top and
    // bottom margins keep the stacked page inside the toolbox of a 1024x768
    // window, which otherwise scrolls for a few pixels.
    for (QLayout *group_layout : {format_box->layout(), m_mode_box->layout()}) {
        const QMargins margins = group_layout->contentsMargins();
        group_layout->setContentsMargins(margins.left(), margins.top() / 2, margins.right(),
                                         margins.bottom() / 2);
    }

    // Stacked for a narrow dock: every row takes the page's width, so the
    // page is only as wide as its widest control, and extra height stays
    // below the buttons. In a wide dock the two radio groups may sit side by
    // side to save height (set_groups_side_by_side).
    layout->addWidget(caption, 0, 0, 1, 2);
    layout->addWidget(expression_edit, 1, 0, 1, 2);
    m_groups_layout = new QBoxLayout(QBoxLayout::TopToBottom);
    m_groups_layout->addWidget(m_mode_box);
    m_groups_layout->addWidget(format_box);
    layout->addLayout(m_groups_layout, 2, 0, 1, 2);
    layout->addWidget(progress_bar, 3, 0, 1, 2);
    layout->addWidget(m_search_button, 4, 0);
    layout->addWidget(m_cancel_button, 4, 1);
    layout->addWidget(m_find_all_button, 5, 0);
    layout->setRowStretch(6, 1);

    connect(m_search_button, &QPushButton::clicked, this, &SearchWidget::search);
    connect(m_cancel_button, &QPushButton::clicked, this, &SearchWidget::cancel);
    connect(m_find_all_button, &QPushButton::clicked, this, &SearchWidget::find_all);
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
    m_groups_layout->setDirection(side_by_side ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // The grid caches its size hints until the next layout pass; callers
    // measure the page right after this.
    layout()->invalidate();
}

void SearchWidget::set_hex_widget(HexWidget *widget)
{
    if (m_hex_widget)
        disconnect(m_hex_widget->edited_file(), &EditedFile::file_changed, this, nullptr);
    m_hex_widget = widget;
    delete m_find_all;
    m_find_all = nullptr;
    // Another file's progress starts from nothing.
    if (widget) {
        connect(widget->edited_file(), &EditedFile::file_changed, this, [this] {
            progress_bar->setValue(0);
            update_find_all_button();
        });
        m_find_all = new FindAllTool(widget->edited_file(), this);
    }
    update_find_all_button();
}

void SearchWidget::update_find_all_button()
{
    // Search and Find Next say "No File" themselves, as they always did;
    // Find All has nothing to list without one.
    m_find_all_button->setEnabled(!m_running && m_hex_widget && m_hex_widget->edited_file()->is_open());
}

void SearchWidget::set_status_bar(QStatusBar *bar)
{
    m_status_bar = bar;
}

HexDocument *SearchWidget::current_document() const
{
    return m_hex_widget ? m_hex_widget->document() : nullptr;
}

void SearchWidget::show_status(const QString &text, const QString &detail)
{
    StatusDetail::show(m_status_bar, text, detail);
}

bool SearchWidget::read_pattern(QString *pattern, bool *regex_mode)
{
    *regex_mode = regex_button->isChecked();
    if (!*regex_mode && !simple_button->isChecked())
        return false;
    QString bytes = expression_edit->text();
    if (!*regex_mode && hex_button->isChecked()
        && !SearchEngine::hex_to_bytes(expression_edit->text(), bytes)) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::OddHexLength));
        return false;
    }
    if (bytes.isEmpty()) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::EmptyPattern));
        return false;
    }
    *pattern = bytes;
    return true;
}

void SearchWidget::connect_progress()
{
    connect(file_anchor::instance(), &file_anchor::iterator_changed, this,
            &SearchWidget::setProgress, Qt::UniqueConnection);
    // Only a Cancel pressed during this search may stop it.
    file_anchor::instance()->clear();
    progress_bar->setValue(0);
}

void SearchWidget::find_all()
{
    if (m_running || !m_find_all)
        return;
    QString pattern;
    bool regex_mode = false;
    if (!read_pattern(&pattern, &regex_mode))
        return;
    HexDocument *document = current_document();
    if (!document || !document->is_open()) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::NoFile));
        return;
    }
    emit find_all_started();
    connect_progress();
    set_running(true);
    const SearchEngine::Outcome outcome = m_find_all->run(pattern, regex_mode, expression_edit->text());
    set_running(false);
    progress_bar->setValue(0);

    switch (outcome) {
    case SearchEngine::Outcome::Hit:
        show_status(m_find_all->count_text());
        break;
    case SearchEngine::Outcome::FileChanged:
        if (m_hex_widget)
            m_hex_widget->edited_file()->refresh();
        show_status(m_find_all->message(outcome), m_find_all->detail(outcome));
        break;
    default:
        show_status(m_find_all->message(outcome), m_find_all->detail(outcome));
        break;
    }
}

void SearchWidget::search()
{
    if (m_running)
        return;
    QString bytes;
    bool regex_mode = false;
    if (!read_pattern(&bytes, &regex_mode))
        return;
    // A range never set, set while no file was open, or made for a file that
    // has since been replaced by another starts again at the new file's start.
    if (!m_engine.range_matches(current_document()))
        resetsearch();
    if (!m_engine.has_range()) {
        show_status(SearchEngine::status_text(SearchEngine::Outcome::NoFile));
        return;
    }

    // An empty match is not found again: the search after it starts one byte on.
    if (m_step_past_empty) {
        m_step_past_empty = false;
        if (!m_engine.skip_byte()) {
            resetsearch();
            show_status(SearchEngine::status_text(SearchEngine::Outcome::NoMatch));
            return;
        }
    }

    connect_progress();
    set_running(true);
    const SearchEngine::Outcome outcome =
        regex_mode ? m_engine.search_regex(bytes) : m_engine.search_simple(bytes);
    set_running(false);
    progress_bar->setValue(0);

    switch (outcome) {
    case SearchEngine::Outcome::Hit:
        if (m_engine.hit_end() == m_engine.hit_first()) {
            // Nothing to select: the cursor marks the place.
            const qint64 at = m_engine.hit_first();
            if (m_hex_widget)
                m_hex_widget->set_selection(at, at);
            show_status(tr("Empty match at 0x%1").arg(at, 0, 16));
            m_step_past_empty = true;
        } else {
            // An earlier outcome ("Empty match at ...") no longer holds.
            if (m_status_bar)
                m_status_bar->clearMessage();
            if (m_hex_widget)
                m_hex_widget->set_selection(m_engine.hit_first(), m_engine.hit_end() - 1);
        }
        break;
    case SearchEngine::Outcome::FileChanged:
        resetsearch();
        // The views take the file's size again: it is shorter than they knew.
        if (m_hex_widget)
            m_hex_widget->edited_file()->refresh();
        show_status(m_engine.message(outcome), m_engine.detail(outcome));
        break;
    case SearchEngine::Outcome::NoMatch:
    case SearchEngine::Outcome::Cancelled:
    case SearchEngine::Outcome::RuntimeError:
    case SearchEngine::Outcome::InvalidExpression:
        resetsearch();
        show_status(m_engine.message(outcome), m_engine.detail(outcome));
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
    if (m_running)
        file_anchor::instance()->cancel();
}

void SearchWidget::setProgress(int value)
{
    progress_bar->setValue(value);
    if (m_running && m_events_timer.isValid()) {
        if (++m_reports_since_check < reports_per_clock_check)
            return;
        m_reports_since_check = 0;
        if (m_events_timer.elapsed() < events_interval_ms)
            return;
    }
    m_events_timer.start();
    QApplication::processEvents();
}

void SearchWidget::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Another toolbox page hides the panel too; only a closed window counts.
    if (m_running && !window()->isVisible())
        cancel();
}

void SearchWidget::perform_search(const QString &text)
{
    if (m_running)
        return;
    expression_edit->setText(text);
    simple_button->click();
    hex_button->click();
    search();
}

void SearchWidget::resetsearch()
{
    // The running search owns the range until it returns.
    if (m_running)
        return;
    if (m_status_bar)
        m_status_bar->clearMessage();
    file_anchor::instance()->clear();
    m_step_past_empty = false;
    if (m_hex_widget)
        m_hex_widget->clear_selection();
    m_engine.reset(current_document());
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
    if (!m_hex_validator)
        m_hex_validator = new HexValidator(this);
    expression_edit->setValidator(m_hex_validator);
    QString text = expression_edit->text();
    int pos = 0;
    if (m_hex_validator->validate(text, pos) == QValidator::Invalid)
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
        m_focus_before = QApplication::focusWidget();
    m_running = on;
    m_events_timer.invalidate();
    m_reports_since_check = 0;
    m_search_button->setEnabled(!on);
    update_find_all_button();
    m_mode_box->setEnabled(!on);
    expression_edit->setEnabled(!on);
    if (on) {
        format_box->setEnabled(false);
    } else {
        disablebuttongroup();
        if (m_focus_before && m_focus_before->isEnabled() && isAncestorOf(m_focus_before))
            m_focus_before->setFocus();
        m_focus_before = nullptr;
    }
    if (m_hex_widget)
        m_hex_widget->set_edit_locked(on);
    emit running_changed(on);
}

void SearchWidget::focus_expression()
{
    expression_edit->setFocus(Qt::ShortcutFocusReason);
    expression_edit->selectAll();
}
