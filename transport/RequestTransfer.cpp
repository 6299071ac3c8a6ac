// Driving a request's transfer: the easy handle on the session's multi handle,
// pumped on the calling thread until what the caller waits for has come.
#include "transport/EasyConfiguration.h"
#include "transport/Request.h"

namespace cto::http {

bool Request::start(std::optional<std::uint64_t> piecesLength) {
    detach();
    if (!easy_ || !session_.multi())
        return fail(kNotEnoughMemory, {});
    outcome_ = {};
    errorBuffer_[0] = '\0';
    watchdog_.restart();
    upload_ = {};
    upload_.declaredLength = piecesLength.value_or(settings_.body.size());
    connectTimeoutExtension_ = {};
    head_ = {};
    tunnelHead_ = {};
    body_ = {};
    const std::uint32_t tolerated = settings_.toleratedFlags();
    const std::shared_ptr<const ClientCertificate>& certificate = settings_.clientCertificate;
    if (certificate)
        (void)certificate->takeSigningFailure(); // one left from an earlier send says nothing of this one
    session_.tls().beginExchange(tolerated, certificate, connection_.host);
    const bool fresh = !session_.pooledFor(tolerated, certificate ? certificate->identity() : std::string());
    proxy_ = proxyFor(connection_, settings_);
    headers_ = EasyConfiguration{connection_, settings_, piecesLength, fresh, proxy_}.apply(easy_.get());
    watch(piecesLength.has_value());
    if (curl_multi_add_handle(session_.multi(), easy_.get()) != CURLM_OK)
        return fail(kInternalError, "no se pudo iniciar la transferencia");
    attached_ = true;
    return true;
}

void Request::watch(bool inPieces) {
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
    if (inPieces) {
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, onUpload);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
}

void Request::detach() {
    if (attached_) {
        curl_multi_remove_handle(session_.multi(), easy_.get());
        attached_ = false;
    }
}

// A paused direction stays paused until told; the other direction keeps its state.
void Request::resumeUpload() {
    if (upload_.paused) {
        upload_.paused = false;
        curl_easy_pause(easy_.get(), body_.paused ? CURLPAUSE_RECV : CURLPAUSE_CONT);
    }
}

void Request::resumeBody() {
    if (body_.paused) {
        body_.paused = false;
        curl_easy_pause(easy_.get(), upload_.paused ? CURLPAUSE_SEND : CURLPAUSE_CONT);
    }
}

std::size_t Request::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    const std::string_view line(data, size * count);
    request->watchdog_.received += line.size();
    // libcurl hands over the proxy's answer to CONNECT through here too, before
    // it knows the server's status: those lines are the tunnel's, never the
    // server's answer.
    long status = 0;
    curl_easy_getinfo(request->easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    (status == 0 ? request->tunnelHead_ : request->head_).take(line);
    return line.size();
}

std::size_t Request::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    if (request->body_.available() > 0) {
        // The reader has not taken the last piece yet: libcurl holds this one.
        request->body_.paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    request->body_.pending.assign(data, size * count);
    request->body_.offset = 0;
    request->watchdog_.received += size * count;
    return size * count;
}

std::size_t Request::onUpload(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    if (request->upload_.pieceTaken()) {
        request->upload_.paused = true;
        return CURL_READFUNC_PAUSE;
    }
    return request->upload_.take(buffer, size * count);
}

bool Request::reached(Until until) const {
    switch (until) {
    case Until::HeadComplete:
        return head_.complete;
    case Until::PieceTaken:
        return upload_.pieceTaken();
    case Until::BodyPending:
        return body_.available() > 0;
    }
    return true;
}

void Request::pump(Until until) {
    watchdog_.wake();
    while (!outcome_.finished && !reached(until)) {
        int running = 0;
        curl_multi_perform(session_.multi(), &running);
        leaveAnsweringOutOfConnectTimeout();
        collectResult();
        if (outcome_.finished || reached(until))
            break;
        if (watchdogExpired())
            return;
        curl_multi_poll(session_.multi(), nullptr, 0, static_cast<int>(kWaitingInterval.count()), nullptr);
        if (!serveWaiting())
            return;
    }
    // An answer pouring in reaches what the caller waits for at every turn,
    // never the wait above: the waiting hook is served here too (the session
    // calls it at most once an interval), or the window would not answer
    // until the answer ends.
    if (!outcome_.finished)
        serveWaiting();
}

bool Request::serveWaiting() {
    if (session_.wait())
        return true;
    detach();
    outcome_ = {true, CURLE_ABORTED_BY_CALLBACK, std::nullopt, true};
    return false;
}

// libcurl's connect bound covers the TLS handshake, during which a card may
// ask for its PIN; libcurl reads the bound afresh at each turn, so the time the
// user spent answering is added to it, as the watchdog leaves it out of its own.
void Request::leaveAnsweringOutOfConnectTimeout() {
    const std::chrono::milliseconds answered = watchdog_.answeredSinceStart();
    if (answered == connectTimeoutExtension_)
        return;
    connectTimeoutExtension_ = answered;
    curl_easy_setopt(easy_.get(), CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>((settings_.connectTimeout + answered).count()));
}

void Request::collectResult() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(session_.multi(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
            outcome_.finished = true;
            outcome_.result = message->data.result;
        }
    }
}

bool Request::watchdogExpired() {
    curl_off_t connectedAt = 0, uploaded = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &connectedAt);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
    std::optional<std::string> timeout = watchdog_.expired(connectedAt, uploaded, upload_.declaredLength);
    if (!timeout)
        return false;
    detach();
    outcome_ = {true, CURLE_OPERATION_TIMEDOUT, std::move(timeout)};
    return true;
}

bool Request::failTransfer() {
    const std::shared_ptr<const ClientCertificate>& certificate = settings_.clientCertificate;
    if (!outcome_.finished)
        return fail(kInternalError, "la transferencia se detuvo de forma inesperada");
    if (outcome_.timeout)
        return fail(kTimeout, *outcome_.timeout);
    if (outcome_.cancelled)
        return fail(kCancelled, {});
    TransferFailure failure;
    failure.code = outcome_.result == CURLE_OK ? CURLE_GOT_NOTHING : outcome_.result;
    failure.verifyError = session_.tls().refusedVerifyError;
    failure.clientCertificateAsked = session_.tls().clientCertificateAsked;
    failure.clientCertificateAttached = certificate != nullptr;
    failure.clientCertificateUnfit = session_.tls().clientCertificateUnfit;
    failure.clientCertificateName = settings_.clientCertificateName;
    failure.outdatedServerVersion = session_.tls().outdatedServerVersion;
    failure.signingFailure = certificate ? certificate->takeSigningFailure() : std::string();
    failure.refusedCertificate = session_.tls().refusedCertificate;
    failure.host = connection_.host;
    failure.proxy = proxy_.value_or(std::string());
    failure.tunnelStatus = tunnelHead_.complete ? tunnelHead_.status : 0;
    failure.proxyCredentialsGiven = settings_.proxyAnswered.has_value();
    const std::uint32_t error = platformErrorFor(failure);
    return failWithMessage(error, describeFailure(error, failure, errorBuffer_));
}

} // namespace cto::http
