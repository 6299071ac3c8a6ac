#include "transport/THTTPReqResp.h"

#include "common/AsciiText.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SpanishUnits.h"
#include "common/Trim.h"
#include "transport/EasyConfiguration.h"
#include "transport/LibraryTexts.h"
#include "transport/PlatformErrors.h"
#include "transport/Request.h"
#include "transport/RequestFlags.h"
#include "transport/SystemProxy.h"
#include "transport/UrlParts.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <map>
#include <optional>
#include <vector>

namespace cto {

namespace {

// The authorities of a PEM file, read as a survey is: a FIFO or a device is
// refused without waiting on it, and no such file is that large (the system's
// whole bundle is some 200 KiB). None, with the reason, when it cannot be used.
std::vector<openssl::Certificate> authoritiesOf(const std::string& path, std::string& reason) {
    constexpr std::int64_t kLargestAuthoritiesFile = std::int64_t(8) * 1024 * 1024;
    try {
        std::vector<openssl::Certificate> authorities =
            http::certificatesOfPem(readWholeFile(path, kLargestAuthoritiesFile));
        if (authorities.empty())
            reason = "no contiene ningún certificado";
        return authorities;
    } catch (const EFOpenError& failure) {
        reason = failure.message();
        return {};
    }
}

} // namespace

struct THTTPReqResp::State {
    bool userSetURL = false;
    std::string url;
    http::UrlParts parts;
    std::string contentType;
    std::int32_t statusCode = 0;
    // The system's proxy for a URL, as LookUpSystemProxy found it; each
    // session opened afterwards starts with it.
    std::map<std::string, std::optional<std::string>> systemProxies;
    // The connection before the root: it refers to it.
    std::unique_ptr<http::Session> root;
    std::unique_ptr<http::Connection> connection;

    void disconnect() {
        connection.reset();
        root.reset();
    }
};

THTTPReqResp::THTTPReqResp() : state_(std::make_unique<State>()) {
    // libcurl's set-up of itself and of OpenSSL (its configuration, the
    // random source), some milliseconds, is made once and here, when the
    // service is configured, not when the first request is already due; and
    // explicitly, as libcurl asks, rather than in whichever call comes first.
    // After a failure libcurl tries again in curl_easy_init, whose failure a
    // request reports.
    [[maybe_unused]] static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
}

THTTPReqResp::~THTTPReqResp() {
    state_->disconnect();
}

const std::string& THTTPReqResp::URL() const noexcept {
    return state_->url;
}

const std::string& THTTPReqResp::ContentType() const noexcept {
    return state_->contentType;
}

std::int32_t THTTPReqResp::StatusCode() const noexcept {
    return state_->statusCode;
}

bool THTTPReqResp::Connected() const noexcept {
    return state_->connection != nullptr;
}

void THTTPReqResp::setURL(const std::string& url) {
    state_->userSetURL = !url.empty();
    if (url.empty()) {
        state_->parts = {};
        state_->url.clear();
    } else {
        http::UrlParts parts = http::crackUrl(url);
        if (parts.scheme != http::kSchemeHttp && parts.scheme != http::kSchemeHttps)
            throw ESOAPHTTPException("Invalid url '" + url + "' - only supports 'http' and 'https' schemes",
                                     0);
        state_->parts = std::move(parts);
        state_->url = url;
    }
    Connect(false);
}

void THTTPReqResp::Connect(bool value) {
    if (!value) {
        state_->disconnect();
        return;
    }
    if (state_->connection)
        return;
    std::vector<openssl::Certificate> authorities;
    if (!TrustedAuthorities.empty()) {
        std::string reason;
        authorities = authoritiesOf(TrustedAuthorities, reason);
        if (authorities.empty())
            RaiseCheck(
                http::kSecurityChannelError,
                http::platformErrorMessage(http::kSecurityChannelError,
                                           "no se puede usar el fichero de entidades de certificación de "
                                           "confianza \"" +
                                               TrustedAuthorities + "\": " + reason));
    }
    // An empty Proxy means the system's proxy settings, looked up when the first request goes.
    state_->root = std::make_unique<http::Session>(Agent, Proxy, ProxyByPass, std::move(authorities));
    if (!state_->root->multi()) {
        state_->root.reset();
        RaiseCheck(http::kNotEnoughMemory,
                   http::platformErrorMessage(http::kNotEnoughMemory, "no se pudo abrir el cliente HTTP"));
    }
    for (const auto& [url, answer] : state_->systemProxies)
        state_->root->rememberSystemProxy(url, answer);
    state_->connection = std::make_unique<http::Connection>(
        http::Connection{*state_->root, state_->parts.scheme == http::kSchemeHttps, state_->parts.host,
                         state_->parts.port, UserName, Password});
}

void THTTPReqResp::LookUpSystemProxy() {
    if (!Proxy.empty() || state_->parts.host.empty())
        return;
    const std::string url =
        http::proxyLookupUrl(state_->parts.scheme == http::kSchemeHttps, state_->parts.host,
                             state_->parts.port, state_->parts.objectName);
    if (state_->systemProxies.contains(url))
        return;
    const std::optional<std::string>& answer =
        state_->systemProxies.emplace(url, http::systemProxyFor(url)).first->second;
    if (state_->root)
        state_->root->rememberSystemProxy(url, answer);
}

std::string THTTPReqResp::soapActionValue() const {
    if (!SoapAction.empty())
        return SoapAction;
    return (InvokeOptions & soNoValueForEmptySOAPAction) ? std::string() : std::string("\"\"");
}

void THTTPReqResp::RaiseCheck(std::uint32_t error, const std::string& description) const {
    if (error == 0)
        return;
    if (error == http::kCancelled)
        throw EAbort();
    throw ESOAPHTTPException(std::string(trimRight(description, kLineEnds)) + " - URL:" + state_->url +
                                 " - SOAPAction:" + soapActionValue(),
                             static_cast<std::int32_t>(error));
}

std::uint32_t THTTPReqResp::HandleWinInetError(std::uint32_t lastError, http::Request& request,
                                               bool raiseError) {
    const bool ignoreInvalidCerts = InvokeOptions & soIgnoreInvalidCerts;
    if (lastError == http::kInvalidCertificateAuthority && ignoreInvalidCerts) {
        request.setSecurityFlags(request.securityFlags() | http::kIgnoreUnknownCa);
        return http::kForceRetry;
    }
    if (lastError == http::kRevocationCheckFailed && ignoreInvalidCerts) {
        request.setSecurityFlags(request.securityFlags() | http::kIgnoreRevocation);
        return http::kForceRetry;
    }
    if (raiseError)
        RaiseCheck(lastError, request.lastErrorText());
    const std::uint32_t answer = request.interactiveCheck(OnCredentialsNeeded);
    if (answer != http::kNoError && answer != http::kForceRetry && answer != http::kCancelled)
        RaiseCheck(answer, request.lastErrorText());
    return lastError == http::kClientCertificateNeeded ? http::kForceRetry : answer;
}

std::unique_ptr<http::Request> THTTPReqResp::Send(ByteStream& body) {
    Connect(true);
    std::unique_ptr<http::Request> request;
    try {
        const bool https = state_->parts.scheme == http::kSchemeHttps;
        // Nothing here caches responses: the request needs no flag against cache writes.
        std::uint32_t flags = http::kFlagKeepConnection;
        if (https)
            flags |= http::kFlagSecure;
        if (https && (InvokeOptions & soIgnoreInvalidCerts))
            flags |= http::kIgnoreCertNameInvalid | http::kIgnoreCertDateInvalid;
        request = std::make_unique<http::Request>(*state_->connection, state_->parts.objectName, flags);
        state_->root->onWaiting = OnWaiting;

        // Zero leaves our own bounds, which keep a silent server from holding the program for ever.
        const std::pair<std::int32_t, http::TimeoutKind> timeouts[] = {
            {ConnectTimeout, http::TimeoutKind::Connect},
            {SendTimeout, http::TimeoutKind::Send},
            {ReceiveTimeout, http::TimeoutKind::Receive},
            {ExchangeTimeout, http::TimeoutKind::Whole}};
        for (const auto& [value, kind] : timeouts)
            if (value > 0)
                request->setTimeout(kind, std::chrono::milliseconds(value));
        if (InvokeOptions & soIgnoreInvalidCerts)
            request->setSecurityFlags(http::kIgnoreUnknownCa | http::kIgnoreRevocation);

        const std::string contentType = UseUTF8InHeader ? "text/xml; charset=utf-8" : "text/xml";
        if (!(InvokeOptions & soNoSOAPActionHeader)) {
            const std::string action = soapActionValue();
            if (action.empty())
                request->addHeader("SOAPAction:");
            else if (action == "\"\"")
                request->addHeader("SOAPAction: " + action);
            else
                request->addHeader("SOAPAction: \"" + action + "\"");
        }
        request->addHeader("Content-Type: " + contentType);

        if (OnBeforePost)
            OnBeforePost(*this, *request);
        // A stop asked for while the hook's dialog was open ends the exchange
        // before anything leaves.
        if (OnWaiting && !OnWaiting())
            throw EAbort();

        body.seek(0);
        const std::int64_t size = body.size();
        if (size <= MaxSinglePostSize)
            sendSingleShot(*request, body, size);
        else
            sendInPieces(*request, body, size, std::max<std::int32_t>(MaxSinglePostSize, 1));
    } catch (...) {
        request.reset();
        Connect(false);
        throw;
    }
    return request;
}

void THTTPReqResp::sendSingleShot(http::Request& request, ByteStream& body, std::int64_t size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    body.readBuffer(bytes.data(), bytes.size());
    request.setBody(std::move(bytes));
    for (;;) {
        if (OnPostingData)
            OnPostingData(size, size);
        const bool sent = request.send();
        const std::uint32_t answer = HandleWinInetError(sent ? 0 : request.lastError(), request, !sent);
        if (answer == http::kNoError)
            return;
        if (answer == http::kCancelled)
            throw EAbort();
    }
}

// pieceSize is at least 1: a size of 0 or less would make no piece, or a buffer of billions of bytes.
void THTTPReqResp::sendInPieces(http::Request& request, ByteStream& body, std::int64_t size,
                                std::int32_t pieceSize) {
    std::vector<char> buffer(static_cast<std::size_t>(pieceSize));
    bool resend = true;
    while (resend) {
        body.seek(0);
        if (!request.sendEx(static_cast<std::uint64_t>(size)))
            RaiseCheck(request.lastError(), request.lastErrorText());
        std::exception_ptr writingFailure;
        try {
            for (;;) {
                const auto piece =
                    static_cast<std::size_t>(std::min<std::int64_t>(size - body.position(), pieceSize));
                if (piece == 0)
                    break;
                const std::size_t read = body.read(buffer.data(), piece);
                if (read == 0)
                    throw ESOAPHTTPException("Invalid HTTP Request: Length is 0", 0);
                if (!request.write(buffer.data(), read) &&
                    HandleWinInetError(request.lastError(), request, true) == http::kCancelled)
                    throw EAbort();
                if (OnPostingData)
                    OnPostingData(body.position(), size);
            }
        } catch (...) {
            writingFailure = std::current_exception();
        }
        const bool ended = request.end();
        const std::uint32_t answer = HandleWinInetError(ended ? 0 : request.lastError(), request, !ended);
        if (answer == http::kCancelled)
            throw EAbort();
        if (writingFailure)
            std::rethrow_exception(writingFailure);
        resend = answer == http::kForceRetry;
    }
}

void THTTPReqResp::Receive(http::Request& request, ByteStream& response) {
    int status = 0;
    if (request.queryStatusCode(status) && status >= 300 && status != 500) {
        // A missing reason phrase still fails: the status alone says the answer is not one.
        std::string reason;
        request.queryStatusText(reason);
        // The status's meaning in Spanish, then the server's own words.
        std::string text = http::httpStatusText(status);
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        if (!reason.empty())
            text += ": " + reason;
        throw ESOAPHTTPException(text + " (" + std::to_string(status) + ") - '" + state_->url + "'", status);
    }
    state_->statusCode = status;
    std::string contentType;
    if (!request.queryContentType(contentType))
        RaiseCheck(request.lastError(), request.lastErrorText());
    state_->contentType = contentType;

    std::vector<char> piece;
    std::int64_t total = 0;
    for (;;) {
        std::size_t available = 0;
        if (!request.queryDataAvailable(available))
            RaiseCheck(request.lastError(), request.lastErrorText());
        if (available == 0)
            break;
        piece.resize(available);
        std::size_t read = 0;
        if (!request.read(piece.data(), available, read))
            RaiseCheck(request.lastError(), request.lastErrorText());
        total += static_cast<std::int64_t>(read);
        if (total > MaxResponseSize)
            throw ESOAPHTTPException("La respuesta ocupa más de los " + spanishMebibytes(MaxResponseSize) +
                                         " que admite el programa - URL:" + state_->url,
                                     0);
        response.writeBuffer(piece.data(), read);
        if (OnReceivingData)
            OnReceivingData(static_cast<std::int64_t>(read), total);
    }
    if (equalsIgnoringCase(contentType, "text/plain") || equalsIgnoringCase(contentType, "text/html"))
        throw ESOAPHTTPException("Received content of invalid Content-Type setting: " + contentType +
                                     " - SOAP expects \"text/xml\"",
                                 0);
}

void THTTPReqResp::Execute(ByteStream& request, ByteStream& response) {
    std::unique_ptr<http::Request> pending = Send(request);
    try {
        Receive(*pending, response);
    } catch (...) {
        // The request before the root it belongs to.
        pending.reset();
        Connect(false);
        throw;
    }
}

std::unique_ptr<MemoryStream> THTTPReqResp::Execute(ByteStream& request) {
    auto response = std::make_unique<MemoryStream>();
    Execute(request, *response);
    return response;
}

} // namespace cto
