#include "transport/ClientCertificateCheck.h"

#include "transport/OpenSslOwners.h"

#include <openssl/err.h>
#include <openssl/pem.h>

namespace cto::http {

bool keyMatchesCertificate(const ClientCertificate& certificate) {
    openssl::Bio certificateBio = openssl::memoryBio(certificate.certificatePem());
    openssl::Bio keyBio = openssl::memoryBio(certificate.privateKeyPem().bytes());
    if (!certificateBio || !keyBio)
        return false;
    // No passphrase callback: an encrypted key is unreadable here rather than a prompt.
    auto noPassphrase = [](char*, int, int, void*) { return 0; };
    openssl::Certificate x509(PEM_read_bio_X509(certificateBio.get(), nullptr, noPassphrase, nullptr));
    openssl::Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassphrase, nullptr));
    const bool matches = x509 && key && X509_check_private_key(x509.get(), key.get()) == 1;
    ERR_clear_error();
    return matches;
}

} // namespace cto::http
