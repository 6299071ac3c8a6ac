#pragma once

class QWidget;

namespace cto {

// For the start-up benchmarks: when CTO_EXIT_WHEN_SHOWN is set, the process
// prints "shown <CLOCK_MONOTONIC ns> <paint|activate> <rows>" and ends at once
// as soon as the watched window is first painted or activated, before any
// handler of the window runs. The variable names the window: "certificados"
// the certificate dialog (shown with its rows, which <rows> counts), any
// other value the main window. Without the variable it does nothing.
enum class ShownWindow { Main, CertificateDialog };
void exitWhenShownIfAsked(QWidget& window, ShownWindow which);

} // namespace cto
