#pragma once

#include "tools/testpeers/TlsTestServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cto::test {

// How many connections the server has accepted, counted only once every
// connection made before the call has reached it, so that a count that stayed
// the same shows that nothing connected rather than that nothing has yet. The
// server accepts connections in the order they were made: one more, made
// here and seen through to its end (it is no TLS, and the server drops it),
// comes after all of them. That one is left out; -1 when it did not go through.
inline int settledConnectionCount(const TlsTestServer& server) {
    const int marker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (marker < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool dropped = false;
    if (::connect(marker, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::write(marker, "no TLS\r\n\r\n", 10) == 10) {
        // The server answers with an alert or nothing, then closes: the end
        // of the stream shows that it took the connection.
        for (;;) {
            pollfd readable{marker, POLLIN, 0};
            if (::poll(&readable, 1, 30000) <= 0)
                break;
            char ignored[256];
            if (::read(marker, ignored, sizeof ignored) <= 0) {
                dropped = true;
                break;
            }
        }
    }
    ::close(marker);
    return dropped ? server.connectionCount() - 1 : -1;
}

} // namespace cto::test
