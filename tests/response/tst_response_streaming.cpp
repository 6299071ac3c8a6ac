// The one-pass reader against the whole-tree reference it replaced: for every
// answer, the same element byte for byte and the same fields for the outcome,
// or the same failure, kind and message.
#include "response/FailureText.h"
#include "response/PathComparison.h"
#include "support/TestMain.h"

#include <QDir>
#include <QStringEncoder>
#include <QTest>

using cto::test::fixture;
using cto::test::referencePath;
using cto::test::sameOutcome;
using cto::test::streamedPath;

namespace {

const QByteArray kEnvelope =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:o=\"urn:o\"><s:Body>";
const QByteArray kEnvelopeEnd = "</s:Body></s:Envelope>";

QByteArray inEnvelope(const QByteArray& body) {
    return kEnvelope + body + kEnvelopeEnd;
}

QByteArray receipt(const QByteArray& inside) {
    return inEnvelope("<RespuestaSolicitudEncuesta>" + inside + "</RespuestaSolicitudEncuesta>");
}

QByteArray manyErrors(int count) {
    QByteArray answer = "<RespuestaSolicitudEncuesta><NumeroOrden>7</NumeroOrden><Errores>";
    for (int i = 0; i < count; ++i)
        answer += "<Error><TipoError>F</TipoError><LineaError>" + QByteArray::number(i) +
                  "</LineaError><DescripcionError>a &lt; b</DescripcionError></Error>\n";
    return inEnvelope(answer + "</Errores></RespuestaSolicitudEncuesta>");
}

QByteArray encoded(QStringConverter::Encoding encoding, const QString& text) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

class TestResponseStreaming : public QObject {
    Q_OBJECT

private slots:
    void sameAsWholeTree_data();
    void sameAsWholeTree();
    void sameWhereverTheAnswerIsCut_data();
    void sameWhereverTheAnswerIsCut();
};

void TestResponseStreaming::sameAsWholeTree_data() {
    QTest::addColumn<QByteArray>("answer");

    const QDir data(QStringLiteral(CTO_TEST_DATA_DIR));
    for (const QString& name : data.entryList({QStringLiteral("response-*")}, QDir::Files))
        QTest::newRow(qPrintable(name)) << fixture(qPrintable(name));

    QTest::newRow("prefixed inner elements, outside prefixes in names, attributes and types") << receipt(
        "<o:NumeroOrden o:a=\"1\">12</o:NumeroOrden><CodigoControl xsi:type=\"o:t\">C</CodigoControl>"
        "<Errores><o:Error/><Error xmlns=\"urn:other\"/></Errores>");
    QTest::newRow("default namespaces of other names, undeclared inside") << inEnvelope(
        "<a xmlns=\"urn:a\"><RespuestaSolicitudEncuesta xmlns=\"urn:r\"><NumeroOrden xmlns=\"\">1"
        "</NumeroOrden><b xmlns=\"urn:b\"><c xmlns=\"\"><d/></c></b><AcuseEnvio>ok</AcuseEnvio>"
        "</RespuestaSolicitudEncuesta></a>");
    QTest::newRow("xmlns=\"\" as text, CDATA, comments, instructions") << receipt(
        "<NumeroOrden><![CDATA[xmlns=\"\" <x>]]></NumeroOrden><CodigoControl>a<!--c-->b</CodigoControl>"
        "<?pi data?><AcuseEnvio>xmlns=&quot;&quot; &amp; &#13;&#10; &gt;</AcuseEnvio><!-- end -->");
    QTest::newRow("fields that are not one text")
        << receipt("<NumeroOrden><x/></NumeroOrden><CodigoControl><![CDATA[a]]>b</CodigoControl>"
                   "<AcuseEnvio>   </AcuseEnvio>");
    QTest::newRow("second field of a name and fields in other namespaces") << receipt(
        "<NumeroOrden xmlns=\"urn:x\">x</NumeroOrden><NumeroOrden>1</NumeroOrden><NumeroOrden>2"
        "</NumeroOrden><Errores xmlns=\"urn:x\"><Error/></Errores><Errores/><Errores><Error/></Errores>");
    QTest::newRow("empty element") << inEnvelope("<RespuestaSolicitudEncuesta/>");
    QTest::newRow("only white space")
        << inEnvelope("<RespuestaSolicitudEncuesta>\n  \t</RespuestaSolicitudEncuesta>");
    QTest::newRow("element is the document")
        << QByteArray("<RespuestaSolicitudEncuesta xmlns:p=\"urn:p\"><p:x/>"
                      "</RespuestaSolicitudEncuesta>");
    QTest::newRow("entities with elements, referenced twice, white space around")
        << QByteArray(
               "<!DOCTYPE s:Envelope [<!ENTITY e \" <NumeroOrden>e</NumeroOrden> <o:x xmlns:o='urn:q'>t"
               "</o:x> \"><!ENTITY t \"text\">]>") +
               receipt("&e;&t;<CodigoControl>&t;&t;</CodigoControl>&e;");
    QTest::newRow("the element inside an entity")
        << QByteArray("<!DOCTYPE a [<!ENTITY r \"<RespuestaSolicitudEncuesta><AcuseEnvio>x</AcuseEnvio>"
                      "</RespuestaSolicitudEncuesta>\">]><a xmlns:o=\"urn:o\">&r;&r;</a>");
    QTest::newRow("an instruction of that name first")
        << QByteArray("<?RespuestaSolicitudEncuesta x?>") + receipt("<NumeroOrden>1</NumeroOrden>");
    QTest::newRow("an instruction of that name inside, before it")
        << inEnvelope("<a><?RespuestaSolicitudEncuesta?></a><RespuestaSolicitudEncuesta/>");
    QTest::newRow("a declaration of that name")
        << QByteArray("<!DOCTYPE s:Envelope [<!ELEMENT RespuestaSolicitudEncuesta ANY>]>") + receipt("");
    QTest::newRow("SOAP 1.1 fault with entities and comments in its string")
        << QByteArray("<!DOCTYPE s:Envelope [<!ENTITY m \"mal <b>hecho</b>\">]>") +
               inEnvelope("<s:Fault><faultcode>c</faultcode><faultstring> Fallo &m;<!--x--> y "
                          "<![CDATA[fin]]></faultstring><faultstring>segundo</faultstring></s:Fault>"
                          "<s:Fault><faultstring>otro</faultstring></s:Fault>");
    QTest::newRow("SOAP 1.2 fault, reason and its text") << QByteArray(
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><e:Fault>"
        "<e:Code/><e:Reason><e:Other>no</e:Other><e:Text xml:lang=\"es\">Motivo</e:Text></e:Reason>"
        "</e:Fault></e:Body></e:Envelope>");
    QTest::newRow("the element inside a fault's string, text around it")
        << inEnvelope("<s:Fault><faultstring>x<a/>y<b><RespuestaSolicitudEncuesta/></b>z<c/>w</faultstring>"
                      "</s:Fault>");
    QTest::newRow("a fault's string with white space between its parts")
        << inEnvelope("<s:Fault><faultstring>a<b/>  <!--c--></faultstring></s:Fault>");
    QTest::newRow("fault copied in from an entity") << QByteArray(
        "<!DOCTYPE a [<!ENTITY f \"<s:Fault xmlns:s='http://schemas.xmlsoap.org/soap/envelope/'>"
        "<faultstring>desde entidad</faultstring></s:Fault>\">]><a>&f;&f;</a>");
    QTest::newRow("non-ASCII in attributes and text, no declared encoding")
        << receipt("<NumeroOrden a=\"ñ€\">Peña €</NumeroOrden>");
    QTest::newRow("non-ASCII in attributes and text, UTF-8 declared")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + receipt("<NumeroOrden a=\"ñ\">Peña</NumeroOrden>");
    const QString text = QStringLiteral("<RespuestaSolicitudEncuesta a=\"ñ\"><NumeroOrden>Peña</NumeroOrden>"
                                        "</RespuestaSolicitudEncuesta>");
    QTest::newRow("UTF-8 with a byte-order mark") << encoded(QStringConverter::Utf8, text);
    QTest::newRow("UTF-16 little-endian") << encoded(QStringConverter::Utf16LE, text);
    QTest::newRow("UTF-16 big-endian") << encoded(QStringConverter::Utf16BE, text);
    QTest::newRow("ISO-8859-1 declared")
        << encoded(QStringConverter::Latin1, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + text).mid(0);
    QTest::newRow("namespace URI with an ampersand, used from outside")
        << QByteArray("<a xmlns:p=\"urn:a&amp;b\"><RespuestaSolicitudEncuesta><p:x p:y=\"1\"/>"
                      "</RespuestaSolicitudEncuesta></a>");
    QTest::newRow("100,000 errors") << manyErrors(100000);
    QTest::newRow("a text just within the bound")
        << receipt("<AcuseEnvio>" + QByteArray(10'000'000, 'x') + "</AcuseEnvio>");
    QTest::newRow("a text over the bound")
        << receipt("<AcuseEnvio>" + QByteArray(10'000'001, 'x') + "</AcuseEnvio>");
    QByteArray amplified = "<!DOCTYPE s:Envelope [<!ENTITY a \"" + QByteArray(50000, 'x') + "\">]>";
    QTest::newRow("an entity amplified between elements")
        << amplified + receipt("<AcuseEnvio>" + QByteArray("&a;<b/>").repeated(20000) + "</AcuseEnvio>");
}

void TestResponseStreaming::sameAsWholeTree() {
    QFETCH(QByteArray, answer);
    const std::string bytes = answer.toStdString();
    const std::string streamed = streamedPath(bytes);
    const std::string reference = referencePath(bytes);
    if (!sameOutcome(streamed, reference))
        QCOMPARE(QString::fromStdString(streamed), QString::fromStdString(reference));
}

void TestResponseStreaming::sameWhereverTheAnswerIsCut_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("SOAP receipt") << fixture("response-soap-receipt.xml");
    QTest::newRow("SOAP answer with two errors") << fixture("response-soap-two-errors.xml");
    QTest::newRow("fault") << fixture("response-soap-fault.xml");
}

// Every prefix of an answer: malformed at every depth, in every kind of node.
void TestResponseStreaming::sameWhereverTheAnswerIsCut() {
    QFETCH(QByteArray, answer);
    for (qsizetype length = 0; length < answer.size(); ++length) {
        const std::string cut = answer.left(length).toStdString();
        const std::string streamed = streamedPath(cut);
        const std::string reference = referencePath(cut);
        if (!sameOutcome(streamed, reference))
            QFAIL(qPrintable(QStringLiteral("cut at %1:\n%2\nreference:\n%3")
                                 .arg(length)
                                 .arg(QString::fromStdString(streamed), QString::fromStdString(reference))));
    }
}

CTO_TEST_GUILESS_MAIN(TestResponseStreaming)
#include "tst_response_streaming.moc"
