#pragma once

#include <QByteArray>
#include <QString>

// A file name from the command line, as bytes, made into a name the rest of
// the program can open. Qt holds file names as Unicode and converts them to
// UTF-8 for the system, so a name whose bytes are not UTF-8 (a Latin-1 name,
// a stray 0xFF) cannot be reached by its decoded text. Such a file is reached
// through a symbolic link in the user's runtime folder, named like the file
// with U+FFFD for the bytes that do not decode; reading, saving in place and
// linking markups then work as for any file.
class ArgumentName
{
public:
    // The name to open: the decoded bytes when they convert back unchanged,
    // else the link (made or reused) when the file exists, else the decoded
    // bytes, which then fail to open with the usual message.
    static QString openable(const QByteArray &raw);

    // The folder holding the links: private to the user (0700).
    static QString link_folder();
};
