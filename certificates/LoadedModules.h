#pragma once

#include "certificates/NssOwners.h"

#include <QString>

#include <vector>

namespace cto::nss {

// A PKCS #11 module as NSS loaded it for this process, or why it could not.
struct LoadedModule {
    SECMODModule* module = nullptr; // kept loaded until the process ends
    QString failure;                // the user's words for a module that did not load
};

// Loads the module whose library is at realPath (see libraryRealPath) once
// for the whole process, under the name it is first asked for by; later
// calls, whatever name they give, answer that outcome again, failure
// included. Loading starts the module (C_Initialize) and reads its slots.
const LoadedModule& loadModuleOnce(const QString& name, const QString& realPath);

// The slots of a loaded module that hold a token now, each referenced for the
// caller. A module that can gain slots (a reader plugged in) is asked first.
std::vector<Slot> tokenSlotsOf(SECMODModule* module);

} // namespace cto::nss
