#include "certificates/NssLibrary.h"

#include "certificates/CertificateStore.h"
#include "certificates/NssDatabase.h"
#include "certificates/StoreFailures.h"

#include <nss.h>
#include <pk11pub.h>
#include <secport.h>

#include <openssl/crypto.h>

#include <mutex>

namespace cto {

namespace {

std::mutex& promptMutex() {
    static std::mutex mutex;
    return mutex;
}

PasswordPrompt& installedPrompt() {
    static PasswordPrompt prompt;
    return prompt;
}

// NSS calls this whenever a token needs its password, again with retry set
// after a wrong one, until it answers nothing; every call reaches the user, so
// a wrong password is asked again or cancelled, never replayed.
char* askPassword(PK11SlotInfo* slot, PRBool retry, void*) {
    PasswordPrompt prompt;
    {
        std::lock_guard lock(promptMutex());
        prompt = installedPrompt();
    }
    if (!prompt)
        return nullptr;
    std::optional<std::string> answer;
    try {
        answer = prompt(nss::storeNameOf(slot), retry == PR_TRUE);
    } catch (...) {
        // Nothing may unwind through NSS; a failing prompt is a cancelled one.
        return nullptr;
    }
    if (!answer)
        return nullptr;
    // NSS wipes and frees its copy once it has tried it.
    char* copy = PORT_Strdup(answer->c_str());
    OPENSSL_cleanse(answer->data(), answer->size());
    return copy;
}

} // namespace

void setPasswordPrompt(PasswordPrompt prompt) {
    std::lock_guard lock(promptMutex());
    installedPrompt() = std::move(prompt);
}

namespace nss {

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

} // namespace nss
} // namespace cto
