#include "editedfile/hitlistmodel.h"

#include "editedfile/editedfile.h"

#include <algorithm>

HitListModel::HitListModel(EditedFile *file, QObject *parent)
    : QAbstractTableModel(parent)
    , m_file(file)
{
}

int HitListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int HitListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : column_count;
}

QVariant HitListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= column_count)
        return QVariant();
    const SearchHit &h = m_hits[size_t(index.row())];
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Offset:
        return QStringLiteral("0x%1").arg(h.first, 0, 16);
    case Length:
        return h.end - h.first;
    case Hex:
    case Text: {
        const qint64 length = h.end - h.first;
        const QByteArray bytes = m_file->read(h.first, int(std::min<qint64>(length, preview_bytes)));
        const bool cut = length > preview_bytes;
        return index.column() == Hex ? hex_preview(bytes, cut) : text_preview(bytes, cut);
    }
    }
    return QVariant();
}

QVariant HitListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Offset:
        return tr("Offset");
    case Length:
        return tr("Length");
    case Hex:
        return tr("Hex");
    case Text:
        return tr("Text");
    }
    return QVariant();
}

SearchHit HitListModel::hit(int row) const
{
    return row >= 0 && row < rowCount() ? m_hits[size_t(row)] : SearchHit();
}

void HitListModel::clear()
{
    if (m_hits.empty())
        return;
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    endResetModel();
}

void HitListModel::append(const std::vector<SearchHit> &hits)
{
    if (hits.empty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(hits.size()) - 1);
    m_hits.insert(m_hits.end(), hits.cbegin(), hits.cend());
    endInsertRows();
}

QString HitListModel::hex_preview(const QByteArray &bytes, bool cut)
{
    QString text = QString::fromLatin1(bytes.toHex(' ').toUpper());
    if (cut)
        text += QStringLiteral(" ...");
    return text;
}

QString HitListModel::text_preview(const QByteArray &bytes, bool cut)
{
    QString text;
    text.reserve(bytes.size() + 3);
    // Printable ASCII as itself, everything else as a dot, as the hex view's
    // text column shows it.
    for (const char c : bytes)
        text += (c >= 0x20 && c < 0x7f) ? QChar::fromLatin1(c) : QLatin1Char('.');
    if (cut)
        text += QStringLiteral("...");
    return text;
}
