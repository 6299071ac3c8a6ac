// The program's engine: a module loaded when the workflow first needs it, so
// that the TLS, certificate-store and XML libraries it depends on cost the
// window's appearance nothing.
#include "app/SendEngineLoader.h"

#include "app/SendEngine.h"

#include "common/FailureKinds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <dlfcn.h>

#include <string>

namespace cto {
namespace {

constexpr const char* kModuleName = "libConexionTulvaOskelEngine.so";

std::string modulePath(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString candidate = QDir(folder).filePath(QString::fromLatin1(kModuleName));
        if (QFile::exists(candidate))
            return QFile::encodeName(candidate).toStdString();
    }
    // The loader then says why it is not there.
    return QFile::encodeName(QDir(folders.value(0)).filePath(QString::fromLatin1(kModuleName))).toStdString();
}

EFOpenError loadFailure(const std::string& path) {
    const char* text = ::dlerror();
    return EFOpenError("Cannot load the send engine " + path + ": " + (text ? text : "unknown error"));
}

} // namespace

SendEngine& loadSendEngine(const QStringList& folders) {
    const std::string path = modulePath(folders);
    // Never unloaded: the engine's objects live until the process ends.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw loadFailure(path);
    using Entry = SendEngine* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, "ctoSendEngine"));
    if (!entry)
        throw loadFailure(path);
    return *entry();
}

SendEngine& sendEngine() {
    // A failed load is tried again by the next caller rather than remembered.
    static SendEngine* engine = nullptr;
    // Beside the executable first (an installed or copied program), then
    // where it was built.
    if (!engine)
        engine =
            &loadSendEngine({QCoreApplication::applicationDirPath(), QStringLiteral(CTO_ENGINE_BUILD_DIR)});
    return *engine;
}

} // namespace cto
