#include "mainwindow/statusfields.h"

#include "panels/statusdetail.h"

#include <QEvent>
#include <QLayout>
#include <QLabel>
#include <QStatusBar>

namespace {

// 0x1A (26): hexadecimal as the hex view shows offsets, then decimal.
QString both_bases(qint64 value)
{
    return QStringLiteral("0x%1 (%2)").arg(QString::number(value, 16).toUpper()).arg(value);
}

QLabel *new_field(const QString &name, QStatusBar *bar)
{
    auto *field = new QLabel(bar);
    field->setObjectName(name);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A sunken panel each, so the fields read apart.
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setContentsMargins(4, 0, 4, 0);
    // As wide as the text and no wider: the rest of the bar is the message's.
    field->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    bar->addPermanentWidget(field);
    return field;
}

// Where QStatusBar draws its message: from 6 pixels in to 2 before the first
// permanent field, and a size grip's width on the right.
constexpr int message_margins = 6 + 2;

} // namespace

StatusFields::StatusFields(QStatusBar *bar)
    : QObject(bar)
    , m_bar(bar)
    , m_offset(new_field(QStringLiteral("offset_field"), bar))
    , m_selection(new_field(QStringLiteral("selection_field"), bar))
    , m_size(new_field(QStringLiteral("size_field"), bar))
    , m_warning(new QLabel(bar))
{
    m_warning->setObjectName(QStringLiteral("warning_field"));
    m_warning->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_warning->setContentsMargins(4, 0, 4, 0);
    m_warning->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    QPalette palette = m_warning->palette();
    palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    m_warning->setPalette(palette);
    m_warning->hide();
    bar->insertPermanentWidget(0, m_warning);
    connect(bar, &QStatusBar::messageChanged, this, &StatusFields::fit);
    bar->installEventFilter(this);
    show_selection(-1, -1);
    show_size(-1);
}

QString StatusFields::selection_text(qint64 first, qint64 last)
{
    const quint64 length = quint64(last) - quint64(first) + 1;
    return tr("Selection: 0x%1-0x%2, %3 %4")
        .arg(QString::number(first, 16).toUpper(), QString::number(last, 16).toUpper(),
             QString::number(length), length == 1 ? tr("byte") : tr("bytes"));
}

void StatusFields::show_selection(qint64 start, qint64 end)
{
    m_has_selection = start >= 0 && end >= 0;
    if (!m_has_selection) {
        m_offset->setText(tr("Offset: -"));
        m_selection->clear();
    } else {
        m_offset->setText(tr("Offset: %1").arg(both_bases(end)));
        m_selection->setText(selection_text(qMin(start, end), qMax(start, end)));
    }
    m_offset->setFixedWidth(width_for(m_offset, m_offset->text()));
    fix_selection_width();
    fit();
}

void StatusFields::show_size(qint64 size)
{
    m_file_size = size;
    m_size->setText(size < 0 ? tr("Size: -") : tr("Size: %1").arg(both_bases(size)));
    m_size->setFixedWidth(width_for(m_size, m_size->text()));
    fix_selection_width();
    fit();
}

void StatusFields::show_warning(const QString &text)
{
    m_warning_text = text;
    m_warning->setToolTip(text);
    m_warning->setVisible(!text.isEmpty());
    fit();
}

int StatusFields::width_for(const QLabel *field, const QString &text) const
{
    const QMargins margins = field->contentsMargins();
    // The frame and margins around the text, and a pixel of slack for the
    // glyphs' overhang.
    return field->fontMetrics().horizontalAdvance(text) + margins.left() + margins.right()
           + 2 * field->margin() + 2 * field->frameWidth() + 1;
}

void StatusFields::fix_selection_width()
{
    // The widest text a selection of this file shows: every offset digit
    // the widest one, the length as long as the file.
    const qint64 last = qMax<qint64>(0, m_file_size - 1);
    QChar widest_digit = QLatin1Char('0');
    const QFontMetrics metrics = m_selection->fontMetrics();
    for (const QChar c : QStringLiteral("0123456789ABCDEF")) {
        if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(widest_digit))
            widest_digit = c;
    }
    const QString offset(QString::number(last, 16).size(), widest_digit);
    const QString widest = tr("Selection: 0x%1-0x%2, %3 %4")
                               .arg(offset, offset,
                                    QString(QString::number(qMax<qint64>(1, m_file_size)).size(),
                                            QLatin1Char('8')),
                                    tr("bytes"));
    // A cursor past the end of the file may need more.
    m_selection->setFixedWidth(qMax(width_for(m_selection, widest),
                                    width_for(m_selection, m_selection->text())));
}

int StatusFields::fields_that_fit(int room, int message, const QList<int> &widths)
{
    int used = message;
    int count = 0;
    for (const int width : widths) {
        used += width;
        if (used > room)
            break;
        ++count;
    }
    return count;
}

void StatusFields::fit()
{
    const QString message = m_bar->currentMessage();
    const int spacing = qMax(0, m_bar->layout() ? m_bar->layout()->spacing() : 0);
    // The order in which the fields keep their place.
    const QList<QLabel *> fields = {m_offset, m_selection, m_size};
    QList<QLabel *> wanted;
    QList<int> widths;
    for (QLabel *field : fields) {
        if (field == m_selection && !m_has_selection)
            continue;
        wanted.append(field);
        widths.append(field->maximumWidth() + spacing);
    }
    // The bar's own right margin and its size grip stay out of the room.
    const int grip = m_bar->isSizeGripEnabled() ? 20 : 0;
    int room = m_bar->width() - message_margins - grip - 12;
    if (!m_warning_text.isEmpty()) {
        const QString shown = m_warning->fontMetrics().elidedText(m_warning_text, Qt::ElideMiddle,
                                                                  m_bar->width() / 2);
        m_warning->setText(shown);
        m_warning->setFixedWidth(width_for(m_warning, shown));
        room -= m_warning->maximumWidth() + spacing;
    }
    const int message_width =
        message.isEmpty() ? 0 : m_bar->fontMetrics().horizontalAdvance(message);
    const int shown = fields_that_fit(room, message_width, widths);
    for (int i = 0; i < fields.size(); ++i)
        fields[i]->setVisible(wanted.indexOf(fields[i]) >= 0 && wanted.indexOf(fields[i]) < shown);
    // A message with a detail keeps it as the tool tip; another that is cut
    // shows its full text there.
    const QString detail = StatusDetail::detail(m_bar);
    m_bar->setToolTip(!detail.isEmpty() ? detail : message_width > room ? message : QString());
}

bool StatusFields::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar && event->type() == QEvent::Resize)
        fit();
    return QObject::eventFilter(watched, event);
}
