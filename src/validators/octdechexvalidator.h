#pragma once

#include <QValidator>

// Guards an unsigned 64-bit number in C notation: "0x" then hexadecimal
// digits, a leading 0 then octal digits, otherwise decimal. The empty text
// and any two-character text ending in "x" (such as "0x") are Intermediate,
// so a hexadecimal number can be typed from scratch.
class OctDecHexValidator : public QValidator
{
    Q_OBJECT
    Q_DISABLE_COPY(OctDecHexValidator)

public:
    explicit OctDecHexValidator(QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
};
