// An office in a process of its own that answers every request with an answer
// that never ends, poured without a pause: running beside the client rather
// than on the client's threads, it keeps the client's receive buffer full,
// so that the client always finds more of the answer waiting. Serves with the server
// certificate and key whose files it is given; prints its port on a line,
// then serves until its standard input closes.
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <cstdio>
#include <exception>

#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cto_flooding_office SERVER-CERTIFICATE SERVER-KEY\n");
        return 2;
    }
    // On a machine busy with other work a pause of the office's would let
    // the client drain what waits for it: where it may (as root), the office
    // runs before anything else that is ready, and its threads with it.
    (void)::setpriority(PRIO_PROCESS, 0, -20);
    try {
        const cto::test::TestPki pki; // the server's own certificate comes from the files given
        cto::test::TlsTestServer::Options options;
        options.serverCertificate = {argv[1], argv[2]};
        options.recordBodies = false;
        options.sendBufferBytes = 128 * 1024 * 1024;
        cto::test::TlsTestServer office(pki, options);
        office.setResponder([](const cto::test::Exchange&) {
            cto::test::Reply pouring = cto::test::Reply::ok(std::string(64 * 1024, 'x'));
            pouring.ending = cto::test::Reply::Ending::Flood;
            pouring.addContentLength = false; // the answer ends when the connection does
            return pouring;
        });
        std::printf("%u\n", unsigned(office.port()));
        std::fflush(stdout);
        char ignored = 0;
        while (::read(STDIN_FILENO, &ignored, 1) > 0) {
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "cto_flooding_office: %s\n", failure.what());
        return 1;
    }
    return 0;
}
