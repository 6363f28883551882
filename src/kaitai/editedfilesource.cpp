#include "kaitai/editedfilesource.h"

#include "editedfile/editedfile.h"

#include <limits>

qint64 EditedFileSource::size() const
{
    return m_file->size();
}

QByteArray EditedFileSource::read(qint64 offset, qint64 length) const
{
    if (offset < 0 || length <= 0)
        return QByteArray();
    return m_file->read(offset, int(qMin<qint64>(length, std::numeric_limits<int>::max())));
}
