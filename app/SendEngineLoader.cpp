#include "app/SendEngineLoader.h"

#include "app/SendEngine.h"

#include "common/FailureKinds.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

namespace cto {
namespace {

EFOpenError loadFailure(const std::string& path, const std::string& reason) {
    return EFOpenError("No se puede cargar el motor de envío " + path + ": " + reason);
}

std::string loaderError() {
    const char* text = ::dlerror();
    return text ? text : "error desconocido";
}

std::string permissionsOf(mode_t mode) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
    return octal;
}

// Code that another user could have replaced must not run as this one, as a
// shell refuses an authorized-keys file that others can write: the module,
// and the folder it lies in unless that folder keeps others from replacing
// what is not theirs (the sticky bit). The owner's own folder is fine.
void refuseIfOthersCanWrite(const std::string& path) {
    struct stat module {};
    if (::stat(path.c_str(), &module) != 0)
        return; // dlopen says why it cannot be loaded
    if (module.st_mode & S_IWOTH)
        throw loadFailure(path, "otros usuarios pueden modificar el fichero (permisos " +
                                    permissionsOf(module.st_mode) + "); no se carga");
    char* resolved = ::realpath(path.c_str(), nullptr);
    const std::string folder = resolved ? std::filesystem::path(resolved).parent_path().string()
                                        : std::filesystem::path(path).parent_path().string();
    std::free(resolved);
    struct stat folderInfo {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &folderInfo) == 0 && (folderInfo.st_mode & S_IWOTH) &&
        !(folderInfo.st_mode & S_ISVTX))
        throw loadFailure(path, "otros usuarios pueden sustituirlo, porque pueden escribir en su carpeta " +
                                    folder + " (permisos " + permissionsOf(folderInfo.st_mode) +
                                    "); no se carga");
}

} // namespace

SendEngine& loadSendEngine(const QString& modulePath) {
    const std::string path = QFile::encodeName(modulePath).toStdString();
    refuseIfOthersCanWrite(path);
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
        throw loadFailure(path, "el módulo tiene la versión " + std::to_string(version) +
                                    " de la interfaz del motor y este programa necesita la versión " +
                                    std::to_string(kSendEngineInterfaceVersion));
    return *engine;
}

} // namespace cto
