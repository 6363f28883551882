#pragma once

#include <QtGlobal>

// Where the last byte-string search found its hit: bytes first .. end - 1.
struct match_range
{
    qint64 first = 0;
    qint64 end = 0;
    // True until a search finds something, and again after one finds nothing.
    bool no_match = true;
};
