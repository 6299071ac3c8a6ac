// Draws the main window's images: the office's logo for the header band and
// the button glyphs. Run it once with the resources folder as argument and
// commit the PNGs; the build only compiles them in.
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

QImage transparentImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// 77 x 32, drawn for the blue band: a round emblem with three rising bars, and
// the office's name in white.
QImage logo() {
    QImage image = transparentImage(77, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

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
    return image;
}

QImage glyph(const QColor& color, const QPainterPath& shape) {
    QImage image = transparentImage(22, 22);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A darker rim first, so the glyph keeps its edge on a light button.
    p.setPen(QPen(color.darker(160), 5.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shape);
    p.setPen(QPen(color, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(shape);
    return image;
}

QImage tick() {
    QPainterPath path;
    path.moveTo(4.5, 11.5);
    path.lineTo(9, 16.5);
    path.lineTo(17.5, 5);
    return glyph(QColor(40, 170, 40), path);
}

QImage cross() {
    QPainterPath path;
    path.moveTo(5.5, 5.5);
    path.lineTo(16.5, 16.5);
    path.moveTo(16.5, 5.5);
    path.lineTo(5.5, 16.5);
    return glyph(QColor(215, 35, 35), path);
}

bool save(const QImage& image, const QString& folder, const char* name) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool ok = save(logo(), folder, "logo.png") && save(tick(), folder, "tick.png") &&
                    save(cross(), folder, "cross.png");
    return ok ? 0 : 1;
}
