#include "certificates/CertificateStore.h"
#include "certificates/DatabaseLocations.h"
#include "certificates/NssLibrary.h"
#include "certificates/StoreFailures.h"
#include "certificates/TestNssDatabase.h"
#include "certificates/TlsClientHandshake.h"
#include "common/FailureKinds.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/ClientCertificate.h"
#include "transport/OpenSslOwners.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <openssl/pem.h>
#include <prerr.h>
#include <secerr.h>

#include <algorithm>
#include <memory>

using namespace cto;

namespace {

// The certificates of the fixture database, in the order the script adds them.
enum Fixture { ClienteCaducado = 1, Intermedia = 2, Cliente = 3, Pena = 4, SinClave = 5 };

const QString badPassword =
    QStringLiteral("la contraseña no es correcta (The security password entered is incorrect)");

const char* const pemFiles[] = {nullptr,   "01-cliente-caducado", "02-intermedia", "03-cliente",
                                "04-pena", "05-sin-clave"};

// Subjects and the display name each gives: the common name, else the
// organisational unit, else the organisation, else the e-mail address.
const std::pair<const char*, const char*> displayNames[] = {
    {"/O=Organismo/OU=Unidad", "Unidad"},
    {"/O=Organismo/emailAddress=buzon@example.org", "Organismo"},
    {"/emailAddress=buzon@example.org", "buzon@example.org"},
    {"/CN=Primero/CN=Segundo", "Primero"},
    {"/C=ES/L=Tulva", ""},
};

// A database holding one self-signed certificate per subject of displayNames, in order.
void makeDisplayNameDatabase(const QString& directory) {
    QDir().mkpath(directory);
    test::runTool("certutil", {"-N", "-d", "sql:" + directory, "--empty-password"});
    const QString certificate = directory + "/certificate.pem";
    const QString key = directory + "/key.pem";
    int number = 0;
    for (const auto& [subject, name] : displayNames) {
        test::runTool("openssl",
                      {"req", "-x509", "-utf8", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                       "-nodes", "-keyout", key, "-subj", subject, "-days", "30", "-out", certificate});
        test::runTool("certutil", {"-A", "-d", "sql:" + directory, "-n", QString("nombre %1").arg(++number),
                                   "-t", ",,", "-a", "-i", certificate});
    }
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

openssl::Certificate readCertificate(const QString& path) {
    const QByteArray pem = readFile(path);
    openssl::Bio bio = openssl::memoryBio(std::string_view(pem.constData(), std::size_t(pem.size())));
    return openssl::Certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

QByteArray derOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(certificate, &der);
    QByteArray bytes(reinterpret_cast<const char*>(der), size);
    OPENSSL_free(der);
    return bytes;
}

QDateTime notAfterOf(X509* certificate) {
    tm time{};
    ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &time);
    return QDateTime(QDate(time.tm_year + 1900, time.tm_mon + 1, time.tm_mday),
                     QTime(time.tm_hour, time.tm_min, time.tm_sec), QTimeZone::utc());
}

QList<int> positionsOf(const CertificateStore& store, const std::vector<StoredCertificate>& found) {
    QList<int> positions;
    for (const StoredCertificate& certificate : found) {
        for (int index = 1; index <= store.Count(); ++index) {
            if (store.Item(index) == certificate)
                positions.append(index);
        }
    }
    return positions;
}

// Answers the prompt from a script of answers and records how it was asked.
struct ScriptedPrompt {
    QList<std::optional<std::string>> answers;
    QList<PasswordRequest> requests;

    PasswordPrompt prompt() {
        return [this](const PasswordRequest& request) -> std::optional<std::string> {
            requests.append(request);
            return answers.isEmpty() ? std::nullopt : answers.takeFirst();
        };
    }
    QList<bool> retries() const {
        QList<bool> flags;
        for (const PasswordRequest& request : requests)
            flags.append(request.retry);
        return flags;
    }
};

} // namespace

class TestCertificateStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TestPki> pki_;
    QTemporaryDir folder_;
    QString database_;          // the fixture, empty password
    QString protectedDatabase_; // the fixture, password "clave ñ 1"

    QString pem(int certificate) const { return database_ + "/pem/" + pemFiles[certificate] + ".pem"; }
    static void useDatabase(const QString& directory) { qputenv("CTO_NSS_DATABASE", directory.toUtf8()); }

private Q_SLOTS:
    // NSS's codes as the user reads them: our Spanish, then NSS's own words.
    void errorTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("bad database")
            << int(SEC_ERROR_BAD_DATABASE)
            << QString::fromUtf8(
                   "la base de datos está dañada o no se puede leer (security library: bad database)");
        QTest::newRow("invalid algorithm")
            << int(SEC_ERROR_INVALID_ALGORITHM)
            << QString::fromUtf8("algoritmo no válido (security library: invalid algorithm)");
        QTest::newRow("no key") << int(SEC_ERROR_NO_KEY)
                                << QString::fromUtf8(
                                       "la clave privada del certificado no está en la base de datos "
                                       "de claves (The private key for this certificate cannot be "
                                       "found in key database)");
        QTest::newRow("not logged in")
            << int(SEC_ERROR_TOKEN_NOT_LOGGED_IN)
            << QString::fromUtf8("la tarjeta o el almacén no tiene abierta la sesión con "
                                 "su PIN o contraseña (The operation failed because the "
                                 "PKCS#11 token is not logged in)");
        QTest::newRow("NSPR's") << int(PR_FILE_NOT_FOUND_ERROR)
                                << QString::fromUtf8("no existe el fichero (File not found)");
        QTest::newRow("without a text of ours")
            << int(SEC_ERROR_PKCS12_INVALID_MAC)
            << QString::fromUtf8("error -8113 de la biblioteca de seguridad (Unable to import. Invalid MAC. "
                                 "Incorrect password or corrupt file)");
        QTest::newRow("unknown to NSS too") << -1234 << QStringLiteral("OLE error fffffb2e");
    }
    void errorTexts() {
        nss::ensureStarted(); // NSS knows its own texts once started
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(nss::errorText(code)), text);
    }

    void initTestCase() {
        QVERIFY(folder_.isValid());
        pki_ = std::make_unique<test::TestPki>();
        const QString ca = QString::fromStdString(pki_->caCertificatePath());
        const QString caKey = QString::fromStdString(pki_->caKeyPath());
        database_ = folder_.filePath("nssdb");
        protectedDatabase_ = folder_.filePath("protected");
        test::makeTestNssDatabase({database_, ca, caKey});
        test::makeTestNssDatabase({"--password", "clave ñ 1", protectedDatabase_, ca, caKey});
        // A home of its own, so that nothing here can reach the real user's database.
        qputenv("HOME", folder_.filePath("home").toUtf8());
    }

    void init() {
        setPasswordPrompt({});
        useDatabase(database_);
    }

    void listsInStoreOrder_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("simpleName");
        QTest::addColumn<bool>("authority");
        QTest::newRow("expired end entity") << int(ClienteCaducado) << "Cliente Prueba" << false;
        QTest::newRow("intermediate CA") << int(Intermedia) << "Autoridad Intermedia Prueba" << true;
        QTest::newRow("same name, valid") << int(Cliente) << "Cliente Prueba" << false;
        QTest::newRow("non-ASCII name") << int(Pena) << "Peña Muñoz" << false;
        QTest::newRow("no CN, no OU: organisation; no extensions")
            << int(SinClave) << "Organismo Sin Clave" << false;
    }
    // The fixture issues them in another order than it adds them, so only
    // the database's own order matches; every opening agrees.
    void listsInStoreOrder() {
        QFETCH(int, index);
        QFETCH(QString, simpleName);
        QFETCH(bool, authority);
        const openssl::Certificate expected = readCertificate(pem(index));
        QVERIFY(expected);
        for (int opening = 0; opening < 3; ++opening) {
            const auto store = CertificateStore::openPersonal();
            QCOMPARE(store->Count(), 5);
            const StoredCertificate certificate = store->Item(index);
            QCOMPARE(certificate.der(), derOf(expected.get()));
            QCOMPARE(certificate.simpleName(), simpleName);
            QCOMPARE(certificate.isCertificateAuthority(), authority);
            QCOMPARE(certificate.validTo(), notAfterOf(expected.get()));
        }
    }

    void simpleNameFallsBack_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("simpleName");
        int index = 0;
        for (const auto& [subject, name] : displayNames)
            QTest::newRow(subject) << ++index << QString::fromUtf8(name);
    }
    void simpleNameFallsBack() {
        QFETCH(int, index);
        QFETCH(QString, simpleName);
        const QString names = folder_.filePath("names");
        if (!QFileInfo::exists(names))
            makeDisplayNameDatabase(names);
        useDatabase(names);
        const auto store = CertificateStore::openPersonal();
        QCOMPARE(store->Count(), int(std::size(displayNames)));
        QCOMPARE(store->Item(index).simpleName(), simpleName);
        // The lookup by that name finds it, as the hook needs.
        const auto found = store->findBySubjectName(simpleName);
        QVERIFY(std::find(found.begin(), found.end(), store->Item(index)) != found.end());
    }

    void expiredCertificateKeepsItsPastDate() {
        const auto store = CertificateStore::openPersonal();
        QCOMPARE(store->Item(ClienteCaducado).validTo(),
                 QDateTime(QDate(2021, 1, 1), QTime(0, 0), QTimeZone::utc()));
    }

    void itemOutsideTheStoreFails_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("0: counting starts at 1") << 0;
        QTest::newRow("one past the end") << 6;
    }
    void itemOutsideTheStoreFails() {
        QFETCH(int, index);
        const auto store = CertificateStore::openPersonal();
        CTO_COMPARE_FAILURE(EOleException, store->Item(index),
                            "argumentos no válidos (security library: invalid arguments)");
    }

    void findsBySubjectName_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("found");
        QTest::newRow("empty text finds all") << "" << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("shared name, expired one too") << "Cliente Prueba" << QList<int>{1, 3};
        QTest::newRow("other case") << "cLIENTE pRUEBA" << QList<int>{1, 3};
        QTest::newRow("Ñ matches ñ") << "PEÑA MUÑOZ" << QList<int>{4};
        QTest::newRow("ñ alone") << "ñ" << QList<int>{4};
        QTest::newRow("n does not match ñ") << "Pena" << QList<int>{};
        QTest::newRow("organisation, CA certificates too") << "prueba" << QList<int>{1, 2, 3, 4};
        QTest::newRow("e-mail attribute") << "SINCLAVE@example.org" << QList<int>{5};
        QTest::newRow("two attributes as joined") << "Tulva Pruebas, Peña" << QList<int>{4};
        QTest::newRow("attribute names are not text") << "CN=" << QList<int>{};
        QTest::newRow("no match") << "Nadie" << QList<int>{};
    }
    void findsBySubjectName() {
        QFETCH(QString, text);
        QFETCH(QList<int>, found);
        const auto store = CertificateStore::openPersonal();
        QCOMPARE(positionsOf(*store, store->findBySubjectName(text)), found);
    }

    void clientCertificateAuthenticatesARealHandshake_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("match");
        QTest::addColumn<int>("certificate");
        QTest::newRow("issued by the CA, second of its name") << "Cliente Prueba" << 2 << int(Cliente);
        QTest::newRow("through the stored intermediate") << "Peña Muñoz" << 1 << int(Pena);
    }
    // The server requires a certificate that its CA vouches for: it accepts the
    // handshake only with a signature of the right key, made in the database,
    // and, for Peña, the intermediate.
    void clientCertificateAuthenticatesARealHandshake() {
        QFETCH(QString, name);
        QFETCH(int, match);
        QFETCH(int, certificate);
        std::shared_ptr<const ClientCertificate> ready;
        {
            const auto store = CertificateStore::openPersonal();
            const auto found = store->findBySubjectName(name);
            QVERIFY(int(found.size()) >= match);
            QCOMPARE(found[std::size_t(match - 1)], store->Item(certificate));
            ready = found[std::size_t(match - 1)].clientCertificate();
        }
        QVERIFY(ready);
        QCOMPARE(derOf(ready->certificate()), derOf(readCertificate(pem(certificate)).get()));
        QCOMPARE(QByteArray::fromStdString(ready->identity()), derOf(ready->certificate()));
        QCOMPARE(ready->intermediates().size(), std::size_t(certificate == Pena ? 1 : 0));
        if (certificate == Pena)
            QCOMPARE(derOf(ready->intermediates().front().get()),
                     derOf(readCertificate(pem(Intermedia)).get()));

        // The store is gone; the key still signs, its database kept open for it.
        test::TlsTestServer server(*pki_, {.clientCertificates = test::ClientCertificateMode::Require});
        test::requestWithClientCertificate(server.port(), pki_->caCertificatePath(), *ready);
        QVERIFY(server.waitForExchanges(1, std::chrono::seconds(10)));
        const test::Exchange exchange = server.lastExchange();
        QVERIFY(exchange.clientCertificateVerified);
        QCOMPARE(QString::fromStdString(exchange.clientCommonName), name);
        QVERIFY(QString::fromStdString(exchange.clientSubject).endsWith(",O=Tulva Pruebas"));
        QVERIFY2(exchange.clientSignature.starts_with("ECDSA "), exchange.clientSignature.c_str());
    }

    void certificateWithoutPrivateKeyFailsCleanly_data() {
        QTest::addColumn<int>("certificate");
        QTest::newRow("end entity without key") << int(SinClave);
        QTest::newRow("CA certificate") << int(Intermedia);
    }
    void certificateWithoutPrivateKeyFailsCleanly() {
        QFETCH(int, certificate);
        const auto store = CertificateStore::openPersonal();
        CTO_COMPARE_FAILURE(
            EOleException, store->Item(certificate).clientCertificate(),
            "la clave privada del certificado no está en la base de datos de claves (The private "
            "key for this certificate cannot be found in key database)");
    }

    void protectedDatabaseAsksThroughThePrompt_data() {
        QTest::addColumn<QList<std::optional<std::string>>>("answers");
        QTest::addColumn<QList<bool>>("retries");
        QTest::addColumn<bool>("ready");
        const std::optional<std::string> right = "clave ñ 1", wrong = "clave", cancel;
        QTest::newRow("right password") << QList{right} << QList{false} << true;
        QTest::newRow("wrong, then right") << QList{wrong, right} << QList{false, true} << true;
        QTest::newRow("wrong twice, then cancelled")
            << QList{wrong, wrong, cancel} << QList{false, true, true} << false;
        QTest::newRow("cancelled") << QList{cancel} << QList{false} << false;
    }
    void protectedDatabaseAsksThroughThePrompt() {
        QFETCH(QList<std::optional<std::string>>, answers);
        QFETCH(QList<bool>, retries);
        QFETCH(bool, ready);
        useDatabase(protectedDatabase_);
        ScriptedPrompt prompt{answers, {}};
        setPasswordPrompt(prompt.prompt());
        const auto store = CertificateStore::openPersonal();
        const auto found = store->findBySubjectName("Peña");
        QCOMPARE(found.size(), std::size_t(1));
        QVERIFY(prompt.requests.isEmpty()); // listing and searching never ask
        if (ready)
            QVERIFY(found.front().clientCertificate());
        else
            CTO_COMPARE_FAILURE(EOleException, found.front().clientCertificate(), badPassword);
        QCOMPARE(prompt.retries(), retries);
        for (const PasswordRequest& request : prompt.requests) {
            // A database asks for its password under the name the user knows
            // it by, and never counts tries.
            QCOMPARE(request.storeName, QStringLiteral("Chromium / escritorio"));
            QVERIFY(!request.token);
            QCOMPARE(request.triesLeft, PasswordRequest::TriesLeft::Plenty);
        }
    }

    // Until the application installs its password dialog, the key stays locked.
    void protectedDatabaseWithoutPromptFailsCleanly() {
        useDatabase(protectedDatabase_);
        const auto store = CertificateStore::openPersonal();
        QCOMPARE(store->Count(), 5);
        CTO_COMPARE_FAILURE(EOleException, store->Item(Cliente).clientCertificate(), badPassword);
    }

    void unusableDatabaseFails_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing"
                                 << "no existe el fichero (File not found)";
        QTest::newRow("folder without database") << "empty"
                                                 << "no existe el fichero (File not found)";
        QTest::newRow("corrupt cert9.db")
            << "corrupt"
            << QString::fromUtf8(
                   "la base de datos está dañada o no se puede leer (security library: bad database)");
    }
    void unusableDatabaseFails() {
        QFETCH(QString, directory);
        QFETCH(QString, reason);
        const QString path = folder_.filePath(directory);
        QDir().mkpath(folder_.filePath("empty"));
        if (directory == "corrupt" && !QFile::exists(path)) {
            QVERIFY(QDir().mkpath(path));
            for (const char* file : {"cert9.db", "key4.db", "pkcs11.txt"})
                QVERIFY(QFile::copy(database_ + "/" + file, path + "/" + file));
            QFile cert9(path + "/cert9.db");
            QVERIFY(cert9.open(QIODevice::WriteOnly | QIODevice::Truncate));
            cert9.write(QByteArray(8192, 'x'));
        }
        useDatabase(path);
        CTO_COMPARE_FAILURE(
            EOleException, CertificateStore::openPersonal(),
            QString::fromUtf8("No se pudo abrir el almacén de certificados «Chromium / escritorio» "
                              "(sql:") +
                path + "): " + reason);
        if (directory == "missing")
            QVERIFY(!QFileInfo::exists(path)); // never created
    }

    void personalStoreDirectory_data() {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("directory");
        QTest::newRow("unset: the user's shared database")
            << QByteArray() << folder_.filePath("home/.pki/nssdb");
        QTest::newRow("a directory") << QByteArray("/srv/perfil/") << "/srv/perfil";
        QTest::newRow("with NSS's prefix") << QByteArray("sql:/srv/perfil") << "/srv/perfil";
        QTest::newRow("relative") << QByteArray("perfil") << QDir::current().filePath("perfil");
    }
    void personalStoreDirectory() {
        QFETCH(QByteArray, variable);
        QFETCH(QString, directory);
        if (variable.isNull())
            qunsetenv("CTO_NSS_DATABASE");
        else
            qputenv("CTO_NSS_DATABASE", variable);
        QCOMPARE(cto::personalStoreDirectory(), directory);
    }
};

CTO_TEST_GUILESS_MAIN(TestCertificateStore)
#include "tst_certificate_store.moc"
