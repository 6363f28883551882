#include "document/file_anchor.h"

#include "document/documentfailure.h"

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
    m_step_counter = 0;
    if (cancelled)
        throw document_failure::cancelled;
    emit iterator_changed(value);
}

void file_anchor::report(int value)
{
    if (cancelled)
        throw document_failure::cancelled;
    emit iterator_changed(value);
}
