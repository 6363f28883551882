#pragma once

#include <string>

// What the document layer throws: a std::string holding one of these texts,
// thrown by value and caught as const std::string &. Catchers tell the
// failures apart by comparing against these constants, never by spelling a
// text again; the texts are what diagnostics print and people search logs
// for, so they never change.
namespace document_failure {
inline const std::string not_open = "file is not open";
inline const std::string beyond_eof = "block request beyond EOF";
inline const std::string does_not_exist = "file does not exist";
inline const std::string cannot_open = "file could not be opened for read";
// A folder, pipe, socket or device: nothing to show, or a read that never ends.
inline const std::string not_regular = "not a regular file";
inline const std::string cancelled = "operation cancelled";
} // namespace document_failure
