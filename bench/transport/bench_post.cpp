// Posts one file through THTTPReqResp::Execute, as the send workflow does:
// the survey is read into memory, the exchange returns the response body.
// Usage: bench_post <url> <file>
// Prints the response body on stdout and the seconds that Execute took on stderr.
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "transport/ServiceDeployment.h"
#include "transport/THTTPReqResp.h"

#include <chrono>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: bench_post <url> <file>\n";
        return 2;
    }
    try {
        cto::MemoryStream request(cto::readWholeFile(argv[2]));
        cto::THTTPReqResp transport;
        transport.setURL(argv[1]);
        // The server's authority, as the program's deployment names it (CTO_SERVICE_CA_FILE).
        transport.TrustedAuthorities = cto::serviceAuthoritiesFile();
        // As configuring the service does, before the user picks a certificate.
        transport.LookUpSystemProxy();
        const auto start = std::chrono::steady_clock::now();
        const auto response = transport.Execute(request);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << response->bytes() << '\n';
        std::cerr << took.count() << '\n';
    } catch (const cto::Exception& failure) {
        std::cerr << cto::failureMessage(failure) << '\n';
        return 1;
    }
    return 0;
}
