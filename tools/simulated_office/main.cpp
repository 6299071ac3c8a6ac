// The simulated statistics office: an HTTPS service on 127.0.0.1 that demands
// a client certificate from its own test authority and answers each survey
// posted to it with a SOAP envelope holding a receipt, or the list of faults
// of a survey it cannot read. Runs until SIGINT or SIGTERM.

#include "OfficeAnswer.h"
#include "SurveyCheck.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>

using namespace cto;

namespace {

constexpr const char* kServicePath = "/TULVA/services/ServicioXmlTurismo?";

struct Options {
    QString stateDir;
    QString recordDir;
    std::uint16_t port = 0;
    std::string demoCertificate;
    std::chrono::milliseconds answerDelay{0};
};

[[noreturn]] void usage() {
    std::cerr
        << "usage: simulated_office --state-dir DIR [--port N] [--demo-certificate NAME] [--record DIR]\n"
           "                        [--answer-delay MS]\n"
           "  --state-dir DIR          where the office leaves ca.pem and ca.key (its certificate\n"
           "                           authority), demo.p12 (password \"demo\") with --demo-certificate,\n"
           "                           and, last of all, the file port with the port it listens on\n"
           "  --port N                 listen on N (default: any free port)\n"
           "  --demo-certificate NAME  issue a client certificate with that common name\n"
           "  --record DIR             keep every exchange: NNN-request.xml, NNN-client.txt (the\n"
           "                           client certificate's common name), NNN-response.xml\n"
           "                           and NNN-expected-response.xml (the\n"
           "                           response element alone, in its namespace)\n"
           "  --answer-delay MS        think for MS milliseconds before each answer (a slow office)\n";
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (argument == "--state-dir")
            options.stateDir = QString::fromStdString(value());
        else if (argument == "--record")
            options.recordDir = QString::fromStdString(value());
        else if (argument == "--port")
            options.port = static_cast<std::uint16_t>(std::stoi(value()));
        else if (argument == "--demo-certificate")
            options.demoCertificate = value();
        else if (argument == "--answer-delay")
            options.answerDelay = std::chrono::milliseconds(std::stoi(value()));
        else
            usage();
    }
    if (options.stateDir.isEmpty())
        usage();
    return options;
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        throw std::runtime_error("cannot write " + path.toStdString());
}

void copyFile(const std::string& from, const QString& to) {
    writeFile(to, test::readWholeFile(from));
}

// Serves one exchange; the server calls it from its own threads.
class Office {
public:
    Office(QString recordDir, std::chrono::milliseconds delay)
        : recordDir_(std::move(recordDir)), delay_(delay) {}

    test::Reply answer(const test::Exchange& exchange) {
        const std::lock_guard lock(mutex_);
        const int sequence = ++sequence_;
        const QString time = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
        const std::string who =
            exchange.clientSubject.empty() ? "sin certificado" : exchange.clientCommonName;
        if (exchange.method != "POST" || exchange.target != kServicePath) {
            log(time, exchange.method + " " + exchange.target + " (" + who + "): 404");
            return test::Reply::status("HTTP/1.1 404 Not Found", {}, "text/html");
        }
        const office::SurveyReading reading = office::readSurvey(exchange.body);
        const office::OfficeAnswer answer =
            office::answerSurvey(exchange.body, reading, sequence, time.toStdString());
        log(time, "encuesta de " + std::to_string(exchange.body.size()) + " bytes, certificado \"" + who +
                      "\": " +
                      (answer.accepted ? "aceptada, resguardo " + answer.orderNumber
                                       : "rechazada con " + std::to_string(reading.faults.size()) +
                                             " error(es), " + answer.orderNumber));
        if (!recordDir_.isEmpty())
            record(sequence, exchange, answer);
        test::Reply reply = test::Reply::ok(answer.envelope);
        reply.delay = delay_;
        return reply;
    }

private:
    static void log(const QString& time, const std::string& line) {
        std::cout << "[oficina " << time.toStdString() << "] " << line << std::endl;
    }

    void record(int sequence, const test::Exchange& exchange, const office::OfficeAnswer& answer) const {
        const QString stem =
            QDir(recordDir_).filePath(QStringLiteral("%1-").arg(sequence, 3, 10, QLatin1Char('0')));
        std::string expected = answer.element;
        expected.insert(std::strlen("<RespuestaSolicitudEncuesta"), " xmlns=\"RespuestaSolicitud.xsd\"");
        writeFile(stem + QStringLiteral("request.xml"), exchange.body);
        writeFile(stem + QStringLiteral("client.txt"), exchange.clientCommonName + "\n");
        writeFile(stem + QStringLiteral("response.xml"), answer.envelope);
        writeFile(stem + QStringLiteral("expected-response.xml"), expected);
    }

    QString recordDir_;
    std::chrono::milliseconds delay_;
    std::mutex mutex_;
    int sequence_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);

    // The server's threads inherit this mask, so the signals reach sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        QDir().mkpath(options.stateDir);
        if (!options.recordDir.isEmpty())
            QDir().mkpath(options.recordDir);
        const QDir state(options.stateDir);
        test::TestPki pki;
        copyFile(pki.caCertificatePath(), state.filePath(QStringLiteral("ca.pem")));
        copyFile(pki.caKeyPath(), state.filePath(QStringLiteral("ca.key")));
        if (!options.demoCertificate.empty()) {
            test::ClientCertificateRequest request;
            request.commonName = options.demoCertificate;
            request.organization = "Hotel Mirador del Puerto";
            request.pkcs12Password = "demo";
            copyFile(pki.issueClientCertificate(request).pkcs12Path,
                     state.filePath(QStringLiteral("demo.p12")));
        }

        test::TlsTestServer::Options serverOptions;
        serverOptions.clientCertificates = test::ClientCertificateMode::Require;
        serverOptions.port = options.port;
        test::TlsTestServer server(pki, serverOptions);
        Office office(options.recordDir, options.answerDelay);
        server.setResponder([&office](const test::Exchange& exchange) { return office.answer(exchange); });

        // The port file comes last: whoever waits for it finds everything else in place.
        writeFile(state.filePath(QStringLiteral("port")), std::to_string(server.port()) + "\n");
        std::cout << "Oficina simulada escuchando en " << server.url(kServicePath) << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        std::cout << "Oficina simulada detenida" << std::endl;
    } catch (const std::exception& failure) {
        std::cerr << "simulated_office: " << failure.what() << std::endl;
        return 1;
    }
    return 0;
}
