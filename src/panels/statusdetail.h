#pragma once

#include <QString>

class QStatusBar;

// A status-bar message shown exactly as worded, with its detail (how much was
// read and where it stopped, what the matcher said) beside it rather than
// inside it: the detail is the bar's tool tip for as long as that message
// stays. Any other message, or a cleared bar, drops it.
class StatusDetail
{
public:
    static void show(QStatusBar *bar, const QString &text, const QString &detail = QString());
    // The detail of the message the bar shows now; empty when it has none.
    static QString detail(const QStatusBar *bar);
};
