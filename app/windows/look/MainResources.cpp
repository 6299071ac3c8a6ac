#include "app/windows/look/MainResources.h"

#include "app/windows/look/ImageFile.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QtGlobal>

#include <array>

// Q_INIT_RESOURCE names a function at global scope.
static void initMainQrc() {
    Q_INIT_RESOURCE(main);
}

namespace {

constexpr std::array<int, 5> kIconSizes = {16, 32, 48, 64, 128};

// The program's icon, its files read only when a size is asked for: no
// window system asks before the first window is on screen, and the offscreen
// one never does.
class ProgramIconEngine final : public QIconEngine {
public:
    QIconEngine* clone() const override { return new ProgramIconEngine; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int size : kIconSizes)
            sizes.append(QSize(size, size));
        return sizes;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = fileSideFor(size);
        return QSize(side, side).boundedTo(size);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = fileSideFor(size);
        QImage image = cto::imageReader(QStringLiteral(":/images/window-icon-%1.png").arg(side))->read();
        if (image.size() != size)
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(image);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

private:
    // The smallest file at least as large as asked, else the largest.
    static int fileSideFor(const QSize& size) {
        for (const int side : kIconSizes)
            if (side >= size.width() && side >= size.height())
                return side;
        return kIconSizes.back();
    }
};

} // namespace

QIcon cto::programIcon() {
    return QIcon(new ProgramIconEngine);
}

void cto::initMainResources() {
    initMainQrc();
    // Once: every window without an icon of its own takes the application's.
    static const bool iconSet = [] {
        QGuiApplication::setWindowIcon(programIcon());
        return true;
    }();
    Q_UNUSED(iconSet);
}
