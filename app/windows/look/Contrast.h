#pragma once

#include <QColor>

namespace cto {

// The least contrast for body text that low-vision readers can still read
// (WCAG 2: 4.5:1).
inline constexpr double kTextContrast = 4.5;

// The colour's relative luminance, 0 (black) to 1 (white), as WCAG 2 defines it.
double relativeLuminance(const QColor& color);

// The contrast ratio between two colours, 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// `wanted` when it stands out enough from `background`; else the colour
// nearest to it, moved towards white or black (whichever the background is
// further from), that reaches `ratio`.
QColor legibleOn(const QColor& wanted, const QColor& background, double ratio = kTextContrast);

} // namespace cto
