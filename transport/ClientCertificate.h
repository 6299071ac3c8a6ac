#pragma once

#include "transport/OpenSslOwners.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cto {

// What a key can sign in a TLS handshake. A smart card may lack a mechanism
// (RSA-PSS, most often): offering only the schemes it can make keeps the
// handshake from asking it for a signature it cannot give.
struct SigningLimits {
    // The highest TLS version the key can authenticate under (TLS1_2_VERSION
    // for an RSA key without PSS, which TLS 1.3 demands); 0 for no limit.
    int highestTlsVersion = 0;
    // The signature schemes it can make, as OpenSSL names them
    // ("rsa_pkcs1_sha256:..."); empty for OpenSSL's own choice.
    std::string signatureSchemes;
};

// Where a key whose signatures are made outside OpenSSL leaves why the last
// one failed: OpenSSL itself only reports that the handshake broke off.
class SigningFailureNote {
public:
    void record(std::string text);
    // The reason recorded since the last take, and forgets it.
    std::string take();

private:
    std::mutex mutex_;
    std::string text_;
};

// A TLS client certificate as OpenSSL objects: the certificate, its private
// key (a key of any OpenSSL provider: one in memory, or one whose signatures
// its store makes), the intermediate certificates of its chain, and what the
// key can sign. The certificate store makes it from the user's store; the
// transport's tests make it from PEM files.
class ClientCertificate {
public:
    ClientCertificate(openssl::Certificate certificate, openssl::Key key,
                      std::vector<openssl::Certificate> intermediates = {}, SigningLimits limits = {},
                      std::shared_ptr<SigningFailureNote> signingFailures = {});
    // From PEM text. What cannot be read is left out, so that usable() says no.
    static ClientCertificate fromPem(std::string_view certificate, std::string_view key,
                                     std::string_view intermediates = {});

    X509* certificate() const noexcept { return certificate_.get(); }
    EVP_PKEY* key() const noexcept { return key_.get(); }
    const std::vector<openssl::Certificate>& intermediates() const noexcept { return intermediates_; }
    const SigningLimits& limits() const noexcept { return limits_; }
    // The certificate's DER encoding: its identity, which decides whether a
    // pooled connection may carry a request.
    const std::string& identity() const noexcept { return identity_; }
    // The reason its key's last signature failed, if its store said one; taken once.
    std::string takeSigningFailure() const;

    // Both the certificate and the key are there, and the key is the certificate's.
    bool usable() const;
    // Makes the context present this certificate with its chain, offering only
    // what the key can sign. False when OpenSSL refuses it.
    bool installIn(SSL_CTX* context) const;

private:
    openssl::Certificate certificate_;
    openssl::Key key_;
    std::vector<openssl::Certificate> intermediates_;
    SigningLimits limits_;
    std::shared_ptr<SigningFailureNote> signingFailures_;
    std::string identity_;
};

} // namespace cto
