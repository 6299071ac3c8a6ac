#pragma once

#include "transport/ClientCertificate.h"

#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>

namespace cto::test {

// What a client certificate should look like. Offsets are seconds from now.
struct ClientCertificateRequest {
    std::string commonName;
    std::int64_t notBeforeOffset = -24 * 3600;
    std::int64_t notAfterOffset = 365 * 24 * 3600;
    std::string pkcs12Password = "test";
    std::string organization;          // O=, left out when empty
    std::string email;                 // emailAddress=, left out when empty
    bool certificateAuthority = false; // basicConstraints CA:TRUE instead of an end-entity certificate
    bool viaIntermediate = false;      // issued by an intermediate CA (made on first use) under the test CA
    bool rsaKey = false;               // an RSA 2048 key instead of an EC P-256 one
};

// What a further server certificate should look like, to try a client's
// verification of the server. Offsets are seconds from now.
struct ServerCertificateRequest {
    std::string subjectAltNames = "IP:127.0.0.1,DNS:localhost";
    std::int64_t notBeforeOffset = -24 * 3600;
    std::int64_t notAfterOffset = 365 * 24 * 3600;
    bool selfSigned = false; // signed by its own key instead of the test CA
};

struct ServerCertificateFiles {
    std::string certificatePath; // PEM
    std::string keyPath;         // PEM
};

// Files of one issued certificate, all inside the PKI's folder.
struct IssuedCertificate {
    std::string commonName;
    std::string certificatePath; // PEM
    std::string keyPath;         // PEM, PKCS#8, unencrypted
    std::string pkcs12Path;      // certificate, key and the CA, protected by pkcs12Password
    std::string pkcs12Password;
    std::string serialHex;         // serial number in upper-case hex
    std::string intermediatesPath; // PEM of the issuing intermediate CA; empty when the test CA issued it
};

// A throw-away PKI made at run time: a CA, a server certificate for 127.0.0.1
// and localhost, and client certificates on demand. Keys are EC P-256 unless
// a client certificate asks for RSA. All
// files live in a temporary folder removed with the object.
class TestPki {
public:
    TestPki();
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    const std::string& directory() const { return directory_; }
    const std::string& caCertificatePath() const { return caCertificatePath_; }
    const std::string& caKeyPath() const { return caKeyPath_; }
    const std::string& serverCertificatePath() const { return serverCertificatePath_; }
    const std::string& serverKeyPath() const { return serverKeyPath_; }

    IssuedCertificate issueClientCertificate(const ClientCertificateRequest& request);
    ServerCertificateFiles issueServerCertificate(const ServerCertificateRequest& request);
    IssuedCertificate issueClientCertificate(const std::string& commonName,
                                             std::int64_t notBeforeOffset = -24 * 3600,
                                             std::int64_t notAfterOffset = 365 * 24 * 3600,
                                             const std::string& pkcs12Password = "test");

    // The certificate, key and intermediates of an issued certificate, held in
    // memory; the test CA is not part of the chain (it is the trust anchor).
    // Inline, so that only its callers (tests of the client) link cto_transport:
    // the peers themselves, and the simulated office, need nothing of it.
    static std::shared_ptr<const ClientCertificate> clientCertificate(const IssuedCertificate& issued);

private:
    QTemporaryDir folder_;
    std::string directory_;
    void makeIntermediate();

    std::string caCertificatePath_, caKeyPath_, serverCertificatePath_, serverKeyPath_;
    std::string intermediateCertificatePath_, intermediateKeyPath_;
    int nextSerial_ = 1;
};

// The whole content of a file; throws EFOpenError when unreadable.
std::string readWholeFile(const std::string& path);

inline std::shared_ptr<const ClientCertificate> TestPki::clientCertificate(const IssuedCertificate& issued) {
    return std::make_shared<const ClientCertificate>(ClientCertificate::fromPem(
        readWholeFile(issued.certificatePath), readWholeFile(issued.keyPath),
        issued.intermediatesPath.empty() ? std::string() : readWholeFile(issued.intermediatesPath)));
}

} // namespace cto::test
