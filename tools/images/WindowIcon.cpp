#include "WindowIcon.h"

#include "Canvas.h"
#include "Emblems.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace cto::images {
namespace {

// The drawing is laid out on a 32-unit square; a Grid turns units into the
// device pixels of one size, rounding edges to whole pixels.
class Grid {
public:
    explicit Grid(int size) : k_(size / 32.0) {}

    qreal at(qreal units) const { return std::round(units * k_); }
    // At least one pixel, however small the size.
    qreal span(qreal units) const { return std::max<qreal>(1, std::round(units * k_)); }
    QRectF rect(qreal x, qreal y, qreal w, qreal h) const { return QRectF(at(x), at(y), span(w), span(h)); }
    qreal scale() const { return k_; }

private:
    qreal k_;
};

void drawAnswerBox(QPainter& p, const QRectF& box, qreal edge, bool ticked, bool detailed) {
    p.fillRect(box, QColor(0x6d, 0x7d, 0x96));
    p.fillRect(box.adjusted(edge, edge, -edge, -edge), Qt::white);
    if (!ticked || !detailed)
        return;
    QPainterPath tick;
    tick.moveTo(box.left() + box.width() * 0.22, box.top() + box.height() * 0.52);
    tick.lineTo(box.left() + box.width() * 0.43, box.top() + box.height() * 0.74);
    tick.lineTo(box.left() + box.width() * 0.80, box.top() + box.height() * 0.24);
    p.save();
    p.setPen(QPen(QColor(40, 150, 40), box.width() * 0.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.restore();
}

void drawWindowIcon(QPainter& p, int size) {
    const Grid g(size);
    const qreal edge = g.span(1);
    drawPaper(p, g.rect(3, 1, 21, 28), edge, std::max<qreal>(1, 2 * g.scale()));

    // The form's title bar.
    p.fillRect(g.rect(6, 5, 15, 2.5), QColor(0x2d, 0x5f, 0xb4));

    // Answer rows: a box and a line of text each. Below 32 pixels the boxes
    // would be blots: only the lines are drawn.
    const bool boxes = size >= 32;
    const bool ticks = size >= 48;
    const QColor text(0x9a, 0xa6, 0xb8);
    for (int row = 0; row < 3; ++row) {
        const qreal top = 9 + row * 5.5;
        if (boxes) {
            drawAnswerBox(p, g.rect(6, top, 4, 4), edge, row != 1, ticks);
            p.fillRect(g.rect(12, top + 1.5, row == 2 ? 5 : 9, 1), text);
        } else {
            p.fillRect(g.rect(6, top + 1, row == 2 ? 8 : 15, 1.5), text);
        }
    }

    // The seal centred on a pixel's centre and its radius in half pixels, so
    // that its rim is as sharp as a circle gets.
    const QPointF centre(std::floor(22.5 * g.scale()) + 0.5, std::floor(19.5 * g.scale()) + 0.5);
    drawSeal(p, centre, std::round(11 * g.scale()) / 2, std::max<qreal>(1, 0.8 * g.scale()));
}

} // namespace

QImage windowIcon(int size) {
    return render(QSize(size, size), 1, [size](QPainter& p) { drawWindowIcon(p, size); });
}

} // namespace cto::images
