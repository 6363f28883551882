#pragma once

#include "document/documentfailure.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QFile;

// Read-only random access to one file of any size through a single window of
// 64 KiB that follows the reads. Every failure is thrown as a std::string
// holding one of the texts of document_failure: not_open, beyond_eof,
// does_not_exist, cannot_open or not_regular.
class BufferedDocument : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(BufferedDocument)

public:
    static constexpr int window_size = 0x10000;
    static constexpr int centring_distance = 0x8000;

    BufferedDocument();
    ~BufferedDocument() override;

    // `path` is UTF-8. Closes any open file first; a failure leaves the
    // document closed. Only a regular file is opened: a folder, pipe, socket
    // or device is refused with not_regular, and open() never
    // blocks (a pipe put in the file's place meanwhile is noticed too).
    void open(const std::string &path);
    // The text open() would throw for `path`, or the empty string when it
    // would open it. Opens and closes the file without blocking.
    static std::string open_error(const std::string &path);
    void close();
    bool is_open() const { return file != nullptr; }

    // The size the file system reports now; never cached, so a file that
    // grows or shrinks while open is seen as it is.
    qint64 size() const;

    // Copies `len` bytes at `pos` into `dst`, moving the window first when it
    // does not hold them. A negative `pos` or `len`, or a range that ends past
    // the end of the file, is refused with beyond_eof.
    void read(int len, qint64 pos, char *dst);

    // Reloads the window centred on `pos` (pushed inwards at both ends of the
    // file) and emits buffer_moved(pos).
    void move_buffer(qint64 pos);
    void rewind();

    // Up to `len` bytes at `pos` straight from the open file (the handle, so
    // the file as it was opened even when its name now names another or
    // none), leaving the window alone. The count read; -1 when closed or on
    // an error.
    qint64 read_direct(qint64 pos, char *dst, qint64 len) const;
    // read_direct's positional read on any descriptor `handle`, for a reader
    // on another thread that holds a descriptor of its own.
    static qint64 read_at(int handle, qint64 pos, char *dst, qint64 len);
    // The open file's descriptor, -1 while closed.
    int handle() const;

    // Empty when no file is open.
    QString absolute_path() const;
    // Whether `path` still names the very file that is open (same device and
    // inode), not one that replaced it since it was opened. False when closed
    // or when the path names nothing.
    bool is_open_file(const QString &path) const;

    // File offset of the window's first byte, -1 while closed, and how many
    // bytes from there the window really holds.
    qint64 window_start() const { return buffer_start; }
    int window_valid() const { return m_buffer_valid; }

    // The byte-at-a-time fast path: true, with the byte, when `pos` lies
    // inside the bytes the window holds. Touches neither the file nor the
    // window, so a caller falls back to read() when it returns false.
    bool byte_in_window(qint64 pos, char &out) const noexcept
    {
        const quint64 index = quint64(pos) - quint64(buffer_start);
        if (index >= quint64(m_buffer_valid))
            return false;
        out = buffer[index];
        return true;
    }

signals:
    // The offset that was asked for, not the new window start.
    void buffer_moved(qint64 pos);

private:
    // A descriptor for the regular file at `path`, or throws.
    static int open_regular(const std::string &path);

    std::unique_ptr<char[]> buffer;
    QFile *file = nullptr;
    // The name it was opened by; a QFile made from a descriptor has none.
    QString m_file_path;
    qint64 buffer_start = -1;
    // Bytes of the window that came from the file at the last move; a short
    // read (end of file, a file that shrank) leaves the rest unusable.
    int m_buffer_valid = 0;
};
