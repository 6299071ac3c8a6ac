#include "app/SendEngineLoader.h"

#include "app/SendEngine.h"

#include "common/FailureKinds.h"

#include <QFile>

#include <dlfcn.h>

#include <string>

namespace cto {
namespace {

EFOpenError loadFailure(const std::string& path, const std::string& reason) {
    return EFOpenError("Cannot load the send engine " + path + ": " + reason);
}

std::string loaderError() {
    const char* text = ::dlerror();
    return text ? text : "unknown error";
}

} // namespace

SendEngine& loadSendEngine(const QString& modulePath) {
    const std::string path = QFile::encodeName(modulePath).toStdString();
    // Never unloaded: the engine's objects live until the process ends, and
    // OpenSSL keeps calling the key provider that the module registers in it
    // (its keys' functions, and its own clean-up at exit).
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module)
        throw loadFailure(path, loaderError());
    using Entry = std::uint32_t (*)(std::uint32_t, SendEngine**) noexcept;
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "ctoSendEngineEntry"));
    if (!entry)
        throw loadFailure(path, loaderError());
    SendEngine* engine = nullptr;
    const std::uint32_t version = entry(kSendEngineInterfaceVersion, &engine);
    if (version != kSendEngineInterfaceVersion || !engine)
        throw loadFailure(path, "the module has engine interface version " + std::to_string(version) +
                                    ", this program needs version " +
                                    std::to_string(kSendEngineInterfaceVersion));
    return *engine;
}

} // namespace cto
