// The whole run as a user makes it: the real program on an X server with no
// window manager, the simulated office demanding a client certificate, a test
// NSS database as the user's store, and every window answered from the
// keyboard with xdotool once it holds the focus.
#include "support/OfficeDesktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using cto::test::contentOf;

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void surveyGoesOutWithTheChosenCertificate();

private:
    QTemporaryDir folder_;
    cto::test::OfficeDesktop desktop_{QStringLiteral(CTO_SIMULATED_OFFICE),
                                      QStringLiteral(CTO_TESTS_DIR "/support/make-test-nssdb.sh")};
};

void TestEndToEnd::initTestCase() {
    QVERIFY(folder_.isValid());
    const QString problem = desktop_.start(folder_.path());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestEndToEnd::cleanupTestCase() {
    desktop_.stop();
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

    desktop_.sendAsUser(program, work, QStringLiteral("encuesta.xml"), copy);
    if (QTest::currentTestFailed())
        return;

    // What the office received: the survey byte for byte, with the chosen certificate.
    const QString exchanges = desktop_.exchangesFolder();
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
