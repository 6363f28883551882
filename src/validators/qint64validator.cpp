#include "validators/qint64validator.h"

QInt64Validator::QInt64Validator(qint64 bottom, qint64 top, QObject *parent)
    : QValidator(parent)
    , bottom_(bottom)
    , top_(top)
{
}

QValidator::State QInt64Validator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    if (input.contains(QLatin1Char(' ')))
        return Invalid;
    if (input.isEmpty() || (input == QLatin1String("-") && bottom_ < 0))
        return Intermediate;
    bool ok = false;
    const qint64 value = input.toLongLong(&ok, 10);
    if (!ok || (value < 0 && bottom_ >= 0))
        return Invalid;
    if (bottom_ <= value && value <= top_)
        return Acceptable;
    if (value >= 0)
        return value > top_ ? Invalid : Intermediate;
    return value < bottom_ ? Invalid : Intermediate;
}
