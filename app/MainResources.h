#pragma once

namespace cto {

// Registers main.qrc (the logo and the button glyphs :/images/tick.png and
// :/images/cross.png). The library is static, so its resources are not
// registered by themselves. Safe to call more than once.
void initMainResources();

} // namespace cto
