#pragma once

#include "certificates/LockedTokenFailure.h"
#include "certificates/NssOwners.h"

#include <span>

namespace cto::nss {

// A store (a database's token or a card's) that holds the certificate.
struct KeyStore {
    PK11SlotInfo* slot = nullptr;
    // Whether a key with the certificate's ID shows there, as far as the
    // listing could tell without logging in.
    bool holdsKey = false;
};

// The private key of the certificate, logged in: from the first of stores
// (the row the user picked) when it holds the key, else from the first of
// the others that does, so that a key never signs through a token other
// than its own. Only that store is logged in to, with its own password or
// PIN, asked here through the installed prompt (which names the store), so
// that the TLS handshake can sign later without asking. Raises EOleException
// with NSS's words when no store has the key, the password is not given or
// the token is gone, and LockedTokenFailure for a card whose PIN is locked,
// which is never asked.
PrivateKey findSigningKey(CERTCertificate* certificate, std::span<const KeyStore> stores);

} // namespace cto::nss
