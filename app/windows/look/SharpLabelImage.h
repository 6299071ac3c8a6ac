#pragma once

#include <QString>

class QLabel;

namespace cto {

// Shows a resource image in a label as sharpIcon() draws it, for the screen
// the label is on, and again when the window moves to another screen. (A
// pixmap property in a .ui file loads the 1x file only.)
void showSharpImage(QLabel* label, const QString& path);

} // namespace cto
