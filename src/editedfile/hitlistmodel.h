#pragma once

#include <QAbstractTableModel>

#include <vector>

class EditedFile;

// One Find All hit: bytes first .. end - 1 (end == first for an empty match).
struct SearchHit
{
    qint64 first = 0;
    qint64 end = 0;
};

// The Find All hits as a table: offset, length, and the first bytes of the
// hit in hexadecimal and as text. Only the offsets are stored; the previews
// are read from the edited file when a view asks for a row, so a long list
// costs sixteen bytes a hit and the rows a view shows.
class HitListModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(HitListModel)

public:
    enum Column { Offset, Length, Hex, Text, column_count };
    // The bytes a preview shows at most; a longer hit ends in "...".
    static constexpr int preview_bytes = 16;

    explicit HitListModel(EditedFile *file, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<SearchHit> &hits() const { return m_hits; }
    // The hit of `row`; an empty hit at 0 for a row out of range.
    SearchHit hit(int row) const;
    void clear();
    // Appends hits that follow the ones listed, as one row insertion.
    void append(const std::vector<SearchHit> &hits);

    // The first bytes of a hit as the user sees them now, for the previews.
    static QString hex_preview(const QByteArray &bytes, bool cut);
    static QString text_preview(const QByteArray &bytes, bool cut);

private:
    EditedFile *m_file;
    std::vector<SearchHit> m_hits;
};
