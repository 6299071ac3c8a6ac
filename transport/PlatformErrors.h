#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace cto::http {

// The error numbers this transport reports: those of the desktop platform's
// HTTP client library, which the transport's callers and messages are written
// against. libcurl and OpenSSL failures are mapped onto them in PlatformErrors.cpp.
enum PlatformError : std::uint32_t {
    kNoError = 0,
    kNotEnoughMemory = 8,
    kInsufficientBuffer = 122,
    kCancelled = 1223,
    kTimeout = 12002,
    kInternalError = 12004,
    kInvalidUrl = 12005,
    kUnrecognizedScheme = 12006,
    kNameNotResolved = 12007,
    kOperationCancelled = 12017,
    kCannotConnect = 12029,
    kConnectionAborted = 12030,
    kConnectionReset = 12031,
    kForceRetry = 12032,
    kCertificateDateInvalid = 12037,
    kCertificateNameInvalid = 12038,
    kClientCertificateNeeded = 12044,
    kInvalidCertificateAuthority = 12045,
    kRevocationCheckFailed = 12057,
    kHeaderNotFound = 12150,
    kInvalidServerResponse = 12152,
    kSecurityChannelError = 12157,
    kInvalidCertificate = 12169,
    kCertificateRevoked = 12170,
};

// What is known about a failed transfer when its error number is chosen.
struct TransferFailure {
    CURLcode code = CURLE_OK;
    long verifyError = 0; // the server-certificate check's X509_V_ERR_*, 0 when none was refused
    bool clientCertificateAsked = false;
    bool clientCertificateAttached = false;
    bool clientCertificateUnfit = false; // asked for, and the attached one could not answer the request
    std::string clientCertificateName;   // the attached one as the user chose it; empty when unknown
    int outdatedServerVersion = 0;       // TlsPolicy::outdatedServerVersion
    std::string refusedCertificate;      // what the refused server certificate says of itself
    std::string host;                    // the server's name or address as the request named it
    std::string signingFailure;          // why the client certificate's key could not sign, as its store said
    std::string proxy;                   // the proxy in use, in libcurl's form; empty when none is known
    int tunnelStatus = 0;                // the proxy's answer to CONNECT; 0 when it gave none
    bool proxyCredentialsGiven = false;  // the proxy was sent credentials the user typed
};

// How the user knows a proxy given in libcurl's form: its host and port, never
// a user or password written into it ("http://ana:x@proxy:3128" → "proxy:3128").
std::string proxyShownName(std::string_view proxy);

std::uint32_t platformErrorFor(const TransferFailure& failure);

// Our Spanish text for an error number: what the user reads first, as the
// platform's own message for that number would be.
std::string platformErrorText(std::uint32_t error);

// The message of a failure: our text for its number, then the detail in
// brackets, in English as libcurl or we wrote it ("No se puede conectar con el
// servidor (Failed to connect to 127.0.0.1 port 9: Connection refused)"). An
// empty detail adds nothing; no error (0) has no message.
std::string platformErrorMessage(std::uint32_t error, std::string_view detail);

// The message of a failed transfer: our text with libcurl's detail, its code's
// Spanish text and its own words (its error buffer, else its text for the
// code): "No se puede conectar con el servidor (no se pudo abrir la conexión:
// Failed to connect to 127.0.0.1 port 9: Connection refused)"; except where the error number says more
// than libcurl can: a refused client authentication, whose libcurl text would
// mislead, a client key that could not sign, told in its store's words, and a
// refused server certificate, told with OpenSSL's reason (in Spanish, then
// OpenSSL's words) and the certificate, so that the user can repeat them to the server's help desk.
std::string describeFailure(std::uint32_t error, const TransferFailure& failure, const char* errorBuffer);

} // namespace cto::http
