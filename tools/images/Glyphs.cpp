#include "Glyphs.h"

#include "Canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace cto::images {
namespace {

// A round emblem with three rising bars, and the office's name in white.
void drawLogo(QPainter& p) {
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawEllipse(QRectF(2, 2, 28, 28));

    const QColor gold(255, 206, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(gold);
    p.drawRect(QRectF(9, 17, 4, 7));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 13, 4, 11));
    p.setBrush(gold);
    p.drawRect(QRectF(19, 8, 4, 16));

    // The largest bold face that fits the name beside the emblem.
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setBold(true);
    for (int size = 14; size > 8; --size) {
        name.setPixelSize(size);
        if (QFontMetrics(name).horizontalAdvance(QStringLiteral("OSKEL")) <= 42)
            break;
    }
    p.setFont(name);
    p.setPen(Qt::white);
    p.drawText(QRectF(33, 3, 44, 17), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("OSKEL"));

    p.setPen(QPen(gold, 2));
    p.drawLine(QPointF(34, 22), QPointF(75, 22));

    QFont tag(QStringLiteral("DejaVu Sans"));
    tag.setPixelSize(6);
    p.setFont(tag);
    p.setPen(Qt::white);
    p.drawText(QRectF(33, 23, 44, 8), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ESTADISTICA"));
}

QImage glyph(int scale, const QColor& color, const QPainterPath& shape) {
    return render(QSize(22, 22), scale, [&](QPainter& p) {
        // A darker rim first, so the glyph keeps its edge on a light button.
        p.setPen(QPen(color.darker(160), 5.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(shape);
        p.setPen(QPen(color, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(shape);
    });
}

} // namespace

QImage logo(int scale) {
    return render(QSize(77, 32), scale, drawLogo);
}

QImage tick(int scale) {
    QPainterPath path;
    path.moveTo(4.5, 11.5);
    path.lineTo(9, 16.5);
    path.lineTo(17.5, 5);
    return glyph(scale, QColor(40, 170, 40), path);
}

QImage cross(int scale) {
    QPainterPath path;
    path.moveTo(5.5, 5.5);
    path.lineTo(16.5, 16.5);
    path.moveTo(16.5, 5.5);
    path.lineTo(5.5, 16.5);
    return glyph(scale, QColor(215, 35, 35), path);
}

} // namespace cto::images
