#pragma once

#include "tools/testpeers/TestPki.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace cto::test {

class TestPki;

enum class ClientCertificateMode {
    None,    // no certificate is asked for
    Request, // asked for; the handshake goes on without one, and with any one
    Require, // asked for; the handshake fails without one that the test CA vouches for
    // Not asked for in the handshake; asked for, and required, once the first
    // request has been read: by TLS 1.3's authentication after the handshake,
    // or by a TLS 1.2 renegotiation, as servers that protect one path do.
    // With TlsVersion::Tls12 or Tls13: under Any, a connection that settles
    // on TLS 1.2 is asked in its handshake.
    AfterRequest,
};

// Any: TLS 1.2 or 1.3. Tls10 and Tls11 stand for an outdated server: that
// version alone, with the weak ciphers it needs allowed.
enum class TlsVersion { Any, Tls10, Tls11, Tls12, Tls13 };

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// How the server answers one request.
struct Reply {
    enum class Ending {
        KeepAlive,    // answer whole, keep the connection for the next request
        Close,        // answer whole with "Connection: close", then close
        AbortMidBody, // send the head and half the body, then drop the connection without TLS close
        NeverAnswer,  // read the request and send nothing until the client gives up or the server stops
        Drip, // send the head, then the body a byte each dripInterval, until done or the client hangs up
        // send the head, then the body again and again without a pause, until the client hangs up
        // or, with floodBytes, once that much of the body has gone (then close)
        Flood,
    };

    std::string statusLine = "HTTP/1.1 200 OK";
    HeaderList headers{{"Content-Type", "text/xml; charset=utf-8"}};
    std::string body;
    bool addContentLength = true; // a Content-Length header for the whole body
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds dripInterval{50};
    std::uint64_t floodBytes = 0; // 0: no end
    Ending ending = Ending::KeepAlive;

    static Reply ok(std::string body, std::string contentType = "text/xml; charset=utf-8");
    static Reply status(std::string statusLine, std::string body = {},
                        std::string contentType = "text/xml; charset=utf-8");
};

// One request as the server received it.
struct Exchange {
    std::string rawRequest; // request line, headers and body, byte for byte as received
    std::string rawHead;    // request line and headers, up to and including the empty line
    std::string requestLine;
    std::string method;
    std::string target;
    HeaderList headers;
    std::string body;           // the body, chunked transfer coding undone; empty unless recorded
    std::uint64_t bodySize = 0; // also when bodies are not recorded
    std::string clientSubject;  // RFC 2253 subject of the client certificate; empty without one
    std::string clientCommonName;
    bool clientCertificateVerified = false;
    int connection = 0;     // 1-based number of the connection it came on
    std::string tlsVersion; // "TLSv1.2", "TLSv1.3"
    // How the client proved its certificate: "RSA-PSS SHA256", "RSA SHA256"
    // (PKCS #1 v1.5), "ECDSA SHA384"...; empty without a client certificate.
    std::string clientSignature;
    bool resumed = false; // the connection resumed an earlier TLS session

    // First value of a header, name compared without case; empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

// An HTTPS/1.1 server on 127.0.0.1 for tests and tools, on its own threads.
// Replies come from the responder when one is set, else from the script in
// order, else a plain 200 with an empty text/xml body.
class TlsTestServer {
public:
    struct Options {
        ClientCertificateMode clientCertificates = ClientCertificateMode::None;
        TlsVersion tlsVersion = TlsVersion::Any;
        std::uint16_t port = 0;                     // 0: any free port
        bool recordBodies = true;                   // false keeps only sizes (large bodies)
        bool ignoreClientCertificateDates = false;  // Require accepts expired / not yet valid ones
        ServerCertificateFiles serverCertificate{}; // empty: the PKI's own server certificate
        // The schemes a client may sign its certificate's proof with, as
        // OpenSSL names them ("rsa_pss_rsae_sha256:..."); empty: OpenSSL's own list.
        std::string clientSignatureSchemes{};
        // Sessions may be resumed (tickets), so that a resumed connection
        // shows; off, every connection makes a full handshake and shows its certificate.
        bool resumableSessions = false;
        // The kernel's send buffer of each connection, in bytes, set past the
        // system's ceiling where the process may (as root); 0: the system's own.
        // A large one lets a flood get far ahead of its reader.
        int sendBufferBytes = 0;
    };
    using Responder = std::function<Reply(const Exchange&)>;

    explicit TlsTestServer(const TestPki& pki);
    TlsTestServer(const TestPki& pki, const Options& options);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string hostAndPort() const;                        // "127.0.0.1:port"
    std::string url(const std::string& target = "/") const; // "https://127.0.0.1:port" + target

    // Where every connection stops until the stall is lifted or the server
    // stops: before the TLS handshake (a peer that never answers the hello), or
    // before reading each request (a peer that takes no more bytes).
    enum class Stall { None, BeforeHandshake, BeforeRequest };
    void setStall(Stall stall);

    // These apply to connections accepted afterwards.
    void setClientCertificateMode(ClientCertificateMode mode);
    void setTlsVersion(TlsVersion version);

    void enqueue(Reply reply);
    void setResponder(Responder responder);

    std::vector<Exchange> exchanges() const;
    Exchange lastExchange() const; // throws std::runtime_error when none
    void clearExchanges();
    bool waitForExchanges(std::size_t count, std::chrono::milliseconds timeout) const;
    // Until every connection accepted so far (at least one) has been served
    // to its end, so that the counts below are final; false on timeout.
    bool waitUntilConnectionsEnd(std::chrono::milliseconds timeout) const;
    int connectionCount() const;        // TCP connections accepted
    int clientCertificateCount() const; // handshakes completed with a client certificate
    int handshakeCount() const;         // TLS handshakes completed
    int failedHandshakeCount() const;   // TLS handshakes that failed

private:
    struct Shared;
    struct Connection;
    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    void forget(const std::shared_ptr<Connection>& connection);
    Reply nextReply(const Exchange& exchange);

    std::shared_ptr<Shared> shared_;
    std::uint16_t port_ = 0;
};

} // namespace cto::test
