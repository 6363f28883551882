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
    m_minimum = minimum;
    m_maximum = maximum;
    const qint64 old = m_value;
    m_value = qBound(m_minimum, m_value, m_maximum);
    update_text();
    if (m_value != old)
        emit valueChanged(m_value);
}

void HexOptionSpinBox::setMinimum(qint64 minimum)
{
    setRange(minimum, qMax(minimum, m_maximum));
}

void HexOptionSpinBox::setMaximum(qint64 maximum)
{
    setRange(qMin(m_minimum, maximum), maximum);
}

void HexOptionSpinBox::setValue(qint64 value)
{
    const qint64 bounded = qBound(m_minimum, value, m_maximum);
    const bool changed = bounded != m_value;
    m_value = bounded;
    update_text();
    if (changed)
        emit valueChanged(m_value);
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
    if (value > m_maximum || value < m_minimum)
        return QValidator::Intermediate;
    return QValidator::Acceptable;
}

void HexOptionSpinBox::fixup(QString &input) const
{
    // Only texts that are not acceptable reach here: an unfinished number or
    // one outside the range. Either way the last good value stands.
    input = textFromValue(m_value);
}

void HexOptionSpinBox::stepBy(int steps)
{
    m_refused = false;
    // Saturating: a step past either end stops at it instead of wrapping.
    // The distances are unsigned: a range may span every 64-bit value.
    qint64 target = m_value;
    if (steps > 0)
        target = (quint64(m_maximum) - quint64(m_value) < quint64(steps)) ? m_maximum : m_value + steps;
    else if (steps < 0)
        target = (quint64(m_value) - quint64(m_minimum) < quint64(-qint64(steps))) ? m_minimum
                                                                                 : m_value + steps;
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
    if (m_value > m_minimum)
        enabled |= StepDownEnabled;
    if (m_value < m_maximum)
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
    m_refused = false;
    if (!m_typing) {
        m_typing = true;
        m_typing_from = m_value;
    }
    QString copy = text;
    int pos = lineEdit()->cursorPosition();
    if (validate(copy, pos) != QValidator::Acceptable)
        return;
    const qint64 typed = valueFromText(text);
    if (typed != m_value) {
        m_value = typed;
        emit valueChanged(m_value);
    }
}

void HexOptionSpinBox::editing_finished()
{
    QString text = lineEdit()->text();
    int pos = 0;
    qint64 typed = 0;
    if (validate(text, pos) == QValidator::Acceptable)
        setValue(valueFromText(text));
    else if (typed_out_of_range(&typed)) {
        m_refused = true;
        m_refused_value = typed;
        emit out_of_range(typed);
        if (m_typing)
            setValue(m_typing_from);
    }
    m_typing = false;
    update_text();
}

bool HexOptionSpinBox::typed_out_of_range(qint64 *typed) const
{
    qint64 value = m_refused_value;
    if (!m_refused
        && (!parse(lineEdit()->text(), &value) || (value >= m_minimum && value <= m_maximum)))
        return false;
    if (typed)
        *typed = value;
    return true;
}

void HexOptionSpinBox::update_text()
{
    const QString text = textFromValue(m_value);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

QSize HexOptionSpinBox::sizeHint() const
{
    ensurePolished();
    const QFontMetrics fm(fontMetrics());
    int width = qMax(fm.horizontalAdvance(textFromValue(m_minimum)), fm.horizontalAdvance(textFromValue(m_maximum)));
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
