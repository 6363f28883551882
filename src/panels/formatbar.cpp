#include "panels/formatbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

FormatBar::FormatBar(QWidget *parent)
    : QFrame(parent)
    , m_label(new QLabel(this))
    , m_apply(new QPushButton(this))
{
    setFrameShape(QFrame::StyledPanel);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_apply->setObjectName(QStringLiteral("apply_format_button"));
    auto *close = new QToolButton(this);
    close->setObjectName(QStringLiteral("close_format_button"));
    close->setAutoRaise(true);
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(tr("Close"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 2, 2);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_apply);
    layout->addWidget(close);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        hide();
        emit apply_requested();
    });
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void FormatBar::offer(const QString &title, const QString &file_name)
{
    m_label->setText(tr("This looks like: %1").arg(title));
    m_apply->setText(tr("Apply %1").arg(file_name));
    show();
}

QString FormatBar::text() const
{
    return m_label->text() + QLatin1Char(' ') + m_apply->text();
}
