#pragma once

#include "document/documentfailure.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <iostream>
#include <sstream>
#include <string>

namespace pq_test {

// Collects what the document layer writes to standard output while alive.
class StdoutCapture
{
public:
    StdoutCapture() : previous(std::cout.rdbuf(captured.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(previous); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    std::string text() const { return captured.str(); }

private:
    std::ostringstream captured;
    std::streambuf *previous;
};

// The oracle for windowed reads: the whole file read in one go.
inline QByteArray whole_file(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Runs `call` and returns the text it threw, caught as the document layer's
// callers catch it (const std::string &), or "" when it threw nothing.
template <typename Call>
std::string thrown_text(Call call)
{
    try {
        call();
    } catch (const std::string &failure) {
        return failure;
    }
    return std::string();
}

} // namespace pq_test
