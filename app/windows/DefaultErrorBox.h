#pragma once

#include <QString>

class QWidget;

namespace cto {

// The application's default error box, for a failure that escapes an event
// handler outside the send workflow: the failure's message, an error icon, one
// OK button, the application title as caption.
void showDefaultErrorBox(QWidget* parent, const QString& message);

// The message as that box shows it: a full stop is added when the last
// character's code is above that of ".".
QString defaultErrorBoxText(const QString& message);

} // namespace cto
