#include "certificates/SigningKeyLookup.h"

#include "certificates/PasswordCallback.h"
#include "certificates/StoreFailures.h"

#include <secerr.h>
#include <sslerr.h>

#include <algorithm>

namespace cto::nss {

namespace {

[[noreturn]] void throwLocked(PK11SlotInfo* slot) {
    throw LockedTokenFailure("La tarjeta «" + std::string(PK11_GetTokenName(slot)) +
                             "» está bloqueada por demasiados intentos de PIN fallidos: su certificado no "
                             "se puede usar hasta desbloquearla");
}

// Logs in to the store once: NSS's own lookups would ask again after a
// cancelled prompt. A card whose PIN is locked is not asked; one that the
// last wrong PIN locked says so.
void logInTo(PK11SlotInfo* slot) {
    if (!PK11_NeedLogin(slot) || PK11_IsLoggedIn(slot, nullptr))
        return;
    if (pinLocked(tokenFlagsOf(slot)))
        throwLocked(slot);
    if (PK11_Authenticate(slot, PR_TRUE, nullptr) != SECSuccess) {
        const PRErrorCode error = PORT_GetError();
        if (pinLocked(tokenFlagsOf(slot)))
            throwLocked(slot);
        throwStoreFailure(error);
    }
}

// The key in that store alone: a lookup across stores may pair the
// certificate's object in one token with a key handle of another.
PrivateKey keyIn(PK11SlotInfo* slot, CERTCertificate* certificate) {
    logInTo(slot);
    PORT_SetError(0);
    return PrivateKey(PK11_FindPrivateKeyFromCert(slot, certificate, nullptr));
}

} // namespace

PrivateKey findSigningKey(CERTCertificate* certificate, std::span<const KeyStore> stores) {
    // When no store showed a key before logging in (a card that hides even
    // its public keys), each is tried in turn.
    const bool anyShown =
        std::any_of(stores.begin(), stores.end(), [](const KeyStore& store) { return store.holdsKey; });
    PRErrorCode error = 0;
    for (const KeyStore& store : stores) {
        if (anyShown && !store.holdsKey)
            continue;
        if (PrivateKey key = keyIn(store.slot, certificate))
            return key;
        error = PORT_GetError();
    }
    // Without a key NSS leaves its TLS layer's "no certificate" code (or
    // none), whose text is not loaded here.
    throwStoreFailure(error == 0 || error == SSL_ERROR_NO_CERTIFICATE ? SEC_ERROR_NO_KEY : error);
}

} // namespace cto::nss
