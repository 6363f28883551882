#pragma once

#include <QAbstractSpinBox>

// Editor for a markup bound. Shows its value in hexadecimal ("0x1a") or in
// decimal ("26"), as the "Hex Markup Display" setting chooses; the setting is
// read again at every conversion, so a change shows at the next step.
//
// Markup bounds are 64-bit file offsets, so the value is a qint64 (QSpinBox
// would cut offsets beyond 4 GiB). The API mirrors QSpinBox. Typed text is
// accepted in the form the box displays: hexadecimal digits with an optional
// "0x" in hexadecimal mode, decimal digits otherwise. While typing, a number
// outside the range is Intermediate (the user may be half way through it, and
// is told why it cannot stand rather than have keys swallowed); when editing
// finishes, a text that is not acceptable reverts to the value; a number
// outside the range is first announced by out_of_range(), and the value goes
// back to what it was before the typing began (the digits typed on the way
// may have passed through values in the range).
class HexOptionSpinBox : public QAbstractSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY(HexOptionSpinBox)

public:
    explicit HexOptionSpinBox(QWidget *parent = nullptr);

    qint64 value() const { return m_value; }
    qint64 minimum() const { return m_minimum; }
    qint64 maximum() const { return m_maximum; }
    // Orders the two ends if given reversed, then clamps the value into them.
    void setRange(qint64 minimum, qint64 maximum);
    void setMinimum(qint64 minimum);
    void setMaximum(qint64 maximum);

    // True unless "Hex Markup Display" reads "no".
    static bool hex_display();

    virtual qint64 valueFromText(const QString &text) const;
    virtual QString textFromValue(qint64 value) const;

    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Whether the text shows a number outside the range (typed, not yet
    // reverted), or editing last finished on one and nothing was typed or
    // stepped since (a view commits after the box has reverted); *typed
    // receives it.
    bool typed_out_of_range(qint64 *typed) const;

public slots:
    // Clamps into the range; emits valueChanged when the value changes.
    void setValue(qint64 value);

signals:
    void valueChanged(qint64 value);
    // Editing finished on a typed number outside the range, just before the
    // text reverts to value().
    void out_of_range(qint64 typed);

protected:
    StepEnabled stepEnabled() const override;
    void showEvent(QShowEvent *event) override;

private:
    void text_edited(const QString &text);
    void editing_finished();
    void update_text();
    bool parse(const QString &text, qint64 *value) const;

    qint64 m_value = 0;
    qint64 m_minimum = 0;
    qint64 m_maximum = 99;
    bool m_refused = false;
    qint64 m_refused_value = 0;
    // Typing since editing last finished, and the value it started from.
    bool m_typing = false;
    qint64 m_typing_from = 0;
};
