#pragma once

#include "common/ByteStream.h"
#include "common/Credentials.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace cto {

class ClientCertificate;
class HttpRequest;
namespace http {
class Request;
}

// Bits of THTTPReqResp::InvokeOptions.
enum TSOAPInvokeOption : std::uint8_t {
    soNoValueForEmptySOAPAction = 1u << 0,
    soIgnoreInvalidCerts = 1u << 1,
    soNoSOAPActionHeader = 1u << 2,
    soAutoCheckAccessPointViaUDDI = 1u << 3,
};

// The HTTP transport: posts one request body to URL and hands back the response body.
class THTTPReqResp {
public:
    // Called once per Send, after the request is opened with its headers and
    // before its body leaves. May run a modal dialog; an exception from it
    // aborts the exchange and reaches the caller of Execute unchanged.
    using TBeforePostEvent = std::function<void(THTTPReqResp& sender, HttpRequest& request)>;
    // Asked when the office's server answers 401, or the proxy in use 407 (or
    // refuses its tunnel for want of credentials): credentials to send again
    // with, or nothing when the user cancels. Asked at most
    // kMostCredentialsAsked times per asker and send; then the refusal is the
    // exchange's failure.
    using TCredentialsEvent = std::function<std::optional<Credentials>(const CredentialsRequest& request)>;
    // Called repeatedly while the exchange waits on the network, so that the
    // caller can keep its windows painted; false stops the exchange (EAbort).
    using TWaitingEvent = std::function<bool()>;
    // Progress of the request body (bytes handed over so far, total) and of the
    // response body (bytes of this piece, bytes read). No effect on the exchange.
    using TPostingDataEvent = std::function<void(std::int64_t sent, std::int64_t total)>;
    using TReceivingDataEvent = std::function<void(std::int64_t read, std::int64_t total)>;

    THTTPReqResp();
    ~THTTPReqResp();
    THTTPReqResp(const THTTPReqResp&) = delete;
    THTTPReqResp& operator=(const THTTPReqResp&) = delete;

    const std::string& URL() const noexcept;
    void setURL(const std::string& url); // ESOAPHTTPException for a scheme other than http/https

    std::string SoapAction;
    std::string Agent = "Pramblex SOAP 1.3";
    std::string UserName;
    std::string Password;
    std::string Proxy;
    std::string ProxyByPass;
    bool UseUTF8InHeader = true;
    // soIgnoreInvalidCerts would let any server that can reach the connection
    // take the survey and answer with a receipt of its own: off, and nothing turns it on.
    std::uint8_t InvokeOptions = soAutoCheckAccessPointViaUDDI;
    // A PEM file of certification authorities trusted besides the system's (the
    // deployment's own authority for the office's server); empty for none.
    std::string TrustedAuthorities;
    std::int32_t ConnectTimeout = 0;
    std::int32_t SendTimeout = 0;
    std::int32_t ReceiveTimeout = 0;
    std::int32_t MaxSinglePostSize = 32768;
    // Bounds on the answer: its size, checked as it arrives, and the whole
    // exchange's time in milliseconds (0: 15 minutes), besides the silence
    // bounds above. A server that never stops sending is cut off.
    std::int64_t MaxResponseSize = std::int64_t(256) * 1024 * 1024;
    std::int32_t ExchangeTimeout = 0;

    TBeforePostEvent OnBeforePost;
    TCredentialsEvent OnCredentialsNeeded;
    TWaitingEvent OnWaiting;
    TPostingDataEvent OnPostingData;
    TReceivingDataEvent OnReceivingData;

    // The whole request stream, from its first byte, is the body. Answers a new
    // stream with the response body, positioned at its end.
    std::unique_ptr<MemoryStream> Execute(ByteStream& request);
    // Appends the response body to response.
    void Execute(ByteStream& request, ByteStream& response);

    void Connect(bool value);
    bool Connected() const noexcept;
    // With no Proxy named, asks the desktop's proxy settings about the URL now
    // (libproxy: milliseconds, more where a PAC script runs), so that the
    // first request to it goes without waiting for them. Once per URL.
    void LookUpSystemProxy();
    // Content-Type and status of the last response.
    const std::string& ContentType() const noexcept;
    std::int32_t StatusCode() const noexcept;

private:
    std::unique_ptr<http::Request> Send(ByteStream& request);
    void sendSingleShot(http::Request& request, ByteStream& body, std::int64_t size);
    void sendInPieces(http::Request& request, ByteStream& body, std::int64_t size, std::int32_t pieceSize);
    void Receive(http::Request& request, ByteStream& response);
    // The error policy: 0 to proceed, 12032 to send again, 1223 when the user cancelled; or raises.
    std::uint32_t HandleWinInetError(std::uint32_t lastError, http::Request& request, bool raiseError);
    void RaiseCheck(std::uint32_t error, const std::string& description) const;
    std::string soapActionValue() const;

    struct State;
    std::unique_ptr<State> state_;
};

// The pending request handed to OnBeforePost.
class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Attaches a client certificate for the TLS handshake, which the request
    // holds until it ends; false when it cannot be used (no key, a key that
    // is not the certificate's). Once attached, the request goes with it or
    // not at all. shownName is how the user knows it, for the messages.
    virtual bool setClientCertificate(std::shared_ptr<const ClientCertificate> certificate,
                                      std::string shownName = {}) = 0;
};

} // namespace cto
