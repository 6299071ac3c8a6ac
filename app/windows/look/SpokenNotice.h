#pragma once

#include <QString>

class QWidget;

namespace cto {

// Has screen readers say text at once, as a live region's change is said,
// wherever the user is: the text is shown in the window of `near` as a
// notification that no one sees (one pixel, nothing painted, gone after a
// minute), which screen readers read as it appears. Qt 6.4 has no
// announcement of its own, and a screen reader passes over text that a
// program inserts into a field.
void announce(QWidget* near, const QString& text);

// A line that the program has added to a log: announced, and kept as the
// log's accessible description, which is read when the log is reached again.
void announceLogLine(QWidget* log, const QString& line);

} // namespace cto
