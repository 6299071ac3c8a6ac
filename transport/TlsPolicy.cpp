#include "transport/TlsPolicy.h"

#include "transport/CertificateProblems.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace cto::http {

namespace {

TlsPolicy* policyOf(SSL* ssl) {
    return static_cast<TlsPolicy*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
}

int verifyServerCertificate(int preverified, X509_STORE_CTX* store) {
    if (preverified)
        return 1;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    TlsPolicy* policy = policyOf(ssl);
    const int error = X509_STORE_CTX_get_error(store);
    const std::uint32_t flag = certificateProblem(error).toleratingFlag;
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

CURLcode tlsContextHook(CURL*, void* sslContext, void* policy) {
    auto* context = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_app_data(context, policy);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verifyServerCertificate);
    SSL_CTX_set_client_cert_cb(context, noteCertificateRequest);
    return CURLE_OK;
}

} // namespace cto::http
