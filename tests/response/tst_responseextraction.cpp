// Cutting RespuestaSolicitudEncuesta out of the service's answer: what is
// found, the exact bytes written, and that they stand on their own.
#include "response/FailureText.h"
#include "response/ResponseExtraction.h"
#include "response/RespuestaSolicitud.h"
#include "support/ExpectFailure.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SystemErrorText.h"
#include "support/TestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace cto;
using cto::test::failureText;
using cto::test::fixture;

namespace {

const QByteArray kOpen = "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">";
const QByteArray kClose = "</RespuestaSolicitudEncuesta>";
const QByteArray kSoapOpen = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
const QByteArray kSoapClose = "</s:Body></s:Envelope>";
const QString kNotFound =
    "EXMLDocError: La respuesta del servicio no contiene el elemento RespuestaSolicitudEncuesta";

QByteArray extracted(const QByteArray& response) {
    return QByteArray::fromStdString(extraerRespuestaDeMemoria(response.toStdString()));
}

} // namespace

class TestResponseExtraction : public QObject {
    Q_OBJECT

private slots:
    void extracts_data();
    void extracts();
    void notFound_data();
    void notFound();
    void undeclarationsLeaveMarkupOnly();
    void fileIsOnlyRead();
    void deepestElementTheParserAllows();
};

void TestResponseExtraction::extracts_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<QString>("numeroOrden");
    QTest::addColumn<int>("errorCount");

    const QByteArray receipt = fixture("response-test-receipt.xml");
    QTest::newRow("test receipt unchanged") << receipt << receipt << "EncuestaDePrueba" << 0;
    QTest::newRow("SOAP 1.1 receipt at depth, prefixes of the envelope declared again")
        << fixture("response-soap-receipt.xml")
        << QByteArray(
               "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
               "xmlns:ns1=\"http://servicio.tulva.oskel.example\" "
               "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xsi:type=\"ns1:Respuesta\">"
               "<NumeroOrden xsi:type=\"xsd:string\">2026-000417</NumeroOrden>"
               "<CodigoControl>K7P-19Q</CodigoControl>"
               "<AcuseEnvio>Encuesta recibida el 10/12/2026 a las 07:31 &amp; registrada</AcuseEnvio>" +
               kClose)
        << "2026-000417" << 0;
    QTest::newRow("two errors, default namespace of the operation replaced")
        << fixture("response-soap-two-errors.xml")
        << kOpen +
               "<NumeroOrden>2026-000418</NumeroOrden><CodigoControl>Z2M-44B</CodigoControl><Errores>"
               "<Numero>2</Numero><Error><TipoError>FORMATO</TipoError><LineaError>12</LineaError>"
               "<DescripcionError>Fecha de entrada no valida</DescripcionError></Error><Error>"
               "<TipoError>COHERENCIA</TipoError><LineaError>40</LineaError>"
               "<DescripcionError><![CDATA[Pernoctaciones < viajeros]]></DescripcionError></Error>"
               "</Errores>" +
               kClose
        << "2026-000418" << 2;
    QTest::newRow("first of two, a nested one is content")
        << kSoapOpen +
               "<RespuestaSolicitudEncuesta><NumeroOrden>1</NumeroOrden><RespuestaSolicitudEncuesta/>"
               "</RespuestaSolicitudEncuesta><RespuestaSolicitudEncuesta><NumeroOrden>2</NumeroOrden>"
               "</RespuestaSolicitudEncuesta>" +
               kSoapClose
        << kOpen + "<NumeroOrden>1</NumeroOrden><RespuestaSolicitudEncuesta/>" + kClose << "1" << 0;
    QTest::newRow("own default namespace replaced")
        << QByteArray("<RespuestaSolicitudEncuesta xmlns=\"otro\"><NumeroOrden>3</NumeroOrden>"
                      "</RespuestaSolicitudEncuesta>")
        << kOpen + "<NumeroOrden>3</NumeroOrden>" + kClose << "3" << 0;
    QTest::newRow("child with a prefix of another namespace keeps it")
        << kSoapOpen +
               "<RespuestaSolicitudEncuesta xmlns:o=\"otro\"><o:NumeroOrden>4</o:NumeroOrden>"
               "<s:Detail/></RespuestaSolicitudEncuesta>" +
               kSoapClose
        << "<RespuestaSolicitudEncuesta xmlns:o=\"otro\" xmlns=\"RespuestaSolicitud.xsd\" "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><o:NumeroOrden>4</o:NumeroOrden><s:Detail/"
           ">" +
               kClose
        << "" << 0;
    // Found by fuzzing: libxml2 writes namespace URIs unescaped.
    QTest::newRow("namespace URI holding an ampersand")
        << fixture("response-fuzz-namespace-ampersand.xml")
        << QByteArray(
               "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\" "
               "xmlns:xsi=\"http://www.w2.org/2001/XMLSch&amp;ema-instance\" xsi:type=\"ns0:Respuesta\">"
               "<NumeroOrden xsi:type=\"xsd:string\">2026-000417</NumeroOrden>"
               "<CodigoControl>K7P-19Q</CodigoControl>"
               "<AcuseEnvio>Encuesta recibida el 10/12/2026 a las 07:31 &amp; registrada</AcuseEnvio>" +
               kClose)
        << "2026-000417" << 0;
    QTest::newRow("namespace URIs with ampersands, inside and outside")
        << kSoapOpen.left(kSoapOpen.indexOf('>')) + " xmlns:p=\"a&amp;b'c\">" +
               kSoapOpen.mid(kSoapOpen.indexOf('>') + 1) +
               "<RespuestaSolicitudEncuesta xmlns:q=\"x&amp;y\"><p:NumeroOrden/><q:CodigoControl/>"
               "<NumeroOrden>6</NumeroOrden></RespuestaSolicitudEncuesta>" +
               kSoapClose
        << QByteArray("<RespuestaSolicitudEncuesta xmlns:q=\"x&amp;y\" xmlns=\"RespuestaSolicitud.xsd\" "
                      "xmlns:p=\"a&amp;b'c\"><p:NumeroOrden/><q:CodigoControl/>"
                      "<NumeroOrden>6</NumeroOrden>" +
                      kClose)
        << "6" << 0;
    QTest::newRow("parameter entity of that name is no node")
        << QByteArray("<!DOCTYPE r [<!ENTITY % RespuestaSolicitudEncuesta "
                      "\"x\">]><r><RespuestaSolicitudEncuesta/></r>")
        << QByteArray("<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\"/>") << "" << 0;
    QTest::newRow("escapes, attributes, non-ASCII as UTF-8, BOM dropped")
        << QByteArray("\xef\xbb\xbf<?xml version=\"1.0\"?><RespuestaSolicitudEncuesta a='x\"y' b=\"&lt;\">"
                      "<NumeroOrden>&lt;5&gt; &amp; \xc3\xb1</NumeroOrden></RespuestaSolicitudEncuesta>")
        << QByteArray(
               "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\" a=\"x&quot;y\" b=\"&lt;\">"
               "<NumeroOrden>&lt;5&gt; &amp; \xc3\xb1</NumeroOrden></RespuestaSolicitudEncuesta>")
        << QString::fromUtf8("<5> & ñ") << 0;
    QTest::newRow("Latin-1 answer comes out as UTF-8")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><RespuestaSolicitudEncuesta>"
                      "<NumeroOrden>a\xf1o</NumeroOrden></RespuestaSolicitudEncuesta>")
        << kOpen + "<NumeroOrden>a\xc3\xb1o</NumeroOrden>" + kClose << QString::fromUtf8("año") << 0;
}

// Every result parses again on its own and binds.
void TestResponseExtraction::extracts() {
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, result);
    QFETCH(QString, numeroOrden);
    QFETCH(int, errorCount);
    const QByteArray bytes = extracted(response);
    QCOMPARE(bytes, result);
    auto root = cargarRespuestaDeMemoria(bytes.toStdString());
    QCOMPARE(QString::fromStdString(root->NumeroOrden()), numeroOrden);
    QCOMPARE(root->Errores()->Error()->Count(), errorCount);
}

void TestResponseExtraction::notFound_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("failure");

    const QString notElement = "EXMLDocError: Attributes are not supported on this node type";
    QTest::newRow("prefixed") << fixture("response-prefixed.xml") << kNotFound;
    QTest::newRow("other letter case") << fixture("response-wrong-case.xml") << kNotFound;
    QTest::newRow("SOAP 1.1 fault")
        << fixture("response-soap-fault.xml")
        << kNotFound +
               ". El servicio ha devuelto un fallo SOAP: \"El certificado del cliente no esta autorizado\"";
    QTest::newRow("SOAP 1.2 fault")
        << QByteArray("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><e:Fault>"
                      "<e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason><e:Text xml:lang=\"es\">"
                      " Servicio en mantenimiento </e:Text></e:Reason></e:Fault></e:Body></e:Envelope>")
        << kNotFound + ". El servicio ha devuelto un fallo SOAP: \"Servicio en mantenimiento\"";
    QTest::newRow("Fault outside SOAP is no fault")
        << QByteArray("<Fault><faultstring>x</faultstring></Fault>") << kNotFound;
    QTest::newRow("name as an attribute only")
        << QByteArray("<r RespuestaSolicitudEncuesta=\"1\">RespuestaSolicitudEncuesta</r>") << kNotFound;
    QTest::newRow("processing instruction first")
        << QByteArray("<r><?RespuestaSolicitudEncuesta x?><RespuestaSolicitudEncuesta/></r>") << notElement;
    QTest::newRow("document type of that name")
        << QByteArray("<!DOCTYPE RespuestaSolicitudEncuesta><RespuestaSolicitudEncuesta/>") << notElement;
    QTest::newRow("general entity of that name declared first")
        << QByteArray("<!DOCTYPE r [<!ENTITY RespuestaSolicitudEncuesta "
                      "\"x\">]><r><RespuestaSolicitudEncuesta/></r>")
        << notElement;
    QTest::newRow("HTML error page")
        << fixture("response-html-error.html")
        << "EDOMParseError: Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag "
           "mismatch: hr line 4 and body)\r\nLine: 5\r\n</body>";
}

void TestResponseExtraction::notFound() {
    QFETCH(QByteArray, response);
    QFETCH(QString, failure);
    QCOMPARE(failureText([&] { extracted(response); }), failure);
}

// Only markup loses its default-namespace undeclarations; text that happens to
// read ` xmlns=""` is delivered whole.
void TestResponseExtraction::undeclarationsLeaveMarkupOnly() {
    const QByteArray response = kSoapOpen +
                                "<op xmlns=\"urn:op\"><RespuestaSolicitudEncuesta xmlns=\"\">"
                                "<NumeroOrden> xmlns=\"\" </NumeroOrden>"
                                "<CodigoControl xmlns=\"\">c</CodigoControl>"
                                "<AcuseEnvio a=' xmlns=\"\"'><![CDATA[ xmlns=\"\"]]></AcuseEnvio>"
                                "</RespuestaSolicitudEncuesta></op>" +
                                kSoapClose;
    const QByteArray bytes = extracted(response);
    QCOMPARE(bytes, kOpen +
                        "<NumeroOrden> xmlns=\"\" </NumeroOrden><CodigoControl>c</CodigoControl>"
                        "<AcuseEnvio a=\" xmlns=&quot;&quot;\"><![CDATA[ xmlns=\"\"]]></AcuseEnvio>" +
                        kClose);
    auto root = cargarRespuestaDeMemoria(bytes.toStdString());
    QCOMPARE(root->NumeroOrden(), std::string(" xmlns=\"\" "));
    QCOMPARE(root->CodigoControl(), std::string("c"));
    QCOMPARE(root->AcuseEnvio(), std::string(" xmlns=\"\""));
}

void TestResponseExtraction::fileIsOnlyRead() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("encuesta-response.xml").toStdString();
    const QByteArray body = fixture("response-soap-two-errors.xml");
    writeWholeFile(path, body.toStdString());
    QCOMPARE(QByteArray::fromStdString(extraerRespuesta(path)), extracted(body));
    QCOMPARE(QByteArray::fromStdString(readWholeFile(path)), body);

    CTO_COMPARE_FAILURE(EFOpenError, extraerRespuesta(""),
                        "Cannot open file \"\". " + QString::fromStdString(systemErrorText(ENOENT)));
}

// The parser refuses documents deeper than 256 levels, which bounds every
// walk over the tree; the search itself does not recurse.
void TestResponseExtraction::deepestElementTheParserAllows() {
    QByteArray response;
    for (int i = 0; i < 254; ++i)
        response += "<e>";
    response += "<RespuestaSolicitudEncuesta><NumeroOrden>hondo</NumeroOrden></RespuestaSolicitudEncuesta>";
    for (int i = 0; i < 254; ++i)
        response += "</e>";
    QCOMPARE(extracted(response), kOpen + "<NumeroOrden>hondo</NumeroOrden>" + kClose);
}

CTO_TEST_GUILESS_MAIN(TestResponseExtraction)
#include "tst_responseextraction.moc"
