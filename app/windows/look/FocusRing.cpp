#include "app/windows/look/FocusRing.h"

#include "app/windows/look/Contrast.h"
#include "app/windows/look/PaintAfter.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPalette>

namespace cto {
namespace {

// What a focus indicator needs against what it sits on (WCAG 2: 3:1).
constexpr double kIndicatorContrast = 3.0;

void paintRing(QWidget* widget) {
    auto* button = static_cast<QAbstractButton*>(widget);
    if (!button->hasFocus())
        return;
    const QPalette& palette = button->palette();
    const QColor face = palette.color(QPalette::Button);
    const QColor highlight = palette.color(QPalette::Highlight);
    const QColor ring = contrastRatio(highlight, face) >= kIndicatorContrast
                            ? highlight
                            : palette.color(QPalette::ButtonText);
    QPainter painter(button);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    // Inside the style's own edge, clear of it at every scale.
    painter.drawRoundedRect(QRectF(button->rect()).adjusted(4, 4, -4, -4), 2, 2);
}

} // namespace

void showKeyboardFocus(QAbstractButton* button) {
    paintAfter(button, paintRing);
}

} // namespace cto
