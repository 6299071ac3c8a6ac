#pragma once

#include "certificates/NssOwners.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace cto {
class SigningFailureNote;
}

namespace cto::nss {

enum class RsaPadding { Pkcs1, Pss };

// Signs digests with a private key that never leaves its NSS token (a
// database's or a card's): OpenSSL hands the digest over, the token signs it.
class KeySigner {
public:
    // storeAlive keeps the store that opened the key's token open while the
    // key may sign; failures receives the token's reason when a signature fails.
    KeySigner(PrivateKey key, std::shared_ptr<const void> storeAlive,
              std::shared_ptr<SigningFailureNote> failures);

    bool isRsa() const noexcept;
    // The signature over a digest made with the hash of OpenSSL's NID_sha256
    // (and the like). An RSA key signs the digest's DigestInfo with PKCS #1
    // v1.5, or the digest with PSS (MGF1 of the same hash, a salt as long as
    // the digest); an EC key signs ECDSA, answered as DER. Empty when the
    // token refuses, with its store and the reason in the failure note.
    std::vector<unsigned char> sign(int hashNid, std::span<const unsigned char> digest,
                                    RsaPadding padding) const noexcept;

private:
    std::vector<unsigned char> signPkcs1(int hashNid, std::span<const unsigned char> digest) const;
    std::vector<unsigned char> signPss(int hashNid, std::span<const unsigned char> digest) const;
    std::vector<unsigned char> signEcdsa(std::span<const unsigned char> digest) const;
    void noteFailure(const std::string& reason) const;

    PrivateKey key_;
    std::string store_; // where the key lives, as the user knows it
    std::shared_ptr<const void> storeAlive_;
    std::shared_ptr<SigningFailureNote> failures_;
};

} // namespace cto::nss
