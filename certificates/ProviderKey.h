#pragma once

// The parts of the OpenSSL provider through which keys kept in NSS sign
// (SigningProvider.h), shared by its key management and its signature.

#include "certificates/KeySigner.h"
#include "transport/OpenSslOwners.h"

#include <openssl/core_dispatch.h>

#include <memory>

namespace cto::nss::provider {

inline constexpr char kName[] = "cto-store-keys";
inline constexpr char kProperties[] = "provider=cto-store-keys";
// An octet pointer to a KeyData for a new key to copy (SigningProvider.cpp).
inline constexpr char kKeyParameter[] = "cto-store-key";

// A key of the provider: the certificate's public key, a key of OpenSSL's
// default provider that answers every question on the key's size and
// parameters, and the signer that holds the private key in NSS. A public key
// that OpenSSL imports from another provider, to compare it with the
// certificate's, has no signer.
struct KeyData {
    openssl::Key publicKey;
    std::shared_ptr<const KeySigner> signer;
};

// A function of the provider as a dispatch table holds it.
template <typename Function> void (*dispatchEntry(Function* function))() {
    return reinterpret_cast<void (*)()>(function);
}

extern const OSSL_DISPATCH rsaKeyManagement[];
extern const OSSL_DISPATCH ecKeyManagement[];
extern const OSSL_DISPATCH signature[];

} // namespace cto::nss::provider
