#include "certificates/LoadedModules.h"

#include "certificates/StoreFailures.h"
#include "common/TrustedFile.h"

#include <QFile>

// This header lacks the C linkage block that NSS's other headers have.
extern "C" {
#include <utilpars.h>
}

#include <map>
#include <optional>

namespace cto::nss {

namespace {

struct ModuleEntry {
    // The library's open file, for as long as the module is loaded: the name
    // it was loaded by, /proc/self/fd/N, must name no other file while the
    // loader remembers it by that name (a later dlopen of the same name would
    // be handed this module).
    std::optional<TrustedFile> file;
    Module owner;
    LoadedModule outcome;
};

// By real path; modules are loaded under the card-loading lock (CertificateSources.h).
std::map<QString, ModuleEntry>& loadedModules() {
    static std::map<QString, ModuleEntry> modules;
    return modules;
}

std::string quoted(const QString& text) {
    const String value(NSSUTIL_Quote(text.toUtf8().constData(), '"'));
    return value ? std::string(value.get()) : std::string("\"\"");
}

QString failureText(const QString& name, const QString& realPath) {
    return QStringLiteral("No se pudo cargar el módulo PKCS #11 «%1» (%2): %3")
        .arg(name, realPath, QString::fromStdString(errorText(PORT_GetError())));
}

} // namespace

const LoadedModule& loadModuleOnce(const ModuleRegistration& registration, const QString& realPath) {
    auto& modules = loadedModules();
    if (const auto found = modules.find(realPath); found != modules.end())
        return found->second.outcome;
    ModuleEntry& entry = modules[realPath];
    const QString& name = registration.name;
    // Checked again as it is loaded, and loaded from the very file checked: the
    // probe's pass says nothing of a file replaced since.
    const TrustedFile& library = entry.file.emplace(QFile::encodeName(realPath).toStdString());
    if (!library.trusted()) {
        entry.outcome.failure =
            QStringLiteral("El módulo de tarjeta «%1» no se carga: %2")
                .arg(name.isEmpty() ? realPath : name, QString::fromStdString(library.refusal()));
        return entry.outcome;
    }
    // The whole entry, as NSS reads its own database's: a card module may need its parameters.
    std::string spec = "library=" + quoted(QString::fromStdString(library.procPath())) +
                       " name=" + quoted(name.isEmpty() ? realPath : name);
    if (!registration.parameters.isEmpty())
        spec += " parameters=" + quoted(registration.parameters);
    if (!registration.nssOptions.isEmpty())
        spec += " NSS=" + quoted(registration.nssOptions);
    PORT_SetError(0);
    entry.owner.reset(SECMOD_LoadUserModule(spec.data(), nullptr, PR_FALSE));
    // NSS hands back a module that did not load too, marked as such.
    if (entry.owner && entry.owner->loaded)
        entry.outcome.module = entry.owner.get();
    else
        entry.outcome.failure = failureText(name, realPath);
    return entry.outcome;
}

std::vector<Slot> tokenSlotsOf(SECMODModule* module) {
    // Cheap when nothing changed: one C_GetSlotList. A module without new slots
    // to report answers a failure, which changes nothing here.
    SECMOD_UpdateSlotList(module);
    std::vector<Slot> slots;
    SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
    SECMOD_GetReadLock(lock);
    for (int index = 0; index < module->slotCount; ++index) {
        PK11SlotInfo* slot = module->slots[index];
        if (slot && PK11_IsPresent(slot))
            slots.emplace_back(PK11_ReferenceSlot(slot));
    }
    SECMOD_ReleaseReadLock(lock);
    return slots;
}

} // namespace cto::nss
