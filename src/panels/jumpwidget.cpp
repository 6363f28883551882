#include "panels/jumpwidget.h"

#include "hexview/hexwidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

JumpWidget::JumpWidget(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Goto Address"), this), 0, 0);
    address_edit = new QLineEdit(this);
    address_edit->setObjectName(QStringLiteral("address_edit"));
    address_edit->setMaxLength(999);
    layout->addWidget(address_edit, 0, 1);
    auto *go_button = new QPushButton(QStringLiteral("Go"), this);
    go_button->setObjectName(QStringLiteral("go_button"));
    layout->addWidget(go_button, 1, 1);

    connect(address_edit, &QLineEdit::returnPressed, this, &JumpWidget::jump);
    connect(go_button, &QPushButton::clicked, this, &JumpWidget::jump);
}

void JumpWidget::set_hex_widget(HexWidget *widget)
{
    hex_widget = widget;
}

void JumpWidget::set_status_bar(QStatusBar *bar)
{
    status_bar = bar;
}

void JumpWidget::jump()
{
    if (status_bar)
        status_bar->clearMessage();
    bool ok = false;
    const qint64 value = address_edit->text().toLongLong(&ok, 16);
    if (ok) {
        if (hex_widget)
            hex_widget->set_selection(value, value);
    } else if (status_bar) {
        status_bar->showMessage(QStringLiteral("Enter a Hexadecimal Number"), 0);
    }
}
