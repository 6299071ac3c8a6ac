#pragma once

#include <QImageReader>
#include <QString>

#include <memory>

namespace cto {

// A reader for one of the program's own images, its format taken from the
// file's suffix and never guessed: guessing, Qt loads and asks every image
// plug-in installed before its own readers, a cost paid at start-up.
std::unique_ptr<QImageReader> imageReader(const QString& path);

} // namespace cto
