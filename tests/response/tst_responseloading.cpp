// Loading a response document: parse failures and their messages, white space,
// entities, and the guarantee that nothing outside the document is ever read.
#include "common/ByteStream.h"
#include "common/FailureKinds.h"
#include "common/SystemErrorText.h"
#include "response/ExternalEntityGuard.h"
#include "response/FailureText.h"
#include "response/ResponseExtraction.h"
#include "response/ResponseParser.h"
#include "response/RespuestaSolicitud.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

using namespace cto;
using cto::test::failureText;
using cto::test::fixture;

namespace {

// A listening socket on 127.0.0.1 that nobody should ever connect to.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 8) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int port() const { return port_; }
    bool wasContacted() const {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
        return client >= 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Records whether anything opens or reads the watched file.
class FileWatch {
public:
    explicit FileWatch(const QString& path) {
        fd_ = ::inotify_init1(IN_NONBLOCK);
        if (fd_ < 0 || ::inotify_add_watch(fd_, path.toLocal8Bit().constData(), IN_OPEN | IN_ACCESS) < 0)
            qFatal("cannot watch %s", qPrintable(path));
    }
    ~FileWatch() { ::close(fd_); }
    bool wasTouched() const {
        char buffer[4096];
        return ::read(fd_, buffer, sizeof buffer) > 0;
    }

private:
    int fd_ = -1;
};

long peakResidentKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Counts the bytes of text, comments and instructions the reader hands on,
// and stops the parse, throwing std::length_error, once they pass `bound`.
class CountingEvents final : public ResponseEvents {
public:
    explicit CountingEvents(std::size_t bound) : bound_(bound) {}
    std::size_t bytes() const { return bytes_; }

    void prologRead(xmlDocPtr, bool) override {}
    void elementStarted(const StartTag&) override {}
    void elementEnded() override {}
    void text(std::string_view piece) override { count(piece.size()); }
    void cdata(std::string_view content) override { count(content.size()); }
    void comment(std::string_view content) override { count(content.size()); }
    void instruction(std::string_view target, const xmlChar* data) override {
        count(target.size() + std::size_t(xmlStrlen(data)));
    }

private:
    void count(std::size_t more) {
        bytes_ += more;
        if (bytes_ > bound_)
            throw std::length_error("the reader handed on " + std::to_string(bytes_) + " bytes, past " +
                                    std::to_string(bound_));
    }

    std::size_t bound_;
    std::size_t bytes_ = 0;
};

std::string quadraticBlowup(const std::string& between = {}) {
    // One large internal entity referenced many times: 1 GB once expanded.
    std::string document = "<!DOCTYPE r [<!ENTITY a \"" + std::string(50000, 'x') + "\">]>\n<r>";
    for (int i = 0; i < 20000; ++i)
        document += "&a;" + between;
    return document + "</r>";
}

std::string longText(std::size_t length) {
    return "<RespuestaSolicitudEncuesta><AcuseEnvio>" + std::string(length, 'x') +
           "</AcuseEnvio></RespuestaSolicitudEncuesta>";
}

std::string nested(int depth) {
    std::string document;
    for (int i = 0; i < depth; ++i)
        document += "<e>";
    for (int i = 0; i < depth; ++i)
        document += "</e>";
    return document;
}

} // namespace

class TestResponseLoading : public QObject {
    Q_OBJECT

private slots:
    void parseFailure_data();
    void parseFailure();
    void parseFailureOfTheBindingLoad();
    void entityBombsStayBounded_data();
    void entityBombsStayBounded();
    void internalEntitiesExpandedExternalOnesRefused();
    void nothingOutsideTheDocumentIsRead();
    void whiteSpaceOnlyTextIsDropped_data();
    void whiteSpaceOnlyTextIsDropped();
};

void TestResponseLoading::parseFailure_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("message");

    const QString excerpt40 = "<a>" + QString(37, 'x');
    QTest::newRow("html error page") << fixture("response-html-error.html")
                                     << "Una etiqueta de cierre no corresponde a la de apertura (Opening and "
                                        "ending tag mismatch: hr line 4 and body)\r\nLine: 5\r\n</body>";
    QTest::newRow("empty") << QByteArray()
                           << "El documento está vacío o no es XML (Document is empty)\r\nLine: 1\r\n";
    QTest::newRow("line cut at 40 characters")
        << QByteArray("<a>" + QByteArray(60, 'x') + "</b>")
        << "Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag mismatch: a line "
           "1 and b)\r\nLine: 1\r\n" +
               excerpt40;
    QTest::newRow("CR LF line ends, error on line 3")
        << QByteArray("<a>\r\n <b>\r\n </c></a>")
        << "Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag mismatch: b line "
           "2 and c)\r\nLine: 3\r\n </c></a>";
    QTest::newRow("UTF-8 excerpt counts characters")
        << QByteArray("<a>\n<b>ñandú ñandú ñandú ñandú ñandú ñandú ñandú</c>")
        << QString::fromUtf8("Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag "
                             "mismatch: b line 2 and c)\r\nLine: 2\r\n"
                             "<b>ñandú ñandú ñandú ñandú ñandú ñandú ñ");
    QTest::newRow("Latin-1 excerpt")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\xf1\x61</b>")
        << QString::fromUtf8("Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag "
                             "mismatch: a line 2 and b)\r\nLine: 2\r\n<a>ña</b>");
    QTest::newRow("UTF-16 excerpt") << QByteArray::fromRawData("\xff\xfe<\0a\0>\0\n\0<\0/\0b\0>\0", 18)
                                    << "Una etiqueta de cierre no corresponde a la de apertura (Opening and "
                                       "ending tag mismatch: a line 1 and b)\r\nLine: 2\r\n</b>";
    // The commonest: an answer cut short.
    QTest::newRow("cut short")
        << QByteArray("<a><b>texto")
        << "El documento termina antes de cerrar un elemento (Premature end of data in tag b "
           "line 1)\r\nLine: 1\r\n<a><b>texto";
    // libxml2 reads on to the next "<", and names that.
    QTest::newRow("unclosed quote") << QByteArray("<a b=\"c>\n</a>")
                                    << "El valor de un atributo contiene el carácter «<» (Unescaped '<' not "
                                       "allowed in attributes values)\r\nLine: 2\r\n</a>";
    QTest::newRow("undeclared prefix")
        << QByteArray("<a><b:c/></a>")
        << "El documento usa un prefijo de espacio de nombres que no declara (Namespace prefix b on c is not "
           "defined)\r\nLine: 1\r\n<a><b:c/></a>";
    // Once left in the tree as a reference and written out: the result did not parse again.
    QTest::newRow("undeclared entity beside unread declarations")
        << fixture("response-undeclared-entity.xml")
        << "El documento usa una entidad que no declara (Entity 'sinDeclarar' not defined)\r\nLine: "
           "2\r\n<RespuestaSolicitudEncuesta><NumeroOrden";
    QTest::newRow("billion laughs")
        << fixture("response-entity-bomb.xml")
        << "Las entidades del documento se repiten sin fin o crecen más de lo admitido (Detected an entity "
           "reference loop)\r\nLine: 1\r\n<?xml version=\"1.0\"?>";
    QTest::newRow("quadratic blowup") << QByteArray::fromStdString(quadraticBlowup())
                                      << "Las entidades del documento se repiten sin fin o crecen más de lo "
                                         "admitido (Detected an entity reference loop)\r\nLine: 2\r\n<r>" +
                                             QString("&a;").repeated(12) + "&";
    // Texts never merge across elements: what bounds it is the amplification.
    QTest::newRow("quadratic blowup between elements")
        << QByteArray::fromStdString(quadraticBlowup("<b/>"))
        << "Las entidades del documento se repiten sin fin o crecen más de lo admitido (Detected an entity "
           "reference loop)\r\nLine: 2\r\n<r>" +
               QString("&a;<b/>").repeated(5) + "&a";
    QTest::newRow("one text over ten million bytes")
        << QByteArray::fromStdString(longText(10'000'001))
        << "Un texto de la respuesta supera el límite de 10.000.000 bytes que admite el programa\r\nLine: "
           "1\r\n<RespuestaSolicitudEncuesta><AcuseEnvio>";
    QTest::newRow("too deep")
        << QByteArray::fromStdString(nested(100000))
        << "Los elementos del documento están anidados a más profundidad de la que se admite (Excessive "
           "depth in document: 256 use XML_PARSE_HUGE option)\r\nLine: 1\r\n" +
               QString("<e>").repeated(13) + "<";
}

// The extraction's working document and the binding's document load alike.
void TestResponseLoading::parseFailure() {
    QFETCH(QByteArray, document);
    QFETCH(QString, message);
    QCOMPARE(failureText([&] { extraerRespuestaDeMemoria(document.toStdString()); }),
             "EDOMParseError: " + message);
    QCOMPARE(failureText([&] { cargarRespuestaDeMemoria(document.toStdString()); }),
             "EDOMParseError: " + message);
}

void TestResponseLoading::parseFailureOfTheBindingLoad() {
    CTO_COMPARE_FAILURE(EDOMParseError, cargarRespuesta(CTO_TEST_DATA_DIR "/response-html-error.html"),
                        "Una etiqueta de cierre no corresponde a la de apertura (Opening and ending tag "
                        "mismatch: hr line 4 and body)\r\nLine: 5\r\n</body>");
    CTO_COMPARE_FAILURE(EFOpenError, cargarRespuesta(CTO_TEST_DATA_DIR "/response-missing.xml"),
                        "Cannot open file \"" CTO_TEST_DATA_DIR "/response-missing.xml\". " +
                            QString::fromStdString(systemErrorText(ENOENT)));
}

void TestResponseLoading::entityBombsStayBounded_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("billion laughs") << fixture("response-entity-bomb.xml");
    QTest::newRow("quadratic blowup") << QByteArray::fromStdString(quadraticBlowup());
    QTest::newRow("quadratic blowup between elements") << QByteArray::fromStdString(quadraticBlowup("<b/>"));
}

void TestResponseLoading::entityBombsStayBounded() {
    QFETCH(QByteArray, document);
    // Expanded, each would hand on a gigabyte or more. What the reader hands
    // on is counted: the parse must stop within the amplification bound, and
    // a count past it stops the parse here, rather than read on for minutes.
    const std::size_t bound = kMaxTextBytes + 10 * std::size_t(document.size());
    CountingEvents counted(bound);
    MemoryStream source(document.toStdString());
    QString refusal = QStringLiteral("no failure");
    try {
        readResponse(source, counted);
    } catch (const Exception& failure) {
        refusal = QString::fromStdString(failure.message());
    } catch (const std::length_error& pastTheBound) {
        QFAIL(pastTheBound.what());
    }
    QVERIFY2(refusal.contains(QStringLiteral("(Detected an entity reference loop)")), qPrintable(refusal));
    QVERIFY(counted.bytes() <= bound);
    QVERIFY(
        failureText([&] { extraerRespuestaDeMemoria(document.toStdString()); }).startsWith("EDOMParseError"));
    QVERIFY2(peakResidentKb() < 400 * 1024, qPrintable(QString::number(peakResidentKb())));
}

void TestResponseLoading::internalEntitiesExpandedExternalOnesRefused() {
    const std::size_t refusedBefore = refusedExternalLoads().size();
    auto root = cargarRespuestaDeMemoria(extraerRespuesta(CTO_TEST_DATA_DIR "/response-xxe.xml"));
    QCOMPARE(root->NumeroOrden(), std::string("[]"));
    QCOMPARE(root->CodigoControl(), std::string("expandida"));
    // The loader was asked, and said no.
    const std::vector<std::string> refused(refusedExternalLoads().begin() + refusedBefore,
                                           refusedExternalLoads().end());
    QCOMPARE(refused,
             (std::vector<std::string>{"http://127.0.0.1:9/definiciones.dtd", "file:///etc/passwd"}));
}

void TestResponseLoading::nothingOutsideTheDocumentIsRead() {
    QTemporaryDir folder;
    const QString secret = folder.filePath("secreto.txt");
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("SECRETO");
    file.close();
    Listener server;
    FileWatch watch(secret);
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(server.port());
    const QString fileUrl = "file://" + secret;

    const QString document = "<!DOCTYPE r SYSTEM \"" + url +
                             "externa.dtd\" [\n"
                             "  <!ENTITY fichero SYSTEM \"" +
                             fileUrl +
                             "\">\n"
                             "  <!ENTITY remota SYSTEM \"" +
                             url +
                             "entidad\">\n"
                             "  <!ENTITY % parametro SYSTEM \"" +
                             url +
                             "parametro.dtd\"> %parametro;\n"
                             "  <!ENTITY % ficheroParametro SYSTEM \"" +
                             fileUrl +
                             "\"> %ficheroParametro;\n"
                             "]>\n"
                             "<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><RespuestaSolicitudEncuesta>"
                             "<NumeroOrden>&fichero;&remota;</NumeroOrden>"
                             "<AcuseEnvio><xi:include href=\"" +
                             fileUrl +
                             "\" parse=\"text\"/></AcuseEnvio>"
                             "</RespuestaSolicitudEncuesta></r>";
    const std::string result = extraerRespuestaDeMemoria(document.toStdString());
    QCOMPARE(cargarRespuestaDeMemoria(result)->NumeroOrden(), std::string());

    QVERIFY(result.find("SECRETO") == std::string::npos);
    QVERIFY2(!watch.wasTouched(), "the referenced file was opened");
    QVERIFY2(!server.wasContacted(), "a connection reached the referenced address");
}

void TestResponseLoading::whiteSpaceOnlyTextIsDropped_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QByteArray>("extracted");
    QTest::newRow("indentation") << QByteArray(
                                        "<RespuestaSolicitudEncuesta>\n\t<NumeroOrden>1</NumeroOrden>\r\n"
                                        "</RespuestaSolicitudEncuesta>")
                                 << QByteArray("<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">"
                                               "<NumeroOrden>1</NumeroOrden></RespuestaSolicitudEncuesta>");
    // libxml2's own blank removal would keep these: it spares mixed content.
    QTest::newRow("beside text, from a character reference, whole field")
        << QByteArray("<RespuestaSolicitudEncuesta>x <a> </a>&#32;<b>&#10;</b> y<c><![CDATA[ ]]></c>"
                      "<d>  z  </d></RespuestaSolicitudEncuesta>")
        << QByteArray(
               "<RespuestaSolicitudEncuesta xmlns=\"RespuestaSolicitud.xsd\">x <a/><b/> y<c><![CDATA[ ]]></c>"
               "<d>  z  </d></RespuestaSolicitudEncuesta>");
}

void TestResponseLoading::whiteSpaceOnlyTextIsDropped() {
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, extracted);
    QCOMPARE(QByteArray::fromStdString(extraerRespuestaDeMemoria(document.toStdString())), extracted);
}

CTO_TEST_GUILESS_MAIN(TestResponseLoading)
#include "tst_responseloading.moc"
