#pragma once

#include "certificates/SigningKeyLookup.h"

#include <cert.h>

#include <memory>
#include <span>

namespace cto {
class ClientCertificate;
}

namespace cto::nss {

// The certificate ready for a TLS handshake: the certificate, a key that
// signs through NSS (findSigningKey over stores, the picked row's first: the
// password or PIN is asked here, once, before any connection opens), the
// intermediate certificates that the databases hold for its chain, and what
// the key's token can sign. storeAlive keeps the stores that opened the key's
// token open as long as the key may sign. Raises EOleException when the key
// cannot be had or cannot sign.
std::shared_ptr<const ClientCertificate> clientCertificateOf(CERTCertificate* certificate,
                                                             std::span<const KeyStore> stores,
                                                             std::shared_ptr<const void> storeAlive);
// The same with the key of the token that the certificate was found on.
std::shared_ptr<const ClientCertificate> clientCertificateOf(CERTCertificate* certificate,
                                                             std::shared_ptr<const void> storeAlive);

} // namespace cto::nss
