#include "transport/ClientCertificate.h"

#include <openssl/crypto.h>

#include <utility>

namespace cto {

SecureBytes::SecureBytes(std::string_view bytes) : bytes_(bytes) {}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {
    other.wipe();
}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
    if (this != &other) {
        wipe();
        bytes_ = std::move(other.bytes_);
        other.wipe();
    }
    return *this;
}

SecureBytes::~SecureBytes() {
    wipe();
}

void SecureBytes::wipe() noexcept {
    // A moved-from string may keep key bytes in its small-string buffer past
    // its size: clear the whole capacity.
    bytes_.resize(bytes_.capacity());
    OPENSSL_cleanse(bytes_.data(), bytes_.size());
    bytes_.clear();
}

} // namespace cto
