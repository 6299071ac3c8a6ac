// Where the program finds the user's certificates: a home holding the desktop's
// shared database, Firefox profiles (one behind a primary password, one in the
// snap's home) and a Thunderbird profile, all made with NSS's own tools, read
// through the engine's listing exactly as the certificate dialog receives it.
#include "app/SendEngine.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/ListingFixtures.h"
#include "certificates/ModuleProbe.h"
#include "certificates/NssDatabase.h"
#include "certificates/NssLibrary.h"
#include "certificates/ProfilesIni.h"
#include "certificates/TestNssDatabase.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "transport/OpenSslOwners.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <optional>

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cto;
using cto::test::appendFile;
using cto::test::rowsOf;
using cto::test::writeFile;

namespace {

const QString kShared = QStringLiteral("Chromium / escritorio");
const QString kPrimaryPassword = QStringLiteral("primaria ñ");

// A database whose cert9.db is garbage; its key4.db and pkcs11.txt are sound.
// Another process that holds a database file locked as SQLite locks it to
// write (the bytes from 1 GiB on), as a program busy writing the store does.
class LockingProcess {
public:
    explicit LockingProcess(const QString& file) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const QByteArray path = QFile::encodeName(file);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only what is safe after fork in a process with threads.
            const int fd = ::open(path.constData(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = 0x40000000;
            lock.l_len = 512;
            const char said = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &said, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char said = 'n';
        locked_ = pid_ > 0 && ::read(ready[0], &said, 1) == 1 && said == 'y';
        ::close(ready[0]);
    }
    ~LockingProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    LockingProcess(const LockingProcess&) = delete;
    LockingProcess& operator=(const LockingProcess&) = delete;
    bool locked() const { return locked_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

void makeCorruptDatabase(const QString& directory) {
    test::makeEmptyNssDatabase(directory);
    writeFile(directory + "/cert9.db", QByteArray(8192, 'x'));
}

// A certificate with its key from PEM files, imported through PKCS #12 as a user would.
void importPemWithKey(const QString& directory, const QString& certificate, const QString& key,
                      const QString& work) {
    const QString bundle = work + "/bundle.p12";
    test::runTool("openssl", {"pkcs12", "-export", "-in", certificate, "-inkey", key, "-passout", "pass:x",
                              "-out", bundle});
    test::importPkcs12(directory, bundle, "x");
}

openssl::Certificate readCertificate(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray pem = file.readAll();
    openssl::Bio bio = openssl::memoryBio(std::string_view(pem.constData(), std::size_t(pem.size())));
    return openssl::Certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

// OpenSSL's own reading of a name, most specific part first, UTF-8 unescaped.
QString nameText(const X509_NAME* name) {
    openssl::Bio bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QString::fromUtf8(data, qsizetype(size));
}

QDateTime timeOf(const ASN1_TIME* time) {
    tm parts{};
    ASN1_TIME_to_tm(time, &parts);
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), QTimeZone::utc());
}

// The serial number's content octets as DER encodes them, "0A:1B:…".
QString serialText(const X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_ASN1_INTEGER(X509_get0_serialNumber(certificate), &der);
    // Tag and a one-byte length come first: serial numbers are short.
    const QByteArray content(reinterpret_cast<const char*>(der) + 2, size - 2);
    OPENSSL_free(der);
    return QString::fromLatin1(content.toHex(':').toUpper());
}

} // namespace

class TestCertificateSources : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<test::TestPki> pki_;
    QString home_;      // every kind of source, good and sound
    QString sharedPem_; // the shared database's PEM files (make-test-nssdb.sh)
    QString issuedPem_; // Titular Trabajo's certificate
    QString protected_; // the Firefox profile behind a primary password, outside the home

    QString path(const QString& relative) const { return folder_.filePath(relative); }
    static void useHome(const QString& home) { qputenv("HOME", home.toUtf8()); }

    // A database in directory holding the certificate issued to commonName, with its key.
    test::IssuedCertificate addIssued(const QString& directory, const std::string& commonName,
                                      const QString& databasePassword = {}) {
        test::ClientCertificateRequest request;
        request.commonName = commonName;
        request.organization = "Tulva Pruebas";
        test::IssuedCertificate issued = pki_->issueClientCertificate(request);
        test::importPkcs12(directory, QString::fromStdString(issued.pkcs12Path),
                           QString::fromStdString(issued.pkcs12Password), databasePassword);
        return issued;
    }

    void makeHome();
    void makeBrokenHomes();

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void listsEverySourceInOrder();
    void rowCarriesItsDetails_data();
    void rowCarriesItsDetails();
    void namedDatabaseAlone();
    void brokenSourcesAreNamedBesideTheRows_data();
    void brokenSourcesAreNamedBesideTheRows();
    void profilesInTheirOrder_data();
    void profilesInTheirOrder();
    void tokenNameIsTheLabelCutAtACharacter_data();
    void tokenNameIsTheLabelCutAtACharacter();
};

void TestCertificateSources::initTestCase() {
    setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE));
    QVERIFY(folder_.isValid());
    pki_ = std::make_unique<test::TestPki>();
    // p11-kit registers SoftHSM for the whole system: keep its tokens out of this test.
    writeFile(
        path("softhsm/softhsm2.conf"),
        ("directories.tokendir = " + path("softhsm/tokens") + "\nobjectstore.backend = file\n").toUtf8());
    QDir().mkpath(path("softhsm/tokens"));
    qputenv("SOFTHSM2_CONF", path("softhsm/softhsm2.conf").toUtf8());
    makeHome();
    makeBrokenHomes();
}

void TestCertificateSources::init() {
    qunsetenv("CTO_NSS_DATABASE");
    useHome(home_);
}

void TestCertificateSources::cleanup() {
    setPasswordPrompt({});
}

// ~/.pki/nssdb: the fixture of make-test-nssdb.sh (two "Cliente Prueba" and
// "Peña Muñoz" with keys, an intermediate authority, "Organismo Sin Clave" without a key).
// ~/.mozilla/firefox: profiles "default-release" (Default=1, relative path) and
// "trabajo" (absolute path, primary password), which the [Install…] section
// makes the default, and a third whose folder is gone.
// ~/snap/firefox/common/.mozilla/firefox: profile "snap".
// ~/.var/app/org.mozilla.firefox/.mozilla/firefox: a second "default-release".
// ~/.thunderbird: profile "correo".
void TestCertificateSources::makeHome() {
    home_ = path("home");
    const QString shared = home_ + "/.pki/nssdb";
    const QString ca = QString::fromStdString(pki_->caCertificatePath());
    const QString caKey = QString::fromStdString(pki_->caKeyPath());
    test::makeTestNssDatabase({shared, ca, caKey});
    sharedPem_ = shared + "/pem";

    const QString firefox = home_ + "/.mozilla/firefox";
    protected_ = path("perfiles/trabajo");
    test::makeEmptyNssDatabase(protected_, kPrimaryPassword);
    issuedPem_ =
        QString::fromStdString(addIssued(protected_, "Titular Trabajo", kPrimaryPassword).certificatePath);
    const QString release = firefox + "/abcd.default-release";
    test::makeEmptyNssDatabase(release);
    addIssued(release, "Titular Default");
    // Also in the desktop's database, which comes first.
    importPemWithKey(release, sharedPem_ + "/04-pena.pem", sharedPem_ + "/04-pena.key", path("."));
    writeFile(firefox + "/profiles.ini", "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
                                         "[Profile1]\nName=trabajo\nIsRelative=0\nPath=" +
                                             protected_.toUtf8() +
                                             "\n\n"
                                             "[Profile0]\nName=default-release\nIsRelative=1\n"
                                             "Path=abcd.default-release\nDefault=1\n\n"
                                             "[Profile2]\nName=borrado\nIsRelative=1\nPath=efgh.borrado\n\n"
                                             "[Install4F96D1932A9F858E]\nDefault=" +
                                             protected_.toUtf8() + "\nLocked=1\n");

    const QString snap = home_ + "/snap/firefox/common/.mozilla/firefox";
    test::makeEmptyNssDatabase(snap + "/ijkl.snap");
    addIssued(snap + "/ijkl.snap", "Titular Snap");
    writeFile(snap + "/profiles.ini", "[Profile0]\nName=snap\nIsRelative=1\nPath=ijkl.snap\nDefault=1\n");

    const QString flatpak = home_ + "/.var/app/org.mozilla.firefox/.mozilla/firefox";
    test::makeEmptyNssDatabase(flatpak + "/qrst.default-release");
    addIssued(flatpak + "/qrst.default-release", "Titular Flatpak");
    writeFile(flatpak + "/profiles.ini",
              "[Profile0]\nName=default-release\nIsRelative=1\nPath=qrst.default-release\nDefault=1\n");

    const QString thunderbird = home_ + "/.thunderbird";
    test::makeEmptyNssDatabase(thunderbird + "/mnop.correo");
    const test::IssuedCertificate correo = addIssued(thunderbird + "/mnop.correo", "Titular Correo");
    writeFile(thunderbird + "/profiles.ini", "[Profile0]\nName=correo\nIsRelative=1\nPath=mnop.correo\n");
    // An earlier source holds the same certificate without its key: it is listed from here.
    test::importCertificateOnly(protected_, QString::fromStdString(correo.certificatePath), "Titular Correo");
}

void TestCertificateSources::listsEverySourceInOrder() {
    const test::PromptRecorder prompt;
    const CertificateListing listing = linkedSendEngine().listCertificates();
    QVERIFY2(!listing.failure, listing.failure.message.c_str());
    QVERIFY(listing.opened);
    QCOMPARE(rowsOf(listing), (QStringList{
                                  // The authority and "Organismo Sin Clave" left out; expired listed.
                                  kShared + "|Cliente Prueba",
                                  kShared + "|Cliente Prueba",
                                  kShared + "|Peña Muñoz", // also in default-release: listed once
                                  "Firefox, perfil trabajo|Titular Trabajo",
                                  "Firefox, perfil default-release|Titular Default",
                                  "Firefox (snap), perfil snap|Titular Snap",
                                  // A profile of the same name, told apart by its installation.
                                  "Firefox (flatpak), perfil default-release|Titular Flatpak",
                                  "Thunderbird, perfil correo|Titular Correo",
                              }));
    // The protected profile's key was told without its password.
    QCOMPARE(prompt.asked(), QStringList());

    // The sending side finds a listed certificate again, in whichever source holds it.
    const auto store = CertificateStore::openPersonal();
    for (const CertificateRow& row : listing.rows) {
        const std::optional<StoredCertificate> found = store->findByDer(row.der);
        QVERIFY(found);
        QCOMPARE(found->location(), row.location);
    }
}

void TestCertificateSources::rowCarriesItsDetails_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pem");
    QTest::addColumn<QString>("organisation");
    QTest::addColumn<QString>("location");
    QTest::newRow("through an intermediate, non-ASCII") << "Peña Muñoz" << sharedPem_ + "/04-pena.pem"
                                                        << "Tulva Pruebas" << kShared;
    QTest::newRow("expired") << "Cliente Prueba" << sharedPem_ + "/01-cliente-caducado.pem"
                             << "Tulva Pruebas" << kShared;
    QTest::newRow("behind a primary password") << "Titular Trabajo" << issuedPem_ << "Tulva Pruebas"
                                               << "Firefox, perfil trabajo";
}

void TestCertificateSources::rowCarriesItsDetails() {
    QFETCH(QString, name);
    QFETCH(QString, pem);
    QFETCH(QString, organisation);
    QFETCH(QString, location);
    const openssl::Certificate expected = readCertificate(pem);
    QVERIFY(expected);
    unsigned char* der = nullptr;
    const int size = i2d_X509(expected.get(), &der);
    const QByteArray expectedDer(reinterpret_cast<const char*>(der), size);
    OPENSSL_free(der);

    const CertificateListing listing = linkedSendEngine().listCertificates();
    const auto row =
        std::find_if(listing.rows.begin(), listing.rows.end(),
                     [&](const CertificateRow& candidate) { return candidate.der == expectedDer; });
    QVERIFY(row != listing.rows.end());
    QCOMPARE(row->name, name);
    QCOMPARE(row->subject, nameText(X509_get_subject_name(expected.get())));
    QCOMPARE(row->organisation, organisation);
    QCOMPARE(row->issuer, nameText(X509_get_issuer_name(expected.get())));
    QCOMPARE(row->serialNumber, serialText(expected.get()));
    QCOMPARE(row->validFrom, timeOf(X509_get0_notBefore(expected.get())));
    QCOMPARE(row->validTo, timeOf(X509_get0_notAfter(expected.get())));
    QCOMPARE(row->location, location);
}

// CTO_NSS_DATABASE: that database alone, whatever else the home holds.
void TestCertificateSources::namedDatabaseAlone() {
    qputenv("CTO_NSS_DATABASE", protected_.toUtf8());
    const CertificateListing listing = linkedSendEngine().listCertificates();
    QVERIFY2(!listing.failure, listing.failure.message.c_str());
    QCOMPARE(rowsOf(listing), QStringList{kShared + "|Titular Trabajo"});
}

// Homes of one kind of trouble each, under broken/:
//   beside-good: a sound ~/.pki/nssdb, and a Firefox profile "roto" whose cert9.db is garbage
//   profile:     the broken profile alone
//   module:      an empty ~/.pki/nssdb whose pkcs11.txt registers a library that is no PKCS #11 module
//   both:        the broken profile and that module
//   missing:     a profiles.ini naming a folder that is gone, a pkcs11.txt naming a library that is gone
void TestCertificateSources::makeBrokenHomes() {
    const QString broken = path("broken");
    const QByteArray rotoIni = "[Profile0]\nName=roto\nIsRelative=1\nPath=qrst.roto\nDefault=1\n";
    for (const char* home : {"beside-good", "profile", "both"}) {
        const QString firefox = broken + "/" + home + "/.mozilla/firefox";
        makeCorruptDatabase(firefox + "/qrst.roto");
        writeFile(firefox + "/profiles.ini", rotoIni);
    }
    test::makeEmptyNssDatabase(broken + "/beside-good/.pki/nssdb");
    addIssued(broken + "/beside-good/.pki/nssdb", "Titular Bueno");
    const QByteArray notAModule = "\nlibrary=" CTO_NOT_A_MODULE "\nname=Módulo roto\n";
    for (const char* home : {"module", "both"}) {
        test::makeEmptyNssDatabase(broken + "/" + home + "/.pki/nssdb");
        appendFile(broken + "/" + home + "/.pki/nssdb/pkcs11.txt", notAModule);
    }
    test::makeEmptyNssDatabase(broken + "/locked/.pki/nssdb");
    addIssued(broken + "/locked/.pki/nssdb", "Titular Bueno");
    test::makeEmptyNssDatabase(broken + "/locked/.mozilla/firefox/ijkl.bloqueado");
    addIssued(broken + "/locked/.mozilla/firefox/ijkl.bloqueado", "Titular Bloqueado");
    writeFile(broken + "/locked/.mozilla/firefox/profiles.ini",
              "[Profile0]\nName=bloqueado\nIsRelative=1\nPath=ijkl.bloqueado\nDefault=1\n");
    test::makeEmptyNssDatabase(broken + "/missing/.pki/nssdb");
    appendFile(broken + "/missing/.pki/nssdb/pkcs11.txt",
               "\nlibrary=" + broken.toUtf8() + "/no-such-module.so\nname=Ausente\n");
    writeFile(broken + "/missing/.mozilla/firefox/profiles.ini",
              "[Profile0]\nName=ido\nIsRelative=1\nPath=uvwx.ido\nDefault=1\n");
}

void TestCertificateSources::brokenSourcesAreNamedBesideTheRows_data() {
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("notes"); // the start of each sentence, in order
    const QString profile =
        QString::fromUtf8("No se pudo abrir el almacén de certificados «Firefox, perfil roto» (sql:") +
        path("broken/%1/.mozilla/firefox/qrst.roto") +
        QString::fromUtf8(
            "): la base de datos está dañada o no se puede leer (security library: bad database)");
    // Tried apart first, where it answers nothing a card module must.
    const QString module =
        QString::fromUtf8("El módulo de tarjeta «Módulo roto» no responde; sus certificados no "
                          "se listan (no exporta C_GetFunctionList)");
    QTest::newRow("a broken profile beside good sources")
        << "beside-good" << QStringList{kShared + "|Titular Bueno"}
        << QStringList{profile.arg("beside-good")};
    // Another program writing the profile holds it locked.
    QTest::newRow("a locked profile beside good sources")
        << "locked" << QStringList{kShared + "|Titular Bueno"}
        << QStringList{QString::fromUtf8(
                           "No se pudo abrir el almacén de certificados «Firefox, perfil bloqueado» (sql:") +
                       path("broken/locked/.mozilla/firefox/ijkl.bloqueado") +
                       "): otro programa tiene bloqueado cert9.db (proceso "};
    QTest::newRow("a broken profile alone")
        << "profile" << QStringList() << QStringList{profile.arg("profile")};
    QTest::newRow("a broken module alone") << "module" << QStringList() << QStringList{module};
    QTest::newRow("a broken profile and a broken module")
        << "both" << QStringList() << QStringList{profile.arg("both"), module};
    // A missing profile or database says nothing; a registered card module
    // whose library is gone is named.
    QTest::newRow("missing sources, a missing module named")
        << "missing" << QStringList()
        << QStringList{QString::fromUtf8("El módulo de tarjeta «Ausente» no existe (") + path("broken") +
                       "/no-such-module.so)"};
}

// Every store that exists and could not be read is named with the reason,
// also beside rows from other stores; the rows that could be read are listed.
void TestCertificateSources::brokenSourcesAreNamedBesideTheRows() {
    QFETCH(QString, home);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, notes);
    useHome(path("broken/" + home));
    std::optional<LockingProcess> writer;
    if (home == "locked") {
        writer.emplace(path("broken/locked/.mozilla/firefox/ijkl.bloqueado/cert9.db"));
        QVERIFY(writer->locked());
    }
    const CertificateListing listing = linkedSendEngine().listCertificates();
    QVERIFY2(!listing.failure, listing.failure.message.c_str());
    QVERIFY(listing.opened);
    QCOMPARE(rowsOf(listing), rows);
    QCOMPARE(listing.notes.size(), notes.size());
    for (qsizetype i = 0; i < notes.size(); ++i)
        QVERIFY2(listing.notes[i].startsWith(notes[i]), qPrintable(listing.notes[i]));
}

void TestCertificateSources::profilesInTheirOrder_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("profiles"); // "name=directory", relative to the folder of profiles.ini
    const QByteArray b = "[Profile1]\nName=b\nIsRelative=1\nPath=dir.b\n";
    const QByteArray a = "[Profile0]\nName=a\nIsRelative=1\nPath=dir.a\n";
    QTest::newRow("no default: by number, not by place in the file")
        << b + a << QStringList{"a=dir.a", "b=dir.b"};
    QTest::newRow("Default=1 first") << b + "Default=1\n" + a << QStringList{"b=dir.b", "a=dir.a"};
    QTest::newRow("the installation's default over Default=1")
        << "[Install1]\nDefault=dir.a\n" + b + "Default=1\n" + a << QStringList{"a=dir.a", "b=dir.b"};
    QTest::newRow("the first installation's default")
        << "[InstallB]\nDefault=dir.b\n[InstallA]\nDefault=dir.a\n" + a + b
        << QStringList{"b=dir.b", "a=dir.a"};
    QTest::newRow("absolute path, blanks, comments, no name, no path")
        << QByteArray(
               "; made by hand\n[Profile0]\n Name = Mi perfil \nPath=/srv/perfiles/mío\n"
               "# without a name, the folder's\n[Profile1]\nPath=sin.nombre\n[Profile2]\nName=sin ruta\n")
        << QStringList{"Mi perfil=/srv/perfiles/mío", "sin.nombre=sin.nombre"};
    QTest::newRow("no profiles.ini") << QByteArray() << QStringList();
}

void TestCertificateSources::profilesInTheirOrder() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, profiles);
    const QString folder = path(QStringLiteral("ini/%1").arg(QTest::currentDataTag()));
    QDir().mkpath(folder);
    if (!ini.isNull())
        writeFile(folder + "/profiles.ini", ini);
    QStringList found;
    for (const nss::MozillaProfile& profile : nss::profilesListedIn(folder)) {
        const QString inside = folder + "/";
        found << profile.name + "=" +
                     (profile.directory.startsWith(inside) ? profile.directory.mid(inside.size())
                                                           : profile.directory);
    }
    QCOMPARE(found, profiles);
}

void TestCertificateSources::tokenNameIsTheLabelCutAtACharacter_data() {
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("tokenName");
    // "Firefox, perfil " is 16 bytes; the 32-byte limit falls where the table says.
    QTest::newRow("fits") << "default-release"
                          << "Firefox, perfil default-release";
    QTest::newRow("exactly 32 bytes") << "Contabilidad 202"
                                      << "Firefox, perfil Contabilidad 202";
    QTest::newRow("one byte too many") << "Contabilidad 2025"
                                       << "Firefox, perfil Contabilidad 202";
    QTest::newRow("cut inside a two-byte ñ") << "Contabilidad señora Muñoz"
                                             << "Firefox, perfil Contabilidad se";
    QTest::newRow("cut inside a four-byte character") << "Contabilidad s\U0001F4BC extra"
                                                      << "Firefox, perfil Contabilidad s";
}

void TestCertificateSources::tokenNameIsTheLabelCutAtACharacter() {
    QFETCH(QString, profile);
    QFETCH(QString, tokenName);
    const QString home = path(QStringLiteral("labels/%1").arg(QTest::currentDataTag()));
    test::makeEmptyNssDatabase(home + "/.mozilla/firefox/perfil");
    writeFile(home + "/.mozilla/firefox/profiles.ini",
              "[Profile0]\nName=" + profile.toUtf8() + "\nIsRelative=1\nPath=perfil\n");
    useHome(home);

    nss::ensureStarted();
    const nss::OpenedSources opened = nss::openCertificateSources();
    const QString label = "Firefox, perfil " + profile;
    const auto source =
        std::find_if(opened.sources.begin(), opened.sources.end(),
                     [&label](const nss::CertificateSource& each) { return each.label == label; });
    QVERIFY(source != opened.sources.end());
    QCOMPARE(QString::fromUtf8(PK11_GetTokenName(source->slot.get())), tokenName);
    // What the password prompt is told: the whole label.
    QCOMPARE(nss::storeNameOf(source->slot.get()), label);
}

CTO_TEST_GUILESS_MAIN(TestCertificateSources)
#include "tst_certificate_sources.moc"
