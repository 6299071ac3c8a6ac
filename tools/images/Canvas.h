#pragma once

#include <QImage>
#include <QSize>

#include <functional>

class QPainter;

namespace cto::images {

// Draws one picture at a given scale: the drawing works in logical pixels
// (the 1x image's), and the image has `scale` device pixels to each of them,
// so that one drawing gives both the 1x file and the sharp @2x one.
using Drawing = std::function<void(QPainter&)>;
QImage render(QSize logicalSize, int scale, const Drawing& drawing);

} // namespace cto::images
