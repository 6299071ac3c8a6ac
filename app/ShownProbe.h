#pragma once

class QWidget;

namespace cto {

// For the start-up benchmark: when CTO_EXIT_WHEN_SHOWN is set, the process
// prints "shown <CLOCK_MONOTONIC ns>" and ends at once as soon as the window
// is first painted or activated, before any handler of the window runs.
// Without the variable it does nothing.
void exitWhenShownIfAsked(QWidget& window);

} // namespace cto
