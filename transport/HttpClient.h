#pragma once

#include "transport/ClientCertificate.h"
#include "transport/CurlOwners.h"
#include "transport/PlatformErrors.h"
#include "transport/RequestFlags.h"
#include "transport/THTTPReqResp.h"
#include "transport/TlsPolicy.h"
#include "transport/UrlParts.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The HTTP client layer under THTTPReqResp: root, connection and request
// handles on libcurl's multi interface, driven on the calling thread. Its
// operations answer false on failure and leave an error number and libcurl's
// text for it in the request's lastError()/lastErrorText().
namespace cto::http {

// Timeouts used when none is set on the request: a silent server never holds
// the program for ever.
inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{60'000};
inline constexpr std::chrono::milliseconds kDefaultSendTimeout{60'000};
inline constexpr std::chrono::milliseconds kDefaultReceiveTimeout{300'000};
// How long the transfer waits on the network between two calls of the waiting hook.
inline constexpr std::chrono::milliseconds kWaitingInterval{50};

// The root handle: the connection pool and the TLS record of the exchange in progress.
class Session {
public:
    Session(std::string agent, std::string proxy, std::string proxyBypass);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CURLM* multi() const { return multi_.get(); }
    TlsPolicy& tls() { return tls_; }
    const std::string& agent() const { return agent_; }
    const std::string& proxy() const { return proxy_; }
    const std::string& proxyBypass() const { return proxyBypass_; }

    // Pooled connections were made under these security flags; others need a fresh one.
    bool pooledUnder(std::uint32_t securityFlags);

    std::function<void()> onWaiting;
    // Calls onWaiting at most once per interval, however fast the transfer spins.
    void wait();

private:
    TlsPolicy tls_; // before multi_: the pool's connections point at it until they close
    MultiHandle multi_;
    std::string agent_, proxy_, proxyBypass_;
    std::chrono::steady_clock::time_point lastWaiting_{};
    bool pooled_ = false;
    std::uint32_t pooledFlags_ = 0;
};

// The connection handle: where requests go and with which credentials.
struct Connection {
    Session& session;
    bool secure = false;
    std::string host;
    int port = 0;
    std::string userName;
    std::string password;
};

enum class TimeoutKind { Connect, Send, Receive };

class Request final : public HttpRequest {
public:
    Request(Connection& connection, std::string objectName, std::uint32_t flags);
    ~Request() override;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Options; they take effect when the request is sent.
    bool setClientCertificate(const ClientCertificate& certificate) override;
    void setTimeout(TimeoutKind kind, std::chrono::milliseconds value);
    std::uint32_t securityFlags() const { return securityFlags_; }
    void setSecurityFlags(std::uint32_t flags) { securityFlags_ = flags; }
    // One "Name: value" line, sent as given ("Name:" sends the header with an empty value).
    void addHeader(const std::string& line);

    // Single shot: the whole body, held by the request for resends.
    void setBody(std::string body) { body_ = std::move(body); }
    bool send();
    // In pieces: the declared length, then the pieces, then the end.
    bool sendEx(std::uint64_t totalLength);
    bool write(const char* piece, std::size_t size);
    bool end();

    bool queryStatusCode(int& status) const;
    bool queryStatusText(std::string& text) const;
    bool queryContentType(std::string& value);
    bool queryDataAvailable(std::size_t& available);
    bool read(char* buffer, std::size_t count, std::size_t& read);

    // After a send: 0 to go on, kForceRetry to send again with credentials the
    // hook gave for a 401 or 407, kCancelled when the user refused.
    std::uint32_t interactiveCheck(const THTTPReqResp::TCredentialsEvent& askCredentials);

    std::uint32_t lastError() const { return lastError_; }
    const std::string& lastErrorText() const { return lastErrorText_; }

private:
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onUpload(char* buffer, std::size_t size, std::size_t count, void* self);

    bool start(bool pieces, std::uint64_t length);
    void configure(bool pieces, std::uint64_t length);
    void detach();
    template <typename Done> void pump(Done done);
    void collectResult();
    bool watchdogExpired();
    bool failTransfer();
    bool fail(std::uint32_t error, std::string text);
    bool headersComplete() const { return headersComplete_; }
    bool proxyWantsCredentials();

    Connection& connection_;
    Session& session_;
    std::string objectName_;
    std::uint32_t flags_;
    std::uint32_t securityFlags_ = 0;
    std::chrono::milliseconds connectTimeout_ = kDefaultConnectTimeout;
    std::chrono::milliseconds sendTimeout_ = kDefaultSendTimeout;
    std::chrono::milliseconds receiveTimeout_ = kDefaultReceiveTimeout;
    std::vector<std::string> headerLines_;
    std::string certificateBlob_;
    SecureBytes keyBlob_;
    std::string credentialUser_, credentialPassword_;
    bool proxyCredentials_ = false;

    char errorBuffer_[CURL_ERROR_SIZE] = {}; // outlives easy_: libcurl writes into it
    HeaderList headers_;
    EasyHandle easy_;
    bool attached_ = false;

    // The transfer in progress.
    std::string body_;
    bool finished_ = false;
    CURLcode result_ = CURLE_OK;
    bool timedOut_ = false;
    std::string timeoutText_;
    std::chrono::steady_clock::time_point lastProgress_;
    curl_off_t lastUploaded_ = 0;
    std::uint64_t received_ = 0, lastReceived_ = 0;
    std::uint64_t declaredLength_ = 0, supplied_ = 0;
    const char* piece_ = nullptr;
    std::size_t pieceSize_ = 0, pieceOffset_ = 0;
    bool uploadPaused_ = false;

    int status_ = 0;
    std::string statusText_;
    std::vector<std::string> responseHeaders_;
    bool headersComplete_ = false;
    std::string pending_;
    std::size_t pendingOffset_ = 0;
    bool bodyPaused_ = false;

    std::uint32_t lastError_ = 0;
    std::string lastErrorText_;
};

} // namespace cto::http
