#include "validators/hexvalidator.h"

HexValidator::HexValidator(QObject *parent)
    : QValidator(parent)
{
}

QValidator::State HexValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    QString copy = input;
    // Only the lower-case prefix is dropped: "0X" stays and its X is no digit.
    if (copy.startsWith(QLatin1String("0x")))
        copy.remove(0, 2);
    if (copy.contains(QLatin1Char(' ')))
        return Invalid;
    const QByteArray bytes = copy.toLower().toLatin1();
    for (const char c : bytes) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = c >= 'a' && c <= 'f';
        if (!digit && !letter)
            return Invalid;
    }
    return Acceptable;
}
