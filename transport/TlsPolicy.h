#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace cto::http {

// The TLS facts of the exchange in progress. libcurl makes one OpenSSL context
// per connection; tlsContextHook() points each at this record, which the root
// handle owns and so outlives every connection.
struct TlsPolicy {
    std::uint32_t securityFlags = 0;
    bool clientCertificateAttached = false;
    // Set during the handshake:
    bool clientCertificateAsked = false;
    long refusedVerifyError = 0;

    void beginExchange(std::uint32_t flags, bool certificateAttached) {
        securityFlags = flags;
        clientCertificateAttached = certificateAttached;
        clientCertificateAsked = false;
        refusedVerifyError = 0;
    }
};

// CURLOPT_SSL_CTX_FUNCTION; its pointer argument is the TlsPolicy.
CURLcode tlsContextHook(CURL* handle, void* sslContext, void* policy);

} // namespace cto::http
