#include "hexview/paintrun.h"

PaintRun::~PaintRun() = default;

PaintRun &PaintRun::operator=(const PaintRun &other)
{
    text = other.text;
    selected = other.selected;
    marked = other.marked;
    start = other.start;
    foreground = other.foreground;
    background = other.background;
    return *this;
}

bool PaintRun::operator==(const PaintRun &other) const
{
    return selected == other.selected && marked == other.marked && foreground == other.foreground
        && background == other.background;
}

bool PaintRun::operator!=(const PaintRun &other) const
{
    return !(*this == other);
}
