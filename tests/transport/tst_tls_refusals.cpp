// What the transport refuses however the machine's OpenSSL is configured:
// this suite runs with a configuration that lets outdated TLS through
// (tests/data/openssl-permissive.cnf), so that the program's own rules are
// what is tested. A refused server gets nothing: no request, no survey.
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/THTTPReqResp.h"
#include "transport/TransportFailure.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

using namespace cto;
using namespace cto::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(cto::test::TlsVersion)

namespace {

const std::string kTarget = "/TULVA/services/ServicioXmlTurismo?";
const std::string kSurvey = "<encuesta/>";

} // namespace

class TestTlsRefusals : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void onlyTls12AndLater_data();
    void onlyTls12AndLater();
    void chosenCertificateIsNeverDropped_data();
    void chosenCertificateIsNeverDropped();
    void sessionSecretsAreNeverWritten();

private:
    std::unique_ptr<THTTPReqResp> transportFor(const TlsTestServer& server);

    QString secretsFile() const { return secretsFolder_.filePath(QStringLiteral("secretos.txt")); }

    QTemporaryDir secretsFolder_;
    std::unique_ptr<TestPki> pki_;
};

void TestTlsRefusals::initTestCase() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
    QVERIFY2(qEnvironmentVariable("OPENSSL_CONF").endsWith(QLatin1String("openssl-permissive.cnf")),
             "the suite runs under the permissive OpenSSL configuration (CTest sets it)");
    // Before libcurl starts, which is when it reads the variable.
    QVERIFY(secretsFolder_.isValid());
    qputenv("SSLKEYLOGFILE", QFile::encodeName(secretsFile()));
    pki_ = std::make_unique<TestPki>();
}

std::unique_ptr<THTTPReqResp> TestTlsRefusals::transportFor(const TlsTestServer& server) {
    auto transport = std::make_unique<THTTPReqResp>();
    transport->setURL(server.url(kTarget));
    transport->TrustedAuthorities = pki_->caCertificatePath();
    return transport;
}

void TestTlsRefusals::onlyTls12AndLater_data() {
    QTest::addColumn<TlsVersion>("version");
    QTest::addColumn<QString>("refusal"); // empty: the survey goes
    const QString outdated = QString::fromUtf8(
        "El servidor solo admite versiones de TLS "
        "anteriores a TLS 1.2, que ya no son seguras: el programa exige TLS 1.2 o posterior y no le envió "
        "nada - URL:");
    QTest::newRow("TLS 1.0") << TlsVersion::Tls10 << outdated;
    QTest::newRow("TLS 1.1") << TlsVersion::Tls11 << outdated;
    QTest::newRow("TLS 1.2") << TlsVersion::Tls12 << QString();
    QTest::newRow("TLS 1.3") << TlsVersion::Tls13 << QString();
}

void TestTlsRefusals::onlyTls12AndLater() {
    QFETCH(TlsVersion, version);
    QFETCH(QString, refusal);
    TlsTestServer::Options options;
    options.tlsVersion = version;
    TlsTestServer server(*pki_, options);
    auto transport = transportFor(server);
    if (refusal.isEmpty()) {
        post(*transport, kSurvey);
        QCOMPARE(server.exchanges().size(), std::size_t(1));
        QCOMPARE(server.lastExchange().body, kSurvey);
        return;
    }
    const auto failure = transportFailureOf([&] { post(*transport, kSurvey); });
    QVERIFY(failure);
    QCOMPARE(failure->statusCode, 12157);
    QVERIFY2(failure->message.startsWith(refusal), qPrintable(failure->message));
    QVERIFY(server.waitUntilConnectionsEnd(5s));
    QCOMPARE(server.handshakeCount(), 0);
    QCOMPARE(server.exchanges().size(), std::size_t(0));
}

void TestTlsRefusals::chosenCertificateIsNeverDropped_data() {
    QTest::addColumn<TlsVersion>("version");
    QTest::newRow("TLS 1.2") << TlsVersion::Tls12;
    QTest::newRow("TLS 1.3") << TlsVersion::Tls13;
}

// The office asks for a certificate of another kind of key than the chosen
// one's (ECDSA only, an RSA key chosen) and would take the survey without
// one: the handshake stops before anything is sent, and the message names
// the certificate.
void TestTlsRefusals::chosenCertificateIsNeverDropped() {
    QFETCH(TlsVersion, version);
    TlsTestServer::Options options;
    options.tlsVersion = version;
    options.clientCertificates = ClientCertificateMode::Request;
    options.clientSignatureSchemes = "ecdsa_secp256r1_sha256:ecdsa_secp384r1_sha384";
    TlsTestServer server(*pki_, options);
    auto transport = transportFor(server);
    ClientCertificateRequest request;
    request.commonName = "Titular RSA";
    request.rsaKey = true;
    const auto certificate = TestPki::clientCertificate(pki_->issueClientCertificate(request));
    bool attached = false;
    transport->OnBeforePost = [&](THTTPReqResp&, HttpRequest& pending) {
        attached = pending.setClientCertificate(certificate, "«Titular RSA» (Chromium / escritorio)");
    };
    const auto failure = transportFailureOf([&] { post(*transport, kSurvey); });
    QVERIFY(attached);
    QVERIFY(failure);
    QCOMPARE(failure->statusCode, 12157);
    QVERIFY2(failure->message.startsWith(QString::fromUtf8(
                 "El servidor no admite la clase de clave del certificado elegido «Titular RSA» (Chromium / "
                 "escritorio) (ni su tipo ni sus firmas están entre las que pide): la encuesta no se envió - "
                 "URL:")),
             qPrintable(failure->message));
    QVERIFY(server.waitUntilConnectionsEnd(5s));
    QCOMPARE(server.clientCertificateCount(), 0);
    QCOMPARE(server.exchanges().size(), std::size_t(0));
}

// SSLKEYLOGFILE was set before the first exchange: the handshakes of this
// suite that went through (TLS 1.2 and 1.3, with and without a client
// certificate) left nothing in it.
void TestTlsRefusals::sessionSecretsAreNeverWritten() {
    TlsTestServer::Options options;
    options.clientCertificates = ClientCertificateMode::Require;
    TlsTestServer server(*pki_, options);
    auto transport = transportFor(server);
    const auto certificate = TestPki::clientCertificate(pki_->issueClientCertificate("Titular Secreto"));
    transport->OnBeforePost = [&](THTTPReqResp&, HttpRequest& pending) {
        QVERIFY(pending.setClientCertificate(certificate));
    };
    post(*transport, kSurvey);
    QCOMPARE(server.exchanges().size(), std::size_t(1));
    QCOMPARE(QFileInfo(secretsFile()).size(), qint64(0));
}

CTO_TEST_GUILESS_MAIN(TestTlsRefusals)
#include "tst_tls_refusals.moc"
