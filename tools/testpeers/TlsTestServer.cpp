#include "tools/testpeers/TlsTestServer.h"

#include "common/AsciiText.h"
#include "common/Trim.h"
#include "tools/testpeers/TestPki.h"
#include "transport/OpenSslOwners.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace cto::test {

namespace {

int protocolVersionOf(TlsVersion version) {
    switch (version) {
    case TlsVersion::Tls10:
        return TLS1_VERSION;
    case TlsVersion::Tls11:
        return TLS1_1_VERSION;
    case TlsVersion::Tls12:
        return TLS1_2_VERSION;
    case TlsVersion::Tls13:
        return TLS1_3_VERSION;
    case TlsVersion::Any:
        break;
    }
    return 0;
}

[[noreturn]] void fail(const std::string& what) {
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    throw std::runtime_error("TLS test server: " + what + ": " + text);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string nameText(X509_NAME* name, unsigned long flags) {
    openssl::Bio bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, flags);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string commonName(X509_NAME* name) {
    const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0)
        return {};
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    if (length < 0)
        return {};
    std::string text(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

int acceptAnyCertificate(int, X509_STORE_CTX*) {
    return 1;
}

int acceptDespiteDates(int preverified, X509_STORE_CTX* context) {
    const int error = X509_STORE_CTX_get_error(context);
    if (!preverified && (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID)) {
        X509_STORE_CTX_set_error(context, X509_V_OK);
        return 1;
    }
    return preverified;
}

// The scheme of the client's CertificateVerify, as "RSA-PSS SHA256"; a
// resumed session's handshake has none.
std::string clientSignatureOf(SSL* ssl) {
    int type = NID_undef, hash = NID_undef;
    if (SSL_get_peer_signature_type_nid(ssl, &type) != 1 || SSL_get_peer_signature_nid(ssl, &hash) != 1)
        return {};
    const char* typeName = type == EVP_PKEY_RSA_PSS ? "RSA-PSS"
                           : type == EVP_PKEY_RSA   ? "RSA"
                           : type == EVP_PKEY_EC    ? "ECDSA"
                                                    : OBJ_nid2sn(type);
    return std::string(typeName) + " " + OBJ_nid2sn(hash);
}

} // namespace

Reply Reply::ok(std::string body, std::string contentType) {
    Reply reply;
    reply.body = std::move(body);
    reply.headers = {{"Content-Type", std::move(contentType)}};
    return reply;
}

Reply Reply::status(std::string statusLine, std::string body, std::string contentType) {
    Reply reply = ok(std::move(body), std::move(contentType));
    reply.statusLine = std::move(statusLine);
    return reply;
}

std::string Exchange::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name))
            return value;
    return {};
}

bool Exchange::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& entry) { return equalsIgnoringCase(entry.first, name); });
}

struct TlsTestServer::Connection {
    FileDescriptor socket;
    int number = 0;
};

struct TlsTestServer::Shared {
    Options options;
    openssl::SslContext context;
    FileDescriptor listener;
    FileDescriptor wakeRead, wakeWrite; // a byte on this pipe ends the accept loop
    std::thread acceptor;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    Stall stall = Stall::None;
    std::deque<Reply> script;
    Responder responder;
    std::vector<Exchange> exchanges;
    std::vector<std::shared_ptr<Connection>> open;
    std::vector<std::thread> workers;
    int connections = 0, handshakes = 0, failedHandshakes = 0;
    int closedConnections = 0, clientCertificates = 0;

    bool waitUnlessStopping(std::chrono::milliseconds delay) {
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, delay, [&] { return stopping; });
    }

    // False when the server stopped during the stall.
    bool passStall(Stall where) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopping || stall != where; });
        return !stopping;
    }
};

TlsTestServer::TlsTestServer(const TestPki& pki) : TlsTestServer(pki, Options{}) {}

TlsTestServer::TlsTestServer(const TestPki& pki, const Options& options)
    : shared_(std::make_shared<Shared>()) {
    // A client that hangs up mid-answer must not kill the test process.
    std::signal(SIGPIPE, SIG_IGN);
    shared_->options = options;
    shared_->context.reset(SSL_CTX_new(TLS_server_method()));
    SSL_CTX* context = shared_->context.get();
    if (!context)
        fail("SSL_CTX_new");
    const bool ownCertificate = !options.serverCertificate.certificatePath.empty();
    const std::string& certificate =
        ownCertificate ? options.serverCertificate.certificatePath : pki.serverCertificatePath();
    const std::string& key = ownCertificate ? options.serverCertificate.keyPath : pki.serverKeyPath();
    if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1)
        fail("server certificate");
    if (SSL_CTX_load_verify_locations(context, pki.caCertificatePath().c_str(), nullptr) != 1)
        fail("CA");
    SSL_CTX_set_client_CA_list(context, SSL_load_client_CA_file(pki.caCertificatePath().c_str()));
    if (options.resumableSessions) {
        // Resumed sessions keep the client certificate of the handshake that made them.
        static const unsigned char sessionContext[] = "cto-test-server";
        SSL_CTX_set_session_id_context(context, sessionContext, sizeof sessionContext - 1);
    } else {
        // Every connection makes a full handshake, so each shows its client certificate.
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
        SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
        SSL_CTX_set_num_tickets(context, 0);
    }
    if (!options.clientSignatureSchemes.empty() &&
        SSL_CTX_set1_client_sigalgs_list(context, options.clientSignatureSchemes.c_str()) != 1)
        fail("client signature schemes");

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    shared_->listener = FileDescriptor(fd);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(options.port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("TLS test server: cannot listen: ") + std::strerror(errno));
    port_ = ntohs(address.sin_port);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0)
        throw std::runtime_error("TLS test server: pipe");
    shared_->wakeRead = FileDescriptor(wake[0]);
    shared_->wakeWrite = FileDescriptor(wake[1]);
    shared_->acceptor = std::thread([this] { acceptLoop(); });
}

TlsTestServer::~TlsTestServer() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        for (const auto& connection : shared_->open)
            ::shutdown(connection->socket.get(), SHUT_RDWR);
    }
    shared_->changed.notify_all();
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(shared_->wakeWrite.get(), &byte, 1);
    shared_->acceptor.join();
    // No new workers start once the acceptor has ended.
    for (auto& worker : shared_->workers)
        worker.join();
}

std::string TlsTestServer::hostAndPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string TlsTestServer::url(const std::string& target) const {
    return "https://" + hostAndPort() + target;
}

void TlsTestServer::setClientCertificateMode(ClientCertificateMode mode) {
    std::lock_guard lock(shared_->mutex);
    shared_->options.clientCertificates = mode;
}

void TlsTestServer::setStall(Stall stall) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stall = stall;
    }
    shared_->changed.notify_all();
}

void TlsTestServer::setTlsVersion(TlsVersion version) {
    std::lock_guard lock(shared_->mutex);
    shared_->options.tlsVersion = version;
}

void TlsTestServer::enqueue(Reply reply) {
    std::lock_guard lock(shared_->mutex);
    shared_->script.push_back(std::move(reply));
}

void TlsTestServer::setResponder(Responder responder) {
    std::lock_guard lock(shared_->mutex);
    shared_->responder = std::move(responder);
}

std::vector<Exchange> TlsTestServer::exchanges() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->exchanges;
}

Exchange TlsTestServer::lastExchange() const {
    std::lock_guard lock(shared_->mutex);
    if (shared_->exchanges.empty())
        throw std::runtime_error("TLS test server: no exchange recorded");
    return shared_->exchanges.back();
}

void TlsTestServer::clearExchanges() {
    std::lock_guard lock(shared_->mutex);
    shared_->exchanges.clear();
}

bool TlsTestServer::waitForExchanges(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout, [&] { return shared_->exchanges.size() >= count; });
}

bool TlsTestServer::waitUntilConnectionsEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout, [&] {
        return shared_->connections > 0 && shared_->closedConnections >= shared_->connections;
    });
}

int TlsTestServer::clientCertificateCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->clientCertificates;
}

int TlsTestServer::connectionCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->connections;
}

int TlsTestServer::handshakeCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->handshakes;
}

int TlsTestServer::failedHandshakeCount() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->failedHandshakes;
}

void TlsTestServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{shared_->listener.get(), POLLIN, 0}, {shared_->wakeRead.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(shared_->listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        auto connection = std::make_shared<Connection>();
        connection->socket = FileDescriptor(fd);
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        std::lock_guard lock(shared_->mutex);
        if (const int bytes = shared_->options.sendBufferBytes;
            bytes > 0 && ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) != 0)
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
        if (shared_->stopping)
            return;
        connection->number = ++shared_->connections;
        shared_->open.push_back(connection);
        shared_->workers.emplace_back([this, connection] { serve(connection); });
    }
}

Reply TlsTestServer::nextReply(const Exchange& exchange) {
    Responder responder;
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->responder) {
            if (shared_->script.empty())
                return Reply{};
            Reply reply = std::move(shared_->script.front());
            shared_->script.pop_front();
            return reply;
        }
        responder = shared_->responder;
    }
    return responder(exchange);
}

namespace {

// Reads one HTTP/1.1 request from a TLS connection; false at a clean or broken end before one.
class RequestReader {
public:
    RequestReader(SSL* ssl, bool recordBodies) : ssl_(ssl), recordBodies_(recordBodies) {}

    bool read(Exchange& exchange) {
        std::size_t headEnd;
        while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos)
            if (!fill())
                return false;
        exchange.rawHead = pending_.substr(0, headEnd + 4);
        pending_.erase(0, headEnd + 4);
        parseHead(exchange);
        exchange.rawRequest = exchange.rawHead;
        if (equalsIgnoringCase(exchange.header("Expect"), "100-continue"))
            writeAll(ssl_, "HTTP/1.1 100 Continue\r\n\r\n");
        if (equalsIgnoringCase(exchange.header("Transfer-Encoding"), "chunked"))
            return readChunked(exchange);
        const std::string length = exchange.header("Content-Length");
        return readCounted(exchange, length.empty() ? 0 : std::stoull(length));
    }

    static bool writeAll(SSL* ssl, std::string_view bytes) {
        while (!bytes.empty()) {
            const int written =
                SSL_write(ssl, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
            if (written <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

private:
    bool fill() {
        char buffer[65536];
        const int n = SSL_read(ssl_, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    void parseHead(Exchange& exchange) {
        const std::string& head = exchange.rawHead;
        std::size_t lineEnd = head.find("\r\n");
        exchange.requestLine = head.substr(0, lineEnd);
        const auto firstBlank = exchange.requestLine.find(' ');
        const auto secondBlank = exchange.requestLine.find(' ', firstBlank + 1);
        exchange.method = exchange.requestLine.substr(0, firstBlank);
        exchange.target = exchange.requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
        for (std::size_t start = lineEnd + 2; start < head.size() - 2; start = lineEnd + 2) {
            lineEnd = head.find("\r\n", start);
            const std::string line = head.substr(start, lineEnd - start);
            const auto colon = line.find(':');
            exchange.headers.emplace_back(
                line.substr(0, colon),
                colon == std::string::npos
                    ? std::string()
                    : std::string(cto::trimmed(std::string_view(line).substr(colon + 1))));
        }
    }

    // Moves up to count body bytes into the exchange; false when the connection ends first.
    bool take(Exchange& exchange, std::uint64_t count, bool body) {
        while (count > 0) {
            if (pending_.empty() && !fill())
                return false;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, pending_.size()));
            if (recordBodies_) {
                exchange.rawRequest.append(pending_, 0, n);
                if (body)
                    exchange.body.append(pending_, 0, n);
            }
            if (body)
                exchange.bodySize += n;
            pending_.erase(0, n);
            count -= n;
        }
        return true;
    }

    bool takeLine(Exchange& exchange, std::string& line) {
        std::size_t end;
        while ((end = pending_.find("\r\n")) == std::string::npos)
            if (!fill())
                return false;
        line = pending_.substr(0, end);
        return take(exchange, end + 2, false);
    }

    bool readCounted(Exchange& exchange, std::uint64_t length) { return take(exchange, length, true); }

    bool readChunked(Exchange& exchange) {
        for (;;) {
            std::string line;
            if (!takeLine(exchange, line))
                return false;
            const auto size = std::stoull(line, nullptr, 16);
            if (size == 0)
                return takeLine(exchange, line);
            if (!take(exchange, size, true) || !takeLine(exchange, line))
                return false;
        }
    }

    SSL* ssl_;
    bool recordBodies_;
    std::string pending_;
};

// Asks a client for its certificate in the middle of a connection, and waits
// for it: the client answers only when it next reads, so the socket is read
// with a short timeout until the certificate has come or the client gave up.
bool askForCertificateNow(SSL* ssl, int socket) {
    const bool tls13 = SSL_version(ssl) == TLS1_3_VERSION;
    if (!tls13)
        SSL_set_verify(ssl, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    if (tls13 ? SSL_verify_client_post_handshake(ssl) != 1 : SSL_renegotiate(ssl) != 1)
        return false;
    if (SSL_do_handshake(ssl) != 1)
        return false;
    timeval tick{0, 100 * 1000};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    bool arrived = false;
    for (int round = 0; round < 300 && !arrived; ++round) {
        char byte;
        const int n = SSL_peek(ssl, &byte, 1);
        arrived = SSL_get0_peer_certificate(ssl) != nullptr && (tls13 || SSL_renegotiate_pending(ssl) == 0);
        // Data before the certificate: the client went on without answering.
        if (n > 0 && !arrived)
            break;
        if (n <= 0 && !arrived && SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ &&
            !(SSL_get_error(ssl, n) == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK)))
            break;
        ERR_clear_error();
    }
    timeval noTimeout{0, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &noTimeout, sizeof noTimeout);
    return arrived;
}

std::string replyHead(const Reply& reply) {
    std::string head = reply.statusLine + "\r\n";
    for (const auto& [name, value] : reply.headers)
        head.append(name).append(": ").append(value).append("\r\n");
    if (reply.addContentLength)
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    if (reply.ending == Reply::Ending::Close)
        head += "Connection: close\r\n";
    return head + "\r\n";
}

} // namespace

void TlsTestServer::serve(const std::shared_ptr<Connection>& connection) {
    openssl::Ssl ssl(SSL_new(shared_->context.get()));
    Options options;
    {
        std::lock_guard lock(shared_->mutex);
        options = shared_->options;
    }
    switch (options.clientCertificates) {
    case ClientCertificateMode::None:
        SSL_set_verify(ssl.get(), SSL_VERIFY_NONE, nullptr);
        break;
    case ClientCertificateMode::Request:
        SSL_set_verify(ssl.get(), SSL_VERIFY_PEER, acceptAnyCertificate);
        break;
    case ClientCertificateMode::Require:
        SSL_set_verify(ssl.get(), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT,
                       options.ignoreClientCertificateDates ? acceptDespiteDates : nullptr);
        break;
    case ClientCertificateMode::AfterRequest:
        // With this flag TLS 1.3 asks nothing in the handshake, but TLS 1.2
        // would; it asks in the renegotiation instead.
        if (options.tlsVersion == TlsVersion::Tls12)
            SSL_set_verify(ssl.get(), SSL_VERIFY_NONE, nullptr);
        else
            SSL_set_verify(ssl.get(),
                           SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT | SSL_VERIFY_POST_HANDSHAKE,
                           nullptr);
        break;
    }
    const int version = protocolVersionOf(options.tlsVersion);
    if (version != 0 && version < TLS1_2_VERSION) {
        SSL_set_security_level(ssl.get(), 0);
        SSL_set_cipher_list(ssl.get(), "DEFAULT:@SECLEVEL=0");
    }
    SSL_set_min_proto_version(ssl.get(), version ? version : TLS1_2_VERSION);
    SSL_set_max_proto_version(ssl.get(), version);
    SSL_set_fd(ssl.get(), connection->socket.get());

    if (!shared_->passStall(Stall::BeforeHandshake))
        return forget(connection);
    const bool shaken = SSL_accept(ssl.get()) == 1;
    {
        std::lock_guard lock(shared_->mutex);
        ++(shaken ? shared_->handshakes : shared_->failedHandshakes);
    }
    std::string subject, name, signature;
    bool verified = false;
    const auto notePeer = [&] {
        if (openssl::Certificate peer{SSL_get1_peer_certificate(ssl.get())}) {
            {
                std::lock_guard lock(shared_->mutex);
                ++shared_->clientCertificates;
            }
            subject = nameText(X509_get_subject_name(peer.get()), XN_FLAG_RFC2253);
            name = commonName(X509_get_subject_name(peer.get()));
            verified = SSL_get_verify_result(ssl.get()) == X509_V_OK;
            signature = clientSignatureOf(ssl.get());
        }
    };
    if (shaken && options.clientCertificates != ClientCertificateMode::AfterRequest)
        notePeer();
    RequestReader reader(ssl.get(), options.recordBodies);
    bool keepOpen = shaken;
    while (keepOpen) {
        Exchange exchange;
        if (!shared_->passStall(Stall::BeforeRequest) || !reader.read(exchange))
            break;
        if (options.clientCertificates == ClientCertificateMode::AfterRequest && subject.empty()) {
            if (!askForCertificateNow(ssl.get(), connection->socket.get()))
                break;
            notePeer();
        }
        exchange.clientSubject = subject;
        exchange.clientCommonName = name;
        exchange.clientCertificateVerified = verified;
        exchange.connection = connection->number;
        exchange.tlsVersion = SSL_get_version(ssl.get());
        exchange.clientSignature = signature;
        exchange.resumed = SSL_session_reused(ssl.get()) == 1;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->exchanges.push_back(exchange);
        }
        shared_->changed.notify_all();

        const Reply reply = nextReply(exchange);
        if (reply.delay.count() > 0 && !shared_->waitUnlessStopping(reply.delay))
            break;
        switch (reply.ending) {
        case Reply::Ending::NeverAnswer: {
            // Hold the connection until the client hangs up or the server stops.
            char byte;
            while (shared_->waitUnlessStopping(std::chrono::milliseconds(20))) {
                pollfd fd{connection->socket.get(), POLLIN, 0};
                if (::poll(&fd, 1, 0) > 0 && ::recv(fd.fd, &byte, 1, MSG_PEEK) <= 0)
                    break;
            }
            keepOpen = false;
            break;
        }
        case Reply::Ending::Drip: {
            bool open = RequestReader::writeAll(ssl.get(), replyHead(reply));
            for (std::size_t sent = 0; open && sent < reply.body.size(); ++sent)
                open = shared_->waitUnlessStopping(reply.dripInterval) &&
                       RequestReader::writeAll(ssl.get(), std::string_view(reply.body).substr(sent, 1));
            keepOpen = false;
            break;
        }
        case Reply::Ending::Flood: {
            bool open = RequestReader::writeAll(ssl.get(), replyHead(reply));
            std::uint64_t sent = 0;
            while (open && (reply.floodBytes == 0 || sent < reply.floodBytes)) {
                open = shared_->waitUnlessStopping(std::chrono::milliseconds(0)) &&
                       RequestReader::writeAll(ssl.get(), reply.body);
                sent += reply.body.size();
            }
            if (open)
                SSL_shutdown(ssl.get());
            keepOpen = false;
            break;
        }
        case Reply::Ending::AbortMidBody:
            RequestReader::writeAll(ssl.get(),
                                    replyHead(reply) + reply.body.substr(0, reply.body.size() / 2));
            keepOpen = false;
            break;
        case Reply::Ending::Close:
            RequestReader::writeAll(ssl.get(), replyHead(reply) + reply.body);
            SSL_shutdown(ssl.get());
            keepOpen = false;
            break;
        case Reply::Ending::KeepAlive:
            keepOpen = RequestReader::writeAll(ssl.get(), replyHead(reply) + reply.body);
            break;
        }
    }
    forget(connection);
}

void TlsTestServer::forget(const std::shared_ptr<Connection>& connection) {
    {
        std::lock_guard lock(shared_->mutex);
        std::erase(shared_->open, connection);
        ++shared_->closedConnections;
    }
    shared_->changed.notify_all();
}

} // namespace cto::test
