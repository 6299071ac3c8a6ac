#include "app/windows/look/WindowFonts.h"

namespace cto {
namespace {

QFont sansFont(int pixelSize, bool bold, bool italic) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace

QFont formFont() {
    return sansFont(11, false, false);
}
QFont buttonFont() {
    return sansFont(11, true, false);
}
QFont headerTitleFont() {
    // The designed face is a narrow one: at 20 px the titles must fit their
    // labels (356 px for "ENVÍO AUTOMÁTICO DE ESTADÍSTICA"), so the condensed
    // cut is taken and narrowed a little further.
    QFont font = sansFont(20, true, true);
    font.setStretch(82);
    return font;
}

} // namespace cto
