// Smart cards among the user's certificates: a SoftHSM2 token (keys made on
// it, never extractable, PIN 1234) reached through every way a card module is
// registered: an NSS database's pkcs11.txt, as modutil writes it; p11-kit's
// configuration (Debian's softhsm2 registers the module for the whole system);
// p11-kit's proxy module named in a pkcs11.txt; a user's own module file.
#include "app/SendEngine.h"
#include "certificates/CertificateStore.h"
#include "certificates/ListingFixtures.h"
#include "certificates/LoadedModules.h"
#include "certificates/ModuleProbe.h"
#include "certificates/ProbeCache.h"
#include "certificates/TestNssDatabase.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <pk11pub.h>
#include <secmod.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

using namespace cto;
using cto::test::rowsOf;
using cto::test::runTool;
using cto::test::writeFile;

namespace {

const QString kShared = QStringLiteral("Chromium / escritorio");

QStringList tokenRows(const QString& label) {
    QStringList rows;
    for (const char* name : {"Titular Tarjeta RSA", "Titular Tarjeta EC", "Titular Tarjeta P384"})
        rows << "Tarjeta: " + label + "|" + name;
    return rows;
}

// A token gives its objects in an order of its own (SoftHSM's follows its
// files' names), and tokens come after the databases: the rows as they are,
// with the tokens' sorted.
QStringList tokensSorted(QStringList rows) {
    const auto firstToken = std::find_if(rows.begin(), rows.end(),
                                         [](const QString& row) { return row.startsWith("Tarjeta: "); });
    std::sort(firstToken, rows.end());
    return rows;
}

// How many modules NSS has loaded from the library at this real path.
int modulesLoadedFrom(const QString& realPath) {
    int count = 0;
    SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
    SECMOD_GetReadLock(lock);
    for (SECMODModuleList* entry = SECMOD_GetDefaultModuleList(); entry; entry = entry->next) {
        if (entry->module->dllName && QFileInfo(entry->module->dllName).canonicalFilePath() == realPath)
            ++count;
    }
    SECMOD_ReleaseReadLock(lock);
    return count;
}

// A script in folder that runs the build tree's probe, first noting in runs
// the library each run tries, a line each.
QString notingProbe(const QString& folder, const QString& runs) {
    QString wrapper = folder + "/probe-wrapper.sh";
    writeFile(wrapper, ("#!/bin/sh\n"
                        // The program hands the probe the library as the file it checked, open.
                        "readlink -f \"$2\" >>'" +
                        runs + "'\nexec '" CTO_MODULE_PROBE "' \"$@\"\n")
                           .toUtf8());
    QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFile::ExeOwner);
    return wrapper;
}

void registerModule(const QString& database, const QString& name, const QString& library) {
    runTool("modutil", {"-dbdir", "sql:" + database, "-add", name, "-libfile", library, "-force"});
}

} // namespace

class TestCertificateTokens : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<test::TestPki> pki_;
    QString modulePath_; // SoftHSM's library as the fixture names it

    QString path(const QString& relative) const { return folder_.filePath(relative); }

    // A database in directory holding one certificate with its key.
    void makeDatabase(const QString& directory, const std::string& holder) {
        test::makeEmptyNssDatabase(directory);
        const test::IssuedCertificate issued = pki_->issueClientCertificate(holder);
        test::importPkcs12(directory, QString::fromStdString(issued.pkcs12Path),
                           QString::fromStdString(issued.pkcs12Password));
    }

    void makeToken(const QString& directory, const QString& label) {
        runTool("/bin/sh", {CTO_MAKE_TEST_TOKEN, "--label", label, directory,
                            QString::fromStdString(pki_->caCertificatePath()),
                            QString::fromStdString(pki_->caKeyPath())});
    }

private Q_SLOTS:
    void initTestCase();
    void init();

    void tokenListedOnceWhoeverNamesIt_data();
    void tokenListedOnceWhoeverNamesIt();
    void userModuleFileRegistersACard();
    void p11KitModulesAreProbedOneByOne_data();
    void p11KitModulesAreProbedOneByOne();
    void brokenCardModuleIsLeftOutAndNamed_data();
    void brokenCardModuleIsLeftOutAndNamed();
    void probeIsFoundBesideTheProgram();
    void passingProbeIsRememberedUntilTheLibraryChanges_data();
    void passingProbeIsRememberedUntilTheLibraryChanges();
    void failedModuleIsRememberedUntilItsLibraryChanges_data();
    void failedModuleIsRememberedUntilItsLibraryChanges();
    void hangingProbeGoesWithTheProgram();
    void helperOfAHangingDriverEndsWithItsProbe();
    void moduleIsStartedWithItsParameters();
    void moduleOthersCouldReplaceIsNotLoaded_data();
    void moduleOthersCouldReplaceIsNotLoaded();
    void probeOthersCouldReplaceIsNotRun_data();
    void probeOthersCouldReplaceIsNotRun();

private:
    // Runs the listing program in the environment given, and answers its lines.
    QStringList listingOf(const QProcessEnvironment& environment,
                          const QStringList& command = {CTO_LIST_CERTIFICATES});
    QStringList listingAsUser(const QString& home, const QString& tokenDirectory);
};

// Homes, under homes/:
//   all:   ~/.pki/nssdb registers SoftHSM as the fixture names it, and a Firefox
//          profile registers it by its real path under another name; p11-kit names it too
//   plain: ~/.pki/nssdb registers nothing: p11-kit alone names it
// Databases for CTO_NSS_DATABASE, under named/: "proxy" registers p11-kit's proxy module.
void TestCertificateTokens::initTestCase() {
    setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE));
    // The passes this process remembers stay in the test's own folder.
    qputenv("XDG_CACHE_HOME", path("cache").toUtf8());
    QVERIFY(folder_.isValid());
    pki_ = std::make_unique<test::TestPki>();
    makeToken(path("token"), "Tarjeta CTO");
    modulePath_ = QString::fromUtf8(test::readWholeFile(path("token/module-path").toStdString())).trimmed();
    qputenv("SOFTHSM2_CONF", path("token/softhsm2.conf").toUtf8());

    makeDatabase(path("homes/all/.pki/nssdb"), "Titular Escritorio");
    registerModule(path("homes/all/.pki/nssdb"), "SoftHSM", modulePath_);
    const QString profile = path("homes/all/.mozilla/firefox/abcd.default");
    makeDatabase(profile, "Titular Perfil");
    registerModule(profile, "Tarjeta del perfil", QFileInfo(modulePath_).canonicalFilePath());
    writeFile(path("homes/all/.mozilla/firefox/profiles.ini"),
              "[Profile0]\nName=default\nIsRelative=1\nPath=abcd.default\nDefault=1\n");
    makeDatabase(path("homes/plain/.pki/nssdb"), "Titular Escritorio");
    makeDatabase(path("named/proxy"), "Titular Escritorio");
    registerModule(path("named/proxy"), "p11-kit-proxy", CTO_P11_KIT_PROXY);
}

void TestCertificateTokens::init() {
    qunsetenv("CTO_NSS_DATABASE");
}

void TestCertificateTokens::tokenListedOnceWhoeverNamesIt_data() {
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("named"); // CTO_NSS_DATABASE, under named/ or homes/; empty: unset
    QTest::addColumn<QStringList>("rows");
    const QStringList card = tokenRows("Tarjeta CTO");
    QTest::newRow("two databases and p11-kit name it")
        << "all" << QString()
        << QStringList{kShared + "|Titular Escritorio", "Firefox, perfil default|Titular Perfil"} + card;
    QTest::newRow("p11-kit alone names it")
        << "plain" << QString() << QStringList{kShared + "|Titular Escritorio"} + card;
    QTest::newRow("a named database that registers it")
        << "plain"
        << "homes/all/.pki/nssdb" << QStringList{kShared + "|Titular Escritorio"} + card;
    QTest::newRow("a named database registers p11-kit's proxy")
        << "plain"
        << "named/proxy" << QStringList{kShared + "|Titular Escritorio"} + card;
    // Without p11-kit: the module is loaded in this process already, and still not listed.
    QTest::newRow("a named database that does not register it")
        << "all"
        << "homes/plain/.pki/nssdb" << QStringList{kShared + "|Titular Escritorio"};
}

void TestCertificateTokens::tokenListedOnceWhoeverNamesIt() {
    QFETCH(QString, home);
    QFETCH(QString, named);
    QFETCH(QStringList, rows);
    qputenv("HOME", path("homes/" + home).toUtf8());
    if (!named.isEmpty())
        qputenv("CTO_NSS_DATABASE", path(named).toUtf8());

    const test::PromptRecorder prompt;
    const CertificateListing listing = linkedSendEngine().listCertificates();
    QVERIFY2(!listing.failure, listing.failure.message.c_str());
    QCOMPARE(tokensSorted(rowsOf(listing)), tokensSorted(rows));
    // The card's keys were told by their public halves: no PIN asked to list.
    QCOMPARE(prompt.asked(), QStringList());
    QCOMPARE(modulesLoadedFrom(QFileInfo(modulePath_).canonicalFilePath()), 1);

    // The sending side finds the card's certificates on the card.
    const auto store = CertificateStore::openPersonal();
    for (const CertificateRow& row : listing.rows) {
        const std::optional<StoredCertificate> found = store->findByDer(row.der);
        QVERIFY(found);
        QCOMPARE(found->location(), row.location);
    }
}

// The listing program run as a user other than the superuser (p11-kit reads
// a user's files only for such a process; as root, CI, it runs as "nobody"),
// with that home and the SoftHSM token in tokenDirectory, which becomes that
// user's. Skips the test where no such user can be had.
QStringList TestCertificateTokens::listingAsUser(const QString& home, const QString& tokenDirectory) {
    QStringList command{CTO_LIST_CERTIFICATES};
    if (::getuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable("setpriv").isEmpty())
            return {QStringLiteral("skip")};
        // The card's files are the user's; the rest needs only reading.
        runTool("chown",
                {"-R", QStringLiteral("%1:%2").arg(nobody->pw_uid).arg(nobody->pw_gid), tokenDirectory});
        QFile::setPermissions(folder_.path(),
                              QFile::permissions(folder_.path()) | QFile::ReadOther | QFile::ExeOther);
        // The build tree may lie in a folder that only its owner can enter:
        // the listing runs a copy of the probe that the other user can reach.
        const QString probe = path("probe-for-others");
        if (!QFile::exists(probe))
            QFile::copy(QStringLiteral(CTO_MODULE_PROBE), probe);
        command << probe;
        command = QStringList{"setpriv", QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                              QStringLiteral("--regid=%1").arg(nobody->pw_gid), "--clear-groups"} +
                  command;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("SOFTHSM2_CONF", tokenDirectory + "/softhsm2.conf");
    environment.insert("XDG_CACHE_HOME", home + "/.cache");
    environment.remove("CTO_NSS_DATABASE");
    return listingOf(environment, command);
}

// A card a user registers for themselves, in ~/.config/pkcs11/modules.
void TestCertificateTokens::userModuleFileRegistersACard() {
    const QString userToken = path("user-token");
    const QString home = path("user-home");
    makeToken(userToken, "Tarjeta Usuario");
    const auto listing = [&] { return listingAsUser(home, userToken); };
    // The system's registration of SoftHSM turned off for the listing program...
    const QString modules = home + "/.config/pkcs11/modules";
    writeFile(modules + "/softhsm2.module", "disable-in: cto_list_certificates\n");
    const QStringList none = listing();
    if (none == QStringList{"skip"})
        QSKIP("running as root, without a user \"nobody\" or setpriv to list as another user");
    QCOMPARE(none, QStringList());
    // ...and the user's own file for the card: p11-kit's way of adding one.
    writeFile(modules + "/tarjeta.module", "module: " + modulePath_.toUtf8() + "\n");
    QCOMPARE(tokensSorted(listing()), tokensSorted(tokenRows("Tarjeta Usuario")));
}

void TestCertificateTokens::p11KitModulesAreProbedOneByOne_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("detail"); // how the probe saw it end
    QTest::newRow("aborts in C_GetFunctionList") << "abort" << QString::fromUtf8("terminó con la señal 6");
    QTest::newRow("crashes as it is loaded") << "constructor" << QString::fromUtf8("terminó con la señal");
    QTest::newRow("hangs in C_Initialize") << "hang" << QString::fromUtf8("no respondió en 5 s");
}

// One broken module among p11-kit's registrations costs its own cards alone:
// the card that another registration names is listed, and the broken one is
// named by its registration's name.
void TestCertificateTokens::p11KitModulesAreProbedOneByOne() {
    QFETCH(QString, module);
    QFETCH(QString, detail);
    const QString home = path("p11-kit-" + module);
    const QString token = home + "-token";
    makeToken(token, "Tarjeta Usuario");
    // A copy the other user can reach, in the test's folder.
    const QString library = home + "-lector.so";
    QVERIFY(QFile::copy(CTO_BROKEN_MODULES "/libcto_broken_module_" + module + ".so", library));
    const QString modules = home + "/.config/pkcs11/modules";
    writeFile(modules + "/lector-roto.module", "module: " + library.toUtf8() + "\n");
    writeFile(modules + "/tarjeta.module", "module: " + modulePath_.toUtf8() + "\n");

    const QStringList lines = listingAsUser(home, token);
    if (lines == QStringList{"skip"})
        QSKIP("running as root, without a user \"nobody\" or setpriv to list as another user");
    const QStringList notes = lines.filter(QRegularExpression("^nota\\|"));
    QStringList rows = lines;
    for (const QString& note : notes)
        rows.removeAll(note);
    QCOMPARE(tokensSorted(rows), tokensSorted(tokenRows("Tarjeta Usuario")));
    QCOMPARE(notes.size(), 1);
    const QString named = QString::fromUtf8("nota|El módulo de tarjeta «lector-roto» no responde; sus "
                                            "certificados no se listan (");
    QVERIFY2(notes.front().startsWith(named + detail), qPrintable(notes.front()));
}

QStringList TestCertificateTokens::listingOf(const QProcessEnvironment& environment,
                                             const QStringList& command) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(command.front(), command.mid(1));
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit ||
        program.exitCode() != 0)
        return QStringList{"failed: " + QString::fromUtf8(program.readAllStandardError())};
    return QString::fromUtf8(program.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void TestCertificateTokens::brokenCardModuleIsLeftOutAndNamed_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("detail"); // how the probe saw it end
    QTest::newRow("aborts in C_GetFunctionList")
        << "abort" << QString::fromUtf8("terminó con la señal 6: abortado (SIGABRT)");
    QTest::newRow("crashes as it is loaded") << "constructor" << QString::fromUtf8("terminó con la señal");
    QTest::newRow("hangs in C_Initialize") << "hang" << QString::fromUtf8("no respondió en 5 s");
    QTest::newRow("refuses to start")
        << "initialize" << QString::fromUtf8("C_Initialize respondió «error del dispositivo» (0x30)");
}

// A broken driver registered beside a good card and a software database:
// the listing, in a process of its own so that a fault that slipped through
// would show as that process's death, lists the good sources and names the
// broken module, within the probe's bound.
void TestCertificateTokens::brokenCardModuleIsLeftOutAndNamed() {
    QFETCH(QString, module);
    QFETCH(QString, detail);
    const QString database = path("broken/" + module);
    makeDatabase(database, "Titular Escritorio");
    registerModule(database, "SoftHSM", modulePath_);
    // Written by hand: modutil loads a module to register it, and these would take it down.
    QFile registrations(database + "/pkcs11.txt");
    QVERIFY(registrations.open(QIODevice::Append));
    registrations.write(("\nlibrary=" CTO_BROKEN_MODULES "/libcto_broken_module_" + module +
                         ".so\nname=Lector " + module + "\n\n")
                            .toUtf8());
    registrations.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", path("broken-cache/" + module));
    QElapsedTimer clock;
    clock.start();
    const QStringList lines = listingOf(environment);
    const qint64 spent = clock.elapsed();

    const QStringList notes = lines.filter(QRegularExpression("^nota\\|"));
    QStringList rows = lines;
    for (const QString& note : notes)
        rows.removeAll(note);
    QCOMPARE(tokensSorted(rows),
             tokensSorted(QStringList{kShared + "|Titular Escritorio"} + tokenRows("Tarjeta CTO")));
    QCOMPARE(notes.size(), 1);
    const QString named =
        QString::fromUtf8("nota|El módulo de tarjeta «Lector %1» no responde; sus certificados no se "
                          "listan (")
            .arg(module);
    QVERIFY2(notes.front().startsWith(named + detail), qPrintable(notes.front()));
    QVERIFY2(spent < kModuleProbeBound.count() + 5000, qPrintable(QString::number(spent)));
}

// The probe is installed beside the program, and found there also when the
// engine module is a link to a file in a folder without it. The program here
// is a copy of the listing program that loads the module as the program does.
void TestCertificateTokens::probeIsFoundBesideTheProgram() {
    const QString program = path("programa"), elsewhere = path("otra-carpeta");
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(elsewhere));
    QVERIFY(QFile::copy(QStringLiteral(CTO_LIST_THROUGH_MODULE), program + "/ConexionTulvaOskel"));
    QVERIFY(QFile::copy(QStringLiteral(CTO_MODULE_PROBE), program + "/ConexionTulvaOskelProbe"));
    const QString module = "/libConexionTulvaOskelEngine.so";
    QVERIFY(QFile::copy(QStringLiteral(CTO_ENGINE_MODULE), elsewhere + module));
    QVERIFY(QFile::link(elsewhere + module, program + module));
    const QString database = path("programa-nssdb");
    makeDatabase(database, "Titular Escritorio");
    registerModule(database, "SoftHSM", modulePath_);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", path("programa-cache"));
    const QStringList lines = listingOf(environment, {program + "/ConexionTulvaOskel", program + module});
    QCOMPARE(tokensSorted(lines),
             tokensSorted(QStringList{kShared + "|Titular Escritorio"} + tokenRows("Tarjeta CTO")));
}

void TestCertificateTokens::passingProbeIsRememberedUntilTheLibraryChanges_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("grown by an update") << "grow";
    // Neither size nor modification time tells these apart: the change time does.
    QTest::newRow("rewritten in place, same size, touch -r") << "rewrite";
    QTest::newRow("another file renamed over it, same size, touch -r") << "replace";
}

// A module that passed is not tried again in a process of its own, until its
// library file changes. The probe is wrapped here by a script that counts its runs.
void TestCertificateTokens::passingProbeIsRememberedUntilTheLibraryChanges() {
    QFETCH(QString, change);
    const QString folder = path("copia-" + change);
    const QString library = folder + "/libsofthsm2.so";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QFileInfo(modulePath_).canonicalFilePath(), library));
    const QString runs = folder + "/probe-runs.txt";
    const QString wrapper = notingProbe(folder, runs);
    setModuleProbePath(wrapper);
    const auto restoreProbe = qScopeGuard([] { setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE)); });
    const auto probeRuns = [&] {
        QFile file(runs);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    };
    const ModuleRegistration registration{"Copia", library, {}, {}};

    QCOMPARE(int(probeModule(registration).verdict), int(ModuleProbeOutcome::Verdict::Passed));
    QCOMPARE(probeRuns(), 1);
    QVERIFY(QFile::exists(path("cache/ConexionTulvaOskel/modulos-pkcs11")));
    QCOMPARE(int(probeModule(registration).verdict), int(ModuleProbeOutcome::Verdict::Passed));
    QCOMPARE(probeRuns(), 1);

    // A library replaced is another module until it has shown otherwise.
    const QString reference = folder + "/reference";
    QVERIFY(QFile::copy(library, reference)); // keeps the first copy's bytes; its times are set below
    runTool("touch", {"-r", library, reference});
    QFile file(library);
    if (change == "grow") {
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(16, '\0'));
        file.close();
    } else if (change == "rewrite") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll();
        QVERIFY(file.seek(0));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        runTool("touch", {"-r", reference, library});
    } else {
        const QString other = folder + "/other.so";
        QVERIFY(QFile::copy(reference, other));
        QCOMPARE(::rename(QFile::encodeName(other).constData(), QFile::encodeName(library).constData()), 0);
        runTool("touch", {"-r", reference, library});
    }
    QCOMPARE(int(probeModule(registration).verdict), int(ModuleProbeOutcome::Verdict::Passed));
    QCOMPARE(probeRuns(), 2);
}

// The ways another user could have put a file there, as rows: the file's
// mode, its folder's, whether the file is given to nobody, and the refusal
// (%1 the file, %2 its folder). what names the file in the rows' names.
static void addOthersCouldReplaceRows(const char* what) {
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("givenToNobody");
    QTest::addColumn<QString>("refusal"); // empty: the file is used
    QTest::addRow("%s its group can write", what)
        << 0775 << 0700 << false
        << QString::fromUtf8("otros usuarios pueden modificar el fichero «%1» (permisos 0775)");
    QTest::addRow("%s in a folder others can write", what)
        << 0755 << 0777 << false
        << QString::fromUtf8("otros usuarios pueden sustituir el fichero «%1», porque pueden escribir en su "
                             "carpeta «%2» (permisos 0777)");
    QTest::addRow("%s of another user", what)
        << 0755 << 0700 << true
        << QString::fromUtf8(
               "el fichero «%1» es de otro usuario, nobody (uid 65534), que podría modificarlo");
}

// Sets the row's modes on the file and its folder and, where the row says so,
// gives the file to nobody; false when that cannot be done (only root can
// give a file away).
static bool setUpAsTheRowSays(const QString& file, const QString& folder) {
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(bool, givenToNobody);
    if (::chmod(QFile::encodeName(file).constData(), mode_t(fileMode)) != 0 ||
        ::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) != 0)
        return false;
    const passwd* nobody = givenToNobody ? ::getpwnam("nobody") : nullptr;
    return !givenToNobody ||
           (nobody && ::chown(QFile::encodeName(file).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
}

void TestCertificateTokens::moduleOthersCouldReplaceIsNotLoaded_data() {
    addOthersCouldReplaceRows("a library");
}

// A card module that a user's own file registers is the user's code only if
// no one else could have written it: otherwise it is neither tried in the
// probe's process nor loaded here, even once it has passed its probe (the file
// may have changed since), and the dialog says why.
void TestCertificateTokens::moduleOthersCouldReplaceIsNotLoaded() {
    QFETCH(QString, refusal);
    static int round = 0;
    const QString folder = path(QStringLiteral("untrusted-%1").arg(++round));
    const QString library = folder + "/libsofthsm2.so";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QFileInfo(modulePath_).canonicalFilePath(), library));
    const ModuleRegistration registration{"Lector ajeno", library, {}, {}};
    // Trusted, it passes (and is remembered as passed).
    QCOMPARE(int(probeModule(registration).verdict), int(ModuleProbeOutcome::Verdict::Passed));

    if (!setUpAsTheRowSays(library, folder))
        QSKIP("only root can give a file to another user");
    const QString why =
        QString(refusal).replace(QLatin1String("%1"), library).replace(QLatin1String("%2"), folder);
    const ModuleProbeOutcome probed = probeModule(registration);
    QCOMPARE(int(probed.verdict), int(ModuleProbeOutcome::Verdict::Untrusted));
    QCOMPARE(probed.detail, why);
    const nss::LoadedModule& loaded = nss::loadModuleOnce(registration, library);
    QVERIFY(!loaded.module);
    QCOMPARE(loaded.failure, QString::fromUtf8("El módulo de tarjeta «Lector ajeno» no se carga: ") + why);
}

void TestCertificateTokens::probeOthersCouldReplaceIsNotRun_data() {
    addOthersCouldReplaceRows("a probe");
    QTest::newRow("the user's own probe") << 0755 << 0700 << false << QString();
}

// The probe runs as the user; one that another user could have written or
// replaced is never run, and the dialog says why. The probe is a script that
// counts its runs, which also shows that the file run is the file checked.
void TestCertificateTokens::probeOthersCouldReplaceIsNotRun() {
    QFETCH(QString, refusal);
    static int round = 0;
    const QString folder = path(QStringLiteral("probe-%1").arg(++round));
    const QString library =
        path(QStringLiteral("modules-%1/libsofthsm2.so").arg(round)); // never passed before
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(QFileInfo(library).path()));
    QVERIFY(QFile::copy(QFileInfo(modulePath_).canonicalFilePath(), library));
    const QString runs = folder + "-runs.txt";
    const QString probe = folder + "/ConexionTulvaOskelProbe";
    writeFile(probe,
              ("#!/bin/sh\necho \"$1\" >>'" + runs + "'\nexec '" CTO_MODULE_PROBE "' \"$@\"\n").toUtf8());
    if (!setUpAsTheRowSays(probe, folder))
        QSKIP("only root can give a file to another user");
    setModuleProbePath(probe);
    const auto restore = qScopeGuard([] { setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE)); });

    const ModuleProbeOutcome outcome = probeModule({"Copia", library, {}, {}});
    QFile ran(runs);
    const int probeRuns = ran.open(QIODevice::ReadOnly) ? int(ran.readAll().count('\n')) : 0;
    if (refusal.isEmpty()) {
        QCOMPARE(int(outcome.verdict), int(ModuleProbeOutcome::Verdict::Passed));
        QCOMPARE(probeRuns, 1);
        return;
    }
    QCOMPARE(int(outcome.verdict), int(ModuleProbeOutcome::Verdict::ProbeRefused));
    QCOMPARE(outcome.detail,
             QString(refusal).replace(QLatin1String("%1"), probe).replace(QLatin1String("%2"), folder));
    QCOMPARE(probeRuns, 0);
}

void TestCertificateTokens::failedModuleIsRememberedUntilItsLibraryChanges_data() {
    QTest::addColumn<QString>("module");
    QTest::newRow("hangs in C_Initialize") << "hang";
    QTest::newRow("crashes as it is loaded") << "constructor";
}

// A module that crashed or hung in its probe is remembered by its library
// file: the next run starts no probe for it (nor for the card that passed),
// and names it again; a library replaced is tried again. Each run is a
// process of its own, the probe wrapped by a script that notes its runs.
void TestCertificateTokens::failedModuleIsRememberedUntilItsLibraryChanges() {
    QFETCH(QString, module);
    const QString folder = path("recordado-" + module);
    const QString library = folder + "/lector.so";
    QVERIFY(QDir().mkpath(folder));
    const QString broken = CTO_BROKEN_MODULES "/libcto_broken_module_" + module + ".so";
    QVERIFY(QFile::copy(broken, library));
    const QString database = folder + "/nssdb";
    makeDatabase(database, "Titular Escritorio");
    registerModule(database, "SoftHSM", modulePath_);
    QFile registrations(database + "/pkcs11.txt");
    QVERIFY(registrations.open(QIODevice::Append));
    registrations.write(("\nlibrary=" + library + "\nname=Lector roto\n\n").toUtf8());
    registrations.close();
    const QString runs = folder + "/probe-runs.txt";
    const QString wrapper = notingProbe(folder, runs);
    const auto probeRuns = [&runs] {
        QFile file(runs);
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    };

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", folder + "/cache");
    const QStringList expected =
        tokensSorted(QStringList{kShared + "|Titular Escritorio"} + tokenRows("Tarjeta CTO"));
    const QString named = QString::fromUtf8("nota|El módulo de tarjeta «Lector roto» no responde; sus "
                                            "certificados no se listan (");
    const auto listing = [&] {
        QStringList lines = listingOf(environment, {CTO_LIST_CERTIFICATES, wrapper});
        const QStringList notes = lines.filter(QRegularExpression("^nota\\|"));
        for (const QString& note : notes)
            lines.removeAll(note);
        return std::make_pair(tokensSorted(lines), notes);
    };

    auto [rows, notes] = listing();
    QCOMPARE(rows, expected);
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.front().startsWith(named), qPrintable(notes.front()));
    const QString firstNote = notes.front();
    QCOMPARE(probeRuns().count(library), 1);
    const qsizetype firstRuns = probeRuns().size();

    std::tie(rows, notes) = listing();
    QCOMPARE(rows, expected);
    QCOMPARE(notes, QStringList{firstNote});
    QCOMPARE(probeRuns().size(), firstRuns);

    // Reinstalled: another file at its path.
    const QString reinstalled = folder + "/nuevo.so";
    QVERIFY(QFile::copy(broken, reinstalled));
    QCOMPARE(::rename(QFile::encodeName(reinstalled).constData(), QFile::encodeName(library).constData()), 0);
    std::tie(rows, notes) = listing();
    QCOMPARE(notes, QStringList{firstNote});
    QCOMPARE(probeRuns().count(library), 2);
}

// The process of the probe that runs a library, if any: its process id.
qint64 probeRunning(const QString& library) {
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile command("/proc/" + entry + "/cmdline");
        if (!command.open(QIODevice::ReadOnly) || !command.readAll().contains("ConexionTulvaOskelProbe"))
            continue;
        // The probe runs the library from a descriptor of the file the program checked.
        const QDir descriptors("/proc/" + entry + "/fd");
        bool runsIt = false;
        for (const QFileInfo& descriptor : descriptors.entryInfoList(QDir::Files | QDir::System))
            runsIt = runsIt || descriptor.symLinkTarget() == library;
        if (!runsIt)
            continue;
        QFile state("/proc/" + entry + "/stat");
        // A process that ended and waits to be reaped runs no more.
        if (state.open(QIODevice::ReadOnly) && !state.readAll().contains(") Z "))
            return entry.toLongLong();
    }
    return 0;
}

// A program killed while a driver hangs in its probe takes the probe with
// it: no process is left behind, hanging on.
void TestCertificateTokens::hangingProbeGoesWithTheProgram() {
    const QString folder = path("huerfano");
    const QString library = folder + "/lector-colgado.so";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(CTO_BROKEN_MODULES "/libcto_broken_module_hang.so", library));
    const QString database = folder + "/nssdb";
    makeDatabase(database, "Titular Escritorio");
    test::appendFile(database + "/pkcs11.txt", "\nlibrary=" + library.toUtf8() + "\nname=Lector colgado\n\n");
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", folder + "/cache");
    program.setProcessEnvironment(environment);
    program.start(CTO_LIST_CERTIFICATES, {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(probeRunning(library) != 0, 20000);
    const qint64 probe = probeRunning(library);
    const auto stopProbe = qScopeGuard([probe] { ::kill(pid_t(probe), SIGKILL); });
    program.kill();
    QVERIFY(program.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(probeRunning(library), qint64(0), 20000);
}

// A process is gone once it has ended, reaped or not.
bool processRuns(qint64 id) {
    QFile state(QStringLiteral("/proc/%1/stat").arg(id));
    return state.open(QIODevice::ReadOnly) && !state.readAll().contains(") Z ");
}

// A driver that hangs after starting a helper process of its own: when the
// probe's bound runs out, the helper ends with it rather than hang on.
void TestCertificateTokens::helperOfAHangingDriverEndsWithItsProbe() {
    const QString folder = path("ayudante");
    const QString notes = folder + "/ayudante.txt";
    const QString database = folder + "/nssdb";
    makeDatabase(database, "Titular Escritorio");
    test::appendFile(database + "/pkcs11.txt", "\nlibrary=" CTO_BROKEN_MODULES
                                               "/libcto_broken_module_hang.so\n"
                                               "name=Lector con ayudante\nparameters=" +
                                                   notes.toUtf8() + "\n\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", folder + "/cache");
    const QStringList lines = listingOf(environment);
    QFile noted(notes);
    QVERIFY2(noted.open(QIODevice::ReadOnly), "the driver was never started");
    const qint64 helper = noted.readAll().trimmed().toLongLong();
    QVERIFY(helper > 0);
    const auto stopHelper = qScopeGuard([helper] { ::kill(pid_t(helper), SIGKILL); });
    const QString named =
        QString::fromUtf8("nota|El módulo de tarjeta «Lector con ayudante» no responde; sus "
                          "certificados no se listan (no respondió en 5 s");
    QVERIFY2(lines.size() == 2 && lines.filter(named).size() == 1, qPrintable(lines.join(" | ")));
    // The listing has ended: whatever the probe left is left for good.
    QTRY_VERIFY_WITH_TIMEOUT(!processRuns(helper), 10000);
}

// A card module that needs its parameters gets them as its pkcs11.txt entry
// gives them, in the probe's process and in the program's.
void TestCertificateTokens::moduleIsStartedWithItsParameters() {
    const QString database = path("parameters");
    makeDatabase(database, "Titular Escritorio");
    const QString notes = path("parameters-received.txt");
    QFile registrations(database + "/pkcs11.txt");
    QVERIFY(registrations.open(QIODevice::Append));
    registrations.write(("\nlibrary=" CTO_BROKEN_MODULES "/libcto_broken_module_none.so\nname=Lector con "
                         "parametros\nparameters=" +
                         notes + "\nNSS=trustOrder=75\n\n")
                            .toUtf8());
    registrations.close();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CTO_NSS_DATABASE", database);
    environment.insert("XDG_CACHE_HOME", path("parameters-cache"));
    program.setProcessEnvironment(environment);
    program.start(CTO_LIST_CERTIFICATES, {});
    QVERIFY(program.waitForStarted());
    const qint64 listingProcess = program.processId();
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()).trimmed(), kShared + "|Titular Escritorio");

    QFile received(notes);
    QVERIFY(received.open(QIODevice::ReadOnly));
    const QStringList starts = QString::fromUtf8(received.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(starts.size(), 2); // the probe's, then the program's own
    QVERIFY2(starts.contains(QStringLiteral("%1 %2").arg(listingProcess).arg(notes)),
             qPrintable(starts.join(" | ")));
    QVERIFY2(!starts.first().startsWith(QString::number(listingProcess)), qPrintable(starts.first()));
}

CTO_TEST_GUILESS_MAIN(TestCertificateTokens)
#include "tst_certificate_tokens.moc"
