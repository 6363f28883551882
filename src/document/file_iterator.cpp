#include "document/file_iterator.h"

#include "document/documentfailure.h"

#include <iostream>

file_iterator::file_iterator(BufferedDocument *doc)
    : document(doc)
{
    if (!doc)
        throw document_failure::not_open;
    file_size = doc->size();
}

char file_iterator::read_slow(BufferedDocument *doc, qint64 pos)
{
    char c = 0;
    try {
        if (!doc)
            throw document_failure::not_open;
        doc->read(1, pos, &c);
    } catch (const std::string &failure) {
        if (!m_read_error_logged) {
            m_read_error_logged = true;
            std::cout << "exception caught in file_iterator::read_char " << failure << std::endl;
        }
        if (m_failed_read == FailedRead::ends_walk)
            throw;
        return 0;
    }
    return c;
}

file_iterator file_iterator::end_of(BufferedDocument *doc)
{
    file_iterator result;
    result.document = doc;
    try {
        if (!doc)
            throw document_failure::not_open;
        result.m_offset = doc->size();
    } catch (const std::string &failure) {
        std::cout << "error getting end iterator" << failure << std::endl;
        result.m_offset = 0;
    }
    result.file_size = result.m_offset;
    return result;
}

int file_iterator::progress_value(qint64 pos, qint64 size)
{
    if (size == 0)
        return 0;
    // Wide product: a matcher may leave the iterator far outside the file.
    const __int128 value = __int128(pos) * 10000 / size;
    return int(qint64(value));
}

void file_iterator::report(qint64 pos, qint64 size)
{
    file_anchor::instance()->notify(progress_value(pos, size));
}
