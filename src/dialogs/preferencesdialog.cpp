#include "dialogs/preferencesdialog.h"

#include "kaitai/templaterun.h"
#include "settings/config.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <limits>

namespace {

QLatin1String yes_no(bool checked)
{
    return checked ? QLatin1String("yes") : QLatin1String("no");
}

bool reads(const char *key, const char *word)
{
    return Config::instance()->value(QLatin1String(key)).toString() == QLatin1String(word);
}

QPushButton *make_button(const QString &text, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget *parent, std::function<void(int)> m_apply_toolbar_style)
    : QDialog(parent)
    , m_apply_toolbar_style(std::move(m_apply_toolbar_style))
{
    get_existing_directory = [](QWidget *owner, const QString &caption, const QString &dir) {
        return QFileDialog::getExistingDirectory(owner, caption, dir, QFileDialog::ShowDirsOnly);
    };

    setSizeGripEnabled(false);
    setModal(true);
    setWindowTitle(tr("Preferences"));

    Config *config = Config::instance();
    const QString dir_text = config->contains(QStringLiteral("Markup Dir"))
        ? config->value(QStringLiteral("Markup Dir")).toString()
        : QDir::home().absolutePath();

    auto *layout = new QGridLayout(this);
    toolbar_style_combo = new QComboBox(this);
    toolbar_style_combo->setObjectName(QStringLiteral("toolbar_style_combo"));
    toolbar_style_combo->addItems({tr("Icon Only"), tr("Text Only"),
                                   tr("Text Beside"), tr("Text Under")});
    link_check = new QCheckBox(tr("Link Markup to Files"), this);
    link_check->setObjectName(QStringLiteral("link_check"));
    splash_check = new QCheckBox(tr("Splash Screen at Startup"), this);
    splash_check->setObjectName(QStringLiteral("splash_check"));
    hex_display_check = new QCheckBox(tr("Display Markup Positions in hexadecimal"), this);
    hex_display_check->setObjectName(QStringLiteral("hex_display_check"));
    m_journal_check = new QCheckBox(tr("Keep a journal of unsaved changes"), this);
    m_journal_check->setObjectName(QStringLiteral("journal_check"));
    m_overview_check = new QCheckBox(tr("Show the overview strip beside the hex view"), this);
    m_overview_check->setObjectName(QStringLiteral("overview_check"));
    m_recognise_check = new QCheckBox(tr("Offer a template for the format of a file opened"), this);
    m_recognise_check->setObjectName(QStringLiteral("recognise_check"));
    m_field_limit_spin = new QSpinBox(this);
    m_field_limit_spin->setObjectName(QStringLiteral("field_limit_spin"));
    m_field_limit_spin->setRange(1000, std::numeric_limits<int>::max());
    m_field_limit_spin->setSingleStep(1000000);
    m_field_limit_spin->setGroupSeparatorShown(true);
    m_field_limit_spin->setValue(int(qMin<qint64>(TemplateRun::field_limit(), std::numeric_limits<int>::max())));
    auto *field_limit_label = new QLabel(tr("Template Field Limit"), this);
    field_limit_label->setBuddy(m_field_limit_spin);
    auto *dir_label = new QLabel(tr("Default Markup Save Directory"), this);
    markup_dir_edit = new QLineEdit(dir_text, this);
    dir_label->setBuddy(markup_dir_edit);
    // A list of four words says nothing on its own: it gets a name too.
    auto *style_label = new QLabel(tr("Toolbar Style"), this);
    style_label->setBuddy(toolbar_style_combo);
    markup_dir_edit->setObjectName(QStringLiteral("markup_dir_edit"));
    QPushButton *browse_button = make_button(tr("Browse"), "browse_button", this);
    QPushButton *save_button = make_button(tr("Save"), "save_button", this);
    QPushButton *cancel_button = make_button(tr("Cancel"), "cancel_button", this);

    link_check->setChecked(reads("Link Markup", "yes"));
    // A value outside the four styles (a hand-edited file) shows as the
    // default, so Save never stores or applies a style that does not exist.
    int style = config->value(QStringLiteral("Toolbar Style"), 0).toInt();
    if (style < 0 || style >= toolbar_style_combo->count())
        style = 0;
    toolbar_style_combo->setCurrentIndex(style);
    splash_check->setChecked(reads("Splash Screen", "yes"));
    hex_display_check->setChecked(!reads("Hex Markup Display", "no"));
    m_journal_check->setChecked(!reads("Journal", "no"));
    m_overview_check->setChecked(!reads("Overview Strip", "no"));
    m_recognise_check->setChecked(!reads("Recognise Formats", "no"));

    layout->addWidget(dir_label, 0, 0);
    layout->addWidget(markup_dir_edit, 0, 1);
    layout->addWidget(browse_button, 0, 2);
    layout->addWidget(link_check, 1, 0);
    layout->addWidget(style_label, 2, 0);
    layout->addWidget(toolbar_style_combo, 2, 1);
    layout->addWidget(splash_check, 3, 0);
    layout->addWidget(hex_display_check, 4, 0);
    layout->addWidget(m_journal_check, 5, 0);
    // Beside the journal: the buttons keep their row below the others.
    layout->addWidget(m_recognise_check, 5, 1, 1, 2);
    layout->addWidget(m_overview_check, 6, 0);
    layout->addWidget(field_limit_label, 7, 0);
    layout->addWidget(m_field_limit_spin, 7, 1);
    layout->addWidget(save_button, 8, 0);
    layout->addWidget(cancel_button, 8, 1);

    connect(browse_button, &QPushButton::clicked, this, &PreferencesDialog::browse_dir);
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    connect(save_button, &QPushButton::clicked, this, &PreferencesDialog::accept);
}

void PreferencesDialog::accept()
{
    Config *config = Config::instance();
    config->setValue(QStringLiteral("Markup Dir"), markup_dir_edit->text());
    config->setValue(QStringLiteral("Link Markup"), yes_no(link_check->isChecked()));
    config->setValue(QStringLiteral("Toolbar Style"), toolbar_style_combo->currentIndex());
    config->setValue(QStringLiteral("Splash Screen"), yes_no(splash_check->isChecked()));
    config->setValue(QStringLiteral("Hex Markup Display"), yes_no(hex_display_check->isChecked()));
    config->setValue(QStringLiteral("Journal"), yes_no(m_journal_check->isChecked()));
    config->setValue(QStringLiteral("Overview Strip"), yes_no(m_overview_check->isChecked()));
    config->setValue(QStringLiteral("Recognise Formats"), yes_no(m_recognise_check->isChecked()));
    TemplateRun::set_field_limit(m_field_limit_spin->value());
    if (m_apply_toolbar_style)
        m_apply_toolbar_style(toolbar_style_combo->currentIndex());
    QDialog::accept();
}

void PreferencesDialog::browse_dir()
{
    // The chooser belongs to the main window, like the dialog itself.
    const QString chosen = get_existing_directory(parentWidget(), tr("Select Directory"),
                                                  QDir::home().absolutePath());
    // A cancelled chooser answers with the empty text: the field keeps its
    // directory rather than losing it.
    if (!chosen.isEmpty())
        markup_dir_edit->setText(chosen);
}
