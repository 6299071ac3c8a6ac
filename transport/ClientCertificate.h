#pragma once

#include <string>
#include <string_view>

namespace cto {

// Bytes of key material: wiped (OPENSSL_cleanse) when released, never copied.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::string_view bytes);
    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    ~SecureBytes();

    const std::string& bytes() const noexcept { return bytes_; }
    bool empty() const noexcept { return bytes_.empty(); }

private:
    void wipe() noexcept;
    std::string bytes_;
};

// A TLS client certificate held in memory: the certificate, its private key and
// the intermediate certificates of its chain, all PEM. The certificate store
// produces it from the user's store; tests make it from fixture files.
class ClientCertificate {
public:
    ClientCertificate(std::string certificatePem, SecureBytes privateKeyPem,
                      std::string intermediatesPem = {})
        : certificatePem_(std::move(certificatePem)), privateKeyPem_(std::move(privateKeyPem)),
          intermediatesPem_(std::move(intermediatesPem)) {}

    const std::string& certificatePem() const noexcept { return certificatePem_; }
    const SecureBytes& privateKeyPem() const noexcept { return privateKeyPem_; }
    const std::string& intermediatesPem() const noexcept { return intermediatesPem_; }

private:
    std::string certificatePem_;
    SecureBytes privateKeyPem_;
    std::string intermediatesPem_;
};

} // namespace cto
