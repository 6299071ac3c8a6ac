// Keys that never leave their store sign real TLS handshakes: a database's
// keys and the keys of a SoftHSM2 token standing in for a smart card (made on
// the token, sensitive, never extractable), RSA and EC, under TLS 1.2 and 1.3,
// through the transport against the test server on 127.0.0.1. With
// CTO_TEST_TOKEN_WITHOUT_PSS=1 the token cannot sign RSA-PSS, like many cards.
#include "certificates/CertificateStore.h"
#include "certificates/NssClientCertificate.h"
#include "certificates/NssLibrary.h"
#include "certificates/NssOwners.h"
#include "certificates/PasswordCallback.h"
#include "certificates/TestNssDatabase.h"
#include "common/ByteStream.h"
#include "common/FailureKinds.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/ClientCertificate.h"
#include "transport/THTTPReqResp.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <pk11pub.h>
#include <secmod.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace cto;
using namespace cto::test;
using namespace std::chrono_literals;

namespace {

const char kTokenLabel[] = "Tarjeta CTO";
const char kPin[] = "1234";
const std::string kTarget = "/TULVA/services/ServicioXmlTurismo?";

enum class Store { Database, Token };

using Module = std::unique_ptr<SECMODModule, nss::Deleter<SECMOD_DestroyModule>>;

// What came of one post: what the server saw, or the failure.
struct Outcome {
    bool attached = false;
    std::optional<Exchange> exchange;
    int error = 0;
    QString message;
};

// Posts a survey through the transport with the certificate attached in the
// before-send hook, as the program does.
Outcome postWith(const std::shared_ptr<const ClientCertificate>& certificate, const TlsTestServer& server,
                 const TestPki& pki, const std::function<void(THTTPReqResp&)>& configure = {}) {
    THTTPReqResp transport;
    transport.setURL(server.url(kTarget));
    transport.TrustedAuthorities = pki.caCertificatePath();
    Outcome outcome;
    transport.OnBeforePost = [&](THTTPReqResp&, HttpRequest& request) {
        outcome.attached = request.setClientCertificate(certificate);
    };
    if (configure)
        configure(transport);
    const std::size_t before = server.exchanges().size();
    try {
        MemoryStream body(std::string("<encuesta/>"));
        transport.Execute(body);
    } catch (const ESOAPHTTPException& failure) {
        outcome.error = failure.StatusCode();
        outcome.message = QString::fromStdString(failure.message());
    }
    if (server.exchanges().size() > before)
        outcome.exchange = server.lastExchange();
    return outcome;
}

// Answers every PIN and password with the token's PIN.
PasswordPrompt answeringThePin() {
    return [](const PasswordRequest&) { return std::optional<std::string>(kPin); };
}

void destroyExportedKey(SECKEYEncryptedPrivateKeyInfo* info) noexcept {
    SECKEY_DestroyEncryptedPrivateKeyInfo(info, PR_TRUE);
}
using ExportedKey = std::unique_ptr<SECKEYEncryptedPrivateKeyInfo, nss::Deleter<destroyExportedKey>>;

bool readBooleanAttribute(SECKEYPrivateKey* key, CK_ATTRIBUTE_TYPE type, bool& value) {
    const nss::Item item(SECITEM_AllocItem(nullptr, nullptr, 0));
    if (!item || PK11_ReadRawAttribute(PK11_TypePrivKey, key, type, item.get()) != SECSuccess)
        return false;
    value = item->len == 1 && item->data[0] == CK_TRUE;
    return true;
}

} // namespace

class TestTokenSigning : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestPki> pki_;
    QTemporaryDir folder_;
    QString database_;
    QString token_;
    bool withoutPss_ = false;
    Module module_;
    nss::Slot slot_;

    std::unique_ptr<TlsTestServer> startServer(TlsVersion version, std::string clientSchemes = {}) {
        TlsTestServer::Options options;
        options.clientCertificates = ClientCertificateMode::Require;
        options.tlsVersion = version;
        options.clientSignatureSchemes = std::move(clientSchemes);
        return std::make_unique<TlsTestServer>(*pki_, options);
    }

    nss::Certificate tokenCertificate(const QString& nickname) const {
        const QByteArray name = QByteArray(kTokenLabel) + ":" + nickname.toUtf8();
        return nss::Certificate(PK11_FindCertFromNickname(name.constData(), nullptr));
    }

    // The certificate ready for the transport, as the before-send hook makes it.
    std::shared_ptr<const ClientCertificate> ready(Store store, const QString& name) const {
        if (store == Store::Token)
            return nss::clientCertificateOf(tokenCertificate(name).get(), nullptr);
        const auto found = CertificateStore::openPersonal()->findBySubjectName(name);
        return found.empty() ? nullptr : found.front().clientCertificate();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        withoutPss_ = qEnvironmentVariableIntValue("CTO_TEST_TOKEN_WITHOUT_PSS") == 1;
        pki_ = std::make_unique<TestPki>();
        const QString ca = QString::fromStdString(pki_->caCertificatePath());
        const QString caKey = QString::fromStdString(pki_->caKeyPath());

        // The database: the fixture's EC keys, and an RSA one imported as a user would.
        database_ = folder_.filePath("nssdb");
        makeTestNssDatabase({database_, ca, caKey});
        ClientCertificateRequest rsa;
        rsa.commonName = "Titular Base RSA";
        rsa.organization = "Tulva Pruebas";
        rsa.rsaKey = true;
        const IssuedCertificate issued = pki_->issueClientCertificate(rsa);
        runTool("pk12util", {"-i", QString::fromStdString(issued.pkcs12Path), "-d", "sql:" + database_, "-W",
                             QString::fromStdString(issued.pkcs12Password), "-K", ""});

        token_ = folder_.filePath("tarjeta");
        QStringList tokenOptions;
        if (withoutPss_)
            tokenOptions << "--without-pss";
        makeTestToken(tokenOptions + QStringList{token_, ca, caKey});
        addReauthenticatingKey(token_, ca, caKey);

        qputenv("SOFTHSM2_CONF", (token_ + "/softhsm2.conf").toUtf8());
        qputenv("CTO_NSS_DATABASE", database_.toUtf8());
        // A home of its own, so that nothing here can reach the real user's database.
        qputenv("HOME", folder_.filePath("home").toUtf8());
        nss::ensureStarted();
        QFile modulePath(token_ + "/module-path");
        QVERIFY(modulePath.open(QIODevice::ReadOnly));
        const QByteArray spec =
            "name=\"Tarjeta de prueba\" library=\"" + modulePath.readAll().trimmed() + "\"";
        module_.reset(SECMOD_LoadUserModule(const_cast<char*>(spec.constData()), nullptr, PR_FALSE));
        QVERIFY(module_ && module_->loaded);
        slot_.reset(PK11_FindSlotByName(kTokenLabel));
        QVERIFY(slot_);
    }

    void init() { setPasswordPrompt(answeringThePin()); }

    void cleanupTestCase() { setPasswordPrompt({}); }

    void handshakeSignsInTheStore_data() {
        QTest::addColumn<Store>("store");
        QTest::addColumn<QString>("name");
        QTest::addColumn<TlsVersion>("version");
        QTest::addColumn<QString>("negotiated");
        QTest::addColumn<QString>("signature"); // as the server saw the client sign
        const auto row = [](const char* title, Store store, const char* name, TlsVersion version,
                            const char* negotiated, const char* signature) {
            QTest::newRow(title) << store << QString::fromUtf8(name) << version << negotiated << signature;
        };
        if (withoutPss_) {
            // TLS 1.3 signs RSA with PSS alone: the card's RSA key keeps the client at TLS 1.2.
            row("token RSA without PSS, TLS 1.2", Store::Token, "Titular Tarjeta RSA", TlsVersion::Tls12,
                "TLSv1.2", "RSA SHA256");
            row("token RSA without PSS, any version", Store::Token, "Titular Tarjeta RSA", TlsVersion::Any,
                "TLSv1.2", "RSA SHA256");
            row("token EC P-256, unaffected, any version", Store::Token, "Titular Tarjeta EC",
                TlsVersion::Any, "TLSv1.3", "ECDSA SHA256");
            return;
        }
        for (const auto& [version, text] :
             {std::pair{TlsVersion::Tls12, "TLSv1.2"}, std::pair{TlsVersion::Tls13, "TLSv1.3"}}) {
            const char* negotiated = text;
            const auto title = [negotiated](const char* what) {
                return QByteArray(what) + ", " + negotiated;
            };
            row(title("database EC P-256 via an intermediate"), Store::Database, "Peña Muñoz", version, text,
                "ECDSA SHA256");
            row(title("database RSA"), Store::Database, "Titular Base RSA", version, text, "RSA-PSS SHA256");
            row(title("token RSA"), Store::Token, "Titular Tarjeta RSA", version, text, "RSA-PSS SHA256");
            row(title("token EC P-256"), Store::Token, "Titular Tarjeta EC", version, text, "ECDSA SHA256");
            row(title("token EC P-384"), Store::Token, "Titular Tarjeta P384", version, text,
                version == TlsVersion::Tls13 ? "ECDSA SHA384" : "ECDSA SHA256");
        }
    }
    // The server demands a certificate of its CA and verifies the client's
    // signature over the handshake: the store's key made it.
    void handshakeSignsInTheStore() {
        QFETCH(Store, store);
        QFETCH(QString, name);
        QFETCH(TlsVersion, version);
        QFETCH(QString, negotiated);
        QFETCH(QString, signature);
        const auto server = startServer(version);
        const Outcome outcome = postWith(ready(store, name), *server, *pki_);
        QVERIFY(outcome.attached);
        QVERIFY2(outcome.exchange, qPrintable(outcome.message));
        QCOMPARE(QString::fromStdString(outcome.exchange->clientCommonName), name);
        QVERIFY(outcome.exchange->clientCertificateVerified);
        QCOMPARE(QString::fromStdString(outcome.exchange->tlsVersion), negotiated);
        QCOMPARE(QString::fromStdString(outcome.exchange->clientSignature), signature);
    }

    void tokenWithoutPssNeverSignsWithIt_data() {
        QTest::addColumn<TlsVersion>("version");
        QTest::addColumn<QString>("serverSchemes");
        QTest::addColumn<int>("error");
        QTest::newRow("a server of TLS 1.3 alone: no common version")
            << TlsVersion::Tls13 << QString() << 12157;
        QTest::newRow("a server that takes PSS alone: no certificate goes")
            << TlsVersion::Tls12 << "rsa_pss_rsae_sha256:rsa_pss_rsae_sha384:rsa_pss_rsae_sha512" << 12157;
    }
    // Where only PSS would do, the handshake ends without the card being asked
    // for a signature it cannot make.
    void tokenWithoutPssNeverSignsWithIt() {
        if (!withoutPss_)
            QSKIP("the token has RSA-PSS in this run");
        QFETCH(TlsVersion, version);
        QFETCH(QString, serverSchemes);
        QFETCH(int, error);
        const auto server = startServer(version, serverSchemes.toStdString());
        const Outcome outcome = postWith(ready(Store::Token, "Titular Tarjeta RSA"), *server, *pki_);
        QVERIFY(outcome.attached);
        QVERIFY(!outcome.exchange);
        QVERIFY2(outcome.error == error, qPrintable(outcome.message));
        QVERIFY2(!outcome.message.contains("no pudo firmar"), qPrintable(outcome.message));
    }

    void tokenKeysNeverLeaveTheToken_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("RSA 2048") << "Titular Tarjeta RSA";
        QTest::newRow("EC P-256") << "Titular Tarjeta EC";
        QTest::newRow("EC P-384") << "Titular Tarjeta P384";
    }
    // The fixture's keys are what a card's are: sensitive, never extractable,
    // and NSS refuses to export them; they still make a certificate ready to
    // authenticate (handshakeSignsInTheStore signs with them).
    void tokenKeysNeverLeaveTheToken() {
        QFETCH(QString, name);
        const nss::Certificate certificate = tokenCertificate(name);
        QVERIFY(certificate);
        const nss::PrivateKey key(PK11_FindKeyByAnyCert(certificate.get(), nullptr));
        QVERIFY(key);
        bool sensitive = false, extractable = true;
        QVERIFY(readBooleanAttribute(key.get(), CKA_SENSITIVE, sensitive));
        QVERIFY(readBooleanAttribute(key.get(), CKA_EXTRACTABLE, extractable));
        QVERIFY(sensitive);
        QVERIFY(!extractable);
        SECItem password{siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>("x")), 1};
        const ExportedKey exported(PK11_ExportEncryptedPrivKeyInfoV2(slot_.get(), SEC_OID_PKCS5_PBES2,
                                                                     SEC_OID_AES_256_CBC, SEC_OID_HMAC_SHA256,
                                                                     &password, key.get(), 1, nullptr));
        QVERIFY(!exported);
        const auto prepared = nss::clientCertificateOf(certificate.get(), nullptr);
        QVERIFY(prepared && prepared->usable());
    }

    void tokenAsksForItsPin_data() {
        QTest::addColumn<QList<std::optional<std::string>>>("answers");
        QTest::addColumn<QList<bool>>("retries");
        QTest::addColumn<QList<PasswordRequest::TriesLeft>>("triesLeft");
        QTest::addColumn<bool>("prepared");
        using Tries = PasswordRequest::TriesLeft;
        const std::optional<std::string> right = kPin, wrong = "0000", cancel;
        QTest::newRow("right PIN") << QList{right} << QList{false} << QList{Tries::Plenty} << true;
        // SoftHSM reports few tries left after a wrong PIN, until a right one.
        QTest::newRow("wrong, then right")
            << QList{wrong, right} << QList{false, true} << QList{Tries::Plenty, Tries::Few} << true;
        QTest::newRow("cancelled") << QList{cancel} << QList{false} << QList{Tries::Plenty} << false;
        QTest::newRow("wrong, then cancelled")
            << QList{wrong, cancel} << QList{false, true} << QList{Tries::Plenty, Tries::Few} << false;
    }
    // The PIN is asked when the certificate is made ready, before any
    // connection, naming the card; a cancelled PIN leaves a key that cannot be used.
    void tokenAsksForItsPin() {
        QFETCH(QList<std::optional<std::string>>, answers);
        QFETCH(QList<bool>, retries);
        QFETCH(QList<PasswordRequest::TriesLeft>, triesLeft);
        QFETCH(bool, prepared);
        // Found first: finding a certificate on a card may log in to it too.
        const nss::Certificate certificate = tokenCertificate("Titular Tarjeta EC");
        QVERIFY(certificate);
        QCOMPARE(PK11_Logout(slot_.get()), SECSuccess);
        QList<PasswordRequest> requests;
        setPasswordPrompt([&](const PasswordRequest& request) {
            requests.append(request);
            return answers.isEmpty() ? std::nullopt : answers.takeFirst();
        });
        if (prepared)
            QVERIFY(nss::clientCertificateOf(certificate.get(), nullptr));
        else
            CTO_COMPARE_FAILURE(EOleException, nss::clientCertificateOf(certificate.get(), nullptr),
                                "la contraseña no es correcta (The security password entered is incorrect)");
        QCOMPARE(requests.size(), retries.size());
        for (qsizetype i = 0; i < requests.size(); ++i) {
            QCOMPARE(requests[i].storeName, QString::fromUtf8(kTokenLabel));
            QVERIFY(requests[i].token);
            QCOMPARE(requests[i].retry, retries[i]);
            QCOMPARE(requests[i].triesLeft, triesLeft[i]);
        }
    }

    void pinFlagsSayTheTriesLeft_data() {
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<PasswordRequest::TriesLeft>("triesLeft");
        QTest::addColumn<bool>("locked");
        using Tries = PasswordRequest::TriesLeft;
        const quint64 other = CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
        QTest::newRow("nothing said") << other << Tries::Plenty << false;
        QTest::newRow("count low") << (other | CKF_USER_PIN_COUNT_LOW) << Tries::Few << false;
        QTest::newRow("final try") << (other | CKF_USER_PIN_FINAL_TRY) << Tries::Last << false;
        QTest::newRow("final try, count low too")
            << (other | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_COUNT_LOW) << Tries::Last << false;
        QTest::newRow("locked: never asked") << (other | CKF_USER_PIN_LOCKED) << Tries::Plenty << true;
    }
    // SoftHSM never locks its PIN, so the last try and the lock are read from flags.
    void pinFlagsSayTheTriesLeft() {
        QFETCH(quint64, flags);
        QFETCH(PasswordRequest::TriesLeft, triesLeft);
        QFETCH(bool, locked);
        QCOMPARE(nss::triesLeftOf(CK_FLAGS(flags)), triesLeft);
        QCOMPARE(nss::pinLocked(CK_FLAGS(flags)), locked);
    }

    void keyThatAsksAtEverySignatureOutwaitsTheBounds_data() {
        QTest::addColumn<TlsVersion>("version");
        // Under TLS 1.2 the client still waits for the server after it signs,
        // within libcurl's connect bound; under TLS 1.3 its part ends with the signature.
        QTest::newRow("TLS 1.2") << TlsVersion::Tls12;
        QTest::newRow("TLS 1.3") << TlsVersion::Tls13;
    }
    // The card asks for its PIN in the middle of the handshake, and the user
    // takes longer than the connection and the whole exchange may: the time
    // spent answering counts against neither, and the transfer's waiting hook
    // is not called while the prompt is open.
    void keyThatAsksAtEverySignatureOutwaitsTheBounds() {
        if (withoutPss_)
            QSKIP("run with the full token");
        QFETCH(TlsVersion, version);
        const auto prepared = ready(Store::Token, "Titular Firma Reiterada");
        QVERIFY(prepared);
        int asked = 0;
        bool answering = false, waitedWhileAnswering = false;
        setPasswordPrompt([&](const PasswordRequest& request) {
            ++asked;
            answering = true;
            // As a modal dialog would, the events go on while the user types.
            QElapsedTimer typing;
            typing.start();
            while (typing.elapsed() < 1500) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(10ms);
            }
            answering = false;
            return request.token ? std::optional<std::string>(kPin) : std::nullopt;
        });
        const auto server = startServer(version);
        const Outcome outcome = postWith(prepared, *server, *pki_, [&](THTTPReqResp& transport) {
            transport.ConnectTimeout = 1000;
            transport.ExchangeTimeout = 1000;
            transport.OnWaiting = [&] {
                waitedWhileAnswering |= answering;
                return true;
            };
        });
        QVERIFY2(outcome.exchange, qPrintable(outcome.message));
        QCOMPARE(QString::fromStdString(outcome.exchange->clientCommonName), "Titular Firma Reiterada");
        QCOMPARE(asked, 1);
        QVERIFY(!waitedWhileAnswering);
    }

    // Last: it takes the token away for the rest of the run. The card goes
    // after one certificate was made ready and before its handshake signs, and
    // before the other is: each ends in a clear failure, soon.
    void removedTokenFailsClearly() {
        const auto prepared = ready(Store::Token, "Titular Tarjeta RSA");
        QVERIFY(prepared);
        const nss::Certificate other = tokenCertificate("Titular Tarjeta EC");
        QVERIFY(other);
        QVERIFY(QDir(token_ + "/tokens").removeRecursively());

        const auto server = startServer(TlsVersion::Any);
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = postWith(prepared, *server, *pki_);
        QVERIFY(clock.elapsed() < 10'000);
        QVERIFY(!outcome.exchange);
        QCOMPARE(outcome.error, 12157);
        // The card is named, with the reason in the user's words.
        QVERIFY2(
            outcome.message.startsWith(QString::fromUtf8(
                "Se produjo un error en el canal seguro con el servidor: la clave del "
                "certificado elegido no pudo firmar (su clave en «Tarjeta CTO»: la clave ya no se encuentra "
                "allí")),
            qPrintable(outcome.message));
        QVERIFY(failureOf<EOleException>([&] { nss::clientCertificateOf(other.get(), nullptr); }));
    }
};

CTO_TEST_GUILESS_MAIN(TestTokenSigning)
#include "tst_token_signing.moc"
