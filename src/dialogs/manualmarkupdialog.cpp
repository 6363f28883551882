#include "dialogs/manualmarkupdialog.h"

#include "validators/octdechexvalidator.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Nineteen characters hold every decimal number below 10^19.
constexpr int max_field_length = 19;

QLineEdit *make_field(QDialog *dialog, const char *name)
{
    auto *edit = new QLineEdit(dialog);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(max_field_length);
    edit->setValidator(new OctDecHexValidator(dialog));
    return edit;
}

quint64 field_value(const QLineEdit *edit)
{
    bool ok = false;
    const quint64 value = edit->text().toULongLong(&ok, 0);
    return ok ? value : 0;
}

} // namespace

ManualMarkupDialog::ManualMarkupDialog(QWidget *parent)
    : QDialog(parent)
{
    setSizeGripEnabled(false);
    setModal(true);
    setWindowTitle(tr("Specify Markup Manually"));

    auto *layout = new QGridLayout(this);
    m_start_edit = make_field(this, "start_edit");
    m_end_edit = make_field(this, "end_edit");
    m_length_edit = make_field(this, "length_edit");
    auto *ok_button = new QPushButton(tr("Ok"), this);
    auto *cancel_button = new QPushButton(tr("Cancel"), this);
    ok_button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    cancel_button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    layout->addWidget(new QLabel(tr("Start Position"), this), 0, 0);
    layout->addWidget(m_start_edit, 0, 1);
    layout->addWidget(new QLabel(tr("End Position"), this), 1, 0);
    layout->addWidget(m_end_edit, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("or Length"), this), 2, 0);
    layout->addWidget(m_length_edit, 2, 1);
    layout->addWidget(ok_button, 5, 0);
    layout->addWidget(cancel_button, 5, 1);
    // "010" is eight: say how a number is read before someone is surprised.
    auto *hint = new QLabel(tr("0x… hexadecimal, 0… octal, otherwise decimal"), this);
    hint->setObjectName(QStringLiteral("notation_hint"));
    hint->setEnabled(false);
    layout->addWidget(hint, 6, 0, 1, 2);

    connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok_button, &QPushButton::clicked, this, &QDialog::accept);
}

quint64 ManualMarkupDialog::start_position() const
{
    return field_value(m_start_edit);
}

quint64 ManualMarkupDialog::end_position() const
{
    return field_value(m_end_edit);
}

quint64 ManualMarkupDialog::length_value() const
{
    return field_value(m_length_edit);
}
