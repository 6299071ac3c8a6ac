#include "transport/TlsPolicy.h"

#include "transport/CertificateProblems.h"
#include "transport/RequestFlags.h"

#include "transport/OpenSslOwners.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace cto::http {

namespace {

TlsPolicy* policyOf(SSL* ssl) {
    return static_cast<TlsPolicy*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
}

std::string nameOf(const X509_NAME* name) {
    const openssl::Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string timeOf(const ASN1_TIME* time) {
    const openssl::Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || !time || ASN1_TIME_print(bio.get(), time) != 1)
        return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

// Enough for a user to tell the office's help desk which certificate was refused.
std::string describeCertificate(X509* certificate) {
    if (!certificate)
        return {};
    return "subject \"" + nameOf(X509_get_subject_name(certificate)) + "\", issued by \"" +
           nameOf(X509_get_issuer_name(certificate)) + "\", valid from " +
           timeOf(X509_get0_notBefore(certificate)) + " to " + timeOf(X509_get0_notAfter(certificate));
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
    if (policy) {
        policy->refusedVerifyError = error;
        policy->refusedCertificate = describeCertificate(X509_STORE_CTX_get0_cert(store));
    }
    return 0;
}

// Called only when the server asks for a certificate and none is installed,
// or the installed one cannot sign any scheme the server accepts.
int noteCertificateRequest(SSL* ssl, X509**, EVP_PKEY**) {
    if (TlsPolicy* policy = policyOf(ssl))
        policy->clientCertificateAsked = true;
    return 0;
}

} // namespace

bool readableAuthorities(const std::string& path) {
    const openssl::Bio file(BIO_new_file(path.c_str(), "r"));
    return file && openssl::Certificate(PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr)) != nullptr;
}

CURLcode tlsContextHook(CURL*, void* sslContext, void* policyData) {
    auto* context = static_cast<SSL_CTX*>(sslContext);
    auto* policy = static_cast<TlsPolicy*>(policyData);
    SSL_CTX_set_app_data(context, policy);
    // libcurl has loaded the system's authorities into the store by now.
    if (!policy->extraAuthorities.empty() &&
        X509_STORE_load_file(SSL_CTX_get_cert_store(context), policy->extraAuthorities.c_str()) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    // The name is part of the chain's verdict, so a server with the wrong one
    // is refused before the client sends its certificate.
    X509_VERIFY_PARAM* parameters = SSL_CTX_get0_param(context);
    if (!(policy->securityFlags & kIgnoreCertNameInvalid) && !policy->expectedHost.empty()) {
        if (X509_VERIFY_PARAM_set1_ip_asc(parameters, policy->expectedHost.c_str()) != 1)
            X509_VERIFY_PARAM_set1_host(parameters, policy->expectedHost.c_str(), 0);
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verifyServerCertificate);
    if (policy->clientCertificate && !policy->clientCertificate->installIn(context))
        return CURLE_SSL_CERTPROBLEM;
    SSL_CTX_set_client_cert_cb(context, noteCertificateRequest);
    return CURLE_OK;
}

} // namespace cto::http
