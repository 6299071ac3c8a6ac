#include "app/windows/look/ImageFile.h"

#include <QFileInfo>

namespace cto {

std::unique_ptr<QImageReader> imageReader(const QString& path) {
    auto reader = std::make_unique<QImageReader>(path, QFileInfo(path).suffix().toLower().toLatin1());
    reader->setAutoDetectImageFormat(false);
    return reader;
}

} // namespace cto
