#pragma once

#include <functional>

class QWidget;

namespace cto {

// Runs `paint` each time `widget` has painted itself, inside the same paint
// event, so that it can draw over the widget's own painting (which an event
// filter, called before the widget, cannot). `paint` opens its own QPainter
// on the widget it is given.
void paintAfter(QWidget* widget, std::function<void(QWidget*)> paint);

} // namespace cto
