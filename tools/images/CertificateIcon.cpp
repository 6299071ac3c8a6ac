#include "CertificateIcon.h"

#include "Canvas.h"
#include "Emblems.h"

#include <QPainter>

namespace cto::images {

QImage certificateIcon(int scale) {
    return render(QSize(32, 32), scale, [](QPainter& p) {
        drawPaper(p, QRectF(2, 3, 27, 22), 1, 2);
        // Whole pixels, so that the lines stay sharp at 1x.
        p.fillRect(QRectF(6, 8, 19, 1), QColor(0x2d, 0x5f, 0xb4));
        const QColor text(0x9a, 0xa6, 0xb8);
        p.fillRect(QRectF(6, 11, 19, 1), text);
        p.fillRect(QRectF(6, 14, 14, 1), text);
        p.fillRect(QRectF(6, 17, 10, 1), text);
        drawSeal(p, QPointF(23, 21), 5, 1);
    });
}

} // namespace cto::images
