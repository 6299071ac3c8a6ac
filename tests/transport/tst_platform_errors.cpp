// What the user reads for a failed exchange: our Spanish text for the error
// number, then the library's code in Spanish with its own English words.
#include "support/TestMain.h"
#include "transport/LibraryTexts.h"
#include "transport/PlatformErrors.h"

#include <openssl/x509_vfy.h>

#include <QTest>

using namespace cto::http;

class TestPlatformErrors : public QObject {
    Q_OBJECT

private slots:
    void transferFailures_data();
    void transferFailures();
    void ownFailures_data();
    void ownFailures();
    void curlCodes_data();
    void curlCodes();
    void verifyResults_data();
    void verifyResults();
    void httpStatuses_data();
    void httpStatuses();
};

void TestPlatformErrors::transferFailures_data() {
    QTest::addColumn<int>("code"); // CURLcode
    QTest::addColumn<bool>("certificateAsked");
    QTest::addColumn<QByteArray>("errorBuffer");
    QTest::addColumn<QString>("message");
    QTest::newRow("refused connection")
        << int(CURLE_COULDNT_CONNECT) << false
        << QByteArray("Failed to connect to 127.0.0.1 port 9: Connection refused")
        << QStringLiteral("No se puede conectar con el servidor (no se pudo abrir la conexión: Failed to "
                          "connect to 127.0.0.1 port 9: Connection refused)");
    QTest::newRow("unknown host") << int(CURLE_COULDNT_RESOLVE_HOST) << false
                                  << QByteArray("Could not resolve host: x")
                                  << QStringLiteral("No se pudo resolver el nombre del servidor (no se "
                                                    "encontró la dirección del servidor: Could not "
                                                    "resolve host: x)");
    QTest::newRow("empty error buffer: libcurl's text for the code")
        << int(CURLE_COULDNT_RESOLVE_HOST) << false << QByteArray()
        << QStringLiteral("No se pudo resolver el nombre del servidor (no se encontró la dirección del "
                          "servidor: Couldn't resolve host name)");
    QTest::newRow("line end after the detail")
        << int(CURLE_RECV_ERROR) << false << QByteArray("Connection reset by peer\r\n")
        << QStringLiteral("Se restableció la conexión con el servidor (falló la recepción de datos por la "
                          "red: Connection reset by peer)");
    QTest::newRow("code without a number of its own")
        << int(CURLE_FUNCTION_NOT_FOUND) << false << QByteArray("x")
        << QStringLiteral("Se produjo un error interno en el "
                          "cliente HTTP (falta una función del cliente HTTP: x)");
    QTest::newRow("a code an HTTPS exchange cannot meet")
        << int(CURLE_TFTP_NOSUCHUSER) << false << QByteArray()
        << QStringLiteral("Se produjo un error interno en el cliente HTTP (código 74 del cliente HTTP: TFTP: "
                          "No such user)");
    // What the socket did next would mislead: the number says it all.
    QTest::newRow("client certificate demanded, none sent")
        << int(CURLE_RECV_ERROR) << true
        << QByteArray("getpeername() failed with errno 107: Transport endpoint")
        << QStringLiteral(
               "El servidor exige un certificado de cliente para completar la autenticación y no se "
               "envió ninguno");
}

void TestPlatformErrors::transferFailures() {
    QFETCH(int, code);
    QFETCH(bool, certificateAsked);
    QFETCH(QByteArray, errorBuffer);
    QFETCH(QString, message);
    TransferFailure failure;
    failure.code = static_cast<CURLcode>(code);
    failure.clientCertificateAsked = certificateAsked;
    const std::uint32_t error = platformErrorFor(failure);
    QCOMPARE(QString::fromStdString(describeFailure(error, failure, errorBuffer.constData())), message);
}

void TestPlatformErrors::ownFailures_data() {
    QTest::addColumn<uint>("error");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("message");
    QTest::newRow("detail that says more")
        << uint(kHeaderNotFound) << "The response has no Content-Type header"
        << QStringLiteral("No se encontró el encabezado solicitado en la respuesta (The response has no "
                          "Content-Type header)");
    QTest::newRow("no detail") << uint(kNotEnoughMemory) << ""
                               << QStringLiteral("No hay memoria suficiente para completar la operación");
    QTest::newRow("no error, no message") << uint(kNoError) << "ignored" << QString();
    QTest::newRow("a number without a text of ours")
        << 12345u << "" << QStringLiteral("Error 12345 del cliente HTTP");
}

void TestPlatformErrors::ownFailures() {
    QFETCH(uint, error);
    QFETCH(QString, detail);
    QFETCH(QString, message);
    QCOMPARE(QString::fromStdString(platformErrorMessage(error, detail.toStdString())), message);
}

// Each library's codes as the user reads them; the number of a code without
// a text of ours, with the library's words, so that no message is empty.
void TestPlatformErrors::curlCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("refused") << int(CURLE_COULDNT_CONNECT) << QStringLiteral("no se pudo abrir la conexión");
    QTest::newRow("unknown host") << int(CURLE_COULDNT_RESOLVE_HOST)
                                  << QStringLiteral("no se encontró la dirección del servidor");
    QTest::newRow("unknown proxy") << int(CURLE_COULDNT_RESOLVE_PROXY)
                                   << QStringLiteral("no se encontró la dirección del servidor proxy");
    QTest::newRow("cut short") << int(CURLE_PARTIAL_FILE)
                               << QStringLiteral(
                                      "la transferencia terminó antes de recibir todos los datos anunciados");
    QTest::newRow("tunnel refused") << int(CURLE_PROXY)
                                    << QStringLiteral("falló la negociación con el servidor proxy");
    QTest::newRow("handshake") << int(CURLE_SSL_CONNECT_ERROR)
                               << QStringLiteral("falló el establecimiento de la conexión segura (TLS)");
    QTest::newRow("silent") << int(CURLE_OPERATION_TIMEDOUT)
                            << QStringLiteral("se agotó el tiempo de espera");
    QTest::newRow("another protocol's")
        << int(CURLE_FTP_WEIRD_PASV_REPLY) << QStringLiteral("código 13 del cliente HTTP");
    QTest::newRow("beyond the last") << 999 << QStringLiteral("código 999 del cliente HTTP");
}

void TestPlatformErrors::curlCodes() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(curlCodeText(code)), text);
}

void TestPlatformErrors::verifyResults_data() {
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("self-signed") << X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
                                 << QStringLiteral("es un certificado autofirmado");
    QTest::newRow("no local issuer") << X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
                                     << QStringLiteral(
                                            "no se encuentra en este equipo el certificado del emisor");
    QTest::newRow("expired") << X509_V_ERR_CERT_HAS_EXPIRED << QStringLiteral("el certificado ha caducado");
    QTest::newRow("not yet valid") << X509_V_ERR_CERT_NOT_YET_VALID
                                   << QStringLiteral("el certificado aún no es válido");
    QTest::newRow("revoked") << X509_V_ERR_CERT_REVOKED << QStringLiteral("el certificado ha sido revocado");
    QTest::newRow("other name") << X509_V_ERR_HOSTNAME_MISMATCH
                                << QStringLiteral(
                                       "el nombre del servidor no coincide con el del certificado");
    QTest::newRow("other address") << X509_V_ERR_IP_ADDRESS_MISMATCH
                                   << QStringLiteral(
                                          "la dirección IP del servidor no coincide con la del certificado");
    QTest::newRow("weak key") << X509_V_ERR_EE_KEY_TOO_SMALL
                              << QStringLiteral("la clave del certificado es demasiado corta");
    QTest::newRow("the last of OpenSSL 3.0")
        << X509_V_ERR_EC_KEY_EXPLICIT_PARAMS
        << QStringLiteral("la clave de curva elíptica trae parámetros explícitos");
    QTest::newRow("unknown") << 4242 << QStringLiteral("resultado 4242 de la verificación");
}

void TestPlatformErrors::verifyResults() {
    QFETCH(int, result);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(verifyResultText(result)), text);
}

void TestPlatformErrors::httpStatuses_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("400") << 400 << QStringLiteral("el servidor no entiende la petición");
    QTest::newRow("401") << 401 << QStringLiteral("el servidor exige autenticación");
    QTest::newRow("403") << 403 << QStringLiteral("el servidor deniega el acceso");
    QTest::newRow("404") << 404 << QStringLiteral("el servidor no encuentra el recurso solicitado");
    QTest::newRow("407") << 407 << QStringLiteral("el servidor proxy exige autenticación");
    QTest::newRow("503") << 503 << QStringLiteral("el servicio no está disponible en este momento");
    QTest::newRow("302") << 302 << QStringLiteral("el recurso está en otra dirección");
    QTest::newRow("a 4xx of no name") << 499 << QStringLiteral("el servidor rechazó la petición");
    QTest::newRow("a 5xx of no name") << 599 << QStringLiteral("el servidor falló");
    QTest::newRow("a 3xx of no name") << 399 << QStringLiteral("el servidor remite a otro lugar");
}

void TestPlatformErrors::httpStatuses() {
    QFETCH(int, status);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(httpStatusText(status)), text);
}

CTO_TEST_GUILESS_MAIN(TestPlatformErrors)
#include "tst_platform_errors.moc"
