// What the user reads for a failed exchange: our Spanish text for the error
// number, then libcurl's or our English detail where it says more.
#include "transport/PlatformErrors.h"

#include <QTest>

using namespace cto::http;

class TestPlatformErrors : public QObject {
    Q_OBJECT

private slots:
    void transferFailures_data();
    void transferFailures();
    void ownFailures_data();
    void ownFailures();
};

void TestPlatformErrors::transferFailures_data() {
    QTest::addColumn<int>("code"); // CURLcode
    QTest::addColumn<bool>("certificateAsked");
    QTest::addColumn<QByteArray>("errorBuffer");
    QTest::addColumn<QString>("message");
    QTest::newRow("refused connection")
        << int(CURLE_COULDNT_CONNECT) << false
        << QByteArray("Failed to connect to 127.0.0.1 port 9: Connection refused")
        << QStringLiteral("No se puede conectar con el servidor (Failed to connect to 127.0.0.1 port 9: "
                          "Connection refused)");
    QTest::newRow("unknown host") << int(CURLE_COULDNT_RESOLVE_HOST) << false
                                  << QByteArray("Could not resolve host: x")
                                  << QStringLiteral("No se pudo resolver el nombre del servidor (Could not "
                                                    "resolve host: x)");
    QTest::newRow("empty error buffer: libcurl's text for the code")
        << int(CURLE_COULDNT_RESOLVE_HOST) << false << QByteArray()
        << QStringLiteral("No se pudo resolver el nombre del servidor (Couldn't resolve host name)");
    QTest::newRow("line end after the detail")
        << int(CURLE_RECV_ERROR) << false << QByteArray("Connection reset by peer\r\n")
        << QStringLiteral("Se restableció la conexión con el servidor (Connection reset by peer)");
    QTest::newRow("code without a number of its own")
        << int(CURLE_FUNCTION_NOT_FOUND) << false << QByteArray("x")
        << QStringLiteral("Se produjo un error interno en el "
                          "cliente HTTP (x)");
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

QTEST_GUILESS_MAIN(TestPlatformErrors)
#include "tst_platform_errors.moc"
