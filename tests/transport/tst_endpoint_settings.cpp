#include "common/FailureKinds.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"
#include "transport/ServiceDeployment.h"
#include "transport/THTTPRIO.h"
#include "transport/UrlParts.h"

#include <QTest>

#include <cstdlib>

using namespace cto;

class TestEndpointSettings : public QObject {
    Q_OBJECT

private slots:
    void setterInterplay_data();
    void setterInterplay();
    void failedUrlWriteKeepsEarlierSettings();
    void deploymentComesFromEnvironmentFirst();
    void urlSplitting_data();
    void urlSplitting();
};

namespace {

const std::string kWsdl = "https://host.example/TULVA/ficheros/ServicioXmlTurismo.wsdl";
const std::string kService = "https://host.example/TULVA/services/ServicioXmlTurismo?";

// Writes "W=value", "S=value", "P=value", "U=value" in order.
void apply(THTTPRIO& client, const QStringList& writes) {
    for (const QString& write : writes) {
        const std::string value = write.mid(2).toStdString();
        switch (write.at(0).toLatin1()) {
        case 'W':
            client.setWSDLLocation(value);
            break;
        case 'S':
            client.setService(value);
            break;
        case 'P':
            client.setPort(value);
            break;
        case 'U':
            client.setURL(value);
            break;
        }
    }
}

} // namespace

void TestEndpointSettings::setterInterplay_data() {
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("wsdl");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("url");
    const QString w = QString::fromStdString(kWsdl), u = QString::fromStdString(kService);
    QTest::newRow("the workflow's order leaves only the URL")
        << QStringList{"W=" + w, "S=SolicitudEncuestaWSService", "P=ServicioXmlTurismo", "U=" + u} << ""
        << ""
        << "" << u;
    QTest::newRow("service and port before any location are lost") << QStringList{"S=s", "P=p"} << ""
                                                                   << ""
                                                                   << ""
                                                                   << "";
    QTest::newRow("after a location they are kept") << QStringList{"W=" + w, "S=s", "P=p"} << w << "s"
                                                    << "p"
                                                    << "";
    QTest::newRow("a location empties the URL") << QStringList{"U=" + u, "W=" + w} << w << ""
                                                << ""
                                                << "";
    QTest::newRow("an empty location keeps the URL but empties service and port")
        << QStringList{"W=" + w, "S=s", "P=p", "U=" + u, "S=s2", "W="} << ""
        << ""
        << "" << u;
    QTest::newRow("an empty URL leaves the rest") << QStringList{"W=" + w, "S=s", "P=p", "U="} << w << "s"
                                                  << "p"
                                                  << "";
}

void TestEndpointSettings::setterInterplay() {
    QFETCH(QStringList, writes);
    THTTPRIO client;
    apply(client, writes);
    QTEST(QString::fromStdString(client.WSDLLocation()), "wsdl");
    QTEST(QString::fromStdString(client.Service()), "service");
    QTEST(QString::fromStdString(client.Port()), "port");
    QTEST(QString::fromStdString(client.URL()), "url");
    QTEST(QString::fromStdString(client.HTTPWebNode().URL()), "url");
}

void TestEndpointSettings::failedUrlWriteKeepsEarlierSettings() {
    THTTPRIO client;
    apply(client, {"W=" + QString::fromStdString(kWsdl), "S=s", "P=p"});
    CTO_COMPARE_FAILURE(ESOAPHTTPException, client.setURL("ftp://host.example/x"),
                        "Invalid url 'ftp://host.example/x' - only supports 'http' and 'https' schemes");
    QCOMPARE(client.WSDLLocation(), kWsdl);
    QCOMPARE(client.Service(), std::string("s"));
    QCOMPARE(client.Port(), std::string("p"));
    QCOMPARE(client.URL(), std::string());
}

void TestEndpointSettings::deploymentComesFromEnvironmentFirst() {
    ::setenv("CTO_SERVICE_HOST", "127.0.0.1:8443", 1);
    ::setenv("CTO_SERVICE_CA_FILE", "/etc/oficina/ca.pem", 1);
    ::setenv("CTO_OFFICE_TEST_SERVICE", CTO_OFFICE_TEST_SERVICE_DEFAULT ? "0" : "1", 1);
    QCOMPARE(serviceHost(), std::string("127.0.0.1:8443"));
    QCOMPARE(serviceAuthoritiesFile(), std::string("/etc/oficina/ca.pem"));
    QCOMPARE(officeTestService(), !CTO_OFFICE_TEST_SERVICE_DEFAULT);
    // Set but empty counts as not set.
    for (const char* name : {"CTO_SERVICE_HOST", "CTO_SERVICE_CA_FILE", "CTO_OFFICE_TEST_SERVICE"})
        ::setenv(name, "", 1);
    QCOMPARE(serviceHost(), std::string(CTO_SERVICE_HOST_DEFAULT));
    QCOMPARE(serviceAuthoritiesFile(), std::string(CTO_SERVICE_CA_FILE_DEFAULT));
    QCOMPARE(officeTestService(), bool(CTO_OFFICE_TEST_SERVICE_DEFAULT));
    for (const char* name : {"CTO_SERVICE_HOST", "CTO_SERVICE_CA_FILE", "CTO_OFFICE_TEST_SERVICE"})
        ::unsetenv(name);
}

void TestEndpointSettings::urlSplitting_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("scheme");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("objectName");
    QTest::newRow("service URL keeps its final ?") << QString::fromStdString(kService) << 4 << "host.example"
                                                   << 443 << "/TULVA/services/ServicioXmlTurismo?";
    QTest::newRow("http default port")
        << "http://h.example/a/b?x=1&y" << 3 << "h.example" << 80 << "/a/b?x=1&y";
    QTest::newRow("explicit port") << "https://127.0.0.1:8443/s" << 4 << "127.0.0.1" << 8443 << "/s";
    QTest::newRow("no path") << "https://h.example" << 4 << "h.example" << 443 << "";
    QTest::newRow("IPv6 literal") << "https://[::1]:9/p" << 4 << "::1" << 9 << "/p";
    QTest::newRow("ftp") << "ftp://h.example/f" << 0 << "" << 0 << "";
    QTest::newRow("unreadable") << "https://" << 0 << "" << 0 << "";
}

void TestEndpointSettings::urlSplitting() {
    QFETCH(QString, url);
    const http::UrlParts parts = http::crackUrl(url.toStdString());
    QTEST(parts.scheme, "scheme");
    QTEST(QString::fromStdString(parts.host), "host");
    QTEST(parts.port, "port");
    QTEST(QString::fromStdString(parts.objectName), "objectName");
}

CTO_TEST_GUILESS_MAIN(TestEndpointSettings)
#include "tst_endpoint_settings.moc"
