#pragma once

#include <QByteArray>
#include <QColor>

// One painting run: consecutive characters of one row segment (the hexadecimal
// or the character text of a row) that share one look. Runs compare equal when
// they look the same, whatever their text and position, so neighbouring
// characters of equal look merge into one run and one drawText call.
class substrS
{
public:
    substrS() = default;
    substrS(const substrS &other) = default;
    virtual ~substrS();
    virtual substrS &operator=(const substrS &other);
    virtual bool operator==(const substrS &other) const;
    virtual bool operator!=(const substrS &other) const;

    QByteArray text;        // the run's characters (Latin-1)
    bool selected = false;  // painted as selection: yellow on black
    bool marked = false;    // painted in a markup's colours
    int start = 0;          // index in the segment text of the first character
    QColor foreground;      // text colour when marked
    QColor background;      // cell colour when marked
};
