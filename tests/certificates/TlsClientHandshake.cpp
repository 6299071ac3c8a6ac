#include "certificates/TlsClientHandshake.h"

#include "transport/OpenSslOwners.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace cto::test {

namespace {

using namespace cto::openssl;

[[noreturn]] void fail(const std::string& what) {
    const char* reason = ERR_reason_error_string(ERR_peek_last_error());
    ERR_clear_error();
    throw std::runtime_error("TLS client: " + what + ": " + (reason ? reason : "no reason given"));
}

class Socket {
public:
    explicit Socket(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (fd_ < 0)
            throw std::runtime_error("TLS client: socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            throw std::runtime_error("TLS client: connect");
        }
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace

void requestWithClientCertificate(std::uint16_t port, const std::string& caCertificatePath,
                                  const ClientCertificate& certificate) {
    SslContext context(SSL_CTX_new(TLS_client_method()));
    if (!context)
        fail("SSL_CTX_new");
    if (SSL_CTX_load_verify_locations(context.get(), caCertificatePath.c_str(), nullptr) != 1)
        fail("CA");
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);

    if (!certificate.installIn(context.get()) || SSL_CTX_check_private_key(context.get()) != 1)
        fail("client certificate");

    Socket socket(port);
    Ssl ssl(SSL_new(context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), socket.fd()) != 1)
        fail("SSL_new");
    SSL_set_tlsext_host_name(ssl.get(), "localhost");
    if (SSL_connect(ssl.get()) != 1)
        fail("handshake");
    const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    if (SSL_write(ssl.get(), request.data(), int(request.size())) != int(request.size()))
        fail("write");
    // The head of the answer is enough: the server may keep the connection open.
    std::string answer;
    char buffer[4096];
    while (answer.find("\r\n\r\n") == std::string::npos) {
        const int got = SSL_read(ssl.get(), buffer, sizeof buffer);
        if (got <= 0)
            fail("no answer");
        answer.append(buffer, std::size_t(got));
    }
    SSL_shutdown(ssl.get());
}

} // namespace cto::test
