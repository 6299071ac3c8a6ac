#include "WindowFonts.h"

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

QFont formFont() { return sansFont(11, false, false); }
QFont buttonFont() { return sansFont(11, true, false); }
QFont headerTitleFont() { return sansFont(20, true, true); }

} // namespace cto
