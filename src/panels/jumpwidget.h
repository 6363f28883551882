#pragma once

#include <QPointer>
#include <QWidget>

class HexWidget;
class QLineEdit;
class QStatusBar;

// The "Goto" page of the side toolbox: a hexadecimal offset selected in the
// hex widget, its row scrolled to the top. The value goes to the hex widget as
// typed, negative or past the end of the file included; the widget decides
// what to show for it.
class JumpWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(JumpWidget)

public:
    explicit JumpWidget(QWidget *parent = nullptr);

    void set_hex_widget(HexWidget *hex_widget);
    void set_status_bar(QStatusBar *status_bar);

private slots:
    void jump();

private:
    QLineEdit *address_edit = nullptr;
    QPointer<HexWidget> hex_widget;
    QPointer<QStatusBar> status_bar;
};
