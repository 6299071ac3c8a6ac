#include "transport/Request.h"

namespace cto::http {

Request::Request(Connection& connection, std::string objectName, std::uint32_t flags)
    : connection_(connection), session_(connection.session), easy_(curl_easy_init()) {
    settings_.objectName = std::move(objectName);
    settings_.flags = flags;
}

Request::~Request() {
    detach();
}

bool Request::setClientCertificate(std::shared_ptr<const ClientCertificate> certificate,
                                   std::string shownName) {
    if (!certificate || !certificate->usable())
        return false;
    settings_.clientCertificate = std::move(certificate);
    settings_.clientCertificateName = std::move(shownName);
    return true;
}

void Request::setTimeout(TimeoutKind kind, std::chrono::milliseconds value) {
    switch (kind) {
    case TimeoutKind::Connect:
        settings_.connectTimeout = value;
        break;
    case TimeoutKind::Send:
        watchdog_.sendLimit = value;
        break;
    case TimeoutKind::Receive:
        watchdog_.receiveLimit = value;
        break;
    case TimeoutKind::Whole:
        watchdog_.wholeLimit = value;
        break;
    }
}

void Request::addHeader(const std::string& line) {
    settings_.headerLines.push_back(line);
}

bool Request::send() {
    return start(std::nullopt) && awaitHead();
}

bool Request::sendEx(std::uint64_t totalLength) {
    return start(totalLength);
}

bool Request::write(const char* piece, std::size_t size) {
    if (!attached_ && !outcome_.finished)
        return fail(kInternalError, "la solicitud no se había iniciado");
    upload_.hand(piece, size);
    resumeUpload();
    pump(Until::PieceTaken);
    const bool consumed = upload_.pieceTaken();
    upload_.hand(nullptr, 0);
    // A server may answer before the whole body is sent; then the rest is not
    // wanted. A proxy asking for credentials has taken none of it: the end of
    // the body hands its challenge to the interactive check.
    if (consumed || (outcome_.finished && outcome_.result == CURLE_OK) || tunnelWantsCredentials())
        return true;
    return failTransfer();
}

bool Request::end() {
    if (upload_.supplied < upload_.declaredLength && !outcome_.finished) {
        // The body stopped short of its declared length: drop the transfer. Whoever
        // stopped writing reports why; the end itself has no error number.
        detach();
        outcome_.finished = true;
        return fail(kNoError, {});
    }
    return awaitHead();
}

bool Request::awaitHead() {
    pump(Until::HeadComplete);
    return head_.complete || tunnelWantsCredentials() || failTransfer();
}

bool Request::tunnelWantsCredentials() const {
    return outcome_.finished && !head_.complete && tunnelHead_.complete &&
           (tunnelHead_.status == 407 || tunnelHead_.status == 401);
}

// A 407 is a proxy's challenge only from the proxy itself: its answer to
// CONNECT, or, for a plain-HTTP URL sent through a proxy, the answer it
// relays. Without a proxy, or inside a tunnel, a 407 comes from the office
// and is a failing status like any other.
std::optional<CredentialsRequest> Request::challenge() const {
    if (tunnelWantsCredentials()) {
        std::string realm = tunnelHead_.lastRealm("Proxy-Authenticate:");
        return CredentialsRequest{true, realm.empty() ? tunnelHead_.lastRealm("WWW-Authenticate:") : realm,
                                  settings_.proxyAnswered.has_value()};
    }
    if (!head_.complete)
        return std::nullopt;
    if (head_.status == 401)
        return CredentialsRequest{false, head_.lastRealm("WWW-Authenticate:"),
                                  settings_.serverAnswered.has_value()};
    const bool relayedByProxy = proxy_ && !proxy_->empty() && !(settings_.flags & kFlagSecure);
    if (head_.status == 407 && relayedByProxy)
        return CredentialsRequest{true, head_.lastRealm("Proxy-Authenticate:"),
                                  settings_.proxyAnswered.has_value()};
    return std::nullopt;
}

bool Request::queryStatusCode(int& status) const {
    if (!head_.complete)
        return false;
    status = head_.status;
    return true;
}

bool Request::queryStatusText(std::string& text) const {
    if (!head_.complete || head_.statusText.empty())
        return false;
    text = head_.statusText;
    return true;
}

bool Request::queryContentType(std::string& value) {
    // Room for 511 characters, as the platform's 1024-byte buffer of UTF-16.
    constexpr std::size_t kLongestContentType = 511;
    std::optional<std::string> found = head_.firstValue("Content-Type:");
    if (!found)
        return fail(kHeaderNotFound, "la respuesta no trae el encabezado Content-Type");
    if (found->size() > kLongestContentType)
        return fail(kInsufficientBuffer,
                    "el encabezado Content-Type de la respuesta tiene más de 511 caracteres");
    value = std::move(*found);
    return true;
}

bool Request::queryDataAvailable(std::size_t& available) {
    if (body_.available() == 0 && !outcome_.finished) {
        resumeBody();
        pump(Until::BodyPending);
    }
    available = body_.available();
    if (available > 0 || (outcome_.finished && outcome_.result == CURLE_OK))
        return true;
    return failTransfer();
}

bool Request::read(char* buffer, std::size_t count, std::size_t& read) {
    read = body_.read(buffer, count);
    return true;
}

std::uint32_t Request::interactiveCheck(const THTTPReqResp::TCredentialsEvent& askCredentials) {
    const std::optional<CredentialsRequest> asking = challenge();
    if (!asking)
        return kNoError;
    int& asked = asking->proxy ? proxyAsked_ : serverAsked_;
    if (!askCredentials || asked >= kMostCredentialsAsked) {
        // The office's refusal is its answer, read as any failing status; a
        // refused tunnel has no answer to read, so the failure names the proxy.
        if (!tunnelWantsCredentials())
            return kNoError;
        failTransfer();
        return lastError_;
    }
    ++asked;
    std::optional<Credentials> credentials = askCredentials(*asking);
    if (!credentials)
        return kCancelled;
    (asking->proxy ? settings_.proxyAnswered : settings_.serverAnswered) = std::move(credentials);
    return kForceRetry;
}

bool Request::fail(std::uint32_t error, std::string_view detail) {
    return failWithMessage(error, platformErrorMessage(error, detail));
}

bool Request::failWithMessage(std::uint32_t error, std::string message) {
    lastError_ = error;
    lastErrorText_ = std::move(message);
    return false;
}

} // namespace cto::http
