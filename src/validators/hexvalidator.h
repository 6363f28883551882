#pragma once

#include <QValidator>

// Guards a byte string typed as hexadecimal digits: digits of either case,
// optionally after a leading lower-case "0x". Any length is acceptable,
// the empty text included; the search checks for an even count itself.
class HexValidator : public QValidator
{
    Q_OBJECT
    Q_DISABLE_COPY(HexValidator)

public:
    explicit HexValidator(QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
};
