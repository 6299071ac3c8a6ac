#pragma once

#include <QFont>

namespace cto {

// The windows' faces, with pixel heights as designed. The designed faces are
// Windows ones; on Linux the nearest installed faces stand in for them.

// The form face ("Tahoma", 11 px): DejaVu Sans.
QFont formFont();
// The buttons' face (bold "MS Sans Serif", 11 px): DejaVu Sans Bold.
QFont buttonFont();
// The header band's title (a heavy italic gothic, 20 px): DejaVu Sans
// Condensed Bold Oblique, narrowed to the designed face's width.
QFont headerTitleFont();

} // namespace cto
