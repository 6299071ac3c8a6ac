#pragma once

#include "certificates/KeySigner.h"
#include "transport/OpenSslOwners.h"

#include <memory>

namespace cto::nss {

// An OpenSSL key whose public half is the certificate's public key and whose
// signatures the signer makes in NSS: the private key never leaves its
// token. Its provider is registered in the process's default library
// context on first use and stays there; every other fetch prefers OpenSSL's
// own providers, so that only keys made here reach it. Raises EOleException
// for a key that is neither RSA nor EC, or when OpenSSL refuses.
openssl::Key providerKey(EVP_PKEY* publicKey, std::shared_ptr<const KeySigner> signer);

} // namespace cto::nss
