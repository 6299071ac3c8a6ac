#include "certificates/PasswordCallback.h"

#include "certificates/NssDatabase.h"
#include "transport/TimeAnswering.h"

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

// NSS's own databases are tokens of its internal module; any other token is
// a device's (a smart card, or a module that stands for one).
// (NSS's booleans are not always PR_TRUE when true.)
bool isDatabase(PK11SlotInfo* slot) {
    return PK11_IsInternal(slot) != PR_FALSE;
}

} // namespace

void setPasswordPrompt(PasswordPrompt prompt) {
    std::lock_guard lock(promptMutex());
    installedPrompt() = std::move(prompt);
}

namespace nss {

PasswordRequest::TriesLeft triesLeftOf(CK_FLAGS tokenFlags) {
    if (tokenFlags & CKF_USER_PIN_FINAL_TRY)
        return PasswordRequest::TriesLeft::Last;
    if (tokenFlags & CKF_USER_PIN_COUNT_LOW)
        return PasswordRequest::TriesLeft::Few;
    return PasswordRequest::TriesLeft::Plenty;
}

bool pinLocked(CK_FLAGS tokenFlags) {
    return (tokenFlags & CKF_USER_PIN_LOCKED) != 0;
}

CK_FLAGS tokenFlagsOf(PK11SlotInfo* slot) {
    CK_TOKEN_INFO info{};
    return PK11_GetTokenInfo(slot, &info) == SECSuccess ? info.flags : 0;
}

// Every call reaches the user, so a wrong password is asked again or
// cancelled, never replayed.
char* askPassword(PK11SlotInfo* slot, PRBool retry, void*) {
    PasswordPrompt prompt;
    {
        std::lock_guard lock(promptMutex());
        prompt = installedPrompt();
    }
    const CK_FLAGS flags = tokenFlagsOf(slot);
    if (!prompt || pinLocked(flags))
        return nullptr;
    std::optional<std::string> answer;
    try {
        PasswordRequest request;
        request.storeName = storeNameOf(slot);
        request.token = !isDatabase(slot);
        request.retry = retry == PR_TRUE;
        request.triesLeft = triesLeftOf(flags);
        // The prompt may open inside a TLS handshake: the transfer's bounds leave its time out.
        const http::AnsweringUser answering;
        answer = prompt(request);
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

} // namespace nss
} // namespace cto
