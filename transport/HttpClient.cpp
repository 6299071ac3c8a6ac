#include "transport/HttpClient.h"

#include "common/AsciiText.h"
#include "common/Trim.h"
#include "transport/ClientCertificateCheck.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace cto::http {

namespace {

// The platform's proxy bypass list separates entries with ';' or blanks, libcurl with ','.
std::string curlBypassList(const std::string& bypass) {
    std::string list;
    std::string entry;
    auto flush = [&] {
        if (!entry.empty())
            list += (list.empty() ? "" : ",") + entry;
        entry.clear();
    };
    for (char c : bypass) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            entry += c;
    }
    flush();
    return list;
}

std::string hostForUrl(const std::string& host) {
    return host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
}

std::string_view authRealm(std::string_view challenge) {
    const auto at = challenge.find("realm=\"");
    if (at == std::string_view::npos)
        return {};
    challenge.remove_prefix(at + 7);
    return challenge.substr(0, challenge.find('"'));
}

} // namespace

Session::Session(std::string agent, std::string proxy, std::string proxyBypass)
    : multi_(curl_multi_init()), agent_(std::move(agent)), proxy_(std::move(proxy)),
      proxyBypass_(curlBypassList(proxyBypass)) {}

Session::~Session() = default;

void Session::wait() {
    const auto now = std::chrono::steady_clock::now();
    if (!onWaiting || now - lastWaiting_ < kWaitingInterval)
        return;
    lastWaiting_ = now;
    onWaiting();
}

bool Session::pooledUnder(std::uint32_t securityFlags) {
    const bool same = !pooled_ || pooledFlags_ == securityFlags;
    pooled_ = true;
    pooledFlags_ = securityFlags;
    return same;
}

Request::Request(Connection& connection, std::string objectName, std::uint32_t flags)
    : connection_(connection), session_(connection.session), objectName_(std::move(objectName)),
      flags_(flags), easy_(curl_easy_init()) {}

Request::~Request() {
    detach();
}

bool Request::setClientCertificate(const ClientCertificate& certificate) {
    if (!keyMatchesCertificate(certificate))
        return false;
    // The intermediates follow the certificate in one PEM blob: libcurl sends them as its chain.
    certificateBlob_ = certificate.certificatePem();
    if (!certificateBlob_.empty() && certificateBlob_.back() != '\n')
        certificateBlob_ += '\n';
    certificateBlob_ += certificate.intermediatesPem();
    keyBlob_ = SecureBytes(certificate.privateKeyPem().bytes());
    return true;
}

void Request::setTimeout(TimeoutKind kind, std::chrono::milliseconds value) {
    switch (kind) {
    case TimeoutKind::Connect:
        connectTimeout_ = value;
        break;
    case TimeoutKind::Send:
        sendTimeout_ = value;
        break;
    case TimeoutKind::Receive:
        receiveTimeout_ = value;
        break;
    }
}

void Request::addHeader(const std::string& line) {
    headerLines_.push_back(line);
}

void Request::configure(bool pieces, std::uint64_t length) {
    CURL* easy = easy_.get();
    curl_easy_reset(easy);
    const bool secure = flags_ & kFlagSecure;
    const std::string url = std::string(secure ? "https://" : "http://") + hostForUrl(connection_.host) +
                            ":" + std::to_string(connection_.port) + "/";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    // The object name goes on the request line exactly as written.
    const std::string target =
        objectName_.empty() || objectName_.front() != '/' ? "/" + objectName_ : objectName_;
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session_.agent().c_str());
    if (!session_.proxy().empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXY, session_.proxy().c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, session_.proxyBypass().c_str());
    }
    // A proxy's answer to CONNECT is not the server's answer: keep it out of the response headers.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    const std::string& user =
        credentialUser_.empty() || proxyCredentials_ ? connection_.userName : credentialUser_;
    const std::string& password =
        credentialUser_.empty() || proxyCredentials_ ? connection_.password : credentialPassword_;
    if (!user.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    }
    if (proxyCredentials_) {
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, credentialUser_.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, credentialPassword_.c_str());
    }

    // TLS: libcurl verifies; the context hook tolerates what the security flags allow.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    const std::uint32_t tolerated = securityFlags_ | (flags_ & kSecurityFlagsAmongRequestFlags);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, tolerated & kIgnoreCertNameInvalid ? 0L : 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, tlsContextHook);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &session_.tls());
    if (!certificateBlob_.empty()) {
        curl_blob certificate{certificateBlob_.data(), certificateBlob_.size(), CURL_BLOB_NOCOPY};
        curl_blob key{const_cast<char*>(keyBlob_.bytes().data()), keyBlob_.bytes().size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(easy, CURLOPT_SSLCERT_BLOB, &certificate);
        curl_easy_setopt(easy, CURLOPT_SSLCERTTYPE, "PEM");
        curl_easy_setopt(easy, CURLOPT_SSLKEY_BLOB, &key);
        curl_easy_setopt(easy, CURLOPT_SSLKEYTYPE, "PEM");
    }
    if (tolerated & kIgnoreUnknownCa) {
        // Any authority is accepted, so the system's trust store could change no
        // verdict; loading it would only cost time on every connection.
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    session_.tls().beginExchange(tolerated, !certificateBlob_.empty());
    // A pooled connection verified under other flags must not carry this request.
    if (!session_.pooledUnder(tolerated))
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    if (!(flags_ & kFlagKeepConnection))
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));

    // Headers: the given lines; libcurl's Accept and Expect left out; the connection kept.
    HeaderList list;
    auto append = [&](const std::string& line) {
        if (curl_slist* grown = curl_slist_append(list.get(), line.c_str())) {
            list.release();
            list.reset(grown);
        }
    };
    for (const std::string& line : headerLines_) {
        // libcurl drops "Name:" lines; "Name;" is its way to send a header with no value.
        const auto colon = line.find(':');
        if (colon != std::string::npos && trimmed(std::string_view(line).substr(colon + 1)).empty())
            append(line.substr(0, colon) + ";");
        else
            append(line);
    }
    append("Accept:");
    append("Expect:");
    append(flags_ & kFlagKeepConnection ? "Connection: Keep-Alive" : "Connection: close");
    headers_ = std::move(list);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get());

    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    if (pieces) {
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, onUpload);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    } else {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    }
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
}

bool Request::start(bool pieces, std::uint64_t length) {
    detach();
    if (!easy_ || !session_.multi())
        return fail(kNotEnoughMemory, "Out of memory");
    finished_ = false;
    result_ = CURLE_OK;
    timedOut_ = false;
    errorBuffer_[0] = '\0';
    lastUploaded_ = 0;
    received_ = lastReceived_ = 0;
    declaredLength_ = length;
    supplied_ = 0;
    piece_ = nullptr;
    pieceSize_ = pieceOffset_ = 0;
    uploadPaused_ = false;
    status_ = 0;
    statusText_.clear();
    responseHeaders_.clear();
    headersComplete_ = false;
    pending_.clear();
    pendingOffset_ = 0;
    bodyPaused_ = false;
    configure(pieces, length);
    if (curl_multi_add_handle(session_.multi(), easy_.get()) != CURLM_OK)
        return fail(kInternalError, "Cannot start the transfer");
    attached_ = true;
    return true;
}

void Request::detach() {
    if (attached_) {
        curl_multi_remove_handle(session_.multi(), easy_.get());
        attached_ = false;
    }
}

bool Request::send() {
    if (!start(false, body_.size()))
        return false;
    pump([this] { return headersComplete(); });
    return headersComplete_ || proxyWantsCredentials() || failTransfer();
}

bool Request::sendEx(std::uint64_t totalLength) {
    return start(true, totalLength);
}

bool Request::write(const char* piece, std::size_t size) {
    if (!attached_ && !finished_)
        return fail(kInternalError, "The request was not started");
    piece_ = piece;
    pieceSize_ = size;
    pieceOffset_ = 0;
    if (uploadPaused_) {
        uploadPaused_ = false;
        curl_easy_pause(easy_.get(), bodyPaused_ ? CURLPAUSE_RECV : CURLPAUSE_CONT);
    }
    pump([this] { return pieceOffset_ == pieceSize_; });
    const bool consumed = pieceOffset_ == pieceSize_;
    piece_ = nullptr;
    pieceSize_ = pieceOffset_ = 0;
    // A server may answer before the whole body is sent; then the rest is not wanted.
    if (consumed || (finished_ && result_ == CURLE_OK))
        return true;
    return failTransfer();
}

bool Request::end() {
    if (supplied_ < declaredLength_ && !finished_) {
        // The body stopped short of its declared length: drop the transfer. Whoever
        // stopped writing reports why; the end itself has no error number.
        detach();
        finished_ = true;
        return fail(kNoError, {});
    }
    pump([this] { return headersComplete(); });
    return headersComplete_ || proxyWantsCredentials() || failTransfer();
}

// libcurl fails a tunnel that the proxy refused with 407; to the caller that is
// an answer like any other 407, for the interactive check to ask credentials
// for. The proxy's headers are not kept, so its realm is unknown.
bool Request::proxyWantsCredentials() {
    long connectCode = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
    if (!finished_ || connectCode != 407)
        return false;
    status_ = 407;
    statusText_ = "Proxy Authentication Required";
    responseHeaders_.clear();
    headersComplete_ = true;
    return true;
}

bool Request::queryStatusCode(int& status) const {
    if (!headersComplete_)
        return false;
    status = status_;
    return true;
}

bool Request::queryStatusText(std::string& text) const {
    if (!headersComplete_ || statusText_.empty())
        return false;
    text = statusText_;
    return true;
}

bool Request::queryContentType(std::string& value) {
    // Room for 511 characters, as the platform's 1024-byte buffer of UTF-16.
    constexpr std::size_t kLongestContentType = 511;
    for (const std::string& line : responseHeaders_) {
        if (!startsWithIgnoringCase(line, "Content-Type:"))
            continue;
        std::string found(trimmed(std::string_view(line).substr(13)));
        if (found.size() > kLongestContentType)
            return fail(kInsufficientBuffer,
                        "The Content-Type header of the response is longer than 511 characters");
        value = std::move(found);
        return true;
    }
    return fail(kHeaderNotFound, "The response has no Content-Type header");
}

bool Request::queryDataAvailable(std::size_t& available) {
    if (pendingOffset_ == pending_.size() && !finished_) {
        if (bodyPaused_) {
            bodyPaused_ = false;
            curl_easy_pause(easy_.get(), uploadPaused_ ? CURLPAUSE_SEND : CURLPAUSE_CONT);
        }
        pump([this] { return pendingOffset_ < pending_.size(); });
    }
    available = pending_.size() - pendingOffset_;
    if (available > 0 || (finished_ && result_ == CURLE_OK))
        return true;
    return failTransfer();
}

bool Request::read(char* buffer, std::size_t count, std::size_t& read) {
    read = std::min(count, pending_.size() - pendingOffset_);
    std::memcpy(buffer, pending_.data() + pendingOffset_, read);
    pendingOffset_ += read;
    return true;
}

std::uint32_t Request::interactiveCheck(const THTTPReqResp::TCredentialsEvent& askCredentials) {
    if (!headersComplete_ || (status_ != 401 && status_ != 407) || !askCredentials)
        return kNoError;
    const bool proxy = status_ == 407;
    std::string realm;
    for (const std::string& line : responseHeaders_)
        if (startsWithIgnoringCase(line, proxy ? "Proxy-Authenticate:" : "WWW-Authenticate:"))
            realm = authRealm(line);
    const std::optional<Credentials> credentials = askCredentials(proxy, realm);
    if (!credentials)
        return kCancelled;
    credentialUser_ = credentials->userName;
    credentialPassword_ = credentials->password;
    proxyCredentials_ = proxy;
    return kForceRetry;
}

std::size_t Request::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    const std::string_view line(data, size * count);
    request->received_ += line.size();
    if (line.starts_with("HTTP/")) {
        // A new response (after an interim 1xx one): start its headers afresh.
        request->responseHeaders_.clear();
        const std::string statusLine(trimRight(line, kLineEnds));
        const auto codeStart = statusLine.find(' ');
        const auto textStart =
            codeStart == std::string::npos ? codeStart : statusLine.find(' ', codeStart + 1);
        request->status_ = codeStart == std::string::npos ? 0 : std::atoi(statusLine.c_str() + codeStart + 1);
        request->statusText_ = textStart == std::string::npos
                                   ? std::string()
                                   : std::string(trimmed(std::string_view(statusLine).substr(textStart + 1)));
    } else if (line == "\r\n" || line == "\n") {
        if (request->status_ >= 200)
            request->headersComplete_ = true;
    } else {
        request->responseHeaders_.emplace_back(trimRight(line, kLineEnds));
    }
    return line.size();
}

std::size_t Request::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    if (request->pendingOffset_ < request->pending_.size()) {
        // The reader has not taken the last piece yet: libcurl holds this one.
        request->bodyPaused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    request->pending_.assign(data, size * count);
    request->pendingOffset_ = 0;
    request->received_ += size * count;
    return size * count;
}

std::size_t Request::onUpload(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    const std::size_t left = request->pieceSize_ - request->pieceOffset_;
    if (left == 0) {
        request->uploadPaused_ = true;
        return CURL_READFUNC_PAUSE;
    }
    const std::size_t n = std::min(left, size * count);
    std::memcpy(buffer, request->piece_ + request->pieceOffset_, n);
    request->pieceOffset_ += n;
    request->supplied_ += n;
    return n;
}

template <typename Done> void Request::pump(Done done) {
    lastProgress_ = std::chrono::steady_clock::now();
    while (!finished_ && !done()) {
        int running = 0;
        curl_multi_perform(session_.multi(), &running);
        collectResult();
        if (finished_ || done())
            return;
        if (watchdogExpired())
            return;
        curl_multi_poll(session_.multi(), nullptr, 0, static_cast<int>(kWaitingInterval.count()), nullptr);
        session_.wait();
    }
}

void Request::collectResult() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(session_.multi(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
            finished_ = true;
            result_ = message->data.result;
        }
    }
}

// libcurl bounds the connection; this bounds silence afterwards: a send that
// makes no progress, and an answer of which no byte arrives.
bool Request::watchdogExpired() {
    curl_off_t connectedAt = 0, uploaded = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &connectedAt);
    curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_UPLOAD_T, &uploaded);
    const auto now = std::chrono::steady_clock::now();
    if (connectedAt == 0 || uploaded != lastUploaded_ || received_ != lastReceived_) {
        lastUploaded_ = uploaded;
        lastReceived_ = received_;
        lastProgress_ = now;
        return false;
    }
    const bool sending = static_cast<std::uint64_t>(uploaded) < declaredLength_ && received_ == 0;
    const auto limit = sending ? sendTimeout_ : receiveTimeout_;
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastProgress_);
    if (silent < limit)
        return false;
    detach();
    finished_ = true;
    result_ = CURLE_OPERATION_TIMEDOUT;
    timedOut_ = true;
    timeoutText_ = "Operation timed out after " + std::to_string(silent.count()) +
                   " milliseconds with no data " + (sending ? "sent" : "received");
    return true;
}

bool Request::failTransfer() {
    if (!finished_)
        return fail(kInternalError, "The transfer stopped unexpectedly");
    TransferFailure failure;
    failure.code = result_ == CURLE_OK ? CURLE_GOT_NOTHING : result_;
    failure.verifyError = session_.tls().refusedVerifyError;
    failure.clientCertificateAsked = session_.tls().clientCertificateAsked;
    failure.clientCertificateAttached = session_.tls().clientCertificateAttached;
    if (timedOut_)
        return fail(kTimeout, timeoutText_);
    const std::uint32_t error = platformErrorFor(failure);
    return fail(error, describeFailure(error, failure.code, errorBuffer_));
}

bool Request::fail(std::uint32_t error, std::string text) {
    lastError_ = error;
    lastErrorText_ = std::move(text);
    return false;
}

} // namespace cto::http
