// Every receipt the office issues is kept in the user's data folder, besides
// the response file that the next run of a survey of the same name replaces.
#include "app/OfficeFixture.h"
#include "app/WorkflowRun.h"
#include "app/engine/ReceiptArchive.h"

#include "response/ResponseExtraction.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using cto::test::answerNextMessage;
using cto::test::answerNextSaveDialog;
using cto::test::contentOf;
using cto::test::Reply;
using cto::test::WorkflowRun;
using cto::test::writeFile;

namespace {

std::string envelope(const std::string& order, const std::string& errors) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
           "<RespuestaSolicitudEncuesta><NumeroOrden>" +
           order + "</NumeroOrden><CodigoControl>C1</CodigoControl><AcuseEnvio>Recibida</AcuseEnvio>" +
           errors + "</RespuestaSolicitudEncuesta></soapenv:Body></soapenv:Envelope>";
}

const std::string kAccepted = envelope("2026-000123", "");
const std::string kWithErrors = envelope(
    "2026-000124", "<Errores><Numero>1</Numero><Error><TipoError>E1</TipoError>"
                   "<LineaError>4</LineaError><DescripcionError>Mes</DescripcionError></Error></Errores>");

} // namespace

class TestReceiptArchive : public QObject, private cto::test::OfficeFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyRunOfOneSurveyKeepsItsReceipt();
    void aTakenNameIsNeverReplaced();
    void aCopyThatCannotBeKeptIsLoggedAndTheRunGoesOn();

private:
    // The receipts kept, by name, with their bytes.
    QMap<QString, QByteArray> kept() const;
    bool runOnce(QStringList* log = nullptr);

    std::unique_ptr<QTemporaryDir> dataHome_;
};

void TestReceiptArchive::initTestCase() {
    startOffice();
}

void TestReceiptArchive::init() {
    startRun("<Encuesta/>");
    dataHome_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", dataHome_->path().toUtf8());
}

void TestReceiptArchive::cleanup() {
    endRun();
}

QMap<QString, QByteArray> TestReceiptArchive::kept() const {
    QMap<QString, QByteArray> receipts;
    const QDir folder(cto::receiptArchiveFolder());
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        receipts.insert(name, contentOf(folder.filePath(name)));
    return receipts;
}

bool TestReceiptArchive::runOnce(QStringList* log) {
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    const bool ended = run.showAndWait();
    if (log)
        *log = run.log();
    return ended;
}

void TestReceiptArchive::everyRunOfOneSurveyKeepsItsReceipt() {
    server_->enqueue(Reply::ok(kAccepted));
    server_->enqueue(Reply::ok(kWithErrors));
    QVERIFY(runOnce());
    QVERIFY(runOnce());

    const QByteArray accepted = QByteArray::fromStdString(cto::extraerRespuestaDeMemoria(kAccepted));
    const QByteArray withErrors = QByteArray::fromStdString(cto::extraerRespuestaDeMemoria(kWithErrors));
    // The response file holds the last receipt alone, as before.
    QCOMPARE(contentOf(responseFile()), withErrors);
    const QMap<QString, QByteArray> receipts = kept();
    QCOMPARE(receipts.values(), (QList<QByteArray>{accepted, withErrors}));
    const QRegularExpression name(QStringLiteral(R"(^Envio2026-00012[34]_\d{4}-\d\d-\d\d_\d{6}\.xml$)"));
    for (const QString& file : receipts.keys())
        QVERIFY2(name.match(file).hasMatch(), qPrintable(file));
    QVERIFY(receipts.firstKey().startsWith(QStringLiteral("Envio2026-000123_")));
    // The user's alone.
    QCOMPARE(QFileInfo(cto::receiptArchiveFolder()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
}

void TestReceiptArchive::aTakenNameIsNeverReplaced() {
    const QDateTime issued(QDate(2026, 12, 10), QTime(9, 30, 5));
    const auto keep = [&](const char* bytes) {
        cto::MemoryStream receipt{std::string(bytes)};
        return QString::fromStdString(cto::keepReceipt(receipt, QStringLiteral("7"), issued));
    };
    const QString first = keep("primero");
    const QString second = keep("segundo");
    const QString third = keep("tercero");
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("Envio7_2026-12-10_093005.xml"));
    QCOMPARE(QFileInfo(second).fileName(), QStringLiteral("Envio7_2026-12-10_093005-2.xml"));
    QCOMPARE(QFileInfo(third).fileName(), QStringLiteral("Envio7_2026-12-10_093005-3.xml"));
    // Nothing else beside them: no file half written, no hidden one left.
    QCOMPARE(kept(), (QMap<QString, QByteArray>{{QFileInfo(first).fileName(), "primero"},
                                                {QFileInfo(second).fileName(), "segundo"},
                                                {QFileInfo(third).fileName(), "tercero"}}));
}

void TestReceiptArchive::aCopyThatCannotBeKeptIsLoggedAndTheRunGoesOn() {
    // A data folder that cannot be: its parent is a file.
    writeFile(dataHome_->filePath(QStringLiteral("fichero")), "x");
    qputenv("XDG_DATA_HOME", dataHome_->filePath(QStringLiteral("fichero/datos")).toUtf8());
    server_->enqueue(Reply::ok(kAccepted));
    QStringList log;
    QVERIFY(runOnce(&log));

    QCOMPARE(contentOf(responseFile()), QByteArray::fromStdString(cto::extraerRespuestaDeMemoria(kAccepted)));
    QCOMPARE(log.size(), 7);
    QVERIFY2(log.last().startsWith(QStringLiteral("No se pudo guardar la copia del resguardo: ")) &&
                 log.last().contains(QStringLiteral("fichero/datos")),
             qPrintable(log.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestReceiptArchive)
#include "tst_receipt_archive.moc"
