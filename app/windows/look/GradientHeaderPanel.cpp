#include "app/windows/look/GradientHeaderPanel.h"

#include <QPainter>

#include <algorithm>

namespace cto {
namespace {

constexpr int kMaxStripes = 100;
constexpr int kStart[3] = {0, 62, 164};
constexpr int kEnd[3] = {17, 106, 255};

// numerator / denominator (denominator > 0) to the nearest integer, a half to the even one.
int roundHalfEven(long long numerator, long long denominator) {
    long long quotient = numerator / denominator;
    long long remainder = numerator % denominator;
    if (remainder < 0) { // floor division
        remainder += denominator;
        --quotient;
    }
    const long long twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && quotient % 2 != 0))
        ++quotient;
    return static_cast<int>(quotient);
}

} // namespace

std::vector<GradientStripe> gradientStripes(int height) {
    std::vector<GradientStripe> stripes;
    if (height <= 0)
        return stripes;
    const int count = std::min(kMaxStripes, height);
    stripes.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        int rgb[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = roundHalfEven(static_cast<long long>(kStart[c]) * count +
                                       static_cast<long long>(i) * (kEnd[c] - kStart[c]),
                                   count);
        stripes.push_back({roundHalfEven(static_cast<long long>(i) * height, count),
                           roundHalfEven(static_cast<long long>(i + 1) * height, count),
                           QColor(rgb[0], rgb[1], rgb[2])});
    }
    return stripes;
}

GradientHeaderPanel::GradientHeaderPanel(QWidget* parent) : QWidget(parent) {
    // The stripes cover every pixel, so nothing behind needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void GradientHeaderPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const GradientStripe& stripe : gradientStripes(height()))
        painter.fillRect(0, stripe.top, width(), stripe.bottom - stripe.top, stripe.color);
}

} // namespace cto
