// Painting of the hex widget: reads row bytes from the document, colours from
// the markup mask and the unsaved edits, and draws runs of equal look.

#include "hexview/hexwidget.h"

#include "document/hexdocument.h"
#include "editedfile/editedfile.h"
#include "mask/markupmask.h"
#include "markup/markupnode.h"

#include <QPaintEvent>
#include <QPainter>

#include <string>

namespace {

constexpr int bytes_per_row = RowLayout::bytes_per_row;

const QColor text_black(0, 0, 0);
const QColor selection_pen(255, 255, 0);
const QColor selection_cell(0, 0, 0);

char hex_digit(int nibble)
{
    return "0123456789ABCDEF"[nibble & 15];
}

} // namespace

QRect HexWidget::cell_rect(int row, bool hex_segment, int first, int count) const
{
    const int column = (hex_segment ? m_layout.hex_start() : m_layout.char_start()) + first;
    // From the row's top down to the lowest descender: a fill covers every
    // pixel its glyphs draw, and nothing of the rows above or below.
    return QRect(column * m_char_width - m_horizontal_offset, row * m_line_height,
                 count * m_char_width, m_ascent + m_descent);
}

int HexWidget::baseline(int row) const
{
    return row * m_line_height + m_ascent;
}

QList<substrS> HexWidget::segment_runs(const QByteArray &text, qint64 first_byte,
                                        bool hex_segment) const
{
    QList<substrS> runs;
    if (text.isEmpty())
        return runs;

    const bool has_selection = m_selection_start >= 0 && m_selection_end >= 0;
    const qint64 lo = qMin(m_selection_start, m_selection_end);
    const qint64 hi = qMax(m_selection_start, m_selection_end);
    // In edit mode only the active column shows the selection (the cursor).
    const bool segment_shows_selection = !m_edit_mode || m_hex_column_active == hex_segment;
    MarkupMask *mask = m_mask.data();

    // The look of each byte is worked out once; a hexadecimal pair and the
    // space after it share their byte's look.
    substrS look;
    int look_byte = -1;
    for (int i = 0; i < text.size(); ++i) {
        const int byte_index = hex_segment ? i / 3 : i;
        if (byte_index != look_byte) {
            look_byte = byte_index;
            const qint64 v = first_byte + byte_index;
            look.selected = has_selection && segment_shows_selection && lo <= v && v <= hi;
            look.marked = false;
            look.foreground = QColor();
            look.background = QColor();
            if (!look.selected && mask) {
                if (const MarkupNode *node = mask->markup_at(v)) {
                    look.marked = true;
                    look.foreground = node->foreground();
                    look.background = node->background();
                }
            }
        }
        if (runs.isEmpty() || runs.constLast() != look) {
            substrS run(look);
            run.start = i;
            run.text.clear();
            runs.append(run);
        }
        runs.last().text.append(text.at(i));
    }
    return runs;
}

void HexWidget::paint_segment(QPainter &painter, const QByteArray &text, qint64 first_byte,
                              bool hex_segment, int row) const
{
    const QList<substrS> runs = segment_runs(text, first_byte, hex_segment);
    const int y = baseline(row);
    for (const substrS &run : runs) {
        // Cells are contiguous, so one rectangle covers the run's cells.
        const QRect cells = cell_rect(row, hex_segment, run.start, int(run.text.size()));
        const int x = cells.left();
        if (run.selected) {
            painter.fillRect(cells, selection_cell);
            painter.setPen(selection_pen);
        } else if (run.marked) {
            painter.fillRect(cells, run.background);
            painter.setPen(run.foreground);
        } else {
            painter.setPen(text_black);
        }
        painter.drawText(QPoint(x, y), QString::fromLatin1(run.text));
    }
}

void HexWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_file->is_open()) {
        // Empty offset rows would look like an empty file: say how to open one.
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(m_char_width, 0, -m_char_width, 0),
                         Qt::AlignCenter | Qt::TextWordWrap, m_placeholder);
        return;
    }
    painter.setFont(m_font);
    const int rows = visible_rows();
    QByteArray hex;
    QByteArray chars;
    for (int r = 0; r < rows; ++r) {
        const qint64 offset = (m_top_row + r) * bytes_per_row;

        HexDocument *document = m_file->document();
        document->load(offset, bytes_per_row);
        painter.setPen(text_black);
        painter.drawText(QPoint(-m_horizontal_offset, baseline(r)), m_layout.offset_text(offset));

        const std::string hex_text = document->to_hex();
        const std::string char_text = document->to_ascii();
        hex = QByteArray(hex_text.data(), int(hex_text.size()));
        chars = QByteArray(char_text.data(), int(char_text.size()));

        // Unsaved edits replace the stored bytes in both columns; they only
        // ever cover bytes of the file, so they fall inside the row text.
        const QMap<qint64, quint8> &edits = m_file->edits();
        for (auto it = edits.lowerBound(offset);
             it != edits.constEnd() && it.key() < offset + bytes_per_row; ++it) {
            const int column = int(it.key() - offset);
            const int value = it.value();
            if (3 * column + 1 < hex.size()) {
                hex[3 * column] = hex_digit(value >> 4);
                hex[3 * column + 1] = hex_digit(value);
            }
            if (column < chars.size())
                chars[column] = (value >= 0x20 && value <= 0x7E) ? char(value) : '.';
        }

        paint_segment(painter, hex, offset, true, r);
        paint_segment(painter, chars, offset, false, r);
    }
}
