// TLS handshakes with a client certificate whose key signs in a SoftHSM2
// token standing in for a smart card, against the same with a key of an NSS
// database, for bench/certificates/handshake_run.sh to compare. Each round
// posts once per key through the transport, on a fresh connection (a full
// handshake, the client's signature made where the key lives), alternating.
// Usage: bench_handshake <rounds> <make-test-nssdb.sh> <make-test-token.sh>
// Prints one line per key type: "<type> token=<median ms> database=<median ms>".

#include "certificates/CertificateStore.h"
#include "certificates/NssClientCertificate.h"
#include "certificates/NssLibrary.h"
#include "certificates/NssOwners.h"
#include "common/ByteStream.h"
#include "common/Exception.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/ClientCertificate.h"
#include "transport/THTTPReqResp.h"

#include <QTemporaryDir>

#include <pk11pub.h>
#include <secmod.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Milliseconds for one post on a connection of its own.
double timedPost(const std::shared_ptr<const cto::ClientCertificate>& certificate,
                 const cto::test::TlsTestServer& server, const cto::test::TestPki& pki) {
    const auto start = Clock::now();
    cto::THTTPReqResp transport;
    transport.setURL(server.url("/TULVA/services/ServicioXmlTurismo?"));
    transport.TrustedAuthorities = pki.caCertificatePath();
    transport.OnBeforePost = [&](cto::THTTPReqResp&, cto::HttpRequest& request) {
        if (!request.setClientCertificate(certificate))
            throw std::runtime_error("the certificate was refused");
    };
    cto::MemoryStream body(std::string("<encuesta/>"));
    transport.Execute(body);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::shared_ptr<const cto::ClientCertificate> tokenCertificate(const char* nickname) {
    const cto::nss::Certificate certificate(PK11_FindCertFromNickname(nickname, nullptr));
    if (!certificate)
        throw std::runtime_error(std::string("no certificate ") + nickname);
    return cto::nss::clientCertificateOf(certificate.get(), nullptr);
}

std::shared_ptr<const cto::ClientCertificate> databaseCertificate(const char* name) {
    const auto found = cto::CertificateStore::openPersonal()->findBySubjectName(QString::fromUtf8(name));
    if (found.empty())
        throw std::runtime_error(std::string("no certificate ") + name);
    return found.front().clientCertificate();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_handshake <rounds> <make-test-nssdb.sh> <make-test-token.sh>\n");
        return 2;
    }
    try {
        const int rounds = std::max(1, std::atoi(argv[1]));
        cto::test::TestPki pki;
        QTemporaryDir folder;
        const std::string work = folder.path().toStdString();
        const std::string ca = "'" + pki.caCertificatePath() + "' '" + pki.caKeyPath() + "'";
        run(std::string("sh '") + argv[2] + "' '" + work + "/nssdb' " + ca);
        run(std::string("sh '") + argv[3] + "' '" + work + "/token' " + ca);
        // An RSA key in the database too, imported as a user would.
        cto::test::ClientCertificateRequest rsa;
        rsa.commonName = "Titular Base RSA";
        rsa.rsaKey = true;
        const cto::test::IssuedCertificate issued = pki.issueClientCertificate(rsa);
        run("pk12util -i '" + issued.pkcs12Path + "' -d 'sql:" + work + "/nssdb' -W '" +
            issued.pkcs12Password + "' -K ''");

        setenv("SOFTHSM2_CONF", (work + "/token/softhsm2.conf").c_str(), 1);
        setenv("CTO_NSS_DATABASE", (work + "/nssdb").c_str(), 1);
        cto::nss::ensureStarted();
        std::string modulePath;
        std::getline(std::ifstream(work + "/token/module-path"), modulePath);
        std::string spec = "name=\"Tarjeta de prueba\" library=\"" + modulePath + "\"";
        const std::unique_ptr<SECMODModule, cto::nss::Deleter<SECMOD_DestroyModule>> module(
            SECMOD_LoadUserModule(spec.data(), nullptr, PR_FALSE));
        if (!module || !module->loaded)
            throw std::runtime_error("cannot load " + modulePath);
        cto::setPasswordPrompt(
            [](const cto::PasswordRequest&) { return std::optional<std::string>("1234"); });

        cto::test::TlsTestServer::Options options;
        options.clientCertificates = cto::test::ClientCertificateMode::Require;
        options.recordBodies = false;
        cto::test::TlsTestServer server(pki, options);

        const struct {
            const char* type;
            std::shared_ptr<const cto::ClientCertificate> token, database;
        } keys[] = {
            {"EC P-256", tokenCertificate("Tarjeta CTO:Titular Tarjeta EC"),
             databaseCertificate("Peña Muñoz")},
            {"RSA 2048", tokenCertificate("Tarjeta CTO:Titular Tarjeta RSA"),
             databaseCertificate("Titular Base RSA")},
        };
        for (const auto& key : keys) {
            std::vector<double> token, database;
            // A first post each, left out: it warms the server and the caches.
            timedPost(key.token, server, pki);
            timedPost(key.database, server, pki);
            for (int round = 0; round < rounds; ++round) {
                // Alternate which goes first, so neither always meets a warm cache.
                if (round % 2 == 0) {
                    token.push_back(timedPost(key.token, server, pki));
                    database.push_back(timedPost(key.database, server, pki));
                } else {
                    database.push_back(timedPost(key.database, server, pki));
                    token.push_back(timedPost(key.token, server, pki));
                }
            }
            std::printf("%s token=%.2f database=%.2f\n", key.type, median(token), median(database));
        }
        return 0;
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s: %s\n", failure.kindName(), failure.what());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
    }
    return 1;
}
