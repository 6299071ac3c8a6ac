#include "Emblems.h"

#include <QColor>
#include <QPainter>
#include <QPolygonF>

#include <initializer_list>

namespace cto::images {
namespace {

// A ribbon's corners for a seal of radius 1 centred at the origin.
QPolygonF ribbon(QPointF centre, qreal radius, std::initializer_list<QPointF> corners) {
    QPolygonF polygon;
    for (const QPointF corner : corners)
        polygon << centre + corner * radius;
    return polygon;
}

} // namespace

void drawPaper(QPainter& p, const QRectF& sheet, qreal edge, qreal corner) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xb8, 0xc4, 0xd6));
    p.drawRoundedRect(sheet.translated(1, 1), corner, corner);
    p.setBrush(QColor(0xfd, 0xfb, 0xf3));
    p.setPen(QPen(QColor(0x6d, 0x7d, 0x96), edge));
    const qreal inset = edge / 2;
    p.drawRoundedRect(sheet.adjusted(inset, inset, -inset, -inset), corner, corner);
    p.restore();
}

void drawSeal(QPainter& p, QPointF centre, qreal radius, qreal edge) {
    p.save();
    // Each ribbon is outlined in its own colour, so that at 1x it is as bold
    // as the seal's rim rather than a pale, half-covered strip.
    const QColor dark(0xb0, 0x1e, 0x23);
    p.setPen(QPen(dark, edge, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(dark);
    p.drawPolygon(ribbon(centre, radius, {{-0.7, 0.3}, {-1.1, 1.9}, {-0.5, 1.5}, {-0.1, 1.9}, {-0.1, 0.3}}));
    const QColor light(0xd2, 0x38, 0x3d);
    p.setPen(QPen(light, edge, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(light);
    p.drawPolygon(ribbon(centre, radius, {{0.1, 0.3}, {0.1, 1.9}, {0.5, 1.5}, {0.9, 1.9}, {0.7, 0.3}}));
    p.setBrush(QColor(0xc8, 0x29, 0x2e));
    p.setPen(QPen(QColor(0x7c, 0x10, 0x14), edge));
    p.drawEllipse(centre, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xc2, 0x4a));
    p.drawEllipse(centre, radius / 2, radius / 2);
    p.restore();
}

} // namespace cto::images
