#pragma once

#include "transport/ClientCertificate.h"

#include <keythi.h>

namespace cto::nss {

// What the key's token can sign in a TLS handshake: an RSA key PKCS #1 v1.5
// and, when the token has the mechanism, PSS (without which TLS 1.3, which
// signs RSA with PSS alone, is closed to it); an EC key ECDSA. Raises
// EOleException when the token can make none of them with this key.
SigningLimits signingLimitsOf(SECKEYPrivateKey* key);

} // namespace cto::nss
