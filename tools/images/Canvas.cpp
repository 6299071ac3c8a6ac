#include "Canvas.h"

#include <QPainter>

namespace cto::images {

QImage render(QSize logicalSize, int scale, const Drawing& drawing) {
    QImage image(logicalSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing(painter);
    return image;
}

} // namespace cto::images
