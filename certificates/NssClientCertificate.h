#pragma once

#include <cert.h>

#include <memory>

namespace cto {
class ClientCertificate;
}

namespace cto::nss {

// The certificate ready for a TLS handshake: the certificate, a key that
// signs through NSS (findSigningKey: the password or PIN is asked here, once,
// before any connection opens), the intermediate certificates that the
// databases hold for its chain, and what the key's token can sign.
// storeAlive keeps the store that opened the key's token open as long as the
// key may sign. Raises EOleException when the key cannot be had or cannot sign.
std::shared_ptr<const ClientCertificate> clientCertificateOf(CERTCertificate* certificate,
                                                             std::shared_ptr<const void> storeAlive);

} // namespace cto::nss
