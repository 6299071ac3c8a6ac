#pragma once

#include "certificates/LockedTokenFailure.h"
#include "certificates/NssOwners.h"

namespace cto::nss {

// The private key of the certificate, on the token that holds the
// certificate (a database's or a card's), logged in: the password or PIN is
// asked here, through the installed prompt, so that the TLS handshake can
// sign later without asking. Raises EOleException with NSS's words when there
// is no key, the password is not given or the token is gone, and
// LockedTokenFailure for a card whose PIN is locked, which is never asked.
PrivateKey findSigningKey(CERTCertificate* certificate);

} // namespace cto::nss
