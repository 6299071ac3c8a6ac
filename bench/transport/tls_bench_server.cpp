// A standing HTTPS server for the transport benchmark: answers every POST with
// a small SOAP-like body, keeps only body sizes. Prints its port and the CA
// file on stdout, then serves until stdin closes.
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <iostream>
#include <string>

int main() {
    cto::test::TestPki pki;
    cto::test::TlsTestServer::Options options;
    options.recordBodies = false;
    cto::test::TlsTestServer server(pki, options);
    server.setResponder([](const cto::test::Exchange& exchange) {
        return cto::test::Reply::ok("<ok size=\"" + std::to_string(exchange.bodySize) + "\"/>");
    });
    std::cout << server.port() << '\n' << pki.caCertificatePath() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
