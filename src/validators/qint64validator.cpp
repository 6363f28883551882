#include "validators/qint64validator.h"

QInt64Validator::QInt64Validator(qint64 bottom, qint64 top, QObject *parent)
    : QValidator(parent)
    , m_bottom(bottom)
    , m_top(top)
{
}

QValidator::State QInt64Validator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    if (input.contains(QLatin1Char(' ')))
        return Invalid;
    if (input.isEmpty() || (input == QLatin1String("-") && m_bottom < 0))
        return Intermediate;
    bool ok = false;
    const qint64 value = input.toLongLong(&ok, 10);
    if (!ok || (value < 0 && m_bottom >= 0))
        return Invalid;
    if (m_bottom <= value && value <= m_top)
        return Acceptable;
    if (value >= 0)
        return value > m_top ? Invalid : Intermediate;
    return value < m_bottom ? Invalid : Intermediate;
}
