#include "panels/jumpwidget.h"

#include "editedfile/gototool.h"
#include "hexview/hexwidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>


JumpWidget::JumpWidget(QWidget *parent)
    : QWidget(parent)
{
    // One control per row so that the page fits a narrow dock: the caption
    // above the field, the field taking the width, Go under its right end.
    auto *layout = new QGridLayout(this);
    auto *caption = new QLabel(tr("Goto Address"), this);
    caption->setObjectName(QStringLiteral("address_caption"));
    caption->setWordWrap(true);
    layout->addWidget(caption, 0, 0, 1, 2);
    address_edit = new QLineEdit(this);
    address_edit->setObjectName(QStringLiteral("address_edit"));
    address_edit->setMaxLength(999);
    // The caption does not say so: addresses are hexadecimal.
    address_edit->setPlaceholderText(tr("hexadecimal, e.g. 1f00"));
    caption->setBuddy(address_edit);
    layout->addWidget(address_edit, 1, 0, 1, 2);
    auto *go_button = new QPushButton(tr("Go"), this);
    go_button->setObjectName(QStringLiteral("go_button"));
    layout->addWidget(go_button, 2, 1);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(3, 1);

    set_hex_widget(nullptr);
    connect(address_edit, &QLineEdit::returnPressed, this, &JumpWidget::jump);
    connect(go_button, &QPushButton::clicked, this, &JumpWidget::jump);
}

void JumpWidget::set_hex_widget(HexWidget *widget)
{
    m_hex_widget = widget;
    delete m_tool;
    m_tool = new GotoTool(widget ? widget->edited_file() : nullptr, this);
    connect(m_tool, &GotoTool::refused, this, &JumpWidget::show_status);
    connect(m_tool, &GotoTool::jump, this, [this](qint64 offset) {
        if (m_hex_widget)
            m_hex_widget->set_selection(offset, offset);
    });
}

void JumpWidget::set_status_bar(QStatusBar *bar)
{
    m_status_bar = bar;
}

void JumpWidget::show_status(const QString &text)
{
    if (m_status_bar)
        m_status_bar->showMessage(text, 0);
}

void JumpWidget::jump()
{
    if (m_status_bar)
        m_status_bar->clearMessage();
    m_tool->go(address_edit->text());
}

void JumpWidget::focus_address()
{
    address_edit->setFocus(Qt::ShortcutFocusReason);
    address_edit->selectAll();
}
