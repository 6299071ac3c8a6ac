#pragma once

#include <QString>

class QLabel;

namespace cto {

// Shows a resource image in a label, drawn for the screen the label is on:
// the "@2x" file beside `path` on a dense screen, scaled down smoothly from it
// at in-between scales such as 1.5, the 1x file elsewhere; drawn again when
// the window moves to another screen. (A pixmap property in a .ui file loads
// the 1x file only, which a dense screen then blows up.)
void showSharpImage(QLabel* label, const QString& path);

} // namespace cto
