// Markup > Export... and the file name a save dialog's filter stands for.

#include "mainwindow/mainwindow.h"

#include "mainwindow/markupfileactions.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>

namespace {

// The patterns of one filter entry, "JSON (*.json *.js)" -> *.json, *.js.
QStringList filter_patterns(const QString &entry)
{
    static const QRegularExpression parenthesised(QStringLiteral("\\(([^)]*)\\)"));
    const QRegularExpressionMatch match = parenthesised.match(entry);
    return match.hasMatch() ? match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                            : QStringList();
}

} // namespace

QString MainWindow::name_for_filter(const QString &name, const QString &filter,
                                    const QString &selected_filter)
{
    if (name.isEmpty() || selected_filter.isEmpty())
        return name;
    const QString file_name = QFileInfo(name).fileName();
    for (const QString &entry : filter.split(QStringLiteral(";;"))) {
        for (const QString &pattern : filter_patterns(entry)) {
            if (QDir::match(pattern, file_name))
                return name;
        }
    }
    for (const QString &pattern : filter_patterns(selected_filter)) {
        if (pattern.startsWith(QLatin1String("*.")) && pattern.size() > 2
            && pattern.indexOf(QLatin1Char('*'), 1) < 0)
            return name + pattern.mid(1);
    }
    return name;
}

void MainWindow::add_export_entry(QMenu *markup_menu)
{
    connect(markup_menu->addAction(QStringLiteral("Export\u2026")), &QAction::triggered,
            markup_file_actions, &MarkupFileActions::export_markup_action);
}
