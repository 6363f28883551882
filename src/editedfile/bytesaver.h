#pragma once

#include <QMap>
#include <QString>

class BufferedDocument;

// Writes unsaved byte edits, all or nothing; each failure is told by one of
// the fixed texts "Error opening file for writing.", "Error seeking.",
// "Error writing to file." and "Error creating save file.".
class ByteSaver
{
public:
    // Into the file at `path` itself, restoring the bytes already written
    // when a later write fails. The file never changes its length, and a file
    // deleted since it was opened is not made anew.
    static bool write_in_place(const QString &path, const QMap<qint64, quint8> &edits,
                               QString *error);
    // A copy of the open file (read through its handle, so a file replaced
    // or removed by name is still the one copied) with the edits, built
    // beside `target` with the source's permission bits (and group where it
    // may) and renamed over it only when complete and on disk.
    static bool write_copy(const BufferedDocument &source, const QMap<qint64, quint8> &edits,
                           const QString &target, QString *error);
};
