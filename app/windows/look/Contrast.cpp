#include "app/windows/look/Contrast.h"

#include <algorithm>
#include <cmath>

namespace cto {
namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// Rounded to the 8 bits a channel is painted with, so that the contrast
// measured is the contrast shown.
QColor mix(const QColor& from, const QColor& to, double share) {
    const auto blend = [share](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
    return QColor(blend(from.red(), to.red()), blend(from.green(), to.green()),
                  blend(from.blue(), to.blue()));
}

} // namespace

double relativeLuminance(const QColor& color) {
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legibleOn(const QColor& wanted, const QColor& background, double ratio) {
    if (contrastRatio(wanted, background) >= ratio)
        return wanted;
    const QColor extreme =
        contrastRatio(Qt::white, background) >= contrastRatio(Qt::black, background) ? Qt::white : Qt::black;
    // Halve the way to the least share of the extreme that is enough; `high`
    // only ever holds a share found enough (or the extreme itself, the best
    // there is when nothing is enough).
    double low = 0;
    double high = 1;
    for (int step = 0; step < 16; ++step) {
        const double middle = (low + high) / 2;
        (contrastRatio(mix(wanted, extreme, middle), background) >= ratio ? high : low) = middle;
    }
    return mix(wanted, extreme, high);
}

} // namespace cto
