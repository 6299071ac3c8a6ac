#include "app/loader/SendEngineLoader.h"

#include "app/SendEngine.h"

#include "common/FailureKinds.h"
#include "common/TrustedFile.h"

#include <QFile>

#include <dlfcn.h>

#include <string>

namespace cto {
namespace {

EFOpenError loadFailure(const std::string& path, const std::string& reason) {
    return EFOpenError("No se puede cargar el motor de envío " + path + ": " + reason);
}

// The loader's words, with the module's own name where it saw only the open file's.
std::string loaderError(const std::string& seen, const std::string& path) {
    const char* text = ::dlerror();
    std::string said = text ? text : "error desconocido";
    for (auto at = said.find(seen); at != std::string::npos; at = said.find(seen, at + path.size()))
        said.replace(at, seen.size(), path);
    return said;
}

} // namespace

SendEngine& loadSendEngine(const QString& modulePath) {
    const std::string path = QFile::encodeName(modulePath).toStdString();
    // Code that another user could have replaced must not run as this one:
    // the module is checked open, and that open file is what is loaded.
    TrustedFile file(path);
    if (!file.trusted())
        throw loadFailure(path, file.openError() ? file.refusal() : file.refusal() + "; no se carga");
    // Never unloaded: the engine's objects live until the process ends, and
    // OpenSSL keeps calling the key provider that the module registers in it
    // (its keys' functions, and its own clean-up at exit).
    const std::string loadedAs = file.procPath();
    void* module = ::dlopen(loadedAs.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module)
        throw loadFailure(path, loaderError(loadedAs, path));
    // Loaded for good under /proc/self/fd/N: that number stays this file's, so
    // that no later library opened by the same name is taken for the engine.
    (void)file.release();
    using Entry = std::uint32_t (*)(std::uint32_t, SendEngine**) noexcept;
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "ctoSendEngineEntry"));
    if (!entry)
        throw loadFailure(path, loaderError(loadedAs, path));
    SendEngine* engine = nullptr;
    const std::uint32_t version = entry(kSendEngineInterfaceVersion, &engine);
    if (version != kSendEngineInterfaceVersion || !engine)
        throw loadFailure(path, "el módulo tiene la versión " + std::to_string(version) +
                                    " de la interfaz del motor y este programa necesita la versión " +
                                    std::to_string(kSendEngineInterfaceVersion));
    return *engine;
}

} // namespace cto
