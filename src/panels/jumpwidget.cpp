#include "panels/jumpwidget.h"

#include "document/documenterror.h"
#include "document/hexdocument.h"
#include "hexview/hexwidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include <string>

JumpWidget::JumpWidget(QWidget *parent)
    : QWidget(parent)
{
    // One control per row so that the page fits a narrow dock: the caption
    // above the field, the field taking the width, Go under its right end.
    auto *layout = new QGridLayout(this);
    auto *caption = new QLabel(QStringLiteral("Goto Address (hexadecimal)"), this);
    caption->setObjectName(QStringLiteral("address_caption"));
    caption->setWordWrap(true);
    layout->addWidget(caption, 0, 0, 1, 2);
    address_edit = new QLineEdit(this);
    address_edit->setObjectName(QStringLiteral("address_edit"));
    address_edit->setMaxLength(999);
    address_edit->setPlaceholderText(QStringLiteral("e.g. 1f00"));
    caption->setBuddy(address_edit);
    layout->addWidget(address_edit, 1, 0, 1, 2);
    auto *go_button = new QPushButton(QStringLiteral("Go"), this);
    go_button->setObjectName(QStringLiteral("go_button"));
    layout->addWidget(go_button, 2, 1);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(3, 1);

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

void JumpWidget::show_status(const QString &text)
{
    if (status_bar)
        status_bar->showMessage(text, 0);
}

void JumpWidget::jump()
{
    if (status_bar)
        status_bar->clearMessage();
    bool ok = false;
    const qint64 value = address_edit->text().trimmed().toLongLong(&ok, 16);
    if (!ok) {
        // Not hexadecimal, or too large for any file offset.
        show_status(QStringLiteral("Enter a Hexadecimal Number"));
        return;
    }
    if (value < 0) {
        show_status(QStringLiteral("Addresses start at 0: -0x%1 is negative")
                        .arg(-value, 0, 16));
        return;
    }
    HexDocument *document = hex_widget ? hex_widget->document() : nullptr;
    if (!document || !document->is_open()) {
        show_status(QStringLiteral("No file is open"));
        return;
    }
    qint64 size = 0;
    try {
        size = document->size();
    } catch (const DocumentError &) {
        show_status(QStringLiteral("No file is open"));
        return;
    }
    if (value >= size) {
        show_status(size == 0
                        ? QStringLiteral("Address 0x%1 is past the end of the file (the file is empty)")
                              .arg(value, 0, 16)
                        : QStringLiteral("Address 0x%1 is past the end of the file (last address 0x%2)")
                              .arg(value, 0, 16)
                              .arg(size - 1, 0, 16));
        return;
    }
    hex_widget->set_selection(value, value);
}

void JumpWidget::focus_address()
{
    address_edit->setFocus(Qt::ShortcutFocusReason);
    address_edit->selectAll();
}
