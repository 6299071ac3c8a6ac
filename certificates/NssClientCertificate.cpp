#include "certificates/NssClientCertificate.h"

#include "certificates/KeySigner.h"
#include "certificates/KeySigningLimits.h"
#include "certificates/SigningKeyLookup.h"
#include "certificates/SigningProvider.h"
#include "certificates/StoreFailures.h"
#include "transport/ClientCertificate.h"

#include <secerr.h>

#include <vector>

namespace cto::nss {

namespace {

openssl::Certificate x509Of(const SECItem& der) {
    const unsigned char* cursor = der.data;
    openssl::Certificate certificate(d2i_X509(nullptr, &cursor, long(der.len)));
    if (!certificate)
        throwStoreFailure(SEC_ERROR_BAD_DER, "No se puede leer el certificado");
    return certificate;
}

// The certificates between this one and its root that the databases hold;
// the root itself is the server's to trust and is left out.
std::vector<openssl::Certificate> intermediatesOf(CERTCertificate* certificate) {
    std::vector<openssl::Certificate> intermediates;
    const CertificateChain chain(CERT_CertChainFromCert(certificate, certUsageSSLClient, PR_FALSE));
    if (!chain)
        return intermediates; // no chain to build: the certificate goes alone
    for (int i = 1; i < chain->len; ++i)
        intermediates.push_back(x509Of(chain->certs[i]));
    return intermediates;
}

} // namespace

std::shared_ptr<const ClientCertificate> clientCertificateOf(CERTCertificate* certificate,
                                                             std::span<const KeyStore> stores,
                                                             std::shared_ptr<const void> storeAlive) {
    PrivateKey key = findSigningKey(certificate, stores);
    SigningLimits limits = signingLimitsOf(key.get());
    openssl::Certificate x509 = x509Of(certificate->derCert);
    auto failures = std::make_shared<SigningFailureNote>();
    auto signer = std::make_shared<const KeySigner>(std::move(key), std::move(storeAlive), failures);
    openssl::Key signingKey = providerKey(X509_get0_pubkey(x509.get()), std::move(signer));
    return std::make_shared<const ClientCertificate>(std::move(x509), std::move(signingKey),
                                                     intermediatesOf(certificate), std::move(limits),
                                                     std::move(failures));
}

std::shared_ptr<const ClientCertificate> clientCertificateOf(CERTCertificate* certificate,
                                                             std::shared_ptr<const void> storeAlive) {
    const KeyStore found{certificate->slot, true};
    const std::span<const KeyStore> stores =
        certificate->slot ? std::span(&found, 1) : std::span<const KeyStore>();
    return clientCertificateOf(certificate, stores, std::move(storeAlive));
}

} // namespace cto::nss
