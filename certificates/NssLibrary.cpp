#include "certificates/NssLibrary.h"

#include "certificates/PasswordCallback.h"
#include "certificates/StoreFailures.h"

#include <nss.h>
#include <pk11pub.h>

#include <mutex>

namespace cto::nss {

void ensureStarted() {
    static std::mutex startMutex;
    static bool passwordsRouted = false;
    std::lock_guard lock(startMutex);
    if (!NSS_IsInitialized() && NSS_NoDB_Init(nullptr) != SECSuccess)
        throwLibraryFailure(PORT_GetError());
    if (!passwordsRouted) {
        PK11_SetPasswordFunc(askPassword);
        passwordsRouted = true;
    }
}

} // namespace cto::nss
