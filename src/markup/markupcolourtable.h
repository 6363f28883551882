#pragma once

#include <QColor>

// Colours of markups, each kept once for the whole program: a markup holds
// two small numbers instead of two QColor values, and the many markups of
// one template share the few colours it uses. Colours are compared with
// QColor's operator==, so a colour comes back exactly as given (its colour
// model included). Never shrinks; there are as many as distinct colours used in
// a session (past 64 million, a new colour reads as black). Any thread;
// reading a colour takes no lock, since the hex view reads one per byte.
class MarkupColourTable
{
public:
    // Given out before any other: the colours of a new markup.
    static constexpr quint32 black = 0;
    static constexpr quint32 white = 1;

    static quint32 intern(const QColor &colour);
    // Black for a number never given out.
    static QColor colour(quint32 id);
};
