#include "hexview/readablecolours.h"

#include <cmath>

namespace {

double linear(int component)
{
    const double c = component / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int mix(int from, int to, int step, int steps)
{
    return from + (to - from) * step / steps;
}

} // namespace

double ReadableColours::relative_luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

double ReadableColours::contrast_ratio(const QColor &first, const QColor &second)
{
    const double a = relative_luminance(first);
    const double b = relative_luminance(second);
    return (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
}

QColor ReadableColours::readable_background(const QColor &foreground)
{
    const QColor text = foreground.toRgb();
    const QColor start((text.red() + 128) % 256, (text.green() + 128) % 256,
                       (text.blue() + 128) % 256);
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    const QColor target = contrast_ratio(text, black) >= contrast_ratio(text, white) ? black : white;
    // Walked in even steps from the start to the target; the last step is
    // the target itself, which always reaches the contrast.
    constexpr int steps = 64;
    for (int step = 0; step < steps; ++step) {
        const QColor candidate(mix(start.red(), target.red(), step, steps),
                               mix(start.green(), target.green(), step, steps),
                               mix(start.blue(), target.blue(), step, steps));
        if (contrast_ratio(text, candidate) >= min_contrast)
            return candidate;
    }
    return target;
}
