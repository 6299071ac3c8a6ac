#include "support/TestMain.h"
#include "transport/ResponseHead.h"

#include <QTest>

using namespace cto::http;

namespace {

ResponseHead headOf(std::initializer_list<std::string_view> lines) {
    ResponseHead head;
    for (std::string_view line : lines)
        head.take(line);
    return head;
}

} // namespace

class TestResponseHead : public QObject {
    Q_OBJECT

private slots:
    void statusLine_data();
    void statusLine();
    void interimResponseIsForgotten();
};

void TestResponseHead::statusLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("reason phrase") << QByteArray("HTTP/1.1 200 OK\r\n") << 200 << "OK";
    QTest::newRow("no reason phrase") << QByteArray("HTTP/1.1 403\r\n") << 403 << "";
    QTest::newRow("padded phrase, inner blanks kept")
        << QByteArray("HTTP/1.1 404 Not  Found \t\r\n") << 404 << "Not  Found";
    QTest::newRow("bare line feed") << QByteArray("HTTP/1.1 500 Error\n") << 500 << "Error";
    QTest::newRow("no status") << QByteArray("HTTP/1.1\r\n") << 0 << "";
}

void TestResponseHead::statusLine() {
    QFETCH(QByteArray, line);
    QFETCH(int, status);
    QFETCH(QString, text);
    const ResponseHead head = headOf({line.toStdString(), "\r\n"});
    QCOMPARE(head.status, status);
    QCOMPARE(QString::fromStdString(head.statusText), text);
    QCOMPARE(head.complete, status >= 200);
}

void TestResponseHead::interimResponseIsForgotten() {
    ResponseHead head = headOf({"HTTP/1.1 100 Continue\r\n", "WWW-Authenticate: Basic realm=\"interim\"\r\n",
                                "Content-Type: text/plain\r\n", "\r\n"});
    QVERIFY(!head.complete);
    for (std::string_view line :
         {"HTTP/1.1 401 Unauthorized\r\n", "WWW-Authenticate: Basic realm=\"first\"\r\n",
          "www-authenticate: Basic realm=\"Encuestas\"\r\n", "content-type:  text/xml \r\n",
          "Content-Type: text/html\r\n", "\r\n"})
        head.take(line);
    QVERIFY(head.complete);
    QCOMPARE(head.status, 401);
    QCOMPARE(head.lines.size(), std::size_t(4));
    QCOMPARE(head.firstValue("Content-Type:"), std::optional<std::string>("text/xml"));
    QCOMPARE(head.lastRealm("WWW-Authenticate:"), std::string("Encuestas"));
    QCOMPARE(head.firstValue("Proxy-Authenticate:"), std::nullopt);
    QCOMPARE(head.lastRealm("Proxy-Authenticate:"), std::string());
}

CTO_TEST_GUILESS_MAIN(TestResponseHead)
#include "tst_response_head.moc"
