#pragma once

#include <QValidator>

// Guards a decimal signed 64-bit integer within [bottom, top]. A value on its
// way into the range while typing (a lone "-" when negatives are allowed, a
// positive value still below bottom, a negative one still above top) is
// Intermediate; a value that can no longer reach the range is Invalid.
class QInt64Validator : public QValidator
{
    Q_OBJECT
    Q_DISABLE_COPY(QInt64Validator)

public:
    QInt64Validator(qint64 bottom, qint64 top, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;

    qint64 bottom() const { return m_bottom; }
    qint64 top() const { return m_top; }

private:
    qint64 m_bottom;
    qint64 m_top;
};
