// The main window with the send engine loaded as the program loads it: from
// the engine module, at the workflow's start. Failures raised inside the
// module reach the window's one failure message with their kind name.
#include "WorkflowRun.h"

#include "app/SendEngine.h"
#include "app/loader/SendEngineLoader.h"
#include "common/FailureKinds.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void moduleOthersCanReplaceIsRefused_data();
    void moduleOthersCanReplaceIsRefused();
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
    QCOMPARE((*shown)->text,
             QStringLiteral("ESOAPHTTPException error, con el mensaje : El servidor no encuentra "
                            "el recurso solicitado: Not Found (404) - "
                            "'https://%1/TULVA/services/ServicioXmlTurismo?'")
                 .arg(QString::fromStdString(server.hostAndPort())));
    QCOMPARE(server.exchanges().size(), std::size_t(1));
    QCOMPARE(run.terminations.count(), 1);
}

// The module's absence is told, and named.
void TestEngineModule::moduleThatCannotBeLoaded() {
    QTemporaryDir empty;
    const QString path = QDir(empty.path()).filePath(QStringLiteral("libConexionTulvaOskelEngine.so"));
    CTO_COMPARE_FAILURE(cto::EFOpenError, cto::loadSendEngine(path),
                        QString::fromUtf8("No se puede cargar el motor de envío %1: no se puede abrir el "
                                          "fichero «%1»: No existe el fichero o el directorio")
                            .arg(path));
}

void TestEngineModule::moduleOfAnotherVersion() {
    const QString path = QStringLiteral(CTO_OTHER_VERSION_ENGINE_MODULE);
    CTO_COMPARE_FAILURE(
        cto::EFOpenError, cto::loadSendEngine(path),
        QStringLiteral("No se puede cargar el motor de envío %1: el módulo tiene la versión 999 de "
                       "la interfaz del motor y este programa necesita la versión %2")
            .arg(path)
            .arg(cto::kSendEngineInterfaceVersion));
}

void TestEngineModule::moduleOthersCanReplaceIsRefused_data() {
    QTest::addColumn<int>("moduleMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<QString>("owner");   // who owns what: "", "module" or "folder" given to nobody
    QTest::addColumn<QString>("refusal"); // %1 the module, %2 its folder; empty: the checks pass
    QTest::newRow("the owner's own folder") << 0755 << 0700 << "" << QString();
    QTest::newRow("module others can write")
        << 0757 << 0700 << ""
        << QString::fromUtf8("otros usuarios pueden modificar el fichero «%1» (permisos 0757); no se carga");
    QTest::newRow("module its group can write")
        << 0775 << 0700 << ""
        << QString::fromUtf8("otros usuarios pueden modificar el fichero «%1» (permisos 0775); no se carga");
    QTest::newRow("folder others can write")
        << 0755 << 0777 << ""
        << QString::fromUtf8("otros usuarios pueden sustituir el fichero «%1», porque pueden escribir en su "
                             "carpeta «%2» (permisos 0777); no se carga");
    QTest::newRow("folder its group can write")
        << 0755 << 0770 << ""
        << QString::fromUtf8("otros usuarios pueden sustituir el fichero «%1», porque pueden escribir en su "
                             "carpeta «%2» (permisos 0770); no se carga");
    // Another local user's file runs their code as this user, whatever its permissions.
    QTest::newRow("module of another user")
        << 0755 << 0700 << "module"
        << QString::fromUtf8(
               "el fichero «%1» es de otro usuario, nobody (uid 65534), que podría modificarlo; "
               "no se carga");
    QTest::newRow("folder of another user")
        << 0755 << 0755 << "folder"
        << QString::fromUtf8("otros usuarios pueden sustituir el fichero «%1», porque su carpeta «%2» es de "
                             "otro usuario, nobody (uid 65534); no se carga");
    // The sticky bit keeps others from replacing what is not theirs, as in /tmp.
    QTest::newRow("shared folder with the sticky bit") << 0755 << 01777 << "" << QString();
}

// A copy of the module of another version stands in: one that passes the
// checks goes on to be refused for its version instead, which shows that the
// file loaded is the one checked.
void TestEngineModule::moduleOthersCanReplaceIsRefused() {
    QFETCH(int, moduleMode);
    QFETCH(int, folderMode);
    QFETCH(QString, owner);
    QFETCH(QString, refusal);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("programa"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("libConexionTulvaOskelEngine.so"));
    QVERIFY(QFile::copy(QStringLiteral(CTO_OTHER_VERSION_ENGINE_MODULE), path));
    const QByteArray local = QFile::encodeName(path);
    const QByteArray localFolder = QFile::encodeName(folder);
    QVERIFY(::chmod(local.constData(), mode_t(moduleMode)) == 0);
    QVERIFY(::chmod(localFolder.constData(), mode_t(folderMode)) == 0);
    if (!owner.isEmpty()) {
        // A file of another user is a real case only when the test may give it away.
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        if (::chown((owner == QLatin1String("module") ? local : localFolder).constData(), nobody->pw_uid,
                    nobody->pw_gid) != 0)
            QSKIP("only root can give a file to another user");
    }
    const auto message = cto::test::failureOf<cto::EFOpenError>([&] { (void)cto::loadSendEngine(path); });
    QVERIFY(message);
    const QString start = QString::fromUtf8("No se puede cargar el motor de envío %1: ").arg(path);
    QCOMPARE(message->left(start.size()), start);
    if (refusal.isEmpty())
        QVERIFY2(message->mid(start.size()).startsWith(QString::fromUtf8("el módulo tiene la versión 999")),
                 qPrintable(*message));
    else
        QCOMPARE(message->mid(start.size()),
                 QString(refusal).replace(QLatin1String("%1"), path).replace(QLatin1String("%2"), folder));
}

CTO_TEST_MAIN(TestEngineModule)
#include "tst_engine_module.moc"
