#pragma once

#include <cert.h>

#include <memory>

namespace cto {
class ClientCertificate;
}

namespace cto::nss {

// The certificate with its private key and the intermediate certificates that
// the databases hold for its chain, as PEM in memory. NSS keeps private keys
// sensitive, so the key leaves it encrypted under a one-time random passphrase
// and OpenSSL decrypts it in memory. May ask for the database password.
// Raises EOleException with NSS's (or OpenSSL's) words when the key cannot be had.
std::shared_ptr<const ClientCertificate> handOver(CERTCertificate* certificate);

} // namespace cto::nss
