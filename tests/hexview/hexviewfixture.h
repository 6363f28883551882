#pragma once

#include "document/hexdocument.h"
#include "hexview/hexscrollbar.h"
#include "hexview/hexwidget.h"

#include <QFile>
#include <QFont>
#include <QList>
#include <QMessageBox>
#include <QPoint>
#include <QStatusBar>
#include <QString>

#include <memory>

// A hex widget of a fixed number of rows with its scroll bar and status bar,
// whose message boxes are answered by `answer` and recorded in `boxes`.
struct HexViewFixture
{
    struct Box
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    std::unique_ptr<HexWidget> hex{new HexWidget};
    std::unique_ptr<HexScrollBar> bar{new HexScrollBar};
    std::unique_ptr<QStatusBar> status{new QStatusBar};
    QList<Box> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

    explicit HexViewFixture(int rows = 8)
    {
        hex->set_font(QFont(QStringLiteral("Courier"), 12));
        hex->set_scroll_bar(bar.get());
        hex->set_status_bar(status.get());
        hex->set_message_box_function(
            [this](QMessageBox::Icon icon, const QString &title, const QString &text,
                   QMessageBox::StandardButtons, QMessageBox::StandardButton) {
                boxes.append(Box{icon, title, text});
                return answer;
            });
        // Shown, so that resizes reach resizeEvent at once.
        hex->resize(hex->sizeHint().width(), rows * hex->line_height());
        hex->show();
    }

    int cw() const { return hex->char_width(); }
    int lh() const { return hex->line_height(); }

    // The middle of a byte's first hexadecimal digit / of its character cell.
    QPoint hex_point(qint64 byte) const
    {
        const int row = int(byte / 16 - hex->top_row());
        const int column = int(byte % 16);
        return QPoint(cw() * (hex->row_layout().hex_start() + 3 * column) + cw() / 2,
                      row * lh() + lh() / 2);
    }
    QPoint char_point(qint64 byte) const
    {
        const int row = int(byte / 16 - hex->top_row());
        const int column = int(byte % 16);
        return QPoint(cw() * (hex->row_layout().char_start() + column) + cw() / 2,
                      row * lh() + lh() / 2);
    }

    QString message() const { return status->currentMessage(); }
};

inline QByteArray read_whole_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline QByteArray pattern_bytes(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) & 0xFF);
    return bytes;
}
