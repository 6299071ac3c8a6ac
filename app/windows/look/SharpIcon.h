#pragma once

#include <QIcon>
#include <QString>

namespace cto {

// An icon from a resource image and its "@2x" twin beside it: the 1x file
// where a pixel is a device pixel, the 2x file on a screen of 2, and in
// between (1.25, 1.5, ...) the 2x file scaled down smoothly to the screen's
// own pixels. (Qt's own icons take the 1x file there and leave the painter
// to blow it up.) Disabled and other modes look as the style makes them.
QIcon sharpIcon(const QString& path);

} // namespace cto
