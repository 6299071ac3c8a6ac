#pragma once

#include "certificates/ModuleRegistration.h"
#include "certificates/NssOwners.h"

#include <QString>

#include <vector>

namespace cto::nss {

// A PKCS #11 module as NSS loaded it for this process, or why it could not.
struct LoadedModule {
    SECMODModule* module = nullptr; // kept loaded until the process ends
    QString failure;                // the user's words for a module that did not load
};

// Loads the registered module, whose library is at realPath (as its probe
// found it), once for the whole process, with the registration's parameters
// and options, under the name it is first asked for by; later calls,
// whatever registration they give, answer that outcome again, failure
// included. Loading starts the module (C_Initialize) and reads its slots.
// Only for a module that passed its probe (ModuleProbe.h).
const LoadedModule& loadModuleOnce(const ModuleRegistration& registration, const QString& realPath);

// The slots of a loaded module that hold a token now, each referenced for the
// caller. A module that can gain slots (a reader plugged in) is asked first.
std::vector<Slot> tokenSlotsOf(SECMODModule* module);

} // namespace cto::nss
