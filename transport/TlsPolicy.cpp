#include "transport/TlsPolicy.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace cto::http {

namespace {

TlsPolicy* policyOf(SSL* ssl) {
    return static_cast<TlsPolicy*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
}

// The flag that tolerates a refusal, or 0 when nothing may tolerate it.
std::uint32_t flagTolerating(long verifyError) {
    switch (certificateProblem(verifyError)) {
    case CertificateProblem::UnknownAuthority:
        return kIgnoreUnknownCa;
    case CertificateProblem::RevocationUnchecked:
        return kIgnoreRevocation;
    case CertificateProblem::Date:
        return kIgnoreCertDateInvalid;
    case CertificateProblem::HostName:
        return kIgnoreCertNameInvalid;
    case CertificateProblem::Revoked:
    case CertificateProblem::Other:
        break;
    }
    return 0;
}

int verifyServerCertificate(int preverified, X509_STORE_CTX* store) {
    if (preverified)
        return 1;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    TlsPolicy* policy = policyOf(ssl);
    const int error = X509_STORE_CTX_get_error(store);
    const std::uint32_t flag = flagTolerating(error);
    if (policy && flag && (policy->securityFlags & flag)) {
        // Tolerated: clear it so that the handshake's final verdict stays good.
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    if (policy)
        policy->refusedVerifyError = error;
    return 0;
}

// Called only when the server asks for a certificate and none is installed.
int noteCertificateRequest(SSL* ssl, X509**, EVP_PKEY**) {
    if (TlsPolicy* policy = policyOf(ssl))
        policy->clientCertificateAsked = true;
    return 0;
}

} // namespace

CertificateProblem certificateProblem(long verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return CertificateProblem::UnknownAuthority;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
        return CertificateProblem::RevocationUnchecked;
    case X509_V_ERR_CERT_REVOKED:
        return CertificateProblem::Revoked;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return CertificateProblem::Date;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return CertificateProblem::HostName;
    default:
        return CertificateProblem::Other;
    }
}

CURLcode tlsContextHook(CURL*, void* sslContext, void* policy) {
    auto* context = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_app_data(context, policy);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verifyServerCertificate);
    SSL_CTX_set_client_cert_cb(context, noteCertificateRequest);
    return CURLE_OK;
}

} // namespace cto::http
