#include "document/file_anchor.h"

#include "document/documenterror.h"

file_anchor *file_anchor::instance()
{
    // Lives until the process ends, like the walks that report through it.
    static file_anchor *anchor = new file_anchor;
    return anchor;
}

void file_anchor::notify(int value)
{
    if (!count_step())
        return;
    step_counter = 0;
    if (cancelled)
        throw DocumentError(DocumentError::Kind::Cancelled);
    emit iterator_changed(value);
}

void file_anchor::report(int value)
{
    if (cancelled)
        throw DocumentError(DocumentError::Kind::Cancelled);
    emit iterator_changed(value);
}
