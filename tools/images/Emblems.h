#pragma once

#include <QPointF>
#include <QRectF>

class QPainter;

namespace cto::images {

// The pieces the certificate icon and the program's icon share, so that the
// two read as one family.

// A sheet of paper: a soft shadow one unit down and right, a cream sheet with
// a slate edge `edge` wide and corners rounded by `corner`. `sheet` is the
// sheet's outer bounds.
void drawPaper(QPainter& p, const QRectF& sheet, qreal edge, qreal corner);

// A red wax seal with a gold centre and two ribbons hanging below it;
// `edge` is the width of its dark rim. The ribbons reach 1.9 radii below the centre.
void drawSeal(QPainter& p, QPointF centre, qreal radius, qreal edge);

} // namespace cto::images
