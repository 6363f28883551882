#pragma once

#include <QPointer>
#include <QWidget>

class HexWidget;
class QLineEdit;
class QStatusBar;

// The "Goto" page of the side toolbox: a hexadecimal offset selected in the
// hex widget, its row scrolled to the top. An offset the file does not hold
// (negative, past the end, no file open) or text that is no hexadecimal
// number leaves the view alone and says why on the status bar.
class JumpWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(JumpWidget)

public:
    explicit JumpWidget(QWidget *parent = nullptr);

    void set_hex_widget(HexWidget *hex_widget);
    void set_status_bar(QStatusBar *status_bar);
    // Puts the keyboard in the address field with its text selected.
    void focus_address();

private slots:
    void jump();

private:
    void show_status(const QString &text);

    QLineEdit *address_edit = nullptr;
    QPointer<HexWidget> hex_widget;
    QPointer<QStatusBar> status_bar;
};
