// One certificate with its key in several of the user's stores, as a user has
// it after importing the same backup into the desktop's database and into
// Firefox: the row the user picks signs from its own store, logged in there
// with that store's password; a store that holds the certificate without its
// key hands over to one that has it, which names itself when it asks; a
// card's certificate, also kept without its key in a profile, signs on the
// card. Every case completes a real handshake with the test
// server, which must receive the certificate.
#include "app/SendEngine.h"
#include "certificates/CertificateStore.h"
#include "certificates/ListingFixtures.h"
#include "certificates/ModuleProbe.h"
#include "certificates/NssOwners.h"
#include "certificates/TestNssDatabase.h"
#include "common/ByteStream.h"
#include "common/FailureKinds.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/ClientCertificate.h"
#include "transport/THTTPReqResp.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <pk11pub.h>

using namespace cto;
using namespace cto::test;

namespace {

const QString kDesktop = QStringLiteral("Chromium / escritorio");
const QString kOpenProfile = QStringLiteral("Firefox, perfil abierto");
const QString kProtectedProfile = QStringLiteral("Firefox, perfil trabajo");
const QString kKeylessProfile = QStringLiteral("Thunderbird, perfil correo");
const QString kCardLabel = QStringLiteral("Tarjeta CTO");
const QString kCard = QStringLiteral("Tarjeta: ") + kCardLabel;
// Each protected store has its own password: a store asked with another's fails.
const QMap<QString, QString> kPasswords{{kDesktop, QStringLiteral("escritorio ñ")},
                                        {kProtectedProfile, QStringLiteral("primaria ñ")},
                                        {kCardLabel, QStringLiteral("1234")}};
const std::string kTarget = "/TULVA/services/ServicioXmlTurismo?";

} // namespace

class TestKeyStores : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<TestPki> pki_;
    QString home_;

    QString path(const QString& relative) const { return folder_.filePath(relative); }

    // The same certificate and key, imported as a user would into each store of keyStores.
    void importEverywhere(const std::string& commonName, bool rsa, const QStringList& keyStores,
                          const QString& keylessStore) {
        ClientCertificateRequest request;
        request.commonName = commonName;
        request.organization = "Tulva Pruebas";
        request.rsaKey = rsa;
        const IssuedCertificate issued = pki_->issueClientCertificate(request);
        for (const QString& store : keyStores)
            importPkcs12(store, QString::fromStdString(issued.pkcs12Path),
                         QString::fromStdString(issued.pkcs12Password), kPasswords.value(labelOf(store)));
        importCertificateOnly(keylessStore, QString::fromStdString(issued.certificatePath),
                              QString::fromStdString(commonName));
    }

    QString labelOf(const QString& store) const {
        if (store.endsWith("/.pki/nssdb"))
            return kDesktop;
        if (store.endsWith("abierto"))
            return kOpenProfile;
        return store.endsWith("trabajo") ? kProtectedProfile : kKeylessProfile;
    }

    // A home with the desktop's database (behind a password), two Firefox
    // profiles (one behind a primary password of its own) that hold the same
    // certificates and keys, and a Thunderbird profile that holds the
    // certificates alone; a card registered in the desktop's database, whose
    // certificates the open profile holds without their keys.
    void makeHome() {
        QVERIFY(folder_.isValid());
        setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE));
        qunsetenv("CTO_NSS_DATABASE");
        home_ = path("home");
        qputenv("HOME", home_.toUtf8());
        pki_ = std::make_unique<TestPki>();

        const QString desktop = home_ + "/.pki/nssdb";
        const QString firefox = home_ + "/.mozilla/firefox";
        const QString open = firefox + "/abcd.abierto";
        const QString work = firefox + "/efgh.trabajo";
        const QString keyless = home_ + "/.thunderbird/ijkl.correo";
        makeEmptyNssDatabase(desktop, kPasswords.value(kDesktop));
        makeEmptyNssDatabase(open);
        makeEmptyNssDatabase(work, kPasswords.value(kProtectedProfile));
        makeEmptyNssDatabase(keyless);
        writeFile(firefox + "/profiles.ini", "[Profile0]\nName=abierto\nIsRelative=1\nPath=abcd.abierto\n"
                                             "Default=1\n\n"
                                             "[Profile1]\nName=trabajo\nIsRelative=1\nPath=efgh.trabajo\n");
        writeFile(home_ + "/.thunderbird/profiles.ini",
                  "[Profile0]\nName=correo\nIsRelative=1\nPath=ijkl.correo\n");
        importEverywhere("Casa Rural Ñandú", true, {desktop, open, work}, keyless);
        importEverywhere("Hostal Cigüeña", false, {desktop, open, work}, keyless);

        // A card registered in the desktop's database, whose certificates
        // the open profile also holds, without their keys.
        const QString card = path("tarjeta");
        makeTestToken({"--label", kCardLabel, "--register-in", desktop, card,
                       QString::fromStdString(pki_->caCertificatePath()),
                       QString::fromStdString(pki_->caKeyPath())});
        // Also the token that p11-kit's registration of SoftHSM finds: the same module, loaded once.
        qputenv("SOFTHSM2_CONF", (card + "/softhsm2.conf").toUtf8());
        importCertificateOnly(open, card + "/pem/rsa.pem", "Titular Tarjeta RSA");
        importCertificateOnly(open, card + "/pem/ec256.pem", "Titular Tarjeta EC");
    }

private Q_SLOTS:
    void initTestCase() {
        try {
            makeHome();
        } catch (const std::exception& failure) {
            QFAIL(failure.what());
        }
    }

    // Each case finds every store and card logged out, as a new run does.
    void init() { PK11_LogoutAll(); }

    void cleanup() { setPasswordPrompt({}); }

    void pickedRowSignsFromItsStore_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("location");
        QTest::addColumn<TlsVersion>("version");
        QTest::addColumn<QStringList>("asked");
        for (const TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
            const auto row = [version](const char* name, const QString& location, const QStringList& asked) {
                QTest::addRow("%s, %s, %s", name, qPrintable(location),
                              version == TlsVersion::Tls12 ? "TLS 1.2" : "TLS 1.3")
                    << QString::fromUtf8(name) << location << version << asked;
            };
            for (const char* name : {"Casa Rural Ñandú", "Hostal Cigüeña"}) {
                row(name, kDesktop, {kDesktop});
                row(name, kOpenProfile, {});
                row(name, kProtectedProfile, {kProtectedProfile});
                // No key where the row is: the first store that has one signs, and asks as itself.
                row(name, kKeylessProfile, {kDesktop});
            }
            for (const char* name : {"Titular Tarjeta RSA", "Titular Tarjeta EC"}) {
                row(name, kCard, {kCardLabel});
                // The profile has no key for it: the card signs.
                row(name, kOpenProfile, {kCardLabel});
            }
        }
    }
    // The certificate goes as the row the user picked finds it again before
    // the request leaves: its own store's key signs the handshake, and only
    // that store is asked for its password.
    void pickedRowSignsFromItsStore() {
        QFETCH(QString, name);
        QFETCH(QString, location);
        QFETCH(TlsVersion, version);
        QFETCH(QStringList, asked);

        // The dialog's listing shows the certificate once; a row of that
        // certificate from the picked store is what the lookup is handed.
        const CertificateListing listing = linkedSendEngine().listCertificates();
        QVERIFY2(!listing.failure, listing.failure.message.c_str());
        const auto row =
            std::find_if(listing.rows.begin(), listing.rows.end(),
                         [&](const CertificateRow& candidate) { return candidate.name == name; });
        QVERIFY(row != listing.rows.end());

        const PromptRecorder passwords(kPasswords);
        const std::unique_ptr<CertificateStore> store = CertificateStore::openPersonal();
        const std::optional<StoredCertificate> found = store->findByDer(row->der, location);
        QVERIFY(found);
        QCOMPARE(found->location(), location);
        std::shared_ptr<const ClientCertificate> certificate;
        try {
            certificate = found->clientCertificate();
        } catch (const Exception& failure) {
            QFAIL(failure.message().c_str());
        }
        QCOMPARE(passwords.asked(), asked);

        TlsTestServer::Options options;
        options.clientCertificates = ClientCertificateMode::Require;
        options.tlsVersion = version;
        const TlsTestServer server(*pki_, options);
        THTTPReqResp transport;
        transport.setURL(server.url(kTarget));
        transport.TrustedAuthorities = pki_->caCertificatePath();
        transport.OnBeforePost = [&](THTTPReqResp&, HttpRequest& request) {
            QVERIFY(request.setClientCertificate(certificate, name.toStdString()));
        };
        try {
            MemoryStream body(std::string("<encuesta/>"));
            transport.Execute(body);
        } catch (const Exception& failure) {
            QFAIL(failure.message().c_str());
        }
        QCOMPARE(server.exchanges().size(), std::size_t(1));
        const Exchange exchange = server.lastExchange();
        QCOMPARE(QString::fromStdString(exchange.clientCommonName), name);
        QVERIFY(exchange.clientCertificateVerified);
        QCOMPARE(QString::fromStdString(exchange.tlsVersion),
                 version == TlsVersion::Tls12 ? QString("TLSv1.2") : QString("TLSv1.3"));
        // Nothing more was asked while the handshake signed.
        QCOMPARE(passwords.asked(), asked);
    }
};

CTO_TEST_GUILESS_MAIN(TestKeyStores)
#include "tst_key_stores.moc"
