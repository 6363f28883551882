#include "document/fileiterator.h"

#include "document/documenterror.h"

#include <iostream>

FileIterator::FileIterator(BufferedDocument *doc)
    : m_document(doc)
{
    if (!doc)
        throw DocumentError(DocumentError::Kind::NotOpen);
    m_file_size = doc->size();
}

char FileIterator::read_slow(BufferedDocument *doc, qint64 pos)
{
    char c = 0;
    try {
        if (!doc)
            throw DocumentError(DocumentError::Kind::NotOpen);
        doc->read(1, pos, &c);
    } catch (const DocumentError &error) {
        if (!m_read_error_logged) {
            m_read_error_logged = true;
            std::cout << "exception caught in file_iterator::read_char " << error.what() << std::endl;
        }
        if (m_failed_read == FailedRead::ends_walk)
            throw;
        return 0;
    }
    return c;
}

FileIterator FileIterator::end_of(BufferedDocument *doc)
{
    FileIterator result;
    result.m_document = doc;
    try {
        if (!doc)
            throw DocumentError(DocumentError::Kind::NotOpen);
        result.m_offset = doc->size();
    } catch (const DocumentError &error) {
        std::cout << "error getting end iterator" << error.what() << std::endl;
        result.m_offset = 0;
    }
    result.m_file_size = result.m_offset;
    return result;
}

int FileIterator::progress_value(qint64 pos, qint64 size)
{
    if (size == 0)
        return 0;
    // Wide product: a matcher may leave the iterator far outside the file.
    const __int128 value = __int128(pos) * 10000 / size;
    return int(qint64(value));
}

void FileIterator::report(qint64 pos, qint64 size)
{
    FileAnchor::instance()->notify(progress_value(pos, size));
}
