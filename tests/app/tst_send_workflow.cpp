// The send workflow and the outcome report, run through the real main window
// against an HTTPS server on 127.0.0.1, each modal window answered as a user would.
#include "OfficeFixture.h"
#include "WorkflowRun.h"

#include "app/engine/EmptyAnswer.h"
#include "app/windows/ResponseFile.h"
#include "common/ApplicationTitle.h"
#include "common/SystemErrorText.h"
#include "response/ResponseExtraction.h"
#include "support/FifoWatch.h"
#include "support/SettledConnections.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

using cto::test::answerNextMessage;
using cto::test::answerNextSaveDialog;
using cto::test::contentOf;
using cto::test::Reply;
using cto::test::WorkflowRun;
using cto::test::writeFile;

namespace {

const QByteArray kSurvey = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                           "<Encuesta><Establecimiento>H-0042</Establecimiento><Mes>11</Mes></Encuesta>\r\n";

std::string envelope(const std::string& respuesta) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
           "  <soapenv:Body>\n"
           "    <ns1:procesarResponse xmlns:ns1=\"urn:tulva\">\n      " +
           respuesta +
           "\n    </ns1:procesarResponse>\n"
           "  </soapenv:Body>\n"
           "</soapenv:Envelope>\n";
}

const std::string kReceipt = envelope("<RespuestaSolicitudEncuesta>\n"
                                      "        <NumeroOrden>2026-000123</NumeroOrden>\n"
                                      "        <CodigoControl>AB12CD</CodigoControl>\n"
                                      "        <AcuseEnvio>Recibida el 10/12/2026</AcuseEnvio>\n"
                                      "      </RespuestaSolicitudEncuesta>");

const std::string kTwoErrors =
    envelope("<RespuestaSolicitudEncuesta>"
             "<NumeroOrden>2026-000124</NumeroOrden><CodigoControl>ZZ99</CodigoControl>"
             "<AcuseEnvio/><Errores><Numero>2</Numero>"
             "<Error><TipoError>E1</TipoError><LineaError>4</LineaError>"
             "<DescripcionError>Mes fuera de rango</DescripcionError></Error>"
             "<Error><TipoError>E7</TipoError><LineaError>9</LineaError>"
             "<DescripcionError>Plazas sin declarar</DescripcionError></Error>"
             "</Errores></RespuestaSolicitudEncuesta>");

const QStringList kLogUpToLoading = {QStringLiteral("Configurando conexión con OSKEL..."),
                                     QStringLiteral("Ok"),
                                     QStringLiteral("Cargando fichero XML generado...")};
const QStringList kLogUpToSending =
    kLogUpToLoading + QStringList{QStringLiteral("Ok"), QStringLiteral("Enviando fichero XML...")};
const QStringList kWholeLog = kLogUpToSending + QStringList{QStringLiteral("Ok")};

QString failure(const char* kind, const QString& message) {
    return QLatin1String(kind) + QStringLiteral(" error, con el mensaje : ") + message;
}

// Another process opens the file and holds it, as the program that prepared a
// survey may still do. Answers once the lock is in place.
bool holdOpenInAnotherProcess(QProcess& holder, const QString& path) {
    // --no-fork: the holder is the process that sleeps, so killing it releases the lock.
    holder.start(QStringLiteral("flock"), {QStringLiteral("--no-fork"), QStringLiteral("-x"), path,
                                           QStringLiteral("sleep"), QStringLiteral("60")});
    if (!holder.waitForStarted())
        return false;
    return QTest::qWaitFor([&] {
        const int fd = ::open(qPrintable(path), O_RDONLY);
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return locked;
    });
}

} // namespace

class TestSendWorkflow : public QObject, private cto::test::OfficeFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void acceptedSurveyIsReportedAndSaved();
    void rejectedSurveyIsReportedAndSaved();
    void emptyBodyGivesTheTestReceipt();
    void emptyBodyIsNoReceipt_data();
    void emptyBodyIsNoReceipt();
    void copyThatCannotBeCreatedIsOfferedAgain();
    void failureBeforeSendingSendsNothing_data();
    void failureBeforeSendingSendsNothing();
    void failureAfterSending_data();
    void failureAfterSending();
    void laterActivationsStartNothing();
    void detachedHandlerStartsNothing();
    void logKeepsPaintingWhileTheExchangeWaits();

private:
    QString expectedCaption() const {
        return cto::applicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    }
};

void TestSendWorkflow::initTestCase() {
    startOffice();
}

void TestSendWorkflow::init() {
    startRun(kSurvey);
}

void TestSendWorkflow::cleanup() {
    endRun();
}

void TestSendWorkflow::acceptedSurveyIsReportedAndSaved() {
    server_->enqueue(Reply::ok(kReceipt));
    // An earlier copy is replaced once the user says so.
    const QString copy = workFolder_->filePath(QStringLiteral("guardado.xml"));
    writeFile(copy, "old copy");
    writeFile(responseFile("encuesta.xml"), "earlier run");

    auto message = answerNextMessage();
    auto saved = answerNextSaveDialog(copy);
    WorkflowRun run({QStringLiteral("encuesta.xml"), QStringLiteral("ignored")}, executableFolder_->path());
    QVERIFY(run.showAndWait());

    QCOMPARE(run.log(), kWholeLog);
    QVERIFY(server_->waitForExchanges(1, std::chrono::milliseconds(1000)));
    const auto exchanges = server_->exchanges();
    QCOMPARE(exchanges.size(), std::size_t(1));
    QCOMPARE(exchanges[0].method, std::string("POST"));
    QCOMPARE(exchanges[0].target, std::string("/TULVA/services/ServicioXmlTurismo?"));
    // The program's own request head, as the office reads it.
    QCOMPARE(exchanges[0].header("Content-Type"), std::string("text/xml; charset=utf-8"));
    QCOMPARE(exchanges[0].header("SOAPAction"), std::string("\"\""));
    QCOMPARE(exchanges[0].header("User-Agent"), std::string("Pramblex SOAP 1.3"));
    QCOMPARE(QByteArray::fromStdString(exchanges[0].body), kSurvey);

    QVERIFY(message->has_value());
    QCOMPARE((*message)->text,
             QStringLiteral("La encuesta con Numero de Orden: 2026-000123 y Código de Control: AB12CD"
                            " ha sido procesada correctamente con el siguiente resguardo de envio:"
                            "Recibida el 10/12/2026\rSe procederá a guardar el resguardo a continuación."));
    QCOMPARE((*message)->caption, expectedCaption());
    QCOMPARE((*message)->icon, QMessageBox::NoIcon);
    QCOMPARE((*message)->buttons, 1);

    QVERIFY(saved->has_value());
    QCOMPARE((*saved)->title, QStringLiteral("Guardar resultados del envio"));
    QCOMPARE((*saved)->proposedName, QStringLiteral("Envio2026-000123.xml"));
    QCOMPARE((*saved)->filters, QStringList{QStringLiteral("*.xml")});
    QCOMPARE((*saved)->replaceQuestion,
             QStringLiteral("El fichero «guardado.xml» ya existe.\n¿Desea reemplazarlo?"));

    // The response file and the copy hold the element alone, in the binding's namespace.
    const QByteArray normalised = QByteArray::fromStdString(cto::extraerRespuestaDeMemoria(kReceipt));
    QVERIFY(normalised.startsWith("<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">"));
    QCOMPARE(contentOf(responseFile("encuesta.xml")), normalised);
    QCOMPARE(contentOf(copy), normalised);
    QCOMPARE(run.terminations.count(), 1);
}

void TestSendWorkflow::rejectedSurveyIsReportedAndSaved() {
    server_->enqueue(Reply::ok(kTwoErrors));
    auto message = answerNextMessage();
    // A name without extension takes the default one.
    auto saved = answerNextSaveDialog(workFolder_->filePath(QStringLiteral("errores")));
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());

    QVERIFY(message->has_value());
    QCOMPARE((*message)->text,
             QStringLiteral("La encuesta con Numero de Orden: 2026-000124 y Código de Control: ZZ99"
                            " ha sido procesada con errores.  Corrijalos y realize de nuevo el envío.\r"
                            "Se procederá a guardar los errores a continuación."));
    QVERIFY(saved->has_value());
    QCOMPARE((*saved)->proposedName, QStringLiteral("Envio2026-000124.xml"));
    const QByteArray normalised = contentOf(responseFile("encuesta.xml"));
    QVERIFY(normalised.contains("<DescripcionError>Plazas sin declarar</DescripcionError>"));
    QVERIFY(!normalised.contains("Envelope"));
    QCOMPARE(contentOf(workFolder_->filePath(QStringLiteral("errores.txt"))), normalised);
    QCOMPARE(run.terminations.count(), 1);
}

// Only the office's test service answers an accepted test survey with nothing.
void TestSendWorkflow::emptyBodyGivesTheTestReceipt() {
    qputenv("CTO_OFFICE_TEST_SERVICE", "1");
    const auto testService = qScopeGuard([] { qunsetenv("CTO_OFFICE_TEST_SERVICE"); });
    server_->enqueue(Reply::ok(""));
    auto message = answerNextMessage();
    auto saved = answerNextSaveDialog(QString()); // cancelled
    // Four characters or fewer leave an empty stem.
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());

    QVERIFY(message->has_value());
    QCOMPARE((*message)->text,
             QStringLiteral("La encuesta con Numero de Orden: EncuestaDePrueba y Código de Control: Prueba"
                            " ha sido procesada correctamente con el siguiente resguardo de envio:"
                            "Encuesta de prueba OK\rSe procederá a guardar el resguardo a continuación."));
    QVERIFY(saved->has_value());
    QCOMPARE((*saved)->proposedName, QStringLiteral("EnvioEncuestaDePrueba.xml"));
    // Cancelled: nothing written but the response file, which keeps the normalised receipt.
    QCOMPARE(contentOf(responseFile("encuesta.xml")),
             QByteArray::fromStdString(cto::extraerRespuestaDeMemoria(std::string(cto::kTestReceipt))));
    QCOMPARE(QDir(workFolder_->path()).entryList(QDir::Files), QStringList{QStringLiteral("encuesta.xml")});
    QCOMPARE(QDir(executableFolder_->path()).entryList(QDir::Files),
             QStringList{QStringLiteral("encuesta-response.xml")});
    QCOMPARE(run.terminations.count(), 1);
}

// Nothing from the office is never reported as an accepted survey.
void TestSendWorkflow::emptyBodyIsNoReceipt_data() {
    QTest::addColumn<QString>("testService");
    QTest::addColumn<QString>("statusLine");
    QTest::newRow("office's service, 200") << "0"
                                           << "HTTP/1.1 200 OK";
    QTest::newRow("office's service, 500") << "0"
                                           << "HTTP/1.1 500 Internal Server Error";
    QTest::newRow("test service, 500") << "1"
                                       << "HTTP/1.1 500 Internal Server Error";
}

void TestSendWorkflow::emptyBodyIsNoReceipt() {
    QFETCH(QString, testService);
    QFETCH(QString, statusLine);
    qputenv("CTO_OFFICE_TEST_SERVICE", testService.toUtf8());
    const auto restore = qScopeGuard([] { qunsetenv("CTO_OFFICE_TEST_SERVICE"); });
    writeFile(responseFile("encuesta.xml"), "earlier receipt");
    server_->enqueue(Reply::status(statusLine.toStdString(), ""));
    auto message = answerNextMessage();
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY(message->has_value());
    QCOMPARE((*message)->text,
             failure("EXMLDocError", QStringLiteral("La respuesta del servicio está vacía (estado "
                                                    "HTTP %1): no contiene el elemento "
                                                    "RespuestaSolicitudEncuesta")
                                         .arg(statusLine.section(QLatin1Char(' '), 1, 1))));
    QCOMPARE(contentOf(responseFile("encuesta.xml")), QByteArray("earlier receipt"));
    QCOMPARE(QDir(executableFolder_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("encuesta-response.xml")});
}

// The copy's file cannot be created: the user reads why, and where the
// response is already stored, and the save dialog comes again; a second
// place takes the copy.
void TestSendWorkflow::copyThatCannotBeCreatedIsOfferedAgain() {
    server_->enqueue(Reply::ok(kReceipt));
    const QString work = QDir(workFolder_->path()).canonicalPath();
    const QString copy = work + QStringLiteral("/ocupado.xml");
    const QString second = work + QStringLiteral("/otra.xml");
    writeFile(copy, "held");
    QProcess holder;
    QVERIFY(holdOpenInAnotherProcess(holder, copy));

    auto outcome = answerNextMessage();
    QString failureShown;
    std::shared_ptr<std::optional<cto::test::SaveAnswer>> offeredAgain;
    cto::test::onNextModal<QFileDialog>([&](QFileDialog* dialog) {
        // The file exists: replacing it is confirmed, then its creation fails.
        cto::test::onNextModal<QMessageBox>([&](QMessageBox* question) {
            // Queued now: the outcome box is gone.
            cto::test::onNextModal<QMessageBox>([&](QMessageBox* failure) {
                failureShown = failure->text();
                offeredAgain = answerNextSaveDialog(second);
                failure->button(QMessageBox::Ok)->click();
            });
            for (QAbstractButton* button : question->buttons())
                if (button->text() == QStringLiteral("&Reemplazar"))
                    button->click();
        });
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(copy);
        static_cast<QDialog*>(dialog)->accept();
    });
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    holder.kill();
    holder.waitForFinished();

    QVERIFY(outcome->has_value());
    QVERIFY((*outcome)->text.startsWith(QStringLiteral("La encuesta con Numero de Orden: 2026-000123")));
    QCOMPARE(failureShown,
             failure("EFCreateError", QStringLiteral("Cannot create file \"%1\". %2")
                                          .arg(copy, QString::fromUtf8("Otro programa está usando el fichero "
                                                                       "y lo tiene bloqueado"))) +
                 QStringLiteral("\n\nLa respuesta de la oficina ya está guardada en «%1». Elija otro lugar "
                                "para la copia.")
                     .arg(responseFile("encuesta.xml")));
    QCOMPARE(contentOf(copy), QByteArray("held"));
    // Offered again where the first choice was, and the copy written there.
    QVERIFY(offeredAgain && offeredAgain->has_value());
    QCOMPARE((*offeredAgain)->proposedName, QStringLiteral("ocupado.xml"));
    QVERIFY(contentOf(responseFile("encuesta.xml")).contains("<NumeroOrden>2026-000123</NumeroOrden>"));
    QCOMPARE(contentOf(second), contentOf(responseFile("encuesta.xml")));
    QCOMPARE(run.terminations.count(), 1);
}

void TestSendWorkflow::failureBeforeSendingSendsNothing_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("message"); // %1 the working folder, %2 the executable's folder

    QTest::newRow("no argument") << QStringList() << "" << kLogUpToLoading
                                 << failure("EFOpenError",
                                            "Cannot open file \"\". No existe el fichero o el directorio");
    QTest::newRow("no such file")
        << QStringList{"falta.xml"} << "" << kLogUpToLoading
        << failure("EFOpenError", "Cannot open file \"%1/falta.xml\". No existe el fichero o el directorio");
    QTest::newRow("held by another process")
        << QStringList{"encuesta.xml"} << "lock" << kLogUpToLoading
        << failure("EFOpenError",
                   "Cannot open file \"%1/encuesta.xml\". Otro programa está usando el fichero y lo tiene "
                   "bloqueado");
    // Nothing that could hang the run or send a survey that is not one.
    for (const char* kind : {"fifo", "device", "folder"})
        QTest::newRow(kind) << QStringList{"encuesta.xml"} << kind << kLogUpToLoading
                            << failure("EFOpenError",
                                       kind == std::string("folder")
                                           ? "Cannot open file \"%1/encuesta.xml\". Es un directorio"
                                           : "Cannot open file \"%1/encuesta.xml\". No es un fichero normal");
    QTest::newRow("empty survey") << QStringList{"encuesta.xml"} << "empty" << kLogUpToLoading
                                  << failure("EFOpenError",
                                             "Cannot open file \"%1/encuesta.xml\". El fichero está vacío");
    // Found before anything leaves, so that an accepted survey's receipt is never lost.
    QTest::newRow("absolute argument")
        << QStringList{"%1/encuesta.xml"} << "" << kLogUpToLoading + QStringList{"Ok"}
        << failure("EFCreateError", "Cannot create file \"%2/encuesta-response.xml\". Argumento inválido");
}

void TestSendWorkflow::failureBeforeSendingSendsNothing() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, setUp);
    QFETCH(QStringList, log);
    QFETCH(QString, message);
    const QString work = QDir(workFolder_->path()).canonicalPath();
    const QString executable = QDir(executableFolder_->path()).canonicalPath();
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("%1"), work);

    QProcess holder;
    if (setUp == QLatin1String("datos")) {
        QVERIFY(QDir(work).mkdir(QStringLiteral("datos")));
        writeFile(work + QStringLiteral("/datos/encuesta.xml"), kSurvey);
    } else if (setUp == QLatin1String("lock")) {
        QVERIFY(holdOpenInAnotherProcess(holder, work + QStringLiteral("/encuesta.xml")));
    } else if (!setUp.isEmpty()) {
        const QByteArray survey = QFile::encodeName(work + QStringLiteral("/encuesta.xml"));
        QVERIFY(::unlink(survey.constData()) == 0);
        if (setUp == QLatin1String("fifo"))
            QVERIFY(::mkfifo(survey.constData(), 0600) == 0);
        else if (setUp == QLatin1String("device"))
            QVERIFY(::symlink("/dev/zero", survey.constData()) == 0);
        else if (setUp == QLatin1String("folder"))
            QVERIFY(::mkdir(survey.constData(), 0700) == 0);
        else if (setUp == QLatin1String("empty"))
            writeFile(QFile::decodeName(survey), QByteArray());
    }

    const int connectionsBefore = server_->connectionCount();
    // A run that waited for a writer would never end on its own.
    std::optional<cto::test::FifoWatch> fifo;
    if (setUp == QLatin1String("fifo"))
        fifo.emplace(QFile::encodeName(work + QStringLiteral("/encuesta.xml")), std::chrono::seconds(5));
    auto shown = answerNextMessage();
    WorkflowRun run(arguments, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY2(!fifo || !fifo->unblocked(), "the survey's opening waited for a writer");
    if (holder.state() != QProcess::NotRunning) {
        holder.kill();
        holder.waitForFinished();
    }

    QCOMPARE(run.log(), log);
    QVERIFY(shown->has_value());
    QCOMPARE((*shown)->text,
             QString(message).replace(QStringLiteral("%1"), work).replace(QStringLiteral("%2"), executable));
    QCOMPARE((*shown)->caption, expectedCaption());
    QCOMPARE((*shown)->icon, QMessageBox::NoIcon);
    QCOMPARE((*shown)->buttons, 1);
    QCOMPARE(cto::test::settledConnectionCount(*server_), connectionsBefore);
    QVERIFY(server_->exchanges().empty());
    QVERIFY(QDir(executable).entryList(QDir::Files).isEmpty());
    QCOMPARE(run.terminations.count(), 1);
}

void TestSendWorkflow::failureAfterSending_data() {
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("message"); // %1 the service URL
    QTest::addColumn<QByteArray>("responseFile");

    QTest::newRow("404") << "HTTP/1.1 404 Not Found"
                         << "text/html" << QByteArray("<h1>gone</h1>") << kLogUpToSending
                         << failure("ESOAPHTTPException",
                                    "El servidor no encuentra el recurso solicitado: Not Found (404) - '%1'")
                         << QByteArray();
    // The raw answer stays in the response file for whoever looks into it.
    QTest::newRow("not XML") << "HTTP/1.1 200 OK"
                             << "text/xml" << QByteArray("Servicio en mantenimiento") << kWholeLog
                             << failure("EDOMParseError",
                                        "El documento está vacío o no es XML (Start tag expected, '<' not "
                                        "found)\r\nLine: 1\r\nServicio en mantenimiento")
                             << QByteArray("Servicio en mantenimiento");
}

void TestSendWorkflow::failureAfterSending() {
    QFETCH(QString, statusLine);
    QFETCH(QString, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, log);
    QFETCH(QString, message);
    QFETCH(QByteArray, responseFile);
    server_->enqueue(Reply::status(statusLine.toStdString(), body.toStdString(), contentType.toStdString()));

    auto shown = answerNextMessage();
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());

    QCOMPARE(run.log(), log);
    QVERIFY(shown->has_value());
    const QString url = QStringLiteral("https://%1/TULVA/services/ServicioXmlTurismo?")
                            .arg(QString::fromStdString(server_->hostAndPort()));
    QCOMPARE((*shown)->text, QString(message).replace(QStringLiteral("%1"), url));
    QCOMPARE(server_->exchanges().size(), std::size_t(1));
    QCOMPARE(QFile::exists(this->responseFile("encuesta.xml")), !responseFile.isEmpty());
    if (!responseFile.isEmpty())
        QCOMPARE(contentOf(this->responseFile("encuesta.xml")), responseFile);
    QCOMPARE(run.terminations.count(), 1);
}

void TestSendWorkflow::laterActivationsStartNothing() {
    auto shown = answerNextMessage();
    WorkflowRun run({}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY(shown->has_value());
    const QStringList log = run.log();

    // The window becomes active again (a dialog closes, the user clicks it): nothing starts.
    for (int i = 0; i < 3; ++i) {
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&run.window, &activate);
        run.window.activateWindow();
        // The handler runs within the event; what it would queue, and the
        // platform's own activation, are delivered here.
        QCoreApplication::processEvents();
    }
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(run.log(), log);
    QCOMPARE(run.terminations.count(), 1);
}

void TestSendWorkflow::detachedHandlerStartsNothing() {
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    run.window.detachActivationHandler();
    run.window.show();
    // Active: the activation event has been handled; what it would queue is delivered here.
    QVERIFY(QTest::qWaitForWindowActive(&run.window));
    QCoreApplication::processEvents();
    QVERIFY(!run.window.workflowStarted());
    QVERIFY(run.log().isEmpty());
    QVERIFY(server_->exchanges().empty());
    QCOMPARE(run.terminations.count(), 0);
}

void TestSendWorkflow::logKeepsPaintingWhileTheExchangeWaits() {
    Reply slow = Reply::ok(kReceipt);
    slow.delay = std::chrono::milliseconds(1500);
    server_->enqueue(slow);
    auto message = answerNextMessage();
    auto saved = answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());

    // Something asks for a repaint while the exchange waits, as an expose would:
    // it must be painted then, not when the answer arrives.
    auto* memo = run.window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    struct PaintLog : QObject {
        QStringList paintedLastLines;
        QPlainTextEdit* memo = nullptr;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                paintedLastLines << memo->toPlainText().section(QLatin1Char('\n'), -1);
            return false;
        }
    } paints;
    paints.memo = memo;
    memo->viewport()->installEventFilter(&paints);
    bool askedWhileWaiting = false;
    QTimer::singleShot(700, memo, [&] {
        askedWhileWaiting = run.log().endsWith(QStringLiteral("Enviando fichero XML..."));
        paints.paintedLastLines.clear();
        memo->viewport()->update();
    });
    // After a second the wait says so below the log, and counts.
    QStringList logAfterASecond;
    QTimer::singleShot(1300, memo, [&] { logAfterASecond = run.log(); });

    QVERIFY(run.showAndWait());
    QVERIFY(askedWhileWaiting);
    QVERIFY(!paints.paintedLastLines.isEmpty());
    QCOMPARE(paints.paintedLastLines.first(), QStringLiteral("Enviando fichero XML..."));
    QCOMPARE(logAfterASecond,
             kLogUpToSending + QStringList{QStringLiteral("Esperando la respuesta de la oficina... 1 s")});
    // Gone with the wait: the log holds its own lines only.
    QCOMPARE(run.log(), kWholeLog);
    QVERIFY(message->has_value());
}

CTO_TEST_MAIN(TestSendWorkflow)
#include "tst_send_workflow.moc"
