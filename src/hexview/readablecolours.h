#pragma once

#include <QColor>

// Colour arithmetic for markup colours that must stay readable: text in a
// markup's foreground on its background, in the hex view and the tree. The
// measures are WCAG 2's relative luminance and contrast ratio; text needs at
// least min_contrast against its fill to be read comfortably.
class ReadableColours
{
public:
    static constexpr double min_contrast = 4.5;

    // 0 (black) .. 1 (white), from the sRGB components; alpha is ignored.
    static double relative_luminance(const QColor &colour);
    // (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black
    // on white; the same whichever comes first.
    static double contrast_ratio(const QColor &first, const QColor &second);

    // A fill for text in `foreground`: the colour 128 away from it in every
    // component (so random pairs still look random), moved towards black or
    // white, whichever the text stands out from more, just far enough to
    // reach min_contrast. Opaque. Every foreground has one: black or white
    // itself is at least 4.58 from any colour.
    static QColor readable_background(const QColor &foreground);
};
