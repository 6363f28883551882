#include "validators/octdechexvalidator.h"

OctDecHexValidator::OctDecHexValidator(QObject *parent)
    : QValidator(parent)
{
}

QValidator::State OctDecHexValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    if (input.isEmpty())
        return Intermediate;
    if (input.size() == 2 && input.at(1) == QLatin1Char('x'))
        return Intermediate;
    bool ok = false;
    input.toULongLong(&ok, 0);
    return ok ? Acceptable : Invalid;
}
