#pragma once

#include "transport/ClientCertificate.h"

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>

namespace cto::http {

// The TLS facts of the exchange in progress. libcurl makes one OpenSSL context
// per connection; tlsContextHook() points each at this record, which the root
// handle owns and so outlives every connection.
struct TlsPolicy {
    // A PEM file of certification authorities trusted besides the system's; empty for none.
    std::string extraAuthorities;

    std::uint32_t securityFlags = 0;
    // Presented when the server asks for one; held while the exchange lasts.
    std::shared_ptr<const ClientCertificate> clientCertificate;
    // The server's name or address, checked against its certificate while the
    // chain is verified, before anything of ours (a client certificate) is sent.
    std::string expectedHost;
    // Set during the handshake:
    bool clientCertificateAsked = false;
    long refusedVerifyError = 0;
    std::string refusedCertificate; // what the refused certificate says of itself

    void beginExchange(std::uint32_t flags, std::shared_ptr<const ClientCertificate> certificate,
                       std::string host) {
        securityFlags = flags;
        clientCertificate = std::move(certificate);
        expectedHost = std::move(host);
        clientCertificateAsked = false;
        refusedVerifyError = 0;
        refusedCertificate.clear();
    }
};

// Whether the file holds at least one certificate OpenSSL can read.
bool readableAuthorities(const std::string& path);

// CURLOPT_SSL_CTX_FUNCTION; its pointer argument is the TlsPolicy.
CURLcode tlsContextHook(CURL* handle, void* sslContext, void* policy);

} // namespace cto::http
