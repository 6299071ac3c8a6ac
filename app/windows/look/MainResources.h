#pragma once

#include <QIcon>

namespace cto {

// Registers main.qrc (the logo, the button glyphs :/images/tick.png and
// :/images/cross.png, each with its @2x twin, and the program's icon) and
// makes the program's icon every window's. The library is static, so its
// resources are not registered by themselves. Every window calls it before
// it is built; safe to call more than once.
void initMainResources();

// The program's icon: a survey form with the certificate seal, at 16, 32, 48,
// 64 and 128 pixels.
QIcon programIcon();

} // namespace cto
