#pragma once

#include "transport/CurlOwners.h"
#include "transport/PlatformErrors.h"
#include "transport/RequestSettings.h"
#include "transport/ResponseHead.h"
#include "transport/Session.h"
#include "transport/THTTPReqResp.h"
#include "transport/TransferState.h"
#include "transport/Watchdog.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cto::http {

// Credentials are asked of the user at most this many times per asker and
// send. Every answer costs the user a dialog and, for the office, a whole POST
// of the survey: three lets a mistyped password be corrected twice, and a
// proxy or office that refuses every answer ends the run instead of asking
// for ever.
inline constexpr int kMostCredentialsAsked = 3;

// Connect, Send and Receive bound silence; Whole bounds the entire exchange,
// so that an answer trickling in byte by byte cannot hold the program for ever.
enum class TimeoutKind { Connect, Send, Receive, Whole };

// The request handle. Its operations answer false on failure and leave an
// error number and the message for it (our text, then libcurl's or our
// detail: platformErrorMessage) in lastError()/lastErrorText().
class Request final : public HttpRequest {
public:
    Request(Connection& connection, std::string objectName, std::uint32_t flags);
    ~Request() override;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Options; they take effect when the request is sent.
    bool setClientCertificate(std::shared_ptr<const ClientCertificate> certificate,
                              std::string shownName = {}) override;
    void setTimeout(TimeoutKind kind, std::chrono::milliseconds value);
    std::uint32_t securityFlags() const { return settings_.securityFlags; }
    void setSecurityFlags(std::uint32_t flags) { settings_.securityFlags = flags; }
    // One "Name: value" line, sent as given ("Name:" sends the header with an empty value).
    void addHeader(const std::string& line);

    // Single shot: the whole body, held by the request for resends.
    void setBody(std::string body) { settings_.body = std::move(body); }
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
    // hook gave for the office's 401 or the proxy's challenge, kCancelled when
    // the user refused; another error number, with its text in lastErrorText(),
    // when the proxy's challenge cannot be answered (no hook, or its answers
    // refused kMostCredentialsAsked times).
    std::uint32_t interactiveCheck(const THTTPReqResp::TCredentialsEvent& askCredentials);

    std::uint32_t lastError() const { return lastError_; }
    const std::string& lastErrorText() const { return lastErrorText_; }

private:
    // What the transfer is driven until, unless it ends first.
    enum class Until { HeadComplete, PieceTaken, BodyPending };

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onUpload(char* buffer, std::size_t size, std::size_t count, void* self);

    bool start(std::optional<std::uint64_t> piecesLength);
    void watch(bool inPieces);
    void detach();
    void resumeUpload();
    void resumeBody();
    void pump(Until until);
    // Calls the session's waiting hook; false, and the transfer stopped, when it says stop.
    bool serveWaiting();
    bool reached(Until until) const;
    void leaveAnsweringOutOfConnectTimeout();
    void collectResult();
    bool watchdogExpired();
    bool awaitHead();
    // The proxy refused the tunnel asking for credentials (407, or 401 as tinyproxy answers).
    bool tunnelWantsCredentials() const;
    // Who asks for credentials now, if anyone does.
    std::optional<CredentialsRequest> challenge() const;
    bool failTransfer();
    // Records the failure with our text for the number and the detail after it.
    bool fail(std::uint32_t error, std::string_view detail);
    bool failWithMessage(std::uint32_t error, std::string message);

    Connection& connection_;
    Session& session_;
    RequestSettings settings_; // before easy_: libcurl reads the body and the certificate in place

    char errorBuffer_[CURL_ERROR_SIZE] = {}; // outlives easy_: libcurl writes into it
    HeaderList headers_;
    EasyHandle easy_;
    bool attached_ = false;

    TransferOutcome outcome_;
    Watchdog watchdog_;
    std::chrono::milliseconds connectTimeoutExtension_{}; // added to libcurl's connect bound
    UploadState upload_;
    ResponseHead head_;
    ResponseHead tunnelHead_;              // the proxy's answer to CONNECT, when it was asked
    std::optional<std::string> proxy_;     // as proxyFor answered it for this send
    int serverAsked_ = 0, proxyAsked_ = 0; // times the hook answered credentials for each
    ResponseBody body_;

    std::uint32_t lastError_ = 0;
    std::string lastErrorText_;
};

} // namespace cto::http
