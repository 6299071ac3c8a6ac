#pragma once

class QAbstractButton;

namespace cto {

// Draws a ring inside the button while it has the keyboard focus. Our
// buttons' look leaves the focus unseen in some styles (Fusion draws a
// focused button exactly like the default one), so the ring is drawn here,
// the same in every style: in the palette's highlight colour where that
// stands out from the button's face, else in the button's text colour.
void showKeyboardFocus(QAbstractButton* button);

} // namespace cto
