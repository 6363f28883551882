#pragma once

#include "document/buffereddocument.h"
#include "document/file_anchor.h"

#include <QtGlobal>

#include <cstddef>
#include <iterator>

// A random-access iterator over the bytes of a BufferedDocument (it is also
// used where only a bidirectional one is needed). Dereferencing yields the
// byte by value. Every movement (++, --, +=, -=, and + or - an offset) is one
// progress step of file_anchor, which may throw "operation cancelled" after
// the movement is made. Reading outside the file yields 0 and logs a line on
// standard output, once per walk (see start_walk()): a matcher stepping past
// an end may do so for every byte. A walk started to end on a failed read
// throws that read's failure text instead.
//
// Iterators over different documents are never equal and never ordered;
// equality ignores the stored size. Positions may leave 0..size while a
// matcher steps past an end.
class file_iterator
{
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char *;
    // Bytes are copied out of a moving window, so there is nothing to refer to.
    using reference = char;

    file_iterator() = default;
    // Throws "file is not open" when `doc` is closed or null.
    explicit file_iterator(BufferedDocument *doc);
    virtual ~file_iterator() = default;
    file_iterator(const file_iterator &) = default;
    file_iterator &operator=(const file_iterator &) = default;

    char read_char() const
    {
        char c;
        if (document && document->byte_in_window(m_offset, c))
            return c;
        return read_slow(document, m_offset);
    }
    char operator*() const { return read_char(); }
    char operator[](difference_type n) const
    {
        file_iterator at(*this);
        at.m_offset += n;
        return at.read_char();
    }

    file_iterator &operator++()
    {
        ++m_offset;
        step();
        return *this;
    }
    file_iterator &operator--()
    {
        --m_offset;
        step();
        return *this;
    }
    file_iterator operator++(int)
    {
        file_iterator was(*this);
        ++*this;
        return was;
    }
    file_iterator operator--(int)
    {
        file_iterator was(*this);
        --*this;
        return was;
    }
    file_iterator &operator+=(difference_type n)
    {
        m_offset += n;
        step();
        return *this;
    }
    file_iterator &operator-=(difference_type n)
    {
        m_offset -= n;
        step();
        return *this;
    }
    friend file_iterator operator+(file_iterator it, difference_type n) { return it += n; }
    friend file_iterator operator+(difference_type n, file_iterator it) { return it += n; }
    friend file_iterator operator-(file_iterator it, difference_type n) { return it -= n; }
    // Distance between two iterators over the same document.
    friend difference_type operator-(const file_iterator &a, const file_iterator &b)
    {
        return difference_type(a.m_offset - b.m_offset);
    }

    bool operator==(const file_iterator &other) const
    {
        return document == other.document && m_offset == other.m_offset;
    }
    // Not virtual, unlike the destructor: it runs once per byte in every walk.
    bool operator!=(const file_iterator &other) const { return !(*this == other); }
    bool operator<(const file_iterator &other) const
    {
        return document == other.document && m_offset < other.m_offset;
    }
    bool operator>(const file_iterator &other) const { return other < *this; }
    bool operator<=(const file_iterator &other) const
    {
        return document == other.document && m_offset <= other.m_offset;
    }
    bool operator>=(const file_iterator &other) const { return other <= *this; }

    qint64 position() const { return m_offset; }
    void set_position(qint64 pos) { m_offset = pos; }
    // The size stored when this iterator (or the one it was copied from) was
    // made; it only scales progress.
    qint64 stored_size() const { return file_size; }
    BufferedDocument *buffered_document() const { return document; }

    // A new iterator on the same document at its current size. On a closed
    // document logs "error getting end iterator" and the text and yields 0.
    file_iterator end() const { return end_of(document); }
    static file_iterator end_of(BufferedDocument *doc);

    // Progress in ten-thousandths for this position; 0 when the stored size
    // is 0.
    int progress_value() const { return progress_value(m_offset, file_size); }

    // What a read outside the file (or of a closed file) does in a walk.
    enum class FailedRead {
        // Yields 0, as a matcher stepping past an end expects.
        yields_zero,
        // Throws its failure text: in a search, whose reads all lie inside
        // the range, a failed read means the file was cut short meanwhile,
        // and zeros from there to the range's end would only cost time.
        ends_walk,
    };

    // Begins a new walk (a search): the next read outside the file is logged
    // again, and failed reads do as `failed_read` says until end_walk().
    static void start_walk(FailedRead failed_read = FailedRead::yields_zero)
    {
        m_read_error_logged = false;
        m_failed_read = failed_read;
    }
    // Failed reads yield 0 again.
    static void end_walk() { m_failed_read = FailedRead::yields_zero; }

private:
    // The slow paths take values, not `this`, so that a walking iterator's
    // fields can stay in registers across the per-byte loop.
    static char read_slow(BufferedDocument *doc, qint64 pos);
    static int progress_value(qint64 pos, qint64 size);
    static void report(qint64 pos, qint64 size);
    void step()
    {
        if (file_anchor::count_step())
            report(m_offset, file_size);
    }

    BufferedDocument *document = nullptr;
    qint64 m_offset = 0;
    qint64 file_size = 0;

    // Walks run on the GUI thread only, one at a time.
    static inline bool m_read_error_logged = false;
    static inline FailedRead m_failed_read = FailedRead::yields_zero;
};
