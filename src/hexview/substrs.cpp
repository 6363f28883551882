#include "hexview/substrs.h"

substrS::~substrS() = default;

substrS &substrS::operator=(const substrS &other)
{
    text = other.text;
    selected = other.selected;
    marked = other.marked;
    start = other.start;
    foreground = other.foreground;
    background = other.background;
    return *this;
}

bool substrS::operator==(const substrS &other) const
{
    return selected == other.selected && marked == other.marked && foreground == other.foreground
        && background == other.background;
}

bool substrS::operator!=(const substrS &other) const
{
    return !(*this == other);
}
