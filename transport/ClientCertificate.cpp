#include "transport/ClientCertificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <utility>

namespace cto {

namespace {

// No passphrase callback: an encrypted key is unreadable here rather than a prompt.
int noPassphrase(char*, int, int, void*) {
    return 0;
}

std::string derOf(X509* certificate) {
    const int size = certificate ? i2d_X509(certificate, nullptr) : 0;
    if (size <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    auto* cursor = reinterpret_cast<unsigned char*>(bytes.data());
    i2d_X509(certificate, &cursor);
    return bytes;
}

// The chain's stack holds the intermediates without owning them.
struct ChainDeleter {
    void operator()(STACK_OF(X509) * chain) const noexcept { sk_X509_free(chain); }
};
using Chain = std::unique_ptr<STACK_OF(X509), ChainDeleter>;

} // namespace

void SigningFailureNote::record(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
}

std::string SigningFailureNote::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(text_, {});
}

ClientCertificate::ClientCertificate(openssl::Certificate certificate, openssl::Key key,
                                     std::vector<openssl::Certificate> intermediates, SigningLimits limits,
                                     std::shared_ptr<SigningFailureNote> signingFailures)
    : certificate_(std::move(certificate)), key_(std::move(key)), intermediates_(std::move(intermediates)),
      limits_(std::move(limits)), signingFailures_(std::move(signingFailures)),
      identity_(derOf(certificate_.get())) {}

ClientCertificate ClientCertificate::fromPem(std::string_view certificate, std::string_view key,
                                             std::string_view intermediates) {
    openssl::Bio certificateBio = openssl::memoryBio(certificate);
    openssl::Bio keyBio = openssl::memoryBio(key);
    openssl::Bio intermediatesBio = openssl::memoryBio(intermediates);
    openssl::Certificate leaf(
        certificateBio ? PEM_read_bio_X509(certificateBio.get(), nullptr, noPassphrase, nullptr) : nullptr);
    openssl::Key privateKey(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassphrase, nullptr)
                                   : nullptr);
    std::vector<openssl::Certificate> chain;
    while (intermediatesBio) {
        openssl::Certificate next(PEM_read_bio_X509(intermediatesBio.get(), nullptr, noPassphrase, nullptr));
        if (!next)
            break;
        chain.push_back(std::move(next));
    }
    ERR_clear_error(); // the end of the PEM text, and whatever could not be read
    return ClientCertificate(std::move(leaf), std::move(privateKey), std::move(chain));
}

std::string ClientCertificate::takeSigningFailure() const {
    return signingFailures_ ? signingFailures_->take() : std::string();
}

bool ClientCertificate::usable() const {
    const bool matches = certificate_ && key_ && X509_check_private_key(certificate_.get(), key_.get()) == 1;
    ERR_clear_error();
    return matches;
}

bool ClientCertificate::installIn(SSL_CTX* context) const {
    const Chain chain(sk_X509_new_null());
    if (!chain)
        return false;
    for (const openssl::Certificate& intermediate : intermediates_)
        if (sk_X509_push(chain.get(), intermediate.get()) <= 0)
            return false;
    if (SSL_CTX_use_cert_and_key(context, certificate_.get(), key_.get(), chain.get(), 1) != 1)
        return false;
    if (!limits_.signatureSchemes.empty() &&
        SSL_CTX_set1_client_sigalgs_list(context, limits_.signatureSchemes.c_str()) != 1)
        return false;
    const long highest = SSL_CTX_get_max_proto_version(context);
    if (limits_.highestTlsVersion != 0 && (highest == 0 || highest > limits_.highestTlsVersion))
        return SSL_CTX_set_max_proto_version(context, limits_.highestTlsVersion) == 1;
    return true;
}

} // namespace cto
