#include "panels/statusdetail.h"

#include <QStatusBar>
#include <QVariant>

namespace {
// Kept on the bar itself, so that every widget that writes to it (the window,
// the panels) shares one record; the message it belongs to is kept beside it.
const char detail_key[] = "status_detail";
const char message_key[] = "status_detail_message";
} // namespace

void StatusDetail::show(QStatusBar *bar, const QString &text, const QString &detail)
{
    if (!bar)
        return;
    // Recorded before the message changes: the bar's listeners read it then.
    bar->setProperty(detail_key, detail);
    bar->setProperty(message_key, text);
    bar->showMessage(text);
    if (!detail.isEmpty())
        bar->setToolTip(detail);
}

QString StatusDetail::detail(const QStatusBar *bar)
{
    if (!bar || bar->currentMessage().isEmpty()
        || bar->property(message_key).toString() != bar->currentMessage())
        return QString();
    return bar->property(detail_key).toString();
}
