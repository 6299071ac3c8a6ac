#include "app/windows/look/SharpIcon.h"

#include "app/windows/look/ImageFile.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

namespace cto {
namespace {

QString twinOf(const QString& path) {
    QString twin = path;
    return twin.insert(path.lastIndexOf(QLatin1Char('.')), QLatin1String("@2x"));
}

class SharpIconEngine : public QIconEngine {
public:
    explicit SharpIconEngine(const QString& path)
        : path_(path), twin_(QFile::exists(twinOf(path)) ? twinOf(path) : QString()),
          size_(imageReader(path)->size()) {} // the header alone: nothing decoded until drawn

    QIconEngine* clone() const override { return new SharpIconEngine(*this); }
    QString key() const override { return QStringLiteral("cto.sharp"); }
    bool isNull() override { return size_.isEmpty(); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {size_}; }

    // Never larger than the image, nor than asked for.
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        return size_.width() <= size.width() && size_.height() <= size.height()
                   ? size_
                   : size_.scaled(size, Qt::KeepAspectRatio);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return sized(actualSize(size, mode, state), 1, mode);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        const QSize logical = size;
#else
        // Before 6.8 QIcon::pixmap passes the size in device pixels.
        const QSize logical = (QSizeF(size) / scale).toSize();
#endif
        return sized(actualSize(logical, mode, state), scale, mode);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        QRect target(QPoint(), actualSize(rect.size(), mode, state));
        target.moveCenter(rect.center());
        painter->drawPixmap(target, sized(target.size(), painter->device()->devicePixelRatio(), mode));
    }

private:
    // The image at `logical` size for `scale` device pixels a pixel, from
    // the file with at least as many pixels as that, cached.
    QPixmap sized(QSize logical, qreal scale, QIcon::Mode mode) const {
        const QSize device(qRound(logical.width() * scale), qRound(logical.height() * scale));
        const QString cacheKey = QStringLiteral("cto.sharp|%1|%2x%3|%4")
                                     .arg(path_)
                                     .arg(device.width())
                                     .arg(device.height())
                                     .arg(int(mode));
        QPixmap pixmap;
        if (QPixmapCache::find(cacheKey, &pixmap)) {
            pixmap.setDevicePixelRatio(scale);
            return pixmap;
        }
        QImage image =
            imageReader(device.width() > size_.width() && !twin_.isEmpty() ? twin_ : path_)->read();
        image.setDevicePixelRatio(1);
        if (image.size() != device)
            image = image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        pixmap = QPixmap::fromImage(image);
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        QPixmapCache::insert(cacheKey, pixmap);
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QString path_;
    QString twin_;
    QSize size_;
};

} // namespace

QIcon sharpIcon(const QString& path) {
    return QIcon(new SharpIconEngine(path));
}

} // namespace cto
