#include "certificates/LibraryPath.h"

#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>

#include <memory>

namespace cto {

namespace {

struct CloseLibrary {
    void operator()(void* handle) const noexcept { dlclose(handle); }
};
using Library = std::unique_ptr<void, CloseLibrary>;

// Where the dynamic loader finds a library named without a folder: only by
// loading it, as NSS is about to do anyway.
QString loaderPathOf(const QString& name) {
    const Library library(dlopen(name.toUtf8().constData(), RTLD_LAZY | RTLD_LOCAL));
    link_map* map = nullptr;
    if (!library || dlinfo(library.get(), RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    return QString::fromUtf8(map->l_name);
}

} // namespace

QString libraryRealPath(const QString& library) {
    if (library.isEmpty())
        return {};
    const QString path = library.contains(QLatin1Char('/')) ? library : loaderPathOf(library);
    // Empty for a file that does not exist.
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

} // namespace cto
