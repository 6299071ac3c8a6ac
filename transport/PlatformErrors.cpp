#include "transport/PlatformErrors.h"

#include <openssl/x509.h>

#include "transport/CertificateProblems.h"

#include <algorithm>
#include <iterator>

namespace cto::http {

namespace {

// libcurl's failures by meaning. Codes not listed are internal errors.
struct CurlMapping {
    CURLcode code;
    PlatformError error;
};
constexpr CurlMapping kCurlMappings[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, kUnrecognizedScheme},
    {CURLE_URL_MALFORMAT, kInvalidUrl},
    {CURLE_COULDNT_RESOLVE_PROXY, kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_HOST, kNameNotResolved},
    {CURLE_COULDNT_CONNECT, kCannotConnect},
    {CURLE_WEIRD_SERVER_REPLY, kInvalidServerResponse},
    {CURLE_GOT_NOTHING, kInvalidServerResponse},
    {CURLE_PARTIAL_FILE, kConnectionAborted},
    {CURLE_OUT_OF_MEMORY, kNotEnoughMemory},
    {CURLE_OPERATION_TIMEDOUT, kTimeout},
    {CURLE_ABORTED_BY_CALLBACK, kOperationCancelled},
    {CURLE_SEND_ERROR, kConnectionReset},
    {CURLE_RECV_ERROR, kConnectionReset},
    {CURLE_SEND_FAIL_REWIND, kConnectionReset},
    {CURLE_SSL_CONNECT_ERROR, kSecurityChannelError},
    {CURLE_SSL_ENGINE_NOTFOUND, kSecurityChannelError},
    {CURLE_SSL_ENGINE_SETFAILED, kSecurityChannelError},
    {CURLE_SSL_CERTPROBLEM, kSecurityChannelError},
    {CURLE_SSL_CIPHER, kSecurityChannelError},
    {CURLE_SSL_CACERT_BADFILE, kSecurityChannelError},
    {CURLE_SSL_SHUTDOWN_FAILED, kSecurityChannelError},
    {CURLE_SSL_CRL_BADFILE, kRevocationCheckFailed},
    {CURLE_SSL_INVALIDCERTSTATUS, kRevocationCheckFailed},
    {CURLE_PEER_FAILED_VERIFICATION, kInvalidCertificate},
};

// How a server that wants a client certificate and got none ends the exchange:
// a failed handshake (TLS 1.2) or an alert on the first read or write (TLS 1.3).
bool endsRefusedHandshake(CURLcode code) {
    return code == CURLE_SSL_CONNECT_ERROR || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR ||
           code == CURLE_GOT_NOTHING;
}

} // namespace

std::uint32_t platformErrorFor(const TransferFailure& failure) {
    if (failure.code == CURLE_OK)
        return kNoError;
    if (failure.clientCertificateAsked && !failure.clientCertificateAttached &&
        endsRefusedHandshake(failure.code))
        return kClientCertificateNeeded;
    if (failure.code == CURLE_PEER_FAILED_VERIFICATION)
        // No refusal recorded by the chain check means libcurl's own host-name check refused it.
        return failure.verifyError ? certificateProblem(failure.verifyError).error : kCertificateNameInvalid;
    const auto found = std::find_if(std::begin(kCurlMappings), std::end(kCurlMappings),
                                    [&](const CurlMapping& mapping) { return mapping.code == failure.code; });
    return found != std::end(kCurlMappings) ? found->error : kInternalError;
}

std::string describeFailure(std::uint32_t error, const TransferFailure& failure, const char* errorBuffer) {
    // A refused client authentication surfaces in libcurl as whatever the socket
    // did next (under TLS 1.3 often "getpeername() failed"), which would tell the
    // user nothing; the number is certain, so its text is ours.
    if (error == kClientCertificateNeeded)
        return kClientCertificateNeededText;
    if (failure.code == CURLE_PEER_FAILED_VERIFICATION) {
        const std::string reason = failure.verifyError ? X509_verify_cert_error_string(failure.verifyError)
                                                       : std::string(errorBuffer);
        const std::string certificate =
            failure.refusedCertificate.empty() ? std::string() : ": " + failure.refusedCertificate;
        switch (error) {
        case kInvalidCertificateAuthority:
            return "The server's certificate is not vouched for by a trusted certification authority (" +
                   reason + ")" + certificate;
        case kCertificateNameInvalid:
            return "The server's certificate is not issued for " + failure.host + " (" + reason + ")" +
                   certificate;
        case kCertificateDateInvalid:
            return "The server's certificate is outside its validity dates (" + reason + ")" + certificate;
        case kCertificateRevoked:
            return "The server's certificate has been revoked" + certificate;
        case kRevocationCheckFailed:
            return "The revocation of the server's certificate could not be checked (" + reason + ")" +
                   certificate;
        default:
            return "The server's certificate was refused (" + reason + ")" + certificate;
        }
    }
    if (failure.code == CURLE_SSL_CACERT_BADFILE)
        return "The trusted certification authorities could not be loaded";
    if (errorBuffer && *errorBuffer)
        return errorBuffer;
    return curl_easy_strerror(failure.code);
}

} // namespace cto::http
