// The typed views over a stored response: lookups, text rules, Numero,
// the Error collection, failures, and the document's lifetime.
#include "response/FailureText.h"
#include "response/RespuestaSolicitud.h"
#include "support/ExpectFailure.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "support/TestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace cto;
using cto::test::failureText;

namespace {

using Root = std::shared_ptr<IXMLRespuestaSolicitudEncuesta>;

std::string respuesta(const std::string& content,
                      const std::string& rootAttributes = " xmlns=\"RespuestaSolicitud.xsd\"") {
    return "<RespuestaSolicitudEncuesta" + rootAttributes + ">" + content + "</RespuestaSolicitudEncuesta>";
}

std::string errores(const std::string& content) {
    return respuesta("<Errores>" + content + "</Errores>");
}

} // namespace

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::function<void(Root)>)

class TestResponseBinding : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void failures_data();
    void failures();
    void numero_data();
    void numero();
    void writesCreateMissingElements();
    void errorCollectionEditing();
    void viewsKeepTheirDocument();
    void readingLeavesTheFileUnchanged();
};

void TestResponseBinding::reads_data() {
    QTest::addColumn<std::string>("document");
    QTest::addColumn<std::string>("numeroOrden");
    QTest::addColumn<std::string>("codigoControl");
    QTest::addColumn<std::string>("acuseEnvio");
    QTest::addColumn<int>("errorCount");

    QTest::newRow("test receipt") << test::bytes(test::fixture("response-test-receipt.xml"))
                                  << std::string("EncuestaDePrueba") << std::string("Prueba")
                                  << std::string("Encuesta de prueba OK") << 0;
    QTest::newRow("namespace in capitals")
        << respuesta("<NumeroOrden>7</NumeroOrden>", " xmlns=\"RESPUESTASOLICITUD.XSD\"") << std::string("7")
        << std::string() << std::string() << 0;
    QTest::newRow("prefixed root in the target namespace")
        << std::string("<r:RespuestaSolicitudEncuesta "
                       "xmlns:r=\"RespuestaSolicitud.xsd\"><r:NumeroOrden>8</r:NumeroOrden>"
                       "<r:Errores><r:Error/></r:Errores></r:RespuestaSolicitudEncuesta>")
        << std::string("8") << std::string() << std::string() << 1;
    QTest::newRow("children in no namespace are not found")
        << respuesta("<NumeroOrden xmlns=\"\">9</NumeroOrden><Errores xmlns=\"\"><Error/></Errores>")
        << std::string() << std::string() << std::string() << 0;
    QTest::newRow("first of two, in document order")
        << respuesta("<NumeroOrden>uno</NumeroOrden><NumeroOrden>dos</NumeroOrden>") << std::string("uno")
        << std::string() << std::string() << 0;
    QTest::newRow("text as it is, CDATA, white space only")
        << respuesta("<NumeroOrden> 12 </NumeroOrden><CodigoControl><![CDATA[<A&B>]]></CodigoControl>"
                     "<AcuseEnvio>   </AcuseEnvio>")
        << std::string(" 12 ") << std::string("<A&B>") << std::string() << 0;
    QTest::newRow("Errores with Numero and no Error")
        << errores("<Numero>3</Numero>") << std::string() << std::string() << std::string() << 0;
    QTest::newRow("Error in another namespace is no item")
        << errores("<Error/><o:Error xmlns:o=\"otro\"/><Error xmlns=\"\"/><error/><Error/>") << std::string()
        << std::string() << std::string() << 2;
    QTest::newRow("two errors, children in any order")
        << errores("<Error><DescripcionError>d</DescripcionError><TipoError>t</TipoError></Error><Numero>2</"
                   "Numero>"
                   "<Error/>")
        << std::string() << std::string() << std::string() << 2;
}

void TestResponseBinding::reads() {
    QFETCH(std::string, document);
    QFETCH(std::string, numeroOrden);
    QFETCH(std::string, codigoControl);
    QFETCH(std::string, acuseEnvio);
    QFETCH(int, errorCount);
    Root root = cargarRespuestaDeMemoria(document);
    QCOMPARE(root->NumeroOrden(), numeroOrden);
    QCOMPARE(root->CodigoControl(), codigoControl);
    QCOMPARE(root->AcuseEnvio(), acuseEnvio);
    QCOMPARE(root->Errores()->Error()->Count(), errorCount);
}

void TestResponseBinding::failures_data() {
    QTest::addColumn<std::string>("document");
    QTest::addColumn<std::function<void(Root)>>("read");
    QTest::addColumn<QString>("failure");

    const std::function<void(Root)> load = [](const Root&) {};
    const std::function<void(Root)> numeroOrden = [](const Root& root) { root->NumeroOrden(); };
    const std::function<void(Root)> numero = [](const Root& root) { root->Errores()->Numero(); };
    const QString unbound = "EIntfCastError: Interface not supported";
    const QString nullNumero =
        "EVariantTypeCastError: Could not convert variant of type (Null) into type (Integer)";
    const QString textNumero =
        "EVariantTypeCastError: Could not convert variant of type (OleStr) into type (Integer)";
    const QString overflow =
        "EVariantOverflowError: Overflow while converting variant of type (OleStr) into type (Integer)";

    QTest::newRow("root without the namespace") << respuesta("", "") << load << unbound;
    QTest::newRow("root in another namespace") << respuesta("", " xmlns=\"otro\"") << load << unbound;
    QTest::newRow("root of another name")
        << std::string("<Respuesta xmlns=\"RespuestaSolicitud.xsd\"/>") << load << unbound;
    QTest::newRow("field holding an element")
        << respuesta("<NumeroOrden>1<b/></NumeroOrden>") << numeroOrden
        << "EXMLDocError: Element \"NumeroOrden\" does not contain a single text node";
    QTest::newRow("field holding text and a comment")
        << respuesta("<NumeroOrden>1<!-- c --></NumeroOrden>") << numeroOrden
        << "EXMLDocError: Element \"NumeroOrden\" does not contain a single text node";
    QTest::newRow("prefixed field named by its qualified name")
        << std::string(
               "<r:RespuestaSolicitudEncuesta xmlns:r=\"RespuestaSolicitud.xsd\"><r:NumeroOrden><?pi?>"
               "</r:NumeroOrden></r:RespuestaSolicitudEncuesta>")
        << numeroOrden << "EXMLDocError: Element \"r:NumeroOrden\" does not contain a single text node";
    QTest::newRow("error field holding an element")
        << errores("<Error><TipoError><x/></TipoError></Error>")
        << std::function<void(Root)>([](const Root& root) { root->Errores()->Error()->Item(0)->TipoError(); })
        << "EXMLDocError: Element \"TipoError\" does not contain a single text node";
    QTest::newRow("Numero empty") << errores("<Numero></Numero>") << numero << nullNumero;
    QTest::newRow("Numero absent") << errores("") << numero << nullNumero;
    QTest::newRow("Errores absent") << respuesta("") << numero << nullNumero;
    QTest::newRow("Numero not a number") << errores("<Numero>dos</Numero>") << numero << textNumero;
    QTest::newRow("Numero with a fraction") << errores("<Numero>2.5</Numero>") << numero << textNumero;
    QTest::newRow("Numero sign alone") << errores("<Numero>-</Numero>") << numero << textNumero;
    QTest::newRow("Numero blanks alone") << errores("<Numero> </Numero>") << numero << nullNumero;
    QTest::newRow("Numero above 32 bits") << errores("<Numero>2147483648</Numero>") << numero << overflow;
    QTest::newRow("Numero below 32 bits") << errores("<Numero>-2147483649</Numero>") << numero << overflow;
    QTest::newRow("Numero far above")
        << errores("<Numero>99999999999999999999999</Numero>") << numero << overflow;
    QTest::newRow("item out of bounds")
        << errores("<Error/>")
        << std::function<void(Root)>([](const Root& root) { root->Errores()->Error()->Item(1); })
        << "EXMLDocError: List index out of bounds (1)";
    QTest::newRow("insert out of bounds")
        << errores("<Error/>")
        << std::function<void(Root)>([](const Root& root) { root->Errores()->Error()->Insert(2); })
        << "EXMLDocError: List index out of bounds (2)";
}

void TestResponseBinding::failures() {
    QFETCH(std::string, document);
    QFETCH(std::function<void(Root)>, read);
    QFETCH(QString, failure);
    QCOMPARE(failureText([&] { read(cargarRespuestaDeMemoria(document)); }), failure);
}

void TestResponseBinding::numero_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "2" << 2;
    QTest::newRow("signs and blanks") << " -7\t" << -7;
    QTest::newRow("plus") << "+15" << 15;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
}

void TestResponseBinding::numero() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(
        cargarRespuestaDeMemoria(errores("<Numero>" + text.toStdString() + "</Numero>"))->Errores()->Numero(),
        value);
}

void TestResponseBinding::writesCreateMissingElements() {
    Root root = cargarRespuestaDeMemoria(respuesta("<CodigoControl>c</CodigoControl>"));
    root->setNumeroOrden("n<1>");
    root->setCodigoControl("c2");
    root->Errores()->setNumero(-4);
    QCOMPARE(root->NumeroOrden(), std::string("n<1>"));
    QCOMPARE(root->CodigoControl(), std::string("c2"));
    QCOMPARE(root->Errores()->Numero(), -4);

    // A prefixed parent gives new children its prefix and namespace.
    Root prefixed =
        cargarRespuestaDeMemoria("<r:RespuestaSolicitudEncuesta xmlns:r=\"RespuestaSolicitud.xsd\"/>");
    auto added = prefixed->Errores()->Error()->Add();
    QCOMPARE(added->NodeName(), std::string("r:Error"));
    QCOMPARE(added->NamespaceURI(), std::string("RespuestaSolicitud.xsd"));
    QCOMPARE(prefixed->Errores()->NodeName(), std::string("r:Errores"));
    QCOMPARE(prefixed->Errores()->Error()->Count(), 1);
}

void TestResponseBinding::errorCollectionEditing() {
    Root root = cargarRespuestaDeMemoria(errores(
        "<Numero>2</Numero><Error><TipoError>a</TipoError></Error><Error><TipoError>b</TipoError></Error>"));
    auto list = root->Errores()->Error();
    auto tipos = [&] {
        std::string all;
        for (int i = 0; i < list->Count(); ++i)
            all += list->Item(i)->TipoError().empty() ? "_" : list->Item(i)->TipoError();
        return all;
    };
    QCOMPARE(tipos(), std::string("ab"));

    list->Add()->setTipoError("c");
    list->Insert(0)->setTipoError("z"); // before Numero: first among all children
    QCOMPARE(tipos(), std::string("zabc"));
    list->Delete(1);
    QCOMPARE(tipos(), std::string("zbc"));

    auto held = list->Item(1);
    QCOMPARE(list->Remove(held), 1);
    QCOMPARE(list->Remove(held), -1);
    QCOMPARE(tipos(), std::string("zc"));
    // A removed item's view stays usable.
    QCOMPARE(held->TipoError(), std::string("b"));

    list->Clear();
    QCOMPARE(list->Count(), 0);
    QCOMPARE(root->Errores()->Numero(), 2);
    // The collection is live: another view of the same Errores sees the change.
    root->Errores()->Error()->Add();
    QCOMPARE(list->Count(), 1);
}

void TestResponseBinding::viewsKeepTheirDocument() {
    std::shared_ptr<IXMLErrorList> list;
    std::shared_ptr<IXMLError> first;
    {
        Root root = cargarRespuestaDeMemoria(errores("<Error><LineaError>12</LineaError></Error>"));
        list = root->Errores()->Error();
        first = list->Item(0);
    }
    QCOMPARE(list->Count(), 1);
    QCOMPARE(first->LineaError(), std::string("12"));
}

void TestResponseBinding::readingLeavesTheFileUnchanged() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("encuesta-response.xml").toStdString();
    const std::string stored = respuesta("<Errores><Error/></Errores>");
    writeWholeFile(path, stored);
    Root root = cargarRespuesta(path);
    QCOMPARE(root->NumeroOrden(), std::string());
    QCOMPARE(root->AcuseEnvio(), std::string());
    QCOMPARE(root->Errores()->Error()->Item(0)->DescripcionError(), std::string());
    root->setCodigoControl("x");
    QCOMPARE(readWholeFile(path), stored);
}

CTO_TEST_GUILESS_MAIN(TestResponseBinding)
#include "tst_responsebinding.moc"
