// The before-send hook in the real main window and workflow: the user picks a
// certificate from a test NSS database in the certificate dialog, and an HTTPS
// server on 127.0.0.1 that demands a client certificate shows what arrived.
#include "WorkflowRun.h"
#include "certificates/ModuleProbe.h"
#include "certificates/TestNssDatabase.h"
#include "certificates/TokenSessions.h"
#include "support/SettledConnections.h"
#include "support/TinyProxy.h"

#include "app/windows/uFContrasenaAlmacen.h"
#include "app/windows/uFCredenciales.h"
#include "app/windows/uFSeleccionCertificado.h"
#include "certificates/CertificateStore.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <optional>

using namespace cto;
using cto::test::answerNextSaveDialog;
using cto::test::ClientCertificateMode;
using cto::test::onNextModal;
using cto::test::Reply;
using cto::test::runTool;
using cto::test::TlsTestServer;
using cto::test::TlsVersion;
using cto::test::WorkflowRun;

namespace {

const QByteArray kSurvey = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<EncuestaAlojamiento><Cabecera><NumeroRegistro>H-38-004512</NumeroRegistro>"
                           "</Cabecera></EncuestaAlojamiento>\n";

const std::string kReceipt = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                             "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                             "<soapenv:Body><RespuestaSolicitudEncuesta><NumeroOrden>OSK-7</NumeroOrden>"
                             "<CodigoControl>C0DE</CodigoControl><AcuseEnvio>Recibida</AcuseEnvio>"
                             "</RespuestaSolicitudEncuesta></soapenv:Body></soapenv:Envelope>";

const QString kAccepted =
    QStringLiteral("La encuesta con Numero de Orden: OSK-7 y Código de Control: C0DE ha sido "
                   "procesada correctamente con el siguiente resguardo de envio:Recibida\r"
                   "Se procederá a guardar el resguardo a continuación.");
const QString kStopped = QStringLiteral("EAbort error, con el mensaje : Operation aborted");
const char kGoodPassword[] = "clave-buena";

// How the user answers the certificate dialog.
enum class Choice { Row, NoRow, Cancelar, CloseBox };

// storeAfterChoice, when given, is the database that CTO_NSS_DATABASE names
// once the row is chosen: what the lookup that attaches the certificate reads.
void answerCertificateDialog(Choice choice, int row = -1, const QString& storeAfterChoice = {}) {
    onNextModal<TFSeleccionCertificado>([choice, row, storeAfterChoice](TFSeleccionCertificado* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
        switch (choice) {
        case Choice::Row:
            list->setCurrentItem(list->topLevelItem(row));
            if (!storeAfterChoice.isEmpty())
                qputenv("CTO_NSS_DATABASE", storeAfterChoice.toUtf8());
            [[fallthrough]];
        case Choice::NoRow:
            dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar"))->click();
            if (dialog->isVisible())
                dialog->close();
            break;
        case Choice::Cancelar:
            dialog->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->click();
            break;
        case Choice::CloseBox:
            dialog->close();
            break;
        }
    });
}

// Answers the next `count` message boxes with OK, one after the other, keeping their texts.
void answerMessagesInto(const std::shared_ptr<QStringList>& texts, int count) {
    if (count == 0)
        return;
    onNextModal<QMessageBox>([texts, count](QMessageBox* box) {
        texts->append(box->text());
        answerMessagesInto(texts, count - 1);
        box->button(QMessageBox::Ok)->click();
    });
}

std::shared_ptr<QStringList> answerMessages(int count) {
    auto texts = std::make_shared<QStringList>();
    answerMessagesInto(texts, count);
    return texts;
}

// Chooses the row of that name in the certificate dialog, and accepts it.
void chooseCertificateNamed(const QString& name) {
    onNextModal<TFSeleccionCertificado>([name](TFSeleccionCertificado* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
        // A card's rows join once its module has answered.
        QTRY_VERIFY_WITH_TIMEOUT(
            !dialog->searchingCards() || !list->findItems(name, Qt::MatchExactly, 1).isEmpty(), 20000);
        const QList<QTreeWidgetItem*> found = list->findItems(name, Qt::MatchExactly, 1); // the name column
        if (!found.isEmpty())
            list->setCurrentItem(found.front());
        dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar"))->click();
        if (dialog->isVisible())
            dialog->close();
    });
}

// What one password or PIN dialog showed.
struct PromptShown {
    QString explanation;
    QString warning; // empty when it showed none
};

void answerPasswordsInto(const std::shared_ptr<QList<PromptShown>>& shown, const QStringList& answers) {
    if (answers.isEmpty())
        return;
    onNextModal<TFContrasenaAlmacen>([shown, answers](TFContrasenaAlmacen* dialog) {
        const auto* warning = dialog->findChild<QLabel*>(QStringLiteral("lAviso"));
        shown->append({dialog->findChild<QLabel*>(QStringLiteral("lExplicacion"))->text(),
                       warning->isVisible() ? warning->text() : QString()});
        const QString& answer = answers.front();
        answerPasswordsInto(shown, answers.mid(1));
        if (answer.isNull()) {
            dialog->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->click();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("eContrasena"))->setText(answer);
        dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar"))->click();
    });
}

// What one credentials dialog showed.
struct CredentialsShown {
    QString explanation;
    QString askerWords; // the realm's line; empty when hidden
};

// Answers the next credentials dialogs in turn: "user:password", or a null string to cancel.
void answerCredentialsInto(const std::shared_ptr<QList<CredentialsShown>>& shown,
                           const QStringList& answers) {
    if (answers.isEmpty())
        return;
    onNextModal<TFCredenciales>([shown, answers](TFCredenciales* dialog) {
        const auto* words = dialog->findChild<QLabel*>(QStringLiteral("lPalabrasDelServidor"));
        shown->append({dialog->findChild<QLabel*>(QStringLiteral("lExplicacion"))->text(),
                       words->isVisible() ? words->text() : QString()});
        const QString& answer = answers.front();
        answerCredentialsInto(shown, answers.mid(1));
        if (answer.isNull()) {
            dialog->findChild<QPushButton*>(QStringLiteral("bbCancelar"))->click();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("eUsuario"))->setText(answer.section(':', 0, 0));
        dialog->findChild<QLineEdit*>(QStringLiteral("eContrasena"))->setText(answer.section(':', 1));
        dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar"))->click();
    });
}

} // namespace

class TestCertificateAttachment : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chosenCertificateGoesWithTheRequest_data();
    void chosenCertificateGoesWithTheRequest();
    void certificateAskedForAfterTheRequest_data();
    void certificateAskedForAfterTheRequest();
    void storeThatCannotBeOpenedEndsTheRun();
    void storeAsksForItsPasswordOrPin_data();
    void storeAsksForItsPasswordOrPin();
    void activationAfterTheDialogStartsNothing();
    void credentialsAreAskedForAndSent_data();
    void credentialsAreAskedForAndSent();
    void officeAnswering407IsSentOnce();
    void proxyRefusingCredentials_data();
    void proxyRefusingCredentials();

private:
    void makeSameNameDatabase(const QString& directory);
    // A run of the program against the server, with its certificate dialog.
    struct Run {
        Run(const QString& executableFolder)
            : workflow({QStringLiteral("encuesta.xml")}, executableFolder), dialog(&workflow.window) {
            FSeleccionCertificado = &dialog;
        }
        ~Run() { FSeleccionCertificado = nullptr; }
        WorkflowRun workflow;
        TFSeleccionCertificado dialog;
    };

    std::unique_ptr<test::TestPki> pki_;
    std::unique_ptr<TlsTestServer> server_;
    QTemporaryDir folder_;
    QString database_;
    QString protectedDatabase_;
    QString sameNameDatabase_;
    QString keylessDatabase_; // Peña Muñoz's certificate of database_, without its key
    QString cardDatabase_;    // registers a SoftHSM token standing in for a smart card
    std::unique_ptr<QTemporaryDir> executableFolder_;
    QString previousFolder_;
};

// Two certificates of one person at two hotels: one simple name, two subjects.
void TestCertificateAttachment::makeSameNameDatabase(const QString& directory) {
    const QString database = QStringLiteral("sql:") + directory;
    QDir().mkpath(directory);
    runTool(QStringLiteral("certutil"), {"-N", "-d", database, "--empty-password"});
    for (const char* hotel : {"Hotel Uno", "Hotel Dos"}) {
        test::ClientCertificateRequest request;
        request.commonName = "Ana Ruiz";
        request.organization = hotel;
        const test::IssuedCertificate issued = pki_->issueClientCertificate(request);
        // Without the authority, which the server knows already.
        const QString bundle = directory + QStringLiteral("/import.p12");
        runTool(QStringLiteral("openssl"),
                {"pkcs12", "-export", "-in", QString::fromStdString(issued.certificatePath), "-inkey",
                 QString::fromStdString(issued.keyPath), "-name", "Ana Ruiz", "-passout", "pass:x", "-out",
                 bundle});
        runTool(QStringLiteral("pk12util"), {"-i", bundle, "-d", database, "-W", "x", "-K", ""});
    }
}

void TestCertificateAttachment::initTestCase() {
    setModuleProbePath(QStringLiteral(CTO_MODULE_PROBE));
    QVERIFY(folder_.isValid());
    pki_ = std::make_unique<test::TestPki>();
    const QString ca = QString::fromStdString(pki_->caCertificatePath());
    const QString caKey = QString::fromStdString(pki_->caKeyPath());
    database_ = folder_.filePath(QStringLiteral("nssdb"));
    test::makeTestNssDatabase({database_, ca, caKey});
    protectedDatabase_ = folder_.filePath(QStringLiteral("nssdb-protected"));
    test::makeTestNssDatabase({"--password", kGoodPassword, protectedDatabase_, ca, caKey});
    sameNameDatabase_ = folder_.filePath(QStringLiteral("nssdb-same-name"));
    makeSameNameDatabase(sameNameDatabase_);
    keylessDatabase_ = folder_.filePath(QStringLiteral("nssdb-keyless"));
    QDir().mkpath(keylessDatabase_);
    runTool(QStringLiteral("certutil"), {"-N", "-d", "sql:" + keylessDatabase_, "--empty-password"});
    runTool(QStringLiteral("certutil"), {"-A", "-d", "sql:" + keylessDatabase_, "-n", "Peña Muñoz", "-t",
                                         ",,", "-a", "-i", database_ + "/pem/04-pena.pem"});
    // The card: its keys, and one that asks for the PIN at every signature.
    cardDatabase_ = folder_.filePath(QStringLiteral("nssdb-card"));
    test::makeEmptyNssDatabase(cardDatabase_);
    const QString card = folder_.filePath(QStringLiteral("tarjeta"));
    test::makeTestToken({"--register-in", cardDatabase_, card, ca, caKey});
    test::addReauthenticatingKey(card, ca, caKey);
    qputenv("SOFTHSM2_CONF", (card + QStringLiteral("/softhsm2.conf")).toUtf8());
    // The office's service: a client certificate from the test authority or no handshake.
    TlsTestServer::Options options;
    options.clientCertificates = ClientCertificateMode::Require;
    server_ = std::make_unique<TlsTestServer>(*pki_, options);
    qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(server_->hostAndPort()));
    qputenv("CTO_SERVICE_CA_FILE", QByteArray::fromStdString(pki_->caCertificatePath()));
    previousFolder_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder_.path()));
    QFile survey(folder_.filePath(QStringLiteral("encuesta.xml")));
    QVERIFY(survey.open(QIODevice::WriteOnly));
    survey.write(kSurvey);
}

void TestCertificateAttachment::init() {
    qputenv("CTO_NSS_DATABASE", database_.toUtf8());
    server_->setClientCertificateMode(ClientCertificateMode::Require);
    server_->clearExchanges();
    server_->setResponder([](const test::Exchange&) { return Reply::ok(kReceipt); });
    executableFolder_ = std::make_unique<QTemporaryDir>();
}

void TestCertificateAttachment::cleanup() {
    test::cancelPendingModalSteps();
    QDir::setCurrent(folder_.path());
}

void TestCertificateAttachment::chosenCertificateGoesWithTheRequest_data() {
    QTest::addColumn<QString>("database");
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("serverSees"); // in the client certificate's name; empty: nothing got through
    QTest::addColumn<QStringList>("messages");
    // Whether the office demands a certificate; one that only asks for it
    // takes a survey without one, so a certificate dropped on the way would pass.
    QTest::addColumn<bool>("officeInsists");

    const QString failure = QStringLiteral("ESOAPHTTPException error, con el mensaje : ");
    // The fixture's rows: Cliente Prueba (expired), Cliente Prueba, Peña Muñoz.
    QTest::newRow("chosen row, chain through an intermediate")
        << "fixture" << Choice::Row << 2 << QString::fromUtf8("Peña Muñoz") << QStringList{kAccepted} << true;
    QTest::newRow("Cancelar") << "fixture" << Choice::Cancelar << -1 << QString() << QStringList{failure}
                              << true;
    QTest::newRow("close box") << "fixture" << Choice::CloseBox << -1 << QString() << QStringList{failure}
                               << true;
    // Once picked, the certificate goes with the survey or nothing goes.
    QTest::newRow("its key gone since the listing")
        << "key gone" << Choice::Row << 2 << QString()
        << QStringList{QString::fromUtf8("EOleException error, con el mensaje : La encuesta no se envió: el "
                                         "certificado elegido «Peña Muñoz» (Chromium / escritorio) no se "
                                         "puede usar: ")}
        << false;
    QTest::newRow("gone from its store since the listing")
        << "certificate gone" << Choice::Row << 2 << QString()
        << QStringList{QString::fromUtf8("EOleException error, con el mensaje : La encuesta no se envió: el "
                                         "certificado elegido «Peña Muñoz» (Chromium / escritorio) ya no "
                                         "está en su almacén")}
        << false;
    // Rows: Ana Ruiz of Hotel Uno, Ana Ruiz of Hotel Dos: one name, and the
    // row chosen is the certificate that goes.
    QTest::newRow("same name, first row")
        << "same name" << Choice::Row << 0 << "O=Hotel Uno" << QStringList{kAccepted} << true;
    QTest::newRow("same name, second row")
        << "same name" << Choice::Row << 1 << "O=Hotel Dos" << QStringList{kAccepted} << true;
    // Nothing to accept: Aceptar cannot be pressed, and the close box sends nothing.
    QTest::newRow("Aceptar with no row selected")
        << "same name" << Choice::NoRow << -1 << QString() << QStringList{failure} << true;
}

void TestCertificateAttachment::chosenCertificateGoesWithTheRequest() {
    QFETCH(QString, database);
    QFETCH(Choice, choice);
    QFETCH(int, row);
    QFETCH(QString, serverSees);
    QFETCH(QStringList, messages);
    QFETCH(bool, officeInsists);
    if (database == QLatin1String("same name"))
        qputenv("CTO_NSS_DATABASE", sameNameDatabase_.toUtf8());
    if (!officeInsists)
        server_->setClientCertificateMode(ClientCertificateMode::Request);
    QString storeAfterChoice;
    if (database == QLatin1String("key gone"))
        storeAfterChoice = keylessDatabase_;
    else if (database == QLatin1String("certificate gone"))
        storeAfterChoice = sameNameDatabase_;

    Run run(executableFolder_->path());
    answerCertificateDialog(choice, row, storeAfterChoice);
    auto shown = answerMessages(int(messages.size()));
    answerNextSaveDialog(QString());
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(shown->size(), messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i)
        QVERIFY2((*shown)[i].startsWith(messages[i]), qPrintable((*shown)[i]));
    const auto exchanges = server_->exchanges();
    if (serverSees.isEmpty()) {
        QCOMPARE(exchanges.size(), std::size_t(0));
        if (!officeInsists)
            return;
        // The server's demand for a certificate ends the exchange; the failure
        // names the URL and the empty quoted action.
        QCOMPARE(shown->back(),
                 QStringLiteral("ESOAPHTTPException error, con el mensaje : El servidor exige un certificado "
                                "de cliente para completar la autenticación y no se envió ninguno - URL:") +
                     QString::fromStdString(server_->url("/TULVA/services/ServicioXmlTurismo?")) +
                     QStringLiteral(" - SOAPAction:\"\""));
        return;
    }
    QCOMPARE(exchanges.size(), std::size_t(1));
    const QString name =
        QString::fromStdString(exchanges[0].clientCommonName + " / " + exchanges[0].clientSubject);
    QVERIFY2(name.contains(serverSees), qPrintable(name));
    QVERIFY(exchanges[0].clientCertificateVerified);
    QCOMPARE(QByteArray::fromStdString(exchanges[0].body), kSurvey);
}

// An office that asks for the certificate only once it has the request (one
// path protected, or authentication after the handshake): the survey has left
// by then, and the chosen certificate follows on the same connection.
void TestCertificateAttachment::certificateAskedForAfterTheRequest_data() {
    QTest::addColumn<TlsVersion>("version");
    QTest::newRow("TLS 1.3, after the handshake") << TlsVersion::Tls13;
    QTest::newRow("TLS 1.2, renegotiation") << TlsVersion::Tls12;
}

void TestCertificateAttachment::certificateAskedForAfterTheRequest() {
    QFETCH(TlsVersion, version);
    server_->setClientCertificateMode(ClientCertificateMode::AfterRequest);
    server_->setTlsVersion(version);
    auto restore = qScopeGuard([&] { server_->setTlsVersion(TlsVersion::Any); });
    const int connectionsBefore = server_->connectionCount();

    Run run(executableFolder_->path());
    answerCertificateDialog(Choice::Row, 2);
    auto shown = answerMessages(1);
    answerNextSaveDialog(QString());
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(shown->size(), 1);
    QVERIFY2(shown->front().startsWith(kAccepted), qPrintable(shown->front()));
    const auto exchanges = server_->exchanges();
    QCOMPARE(exchanges.size(), std::size_t(1));
    QCOMPARE(server_->connectionCount() - connectionsBefore, 1);
    QCOMPARE(QString::fromStdString(exchanges[0].clientCommonName), QString::fromUtf8("Peña Muñoz"));
    QVERIFY(exchanges[0].clientCertificateVerified);
    QCOMPARE(QByteArray::fromStdString(exchanges[0].body), kSurvey);
}

// The store goes away between the listing and the lookup (a card pulled, a
// profile removed): the lookup's failure ends the run, and nothing is sent.
void TestCertificateAttachment::storeThatCannotBeOpenedEndsTheRun() {
    const QString missing = folder_.filePath(QStringLiteral("no-such-database"));
    Run run(executableFolder_->path());
    auto failure = std::make_shared<QStringList>();
    onNextModal<TFSeleccionCertificado>([failure, missing](TFSeleccionCertificado* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvCertificados"));
        list->setCurrentItem(list->topLevelItem(2));
        qputenv("CTO_NSS_DATABASE", missing.toUtf8());
        answerMessagesInto(failure, 1);
        dialog->findChild<QPushButton*>(QStringLiteral("bbAceptar"))->click();
    });
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(failure->size(), 1);
    QVERIFY2(failure->front().startsWith(QStringLiteral("EOleException error, con el mensaje : ")) &&
                 failure->front().contains(missing),
             qPrintable(failure->front()));
    QCOMPARE(server_->exchanges().size(), std::size_t(0));
}

void TestCertificateAttachment::storeAsksForItsPasswordOrPin_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QStringList>("answers");  // a null string cancels
    QTest::addColumn<QStringList>("warnings"); // what each dialog warned of
    QTest::addColumn<bool>("attached");
    const QString wrongPassword = QStringLiteral("La contraseña no es correcta. Escríbala de nuevo.");
    const QString wrongPin =
        QStringLiteral("El PIN no es correcto. Escríbalo de nuevo.\nQuedan pocos intentos "
                       "antes de que la tarjeta se bloquee.");
    const QString pena = QString::fromUtf8("Peña Muñoz");
    QTest::newRow("right password") << "database" << pena << QStringList{kGoodPassword} << QStringList{""}
                                    << true;
    QTest::newRow("wrong, then right")
        << "database" << pena << QStringList{"mala", kGoodPassword} << QStringList{"", wrongPassword} << true;
    QTest::newRow("cancelled") << "database" << pena << QStringList{QString()} << QStringList{""} << false;
    QTest::newRow("wrong, then cancelled")
        << "database" << pena << QStringList{"mala", QString()} << QStringList{"", wrongPassword} << false;
    // The card's PIN: SoftHSM reports few tries left after a wrong one.
    QTest::newRow("card, right PIN") << "card"
                                     << "Titular Tarjeta EC" << QStringList{"1234"} << QStringList{""}
                                     << true;
    QTest::newRow("card, wrong PIN, then right")
        << "card"
        << "Titular Tarjeta RSA" << QStringList{"0000", "1234"} << QStringList{"", wrongPin} << true;
    QTest::newRow("card, cancelled") << "card"
                                     << "Titular Tarjeta EC" << QStringList{QString()} << QStringList{""}
                                     << false;
    // Once when the certificate is attached, once more as the handshake signs:
    // the prompt is still there for it.
    QTest::newRow("card that asks at every signature")
        << "card"
        << "Titular Firma Reiterada" << QStringList{"1234", "1234"} << QStringList{"", ""} << true;
    // Cancelled inside the handshake, as the card signs: the same stop.
    QTest::newRow("card that asks at every signature, cancelled as it signs")
        << "card"
        << "Titular Firma Reiterada" << QStringList{"1234", QString()} << QStringList{"", ""} << false;
}

// The password or PIN is asked under the store's name once the certificate is
// chosen; without it the key cannot be used, and the server's demand fails the run.
void TestCertificateAttachment::storeAsksForItsPasswordOrPin() {
    QFETCH(QString, store);
    QFETCH(QString, certificate);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, warnings);
    QFETCH(bool, attached);
    const bool card = store == QLatin1String("card");
    qputenv("CTO_NSS_DATABASE", (card ? cardDatabase_ : protectedDatabase_).toUtf8());
    test::logOutOfEveryToken(); // as in a fresh run, the card asks again
    if (!attached)
        server_->setClientCertificateMode(ClientCertificateMode::Request);

    Run run(executableFolder_->path());
    chooseCertificateNamed(certificate);
    auto prompts = std::make_shared<QList<PromptShown>>();
    answerPasswordsInto(prompts, answers);
    auto shown = answerMessages(1);
    answerNextSaveDialog(QString());
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(prompts->size(), warnings.size());
    for (qsizetype i = 0; i < prompts->size(); ++i) {
        const QString& explanation = (*prompts)[i].explanation;
        QVERIFY2(card ? explanation.startsWith(
                            QString::fromUtf8("La tarjeta «Tarjeta CTO» está protegida con un PIN"))
                      : explanation.contains(QStringLiteral("contraseña")),
                 qPrintable(explanation));
        QCOMPARE((*prompts)[i].warning, warnings[i]);
    }
    if (attached) {
        QCOMPARE(*shown, QStringList{kAccepted});
        QCOMPARE(server_->exchanges().size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(server_->lastExchange().clientCommonName), certificate);
        return;
    }
    // A prompt cancelled stops the run as the user's own stop does, even
    // where the office would take the survey without a certificate.
    QCOMPARE(*shown, QStringList{kStopped});
    QCOMPARE(server_->exchanges().size(), std::size_t(0));
}

void TestCertificateAttachment::activationAfterTheDialogStartsNothing() {
    Run run(executableFolder_->path());
    const int connectionsBefore = server_->connectionCount();
    answerCertificateDialog(Choice::Row, 2);
    auto shown = answerMessages(1);
    answerNextSaveDialog(QString());
    QVERIFY(run.workflow.showAndWait());
    const QStringList log = run.workflow.log();

    // The window was activated again when the dialog closed, and now once more.
    run.workflow.window.activateWindow();
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(&run.workflow.window, &activation);
    // The handler runs within the event; what it would queue, and the
    // platform's own activation, are delivered here.
    QCoreApplication::processEvents();

    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(run.workflow.log(), log);
    QCOMPARE(*shown, QStringList{kAccepted});
    QCOMPARE(server_->exchanges().size(), std::size_t(1));
    QCOMPARE(cto::test::settledConnectionCount(*server_) - connectionsBefore, 1);
}

void TestCertificateAttachment::credentialsAreAskedForAndSent_data() {
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<QString>("askerWords"); // the realm's line in the dialog
    QTest::newRow("the office (401)")
        << false << QString::fromUtf8("El servidor dice de sí mismo: «Encuestas OSKEL»");
    // The desktop's proxy, tinyproxy with Basic authentication, refuses the tunnel with 407.
    QTest::newRow("the desktop's proxy (407)")
        << true << QString::fromUtf8("El proxy dice de sí mismo: «Tinyproxy»");
}

void TestCertificateAttachment::credentialsAreAskedForAndSent() {
    QFETCH(bool, proxy);
    QFETCH(QString, askerWords);
    int requests = 0;
    std::optional<test::TinyProxy> tinyproxy;
    if (proxy) {
        tinyproxy.emplace(QStringLiteral("hotel"), QStringLiteral("secreto"));
        QVERIFY(tinyproxy->running());
        qputenv("https_proxy", QByteArray::fromStdString("http://" + tinyproxy->hostAndPort()));
    }
    const auto noProxy = qScopeGuard([] { qunsetenv("https_proxy"); });
    server_->setResponder([&requests, proxy](const test::Exchange&) {
        if (!proxy && requests++ == 0) {
            Reply challenge = Reply::status("HTTP/1.1 401 Unauthorized", "<x/>");
            challenge.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Encuestas OSKEL\"");
            return challenge;
        }
        return Reply::ok(kReceipt);
    });
    Run run(executableFolder_->path());
    answerCertificateDialog(Choice::Row, 2);
    auto dialogs = std::make_shared<QList<CredentialsShown>>();
    answerCredentialsInto(dialogs, {QStringLiteral("hotel:secreto")});
    auto shown = answerMessages(1);
    answerNextSaveDialog(QString());
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(dialogs->size(), qsizetype(1));
    QCOMPARE(dialogs->front().askerWords, askerWords);
    QCOMPARE(*shown, QStringList{kAccepted});
    const auto exchanges = server_->exchanges();
    // Sent again with the credentials, and still with the chosen certificate.
    QCOMPARE(exchanges.size(), std::size_t(proxy ? 1 : 2));
    if (proxy)
        QCOMPARE(tinyproxy->tunnels().size(), qsizetype(2)); // refused, then let through
    else
        QCOMPARE(exchanges.back().header("Authorization"), std::string("Basic aG90ZWw6c2VjcmV0bw=="));
    QCOMPARE(QString::fromStdString(exchanges.back().clientCommonName), QString::fromUtf8("Peña Muñoz"));
}

// Without a proxy in use, the office's 407 is its failing answer: no
// credentials dialog, no second POST.
void TestCertificateAttachment::officeAnswering407IsSentOnce() {
    server_->setResponder([](const test::Exchange&) {
        Reply challenge = Reply::status("HTTP/1.1 407 Proxy Authentication Required", "<x/>", "text/html");
        challenge.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"proxy falso\"");
        return challenge;
    });
    const int exchangesBefore = int(server_->exchanges().size());
    Run run(executableFolder_->path());
    answerCertificateDialog(Choice::Row, 2);
    auto dialogs = std::make_shared<QList<CredentialsShown>>();
    answerCredentialsInto(dialogs, {QStringLiteral("hotel:secreto")});
    auto shown = answerMessages(1);
    QVERIFY(run.workflow.showAndWait());
    QVERIFY(server_->waitUntilConnectionsEnd(std::chrono::seconds(5)));

    QCOMPARE(int(server_->exchanges().size()) - exchangesBefore, 1);
    QVERIFY(dialogs->isEmpty());
    QCOMPARE(shown->size(), qsizetype(1));
    QVERIFY2(shown->front().startsWith(
                 QString::fromUtf8("ESOAPHTTPException error, con el mensaje : El servidor proxy "
                                   "exige autenticación: Proxy Authentication Required (407) - '")),
             qPrintable(shown->front()));
}

// The desktop's proxy refuses what the user types: the dialog comes back
// saying so, three times at most, and the run ends naming the proxy. The
// survey never reaches the office; cancelling ends as the user's own stop.
void TestCertificateAttachment::proxyRefusingCredentials_data() {
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("message"); // %1 the proxy
    QTest::newRow("refused three times")
        << QStringList{"hotel:mala", "hotel:mala", "hotel:mala", "hotel:mala"} << 3
        << QString::fromUtf8("ESOAPHTTPException error, con el mensaje : El proxy %1 no aceptó el usuario o "
                             "la contraseña: la encuesta no se envió");
    QTest::newRow("refused, then cancelled") << QStringList{"hotel:mala", QString()} << 2 << kStopped;
}

void TestCertificateAttachment::proxyRefusingCredentials() {
    QFETCH(QStringList, answers);
    QFETCH(int, dialogs);
    QFETCH(QString, message);
    test::TinyProxy tinyproxy(QStringLiteral("hotel"), QStringLiteral("secreto"));
    QVERIFY(tinyproxy.running());
    qputenv("https_proxy", QByteArray::fromStdString("http://" + tinyproxy.hostAndPort()));
    const auto noProxy = qScopeGuard([] { qunsetenv("https_proxy"); });
    const int exchangesBefore = int(server_->exchanges().size());
    Run run(executableFolder_->path());
    answerCertificateDialog(Choice::Row, 2);
    auto shownDialogs = std::make_shared<QList<CredentialsShown>>();
    answerCredentialsInto(shownDialogs, answers);
    auto shown = answerMessages(1);
    QVERIFY(run.workflow.showAndWait());

    QCOMPARE(shownDialogs->size(), qsizetype(dialogs));
    const QString refused =
        QString::fromUtf8("El proxy no aceptó el usuario o la contraseña. Escríbalos de nuevo.");
    for (qsizetype i = 0; i < shownDialogs->size(); ++i)
        QCOMPARE(shownDialogs->at(i).explanation.startsWith(refused), i > 0);
    QCOMPARE(shown->size(), qsizetype(1));
    if (message.contains(QLatin1String("%1")))
        message = message.arg(QString::fromStdString(tinyproxy.hostAndPort()));
    QVERIFY2(shown->front().startsWith(message), qPrintable(shown->front()));
    // One CONNECT, and one more for each answer typed.
    const QStringList typed = answers.mid(0, dialogs);
    QCOMPARE(tinyproxy.tunnels().size(), 1 + typed.size() - typed.count(QString()));
    QCOMPARE(int(server_->exchanges().size()), exchangesBefore);
}

CTO_TEST_MAIN(TestCertificateAttachment)
#include "tst_certificate_attachment.moc"
