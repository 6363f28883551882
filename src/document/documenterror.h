#pragma once

#include <exception>

// What the document layer throws: one of a few kinds, each with a fixed text.
// Thrown by value and caught by const reference; callers decide by kind().
// The text is what diagnostics print and what people search logs for, so a
// kind's text never changes.
class DocumentError : public std::exception
{
public:
    enum class Kind {
        NotOpen,
        BeyondEof,
        DoesNotExist,
        CannotOpen,
        NotRegular,
        Cancelled,
    };

    explicit DocumentError(Kind kind) noexcept : m_kind(kind) {}

    Kind kind() const noexcept { return m_kind; }
    const char *what() const noexcept override
    {
        switch (m_kind) {
        case Kind::NotOpen:
            return "file is not open";
        case Kind::BeyondEof:
            return "block request beyond EOF";
        case Kind::DoesNotExist:
            return "file does not exist";
        case Kind::CannotOpen:
            return "file could not be opened for read";
        case Kind::NotRegular:
            return "not a regular file";
        case Kind::Cancelled:
            return "operation cancelled";
        }
        return "";
    }

private:
    Kind m_kind;
};
