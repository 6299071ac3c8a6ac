#pragma once

namespace cto {

// Qt describes a top-level window made from a plain QWidget (the main window)
// as a "client" area, which AT-SPI calls a filler and screen readers pass
// over; such a window is reported as a frame instead, as dialogs are reported
// as dialogs. announce()'s notice is reported as a notification. Installs
// the description once; call it before the first window is shown.
void installAccessibleRoles();

} // namespace cto
