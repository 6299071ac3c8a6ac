// The whole run as a user makes it: the real program on an X server with no
// window manager, the simulated office demanding a client certificate, a test
// NSS database as the user's store, and every window answered from the
// keyboard with xdotool once it holds the focus.
#include "support/PrivateXServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every wait is bounded: a window that never comes fails the test in seconds.
constexpr int kWindowTimeoutMs = 20000;

const QString kCertificateDialog = QString::fromUtf8("Selección de Certificado");
const QString kMessageCaption = QStringLiteral("Conexiontulvaoskel"); // the application title
const QString kSaveDialog = QStringLiteral("Guardar resultados del envio");

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void surveyGoesOutWithTheChosenCertificate();

private:
    bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr);
    // Waits until the window with that title holds the keyboard focus, then
    // sends the xdotool command; false, with the failure recorded, when it never does.
    bool whenFocused(const QString& title, const QStringList& xdotoolCommand);

    QTemporaryDir folder_;
    cto::test::PrivateXServer xServer_;
    QProcess office_;
    QProcessEnvironment desktop_;
    QString xdotool_;
    QString servicePort_;
};

bool TestEndToEnd::runTool(const QString& program, const QStringList& arguments, QString* output) {
    QProcess tool;
    tool.setProcessEnvironment(desktop_);
    tool.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::ForwardedChannels);
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    return finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

void TestEndToEnd::initTestCase() {
    QVERIFY(folder_.isValid());
    xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    QVERIFY2(!xdotool_.isEmpty(), "Xvfb and xdotool are needed (scripts/install-deps.sh)");

    // An X server of our own on a free display, without a window manager.
    const QString display = xServer_.start();
    QVERIFY2(!display.isEmpty(), "Xvfb did not start");
    desktop_ = QProcessEnvironment::systemEnvironment();
    desktop_.insert(QStringLiteral("DISPLAY"), display);
    desktop_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    desktop_.remove(QStringLiteral("CTO_EXIT_WHEN_SHOWN"));

    // The office, and a store whose certificates its authority issued.
    const QString state = folder_.filePath(QStringLiteral("office"));
    office_.setProcessChannelMode(QProcess::ForwardedChannels);
    office_.start(QStringLiteral(CTO_SIMULATED_OFFICE),
                  {"--state-dir", state, "--record", folder_.filePath(QStringLiteral("exchanges"))});
    QVERIFY(office_.waitForStarted());
    const QString portFile = state + QStringLiteral("/port");
    QVERIFY2(QTest::qWaitFor([&] { return QFile::exists(portFile) || office_.state() != QProcess::Running; },
                             kWindowTimeoutMs),
             "the simulated office did not start");
    servicePort_ = QString::fromLatin1(contentOf(portFile)).trimmed();
    QVERIFY(!servicePort_.isEmpty());
    QVERIFY(runTool(QStringLiteral("sh"),
                    {QStringLiteral(CTO_TESTS_DIR "/support/make-test-nssdb.sh"),
                     folder_.filePath(QStringLiteral("nssdb")), state + "/ca.pem", state + "/ca.key"}));
}

void TestEndToEnd::cleanupTestCase() {
    office_.terminate();
    office_.waitForFinished(5000);
    xServer_.stop();
}

bool TestEndToEnd::whenFocused(const QString& title, const QStringList& xdotoolCommand) {
    QString focused;
    const bool arrived = QTest::qWaitFor(
        [&] {
            return runTool(xdotool_, {"getwindowfocus", "getwindowname"}, &focused) && focused == title;
        },
        kWindowTimeoutMs);
    if (!arrived) {
        QTest::qFail(
            qPrintable(QStringLiteral("\"%1\" never took the focus; it is on \"%2\"").arg(title, focused)),
            __FILE__, __LINE__);
        return false;
    }
    return runTool(xdotool_, xdotoolCommand);
}

void TestEndToEnd::surveyGoesOutWithTheChosenCertificate() {
    // A copy of the program and its engine in a folder of their own: the
    // response file lands beside them.
    const QString programFolder = folder_.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(programFolder));
    const QString program = programFolder + QStringLiteral("/ConexionTulvaOskel");
    QVERIFY(QFile::copy(QStringLiteral(CTO_PROGRAM), program));
    QVERIFY(QFile::copy(QStringLiteral(CTO_ENGINE_MODULE),
                        programFolder + QStringLiteral("/libConexionTulvaOskelEngine.so")));
    const QString survey = QStringLiteral(CTO_SOURCE_DIR "/tools/simulated_office/encuesta-ejemplo.xml");
    const QString work = folder_.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QVERIFY(QFile::copy(survey, work + QStringLiteral("/encuesta.xml")));
    const QString copy = folder_.filePath(QStringLiteral("copia-guardada.xml"));

    QProcess run;
    QProcessEnvironment environment = desktop_;
    environment.insert(QStringLiteral("CTO_SERVICE_HOST"), QStringLiteral("127.0.0.1:") + servicePort_);
    environment.insert(QStringLiteral("CTO_SERVICE_CA_FILE"),
                       folder_.filePath(QStringLiteral("office/ca.pem")));
    environment.insert(QStringLiteral("CTO_NSS_DATABASE"), folder_.filePath(QStringLiteral("nssdb")));
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.setWorkingDirectory(work);
    run.start(program, {QStringLiteral("encuesta.xml")});
    QVERIFY(run.waitForStarted());
    const auto stopRun = qScopeGuard([&] {
        if (run.state() != QProcess::NotRunning) {
            run.kill();
            run.waitForFinished(5000);
        }
    });

    // Rows: Cliente Prueba (expired), Cliente Prueba, Peña Muñoz, Organismo Sin Clave.
    // The list holds the focus with no row selected: two steps down select Peña Muñoz.
    QVERIFY(whenFocused(kCertificateDialog, {"key", "--delay", "100", "Down", "Down", "alt+a"}));
    QVERIFY(whenFocused(kMessageCaption, {"key", "Return"})); // the outcome
    QVERIFY(whenFocused(kSaveDialog, {"key", "ctrl+a"}));
    QVERIFY(runTool(xdotool_, {"type", "--delay", "20", copy}));
    QVERIFY(runTool(xdotool_, {"key", "Return"}));

    QVERIFY2(run.waitForFinished(kWindowTimeoutMs), "the program did not end");
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);

    // What the office received: the survey byte for byte, with the chosen certificate.
    const QString exchanges = folder_.filePath(QStringLiteral("exchanges"));
    QCOMPARE(contentOf(exchanges + QStringLiteral("/001-request.xml")), contentOf(survey));
    QCOMPARE(QString::fromUtf8(contentOf(exchanges + QStringLiteral("/001-client.txt"))),
             QString::fromUtf8("Peña Muñoz\n"));
    QVERIFY2(!QFile::exists(exchanges + QStringLiteral("/002-request.xml")), "the survey went out twice");
    // The response file and the saved copy: the office's answer element alone, in its namespace.
    const QByteArray expected = contentOf(exchanges + QStringLiteral("/001-expected-response.xml"));
    QVERIFY(expected.startsWith(
        "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\"><NumeroOrden>OSK-"));
    QCOMPARE(contentOf(programFolder + QStringLiteral("/encuesta-response.xml")), expected);
    QCOMPARE(contentOf(copy), expected);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
