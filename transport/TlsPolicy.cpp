#include "transport/TlsPolicy.h"

#include "common/SpanishUnits.h"

#include "transport/CertificateProblems.h"
#include "transport/RequestFlags.h"

#include "transport/OpenSslOwners.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace cto::http {

static_assert(kLowestTlsVersion == TLS1_2_VERSION);

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
    std::tm utc{};
    if (!time || ASN1_TIME_to_tm(time, &utc) != 1)
        return "(fecha ilegible)";
    return spanishUtcTime(utc);
}

// Enough for a user to tell the office's help desk which certificate was refused.
std::string describeCertificate(X509* certificate) {
    if (!certificate)
        return {};
    return "titular \"" + nameOf(X509_get_subject_name(certificate)) + "\", emitido por \"" +
           nameOf(X509_get_issuer_name(certificate)) + "\", válido del " +
           timeOf(X509_get0_notBefore(certificate)) + " al " + timeOf(X509_get0_notAfter(certificate));
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
// or the installed one cannot sign any scheme the server accepts. The user
// picked that one: going on without it would hand the survey over
// unauthenticated, so the handshake stops (a negative answer suspends it,
// and libcurl takes the suspension for a failure).
int noteCertificateRequest(SSL* ssl, X509**, EVP_PKEY**) {
    TlsPolicy* policy = policyOf(ssl);
    if (!policy)
        return 0;
    policy->clientCertificateAsked = true;
    if (!policy->clientCertificate)
        return 0;
    policy->clientCertificateUnfit = true;
    return -1;
}

// Notes what a server that speaks only an outdated version says of itself:
// the version of its hello, or its protocol-version alert.
void noteServerVersion(int writing, int, int contentType, const void* data, std::size_t size, SSL* ssl,
                       void*) {
    TlsPolicy* policy = policyOf(ssl);
    if (writing || !policy)
        return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (contentType == SSL3_RT_HANDSHAKE && size >= 6 && bytes[0] == SSL3_MT_SERVER_HELLO) {
        const int version = bytes[4] << 8 | bytes[5];
        if (version < kLowestTlsVersion)
            policy->outdatedServerVersion = version;
    } else if (contentType == SSL3_RT_ALERT && size >= 2 && bytes[1] == SSL_AD_PROTOCOL_VERSION &&
               policy->outdatedServerVersion == 0) {
        // Offered TLS 1.2 and 1.3, refused: the server knows only older ones.
        // A client held to TLS 1.2 (a key that cannot sign for 1.3) may be
        // refused by a server of 1.3 alone, which says the same.
        const long highest = SSL_get_max_proto_version(ssl);
        if (highest == 0 || highest >= TLS1_3_VERSION)
            policy->outdatedServerVersion = kOlderTlsVersion;
    }
}

} // namespace

std::string tlsVersionName(int version) {
    switch (version) {
    case SSL3_VERSION:
        return "SSL 3.0";
    case TLS1_VERSION:
        return "TLS 1.0";
    case TLS1_1_VERSION:
        return "TLS 1.1";
    case TLS1_2_VERSION:
        return "TLS 1.2";
    case TLS1_3_VERSION:
        return "TLS 1.3";
    }
    return "una versión anterior a TLS 1.2";
}

std::vector<openssl::Certificate> certificatesOfPem(std::string_view pem) {
    std::vector<openssl::Certificate> certificates;
    const openssl::Bio text = openssl::memoryBio(pem);
    while (text) {
        openssl::Certificate next(PEM_read_bio_X509(text.get(), nullptr, nullptr, nullptr));
        if (!next)
            break;
        certificates.push_back(std::move(next));
    }
    ERR_clear_error(); // the end of the text
    return certificates;
}

CURLcode tlsContextHook(CURL*, void* sslContext, void* policyData) {
    auto* context = static_cast<SSL_CTX*>(sslContext);
    auto* policy = static_cast<TlsPolicy*>(policyData);
    SSL_CTX_set_app_data(context, policy);
    // Here, for every connection, after libcurl and the system's configuration
    // have had their say; the cipher policy stays the system's.
    if (SSL_CTX_set_min_proto_version(context, kLowestTlsVersion) != 1)
        return CURLE_SSL_CONNECT_ERROR;
    SSL_CTX_set_msg_callback(context, noteServerVersion);
    // libcurl writes the session's secrets to the file that SSLKEYLOGFILE
    // names; whoever holds them reads the survey and the user's identity off
    // the wire. Nothing of this program's traffic goes there.
    SSL_CTX_set_keylog_callback(context, nullptr);
    // libcurl has loaded the system's authorities into the store by now.
    for (const openssl::Certificate& authority : policy->extraAuthorities)
        if (X509_STORE_add_cert(SSL_CTX_get_cert_store(context), authority.get()) != 1)
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
