#include "document/fileanchor.h"

#include "document/documenterror.h"

FileAnchor *FileAnchor::instance()
{
    // Lives until the process ends, like the walks that report through it.
    static FileAnchor *anchor = new FileAnchor;
    return anchor;
}

void FileAnchor::notify(int value)
{
    if (!count_step())
        return;
    m_step_counter = 0;
    if (m_cancelled)
        throw DocumentError(DocumentError::Kind::Cancelled);
    emit iterator_changed(value);
}

void FileAnchor::report(int value)
{
    if (m_cancelled)
        throw DocumentError(DocumentError::Kind::Cancelled);
    emit iterator_changed(value);
}
