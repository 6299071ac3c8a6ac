#include "certificates/KeyHandOver.h"

#include "certificates/NssOwners.h"
#include "certificates/StoreFailures.h"
#include "common/FailureKinds.h"
#include "transport/ClientCertificate.h"
#include "transport/OpenSslOwners.h"

#include <secasn1.h>
#include <secerr.h>
#include <secoid.h>
#include <sslerr.h>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <array>
#include <string_view>

namespace cto::nss {

namespace {

using Pkcs8 = std::unique_ptr<X509_SIG, openssl::Deleter<X509_SIG_free>>;
using PrivateKeyInfo = std::unique_ptr<PKCS8_PRIV_KEY_INFO, openssl::Deleter<PKCS8_PRIV_KEY_INFO_free>>;

[[noreturn]] void throwOpenSslFailure() {
    std::array<char, 256> text{};
    ERR_error_string_n(ERR_get_error(), text.data(), text.size());
    ERR_clear_error();
    throw EOleException(trimmedDescription(text.data()));
}

// A one-time passphrase: random bytes written as hex, wiped with the object.
class OneTimePassphrase {
public:
    OneTimePassphrase() {
        std::array<unsigned char, 32> random{};
        if (PK11_GenerateRandom(random.data(), int(random.size())) != SECSuccess)
            throwStoreFailure();
        constexpr char digits[] = "0123456789abcdef";
        for (std::size_t i = 0; i < random.size(); ++i) {
            text_[2 * i] = digits[random[i] >> 4];
            text_[2 * i + 1] = digits[random[i] & 0x0f];
        }
        OPENSSL_cleanse(random.data(), random.size());
    }
    ~OneTimePassphrase() { OPENSSL_cleanse(text_.data(), text_.size()); }
    OneTimePassphrase(const OneTimePassphrase&) = delete;
    OneTimePassphrase& operator=(const OneTimePassphrase&) = delete;

    SECItem item() {
        return {siBuffer, reinterpret_cast<unsigned char*>(text_.data()), unsigned(text_.size())};
    }
    const char* data() const { return text_.data(); }
    int size() const { return int(text_.size()); }

private:
    std::array<char, 64> text_{};
};

// The private key as DER EncryptedPrivateKeyInfo (PBES2, AES-256, PBKDF2-SHA256).
// The passphrase is random and used once, so a single PBKDF2 round is enough.
std::string encryptedPrivateKey(CERTCertificate* certificate, OneTimePassphrase& passphrase) {
    PORT_SetError(0);
    const PrivateKey key(PK11_FindKeyByAnyCert(certificate, nullptr));
    if (!key) {
        // Without a key NSS leaves its TLS layer's "no certificate" code (or
        // none), whose text is not loaded here; failed logins keep their own.
        const PRErrorCode error = PORT_GetError();
        throwStoreFailure(error == 0 || error == SSL_ERROR_NO_CERTIFICATE ? SEC_ERROR_NO_KEY : error);
    }
    const Slot slot(PK11_GetSlotFromPrivateKey(key.get()));
    SECItem password = passphrase.item();
    const EncryptedKeyInfo info(PK11_ExportEncryptedPrivKeyInfoV2(slot.get(), SEC_OID_PKCS5_PBES2,
                                                                  SEC_OID_AES_256_CBC, SEC_OID_HMAC_SHA256,
                                                                  &password, key.get(), 1, nullptr));
    if (!info)
        throwStoreFailure();
    const Arena arena(PORT_NewArena(DER_DEFAULT_CHUNKSIZE));
    if (!arena)
        throwStoreFailure();
    const SECItem* der = SEC_ASN1EncodeItem(arena.get(), nullptr, info.get(),
                                            SEC_ASN1_GET(SECKEY_EncryptedPrivateKeyInfoTemplate));
    if (!der)
        throwStoreFailure();
    return std::string(reinterpret_cast<const char*>(der->data), der->len);
}

// Decrypts the key in memory and writes it as PKCS#8 PEM into wiped memory.
SecureBytes decryptedPrivateKeyPem(const std::string& encrypted, const OneTimePassphrase& passphrase) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(encrypted.data());
    const Pkcs8 pkcs8(d2i_X509_SIG(nullptr, &cursor, long(encrypted.size())));
    if (!pkcs8)
        throwOpenSslFailure();
    const PrivateKeyInfo keyInfo(PKCS8_decrypt(pkcs8.get(), passphrase.data(), passphrase.size()));
    if (!keyInfo)
        throwOpenSslFailure();
    const openssl::Key key(EVP_PKCS82PKEY(keyInfo.get()));
    if (!key)
        throwOpenSslFailure();
    // A secure-heap memory BIO clears its buffer when freed.
    const openssl::Bio pem(BIO_new(BIO_s_secmem()));
    if (!pem || PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throwOpenSslFailure();
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem.get(), &data);
    return SecureBytes(std::string_view(data, std::size_t(size)));
}

void appendPem(std::string& out, const SECItem& der) {
    const openssl::Bio pem(BIO_new(BIO_s_mem()));
    if (!pem || PEM_write_bio(pem.get(), "CERTIFICATE", "", der.data, long(der.len)) <= 0)
        throwOpenSslFailure();
    char* data = nullptr;
    const long size = BIO_get_mem_data(pem.get(), &data);
    out.append(data, std::size_t(size));
}

// The certificates between this one and its root that the databases hold;
// the root itself is the server's to trust and is left out.
std::string intermediatesPem(CERTCertificate* certificate) {
    std::string pem;
    const CertificateChain chain(CERT_CertChainFromCert(certificate, certUsageSSLClient, PR_FALSE));
    if (!chain)
        return pem; // no chain to build: the certificate goes alone
    for (int i = 1; i < chain->len; ++i)
        appendPem(pem, chain->certs[i]);
    return pem;
}

} // namespace

std::shared_ptr<const ClientCertificate> handOver(CERTCertificate* certificate) {
    OneTimePassphrase passphrase;
    SecureBytes keyPem = decryptedPrivateKeyPem(encryptedPrivateKey(certificate, passphrase), passphrase);
    std::string certificatePem;
    appendPem(certificatePem, certificate->derCert);
    return std::make_shared<const ClientCertificate>(std::move(certificatePem), std::move(keyPem),
                                                     intermediatesPem(certificate));
}

} // namespace cto::nss
