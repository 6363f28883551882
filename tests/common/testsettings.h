#pragma once

#include <QString>

namespace pq_test {

// Points every QSettings in the process (and so Config::instance()) at a fresh
// temporary folder, so a test never reads or writes the real user's settings.
// Call before the first Config::instance(). Returns the folder used.
QString isolate_settings();

// Creates a file of exactly `size` bytes in a fresh temporary folder, filled
// with a pattern (byte i is (i * 7 + 3) & 0xFF), or holding `contents` when
// that is given (then `size` is ignored).
// The folder lives until the process ends.
QString make_temp_file(qint64 size, const QByteArray &contents = QByteArray());

} // namespace pq_test
