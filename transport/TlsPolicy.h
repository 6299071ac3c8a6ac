#pragma once

#include "transport/ClientCertificate.h"

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cto::http {

// No connection of this program goes below TLS 1.2, whatever the system's
// OpenSSL configuration allows: earlier versions fall to known attacks.
inline constexpr int kLowestTlsVersion = 0x0303; // TLS1_2_VERSION
inline constexpr int kOlderTlsVersion = -1;

// "TLS 1.0" and the like, for a message.
std::string tlsVersionName(int version);

// The TLS facts of the exchange in progress. libcurl makes one OpenSSL context
// per connection; tlsContextHook() points each at this record, which the root
// handle owns and so outlives every connection.
struct TlsPolicy {
    // Certification authorities trusted besides the system's.
    std::vector<openssl::Certificate> extraAuthorities;

    std::uint32_t securityFlags = 0;
    // Presented when the server asks for one; held while the exchange lasts.
    std::shared_ptr<const ClientCertificate> clientCertificate;
    // The server's name or address, checked against its certificate while the
    // chain is verified, before anything of ours (a client certificate) is sent.
    std::string expectedHost;
    // Set during the handshake:
    bool clientCertificateAsked = false;
    // The server asked for a certificate and the attached one cannot answer
    // its request (a key type or signature scheme it does not take): the
    // handshake stops there rather than go on without it.
    bool clientCertificateUnfit = false;
    // A server that offers only a version below kLowestTlsVersion: the
    // version it offered (SSL3_VERSION, TLS1_VERSION, TLS1_1_VERSION), or
    // kOlderTlsVersion when it only said that it speaks none of ours.
    int outdatedServerVersion = 0;
    long refusedVerifyError = 0;
    std::string refusedCertificate; // what the refused certificate says of itself

    void beginExchange(std::uint32_t flags, std::shared_ptr<const ClientCertificate> certificate,
                       std::string host) {
        securityFlags = flags;
        clientCertificate = std::move(certificate);
        expectedHost = std::move(host);
        clientCertificateAsked = false;
        clientCertificateUnfit = false;
        outdatedServerVersion = 0;
        refusedVerifyError = 0;
        refusedCertificate.clear();
    }
};

// The certificates of a PEM text, in its order; none when it holds none that OpenSSL can read.
std::vector<openssl::Certificate> certificatesOfPem(std::string_view pem);

// CURLOPT_SSL_CTX_FUNCTION; its pointer argument is the TlsPolicy.
CURLcode tlsContextHook(CURL* handle, void* sslContext, void* policy);

} // namespace cto::http
