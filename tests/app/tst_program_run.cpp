// The real program, started as the calling program starts it: on an X server
// with no window manager (nothing activates a window unless the program asks),
// its message boxes answered from the keyboard. Every run exits with status 0.
#include "certificates/TestNssDatabase.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include "support/PrivateXServer.h"
#include "support/TestMain.h"
#include <QDir>
#include <QFile>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

#include <sys/resource.h>

using cto::test::Reply;

namespace {

const QString kCaption = QStringLiteral("Conexiontulvaoskel"); // the application title
const QString kSaveTitle = QStringLiteral("Guardar resultados del envio");
const QString kCertificateDialog = QStringLiteral("Selección de Certificado");
const QString kPasswordDialog = QStringLiteral("Contraseña del almacén de certificados");
const QString kStorePassword = QStringLiteral("clave-de-prueba");
const QString kModuleName = QStringLiteral("libConexionTulvaOskelEngine.so");

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestProgramRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void failureRunExitsWithZero();
    void coreDumpsAreOff();
    void endingSignalDuringTheExchange_data();
    void endingSignalDuringTheExchange();
    void acceptedRunExitsWithZero();
    void fileSizeLimitIsAFailureNotAKill();
    void descriptorLimitEndsInAMessage_data();
    void descriptorLimitEndsInAMessage();
    void programWithoutItsEngine();
    void offscreenShowsTheWindow();

private:
    void startProgram(const QStringList& arguments, const QString& platform = QStringLiteral("xcb"));
    // Waits until the window with that title holds the keyboard focus, then
    // runs the xdotool command (keys to press, text to type).
    void whenFocused(const QString& title, const QStringList& xdotoolCommand);
    void pressWhenFocused(const QString& title, const QString& key) {
        whenFocused(title, {QStringLiteral("key"), key});
    }
    void expectExitZero();
    void sendWithProtectedKey(const Reply& answer = {});

    cto::test::PrivateXServer xServer_;
    QString display_;
    QString xdotool_;
    std::unique_ptr<cto::test::TestPki> pki_;
    std::unique_ptr<cto::test::TlsTestServer> server_;
    std::unique_ptr<QTemporaryDir> folder_;
    QString program_;
    QProcess process_;
};

void TestProgramRun::initTestCase() {
    xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    QVERIFY2(!xdotool_.isEmpty(), "Xvfb and xdotool are needed (scripts/install-deps.sh)");
    display_ = xServer_.start();
    QVERIFY2(!display_.isEmpty(), "Xvfb did not start");

    pki_ = std::make_unique<cto::test::TestPki>();
    cto::test::TlsTestServer::Options options;
    options.clientCertificates = cto::test::ClientCertificateMode::Require;
    server_ = std::make_unique<cto::test::TlsTestServer>(*pki_, options);
}

void TestProgramRun::cleanupTestCase() {
    xServer_.stop();
}

void TestProgramRun::init() {
    // A copy of the program and its engine in a folder of its own: the
    // response file lands beside it.
    folder_ = std::make_unique<QTemporaryDir>();
    program_ = folder_->filePath(QStringLiteral("ConexionTulvaOskel"));
    QVERIFY(QFile::copy(QStringLiteral(CTO_PROGRAM), program_));
    QVERIFY(QFile::copy(QStringLiteral(CTO_ENGINE_MODULE), folder_->filePath(kModuleName)));
    QVERIFY(QFile::copy(QStringLiteral(CTO_MODULE_PROBE),
                        folder_->filePath(QStringLiteral("ConexionTulvaOskelProbe"))));
    server_->clearExchanges();
    QFile survey(folder_->filePath(QStringLiteral("encuesta.xml")));
    QVERIFY(survey.open(QIODevice::WriteOnly));
    survey.write("<Encuesta><Mes>11</Mes></Encuesta>");
}

void TestProgramRun::cleanup() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

void TestProgramRun::startProgram(const QStringList& arguments, const QString& platform) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("CTO_SERVICE_HOST"), QString::fromStdString(server_->hostAndPort()));
    environment.insert(QStringLiteral("CTO_SERVICE_CA_FILE"),
                       QString::fromStdString(pki_->caCertificatePath()));
    environment.remove(QStringLiteral("CTO_EXIT_WHEN_SHOWN"));
    environment.insert(QStringLiteral("HOME"),
                       folder_->path()); // the user's certificate store lives below it
    if (platform == QLatin1String("offscreen"))
        environment.insert(QStringLiteral("CTO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    process_.setProcessEnvironment(environment);
    process_.setWorkingDirectory(folder_->path());
    process_.start(program_, arguments);
    QVERIFY(process_.waitForStarted());
}

void TestProgramRun::whenFocused(const QString& title, const QStringList& xdotoolCommand) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    const auto focused = [&] {
        QProcess query;
        query.setProcessEnvironment(environment);
        query.start(xdotool_, {QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")});
        query.waitForFinished(5000);
        return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    };
    QVERIFY2(QTest::qWaitFor([&] { return focused() == title; }, 15000),
             qPrintable(QStringLiteral("\"%1\" never took the focus; it is on \"%2\"; the program said: %3")
                            .arg(title, focused(), QString::fromLocal8Bit(process_.readAllStandardError()))));
    QProcess press;
    press.setProcessEnvironment(environment);
    press.start(xdotool_, xdotoolCommand);
    QVERIFY(press.waitForFinished(5000));
}

void TestProgramRun::expectExitZero() {
    QVERIFY(process_.waitForFinished(15000));
    QCOMPARE(process_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process_.exitCode(), 0);
}

void TestProgramRun::failureRunExitsWithZero() {
    startProgram({}); // no survey named
    pressWhenFocused(kCaption, QStringLiteral("Return"));
    expectExitZero();
    QVERIFY(!QFile::exists(folder_->filePath(QStringLiteral("-response.xml"))));
}

// The program may hold a password or a PIN: whatever limit it was started
// with, it leaves no core file. Read from the running program, once its
// window shows.
void TestProgramRun::coreDumpsAreOff() {
    process_.setChildProcessModifier([] {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_CORE, &unlimited);
    });
    startProgram({});
    process_.setChildProcessModifier({});
    whenFocused(kCaption, {QStringLiteral("getwindowfocus")}); // the window is up: main has begun
    QFile limits(QStringLiteral("/proc/%1/limits").arg(process_.processId()));
    QVERIFY(limits.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(limits.readAll());
    const QRegularExpression core(QStringLiteral("^Max core file size +(\\S+) +(\\S+)"),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = core.match(text);
    QVERIFY2(found.hasMatch(), qPrintable(text));
    QCOMPARE(found.captured(1), QStringLiteral("0")); // soft
    QCOMPARE(found.captured(2), QStringLiteral("0")); // hard: nothing in it can raise it again
    pressWhenFocused(kCaption, QStringLiteral("Return"));
    expectExitZero();
}

void TestProgramRun::endingSignalDuringTheExchange_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM (the desktop logging out)") << int(SIGTERM);
    QTest::newRow("SIGHUP (the terminal closing)") << int(SIGHUP);
}

// A signal that ends the session while the office holds its answer ends the
// run as the stop button does, without waiting on any window: status 0,
// nothing stored, no lock or half-written file left beside the program.
void TestProgramRun::endingSignalDuringTheExchange() {
    QFETCH(int, signal);
    Reply silent;
    silent.ending = Reply::Ending::NeverAnswer;
    sendWithProtectedKey(silent);
    // The office has the survey: the program waits on the network.
    QVERIFY(server_->waitForExchanges(1, std::chrono::milliseconds(15000)));
    QVERIFY(::kill(pid_t(process_.processId()), signal) == 0);
    expectExitZero();
    const QStringList left = QDir(folder_->path())
                                 .entryList({QStringLiteral("*response*"), QStringLiteral(".encuesta*")},
                                            QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList());
}

// A real receipt for a certificate whose key is behind the store's password:
// the engine asks for it through the program's own dialog.
void TestProgramRun::acceptedRunExitsWithZero() {
    sendWithProtectedKey();
    pressWhenFocused(kCaption, QStringLiteral("Return"));   // the outcome
    pressWhenFocused(kSaveTitle, QStringLiteral("Escape")); // no copy
    expectExitZero();
    QVERIFY(server_->waitForExchanges(1, std::chrono::milliseconds(1000)));
    QCOMPARE(server_->exchanges().front().clientCommonName, std::string("Peña Muñoz"));
    const QByteArray response = contentOf(folder_->filePath(QStringLiteral("encuesta-response.xml")));
    QVERIFY2(response.startsWith("<RespuestaSolicitudEncuesta ") &&
                 response.contains("<NumeroOrden xsi:type=\"xsd:string\">2026-000417</NumeroOrden>"),
             response.constData());
}

// Under a file-size limit (a full quota stands for it) the receipt's write
// fails with the run's own message, and the process ends with status 0
// instead of being killed by the signal the limit sends.
void TestProgramRun::fileSizeLimitIsAFailureNotAKill() {
    process_.setChildProcessModifier([] {
        const rlimit limit{256, 256};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    sendWithProtectedKey();
    process_.setChildProcessModifier({});
    pressWhenFocused(kCaption, QStringLiteral("Return")); // the write's failure
    expectExitZero();
    QVERIFY(!QFile::exists(folder_->filePath(QStringLiteral("encuesta-response.xml"))));
}

void TestProgramRun::descriptorLimitEndsInAMessage_data() {
    QTest::addColumn<int>("soft");
    QTest::addColumn<int>("hard");
    QTest::addColumn<QString>("outcome");
    // A limit this low fails every window: Qt or GLib abort, or the window
    // shows and takes no key.
    QTest::newRow("too few for any window") << 12 << 12 << QStringLiteral("said on stderr");
    // Enough for the window; the run would run out midway (the store's
    // databases, the probe's pipes, the save dialog).
    QTest::newRow("too few for a run") << 40 << 40 << QStringLiteral("shown");
    rlimit ours{};
    ::getrlimit(RLIMIT_NOFILE, &ours);
    if (ours.rlim_max >= 1024) // what a desktop allows at the least
        QTest::newRow("a low soft limit is raised")
            << 20 << int(std::min<rlim_t>(ours.rlim_max, 4096)) << QStringLiteral("sent");
}

// Short of descriptors, the run ends in a message before anything reaches
// the office, with status 0, instead of hanging, aborting or losing a receipt.
void TestProgramRun::descriptorLimitEndsInAMessage() {
    QFETCH(int, soft);
    QFETCH(int, hard);
    QFETCH(QString, outcome);
    process_.setChildProcessModifier([soft, hard] {
        const rlimit limit{rlim_t(soft), rlim_t(hard)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    if (outcome == QLatin1String("sent")) {
        sendWithProtectedKey();
        process_.setChildProcessModifier({});
        pressWhenFocused(kCaption, QStringLiteral("Return"));
        pressWhenFocused(kSaveTitle, QStringLiteral("Escape"));
        expectExitZero();
        QVERIFY(QFile::exists(folder_->filePath(QStringLiteral("encuesta-response.xml"))));
        return;
    }
    startProgram({QStringLiteral("encuesta.xml")});
    process_.setChildProcessModifier({});
    if (outcome == QLatin1String("shown"))
        pressWhenFocused(kCaption, QStringLiteral("Return")); // the first window is the failure
    expectExitZero();
    const QString said = QString::fromLocal8Bit(process_.readAllStandardError());
    QCOMPARE(said.contains(
                 QStringLiteral("EFOpenError error, con el mensaje : El sistema solo permite a este "
                                "programa tener 12 ficheros y conexiones abiertos a la vez (ulimit -n)")),
             outcome == QLatin1String("said on stderr"));
    QVERIFY(server_->exchanges().empty());
    QVERIFY(!QFile::exists(folder_->filePath(QStringLiteral("encuesta-response.xml"))));
}

// Runs the program on the survey against an office that answers with a
// receipt: it picks Peña Muñoz, whose key is behind the store's password,
// and types the password in the program's own prompt.
void TestProgramRun::sendWithProtectedKey(const Reply& answer) {
    const QString store = folder_->filePath(QStringLiteral(".pki/nssdb"));
    cto::test::makeTestNssDatabase({QStringLiteral("--password"), kStorePassword, store,
                                    QString::fromStdString(pki_->caCertificatePath()),
                                    QString::fromStdString(pki_->caKeyPath())});
    if (answer.body.empty() && answer.ending == Reply::Ending::KeepAlive)
        server_->enqueue(Reply::ok(
            contentOf(QStringLiteral(CTO_TEST_DATA_DIR "/response-soap-receipt.xml")).toStdString()));
    else
        server_->enqueue(answer);
    startProgram({QStringLiteral("encuesta.xml")});
    // Rows: Cliente Prueba (expired), Cliente Prueba, Peña Muñoz.
    // The list holds the focus with no row selected: two steps down select Peña Muñoz.
    whenFocused(kCertificateDialog, {"key", "--delay", "100", "Down", "Down", "alt+a"});
    whenFocused(kPasswordDialog, {"type", "--delay", "20", kStorePassword});
    pressWhenFocused(kPasswordDialog, QStringLiteral("Return"));
}

// A program copied without its engine says so and loads no other build's:
// the first window is the failure message, and nothing reaches the office.
void TestProgramRun::programWithoutItsEngine() {
    QVERIFY(QFile::remove(folder_->filePath(kModuleName)));
    startProgram({QStringLiteral("encuesta.xml")});
    pressWhenFocused(kCaption, QStringLiteral("Return"));
    expectExitZero();
    QVERIFY(server_->exchanges().empty());
    QVERIFY(!QFile::exists(folder_->filePath(QStringLiteral("encuesta-response.xml"))));
}

// The benchmark's switch: the window is shown on the offscreen platform and
// the process ends there with status 0, before the run starts.
void TestProgramRun::offscreenShowsTheWindow() {
    server_->clearExchanges();
    startProgram({QStringLiteral("encuesta.xml")}, QStringLiteral("offscreen"));
    expectExitZero();
    QVERIFY(QString::fromLatin1(process_.readAllStandardOutput()).startsWith(QStringLiteral("shown ")));
    QVERIFY(server_->exchanges().empty());
}

CTO_TEST_GUILESS_MAIN(TestProgramRun)
#include "tst_program_run.moc"
