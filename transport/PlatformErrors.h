#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

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
    std::string refusedCertificate; // what the refused server certificate says of itself
    std::string host;               // the server's name or address as the request named it
};

std::uint32_t platformErrorFor(const TransferFailure& failure);

inline constexpr const char* kClientCertificateNeededText =
    "The server requires a client certificate to complete the authentication and none was sent";

// The description of a failure: libcurl's detailed text (its error buffer, else
// its text for the code), except where the error number says more than libcurl
// can: a refused client authentication, and a refused server certificate,
// which is told in words a user can repeat to the server's help desk.
std::string describeFailure(std::uint32_t error, const TransferFailure& failure, const char* errorBuffer);

} // namespace cto::http
