#pragma once

#include <QColor>
#include <QString>

#include <vector>

// A markup to be added for a template: bytes first..last (inclusive, as the
// markup tree counts), its text and colours, and the markups inside it.
struct KsyMarkup
{
    qint64 first = 0;
    qint64 last = 0;
    QString description;
    // What the field documents: the markup's tool tip.
    QString doc;
    QColor foreground;
    QColor background;
    // Read from decoded bytes: the range is the processed field's, which
    // holds it; it goes under that markup whatever else lies there.
    bool decoded = false;
    std::vector<KsyMarkup> children;
};
