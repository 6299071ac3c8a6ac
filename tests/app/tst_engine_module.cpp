// The main window with the send engine loaded as the program loads it: from
// the engine module, at the workflow's start. Failures raised inside the
// module reach the window's one failure message with their kind name.
#include "WorkflowRun.h"

#include "app/SendEngine.h"
#include "app/SendEngineLoader.h"
#include "common/FailureKinds.h"
#include "support/ExpectFailure.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace cto {

// The windows' engine in this test: the real module, named by its path.
SendEngine& sendEngine() {
    static SendEngine& engine = loadSendEngine(QStringLiteral(CTO_ENGINE_MODULE));
    return engine;
}

} // namespace cto

using cto::test::answerNextMessage;
using cto::test::Reply;
using cto::test::WorkflowRun;

class TestEngineModule : public QObject {
    Q_OBJECT

private slots:
    void failureInsideTheModuleReachesTheMessage();
    void moduleThatCannotBeLoaded();
    void moduleOfAnotherVersion();
};

void TestEngineModule::failureInsideTheModuleReachesTheMessage() {
    cto::test::TestPki pki;
    cto::test::TlsTestServer server(pki);
    qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(server.hostAndPort()));
    qputenv("CTO_SERVICE_CA_FILE", QByteArray::fromStdString(pki.caCertificatePath()));
    server.enqueue(Reply::status("HTTP/1.1 404 Not Found", "<h1>gone</h1>", "text/html"));
    QTemporaryDir folder;
    QFile survey(folder.filePath(QStringLiteral("encuesta.xml")));
    QVERIFY(survey.open(QIODevice::WriteOnly));
    survey.write("<Encuesta><Mes>11</Mes></Encuesta>");
    survey.close();

    const QString previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    auto shown = answerNextMessage();
    WorkflowRun run({QStringLiteral("encuesta.xml")}, folder.path());
    const bool ended = run.showAndWait();
    QDir::setCurrent(previousFolder);
    QVERIFY(ended);

    QVERIFY(shown->has_value());
    QCOMPARE((*shown)->text, QStringLiteral("ESOAPHTTPException error, con el mensaje : Not Found (404) - "
                                            "'https://%1/TULVA/services/ServicioXmlTurismo?'")
                                 .arg(QString::fromStdString(server.hostAndPort())));
    QCOMPARE(server.exchanges().size(), std::size_t(1));
    QCOMPARE(run.terminations.count(), 1);
}

// The loader's own words name what is missing.
void TestEngineModule::moduleThatCannotBeLoaded() {
    QTemporaryDir empty;
    const QString path = QDir(empty.path()).filePath(QStringLiteral("libConexionTulvaOskelEngine.so"));
    CTO_COMPARE_FAILURE(cto::EFOpenError, cto::loadSendEngine(path),
                        QStringLiteral("Cannot load the send engine %1: %1: cannot open shared object file: "
                                       "No such file or directory")
                            .arg(path));
}

void TestEngineModule::moduleOfAnotherVersion() {
    const QString path = QStringLiteral(CTO_OTHER_VERSION_ENGINE_MODULE);
    CTO_COMPARE_FAILURE(cto::EFOpenError, cto::loadSendEngine(path),
                        QStringLiteral("Cannot load the send engine %1: the module has engine interface "
                                       "version 999, this program needs version %2")
                            .arg(path)
                            .arg(cto::kSendEngineInterfaceVersion));
}

QTEST_MAIN(TestEngineModule)
#include "tst_engine_module.moc"
