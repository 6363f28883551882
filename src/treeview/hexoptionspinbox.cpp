#include "treeview/hexoptionspinbox.h"

#include "settings/config.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

HexOptionSpinBox::HexOptionSpinBox(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    // The value follows the text while typing, as QSpinBox does with keyboard
    // tracking, so a commit on Enter or focus loss sees what was typed.
    connect(lineEdit(), &QLineEdit::textEdited, this, &HexOptionSpinBox::text_edited);
    connect(this, &QAbstractSpinBox::editingFinished, this, &HexOptionSpinBox::editing_finished);
    update_text();
}

bool HexOptionSpinBox::hex_display()
{
    return Config::instance()->value("Hex Markup Display").toString() != QLatin1String("no");
}

void HexOptionSpinBox::setRange(qint64 minimum, qint64 maximum)
{
    if (maximum < minimum)
        std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    const qint64 old = value_;
    value_ = qBound(minimum_, value_, maximum_);
    update_text();
    if (value_ != old)
        emit valueChanged(value_);
}

void HexOptionSpinBox::setMinimum(qint64 minimum)
{
    setRange(minimum, qMax(minimum, maximum_));
}

void HexOptionSpinBox::setMaximum(qint64 maximum)
{
    setRange(qMin(minimum_, maximum), maximum);
}

void HexOptionSpinBox::setValue(qint64 value)
{
    const qint64 bounded = qBound(minimum_, value, maximum_);
    const bool changed = bounded != value_;
    value_ = bounded;
    update_text();
    if (changed)
        emit valueChanged(value_);
}

qint64 HexOptionSpinBox::valueFromText(const QString &text) const
{
    qint64 value = 0;
    return parse(text, &value) ? value : 0;
}

QString HexOptionSpinBox::textFromValue(qint64 value) const
{
    if (hex_display())
        return QLatin1String("0x") + QString::number(value, 16);
    return QString::number(value);
}

bool HexOptionSpinBox::parse(const QString &text, qint64 *value) const
{
    QString digits = text;
    const bool hex = hex_display();
    if (hex && digits.startsWith(QLatin1String("0x")))
        digits.remove(0, 2);
    if (digits.isEmpty())
        return false;
    // toLongLong alone would also take signs, blanks and a second prefix.
    for (const QChar c : digits) {
        const bool ok = hex ? (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
                            : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok || c.unicode() > 0x7f)
            return false;
    }
    bool ok = false;
    const qint64 parsed = digits.toLongLong(&ok, hex ? 16 : 10);
    if (ok)
        *value = parsed;
    return ok;
}

QValidator::State HexOptionSpinBox::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    QString digits = input;
    if (hex_display() && digits.startsWith(QLatin1String("0x")))
        digits.remove(0, 2);
    if (digits.isEmpty())
        return QValidator::Intermediate;
    qint64 value = 0;
    if (!parse(input, &value))
        return QValidator::Invalid;
    // Offsets are never negative, so more digits only make a value larger.
    if (value > maximum_)
        return QValidator::Invalid;
    if (value < minimum_)
        return QValidator::Intermediate;
    return QValidator::Acceptable;
}

void HexOptionSpinBox::fixup(QString &input) const
{
    // Only texts that are not acceptable reach here: an unfinished number or
    // one below the minimum. Either way the last good value stands.
    input = textFromValue(value_);
}

void HexOptionSpinBox::stepBy(int steps)
{
    // Saturating: a step past either end stops at it instead of wrapping.
    // The distances are unsigned: a range may span every 64-bit value.
    qint64 target = value_;
    if (steps > 0)
        target = (quint64(maximum_) - quint64(value_) < quint64(steps)) ? maximum_ : value_ + steps;
    else if (steps < 0)
        target = (quint64(value_) - quint64(minimum_) < quint64(-qint64(steps))) ? minimum_
                                                                               : value_ + steps;
    setValue(target);
    // A step rewrites the text even when the value stays, so a changed
    // display setting shows at once.
    update_text();
    selectAll();
}

QAbstractSpinBox::StepEnabled HexOptionSpinBox::stepEnabled() const
{
    if (isReadOnly())
        return StepNone;
    StepEnabled enabled = StepNone;
    if (value_ > minimum_)
        enabled |= StepDownEnabled;
    if (value_ < maximum_)
        enabled |= StepUpEnabled;
    return enabled;
}

void HexOptionSpinBox::showEvent(QShowEvent *event)
{
    QAbstractSpinBox::showEvent(event);
    update_text();
}

void HexOptionSpinBox::text_edited(const QString &text)
{
    QString copy = text;
    int pos = lineEdit()->cursorPosition();
    if (validate(copy, pos) != QValidator::Acceptable)
        return;
    const qint64 typed = valueFromText(text);
    if (typed != value_) {
        value_ = typed;
        emit valueChanged(value_);
    }
}

void HexOptionSpinBox::editing_finished()
{
    QString text = lineEdit()->text();
    int pos = 0;
    if (validate(text, pos) == QValidator::Acceptable)
        setValue(valueFromText(text));
    update_text();
}

void HexOptionSpinBox::update_text()
{
    const QString text = textFromValue(value_);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

QSize HexOptionSpinBox::sizeHint() const
{
    ensurePolished();
    const QFontMetrics fm(fontMetrics());
    int width = qMax(fm.horizontalAdvance(textFromValue(minimum_)), fm.horizontalAdvance(textFromValue(maximum_)));
    width += 2; // cursor blinking space
    const int height = lineEdit()->sizeHint().height();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(width, height), this);
}

QSize HexOptionSpinBox::minimumSizeHint() const
{
    return sizeHint();
}
