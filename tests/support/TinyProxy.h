#pragma once

#include "support/StopChild.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace cto::test {

// Debian's tinyproxy on a free port of 127.0.0.1, with a configuration of its
// own (Basic authentication when a user is given), relaying CONNECT to any
// port; stopped with the object. Its log tells which tunnels it opened.
class TinyProxy {
public:
    explicit TinyProxy(const QString& user = {}, const QString& password = {}) {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
        if (program.isEmpty() || !folder_.isValid())
            return;
        port_ = freePort();
        QString configuration = QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 8\n"
                                               "Allow 127.0.0.1\nLogLevel Connect\nLogFile \"%2\"\n")
                                    .arg(port_)
                                    .arg(logPath());
        if (!user.isEmpty())
            configuration += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
        QFile file(folder_.filePath(QStringLiteral("tinyproxy.conf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(configuration.toUtf8()) < 0)
            return;
        file.close();
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {QStringLiteral("-d"), QStringLiteral("-c"), file.fileName()});
        if (!process_.waitForStarted() || !QTest::qWaitFor([this] { return accepts(); }, 10000))
            stop();
    }
    ~TinyProxy() { stop(); }
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    bool running() const { return process_.state() == QProcess::Running; }
    std::string hostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }

    // The CONNECT request lines it has logged ("CONNECT 127.0.0.1:4431 HTTP/1.1").
    QStringList tunnels() const {
        QFile log(logPath());
        QStringList lines;
        if (!log.open(QIODevice::ReadOnly))
            return lines;
        const QString marker = QStringLiteral("): CONNECT ");
        for (const QString& line : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n')))
            if (const qsizetype at = line.indexOf(marker);
                line.contains(QLatin1String("Request (")) && at >= 0)
                lines << line.mid(at + 3);
        return lines;
    }

private:
    QString logPath() const { return folder_.filePath(QStringLiteral("tinyproxy.log")); }

    void stop() { stopChild(process_); }

    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }

    // A port that nothing listens on now; tinyproxy takes no port 0.
    static int freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    bool accepts() const {
        if (process_.state() != QProcess::Running)
            return true; // nothing to wait for
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = loopback(port_);
        const bool connected =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
};

} // namespace cto::test
