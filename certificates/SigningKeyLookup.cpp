#include "certificates/SigningKeyLookup.h"

#include "certificates/PasswordCallback.h"
#include "certificates/StoreFailures.h"

#include <secerr.h>
#include <sslerr.h>

namespace cto::nss {

namespace {

[[noreturn]] void throwLocked(PK11SlotInfo* slot) {
    throw LockedTokenFailure("La tarjeta «" + std::string(PK11_GetTokenName(slot)) +
                             "» está bloqueada por demasiados intentos de PIN fallidos: su certificado no "
                             "se puede usar hasta desbloquearla");
}

// Logs in to each token that holds the certificate and wants it, once: NSS's
// own lookups would ask again after a cancelled prompt. A card whose PIN is
// locked is not asked; one that the last wrong PIN locked says so.
void logInToTokensOf(CERTCertificate* certificate) {
    const SlotList slots(PK11_GetAllSlotsForCert(certificate, nullptr));
    if (!slots)
        return;
    for (PK11SlotListElement* element = slots->head; element; element = element->next) {
        PK11SlotInfo* slot = element->slot;
        if (!PK11_NeedLogin(slot) || PK11_IsLoggedIn(slot, nullptr))
            continue;
        if (pinLocked(tokenFlagsOf(slot)))
            throwLocked(slot);
        if (PK11_Authenticate(slot, PR_TRUE, nullptr) != SECSuccess) {
            const PRErrorCode error = PORT_GetError();
            if (pinLocked(tokenFlagsOf(slot)))
                throwLocked(slot);
            throwStoreFailure(error);
        }
    }
}

} // namespace

PrivateKey findSigningKey(CERTCertificate* certificate) {
    logInToTokensOf(certificate);
    PORT_SetError(0);
    PrivateKey key(PK11_FindKeyByAnyCert(certificate, nullptr));
    if (key)
        return key;
    // Without a key NSS leaves its TLS layer's "no certificate" code (or
    // none), whose text is not loaded here.
    const PRErrorCode error = PORT_GetError();
    throwStoreFailure(error == 0 || error == SSL_ERROR_NO_CERTIFICATE ? SEC_ERROR_NO_KEY : error);
}

} // namespace cto::nss
