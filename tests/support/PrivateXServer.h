#pragma once

#include "support/StopChild.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>

namespace cto::test {

// An Xvfb of the test's own, without a window manager, on a display the server
// picks itself. start() answers the display (":N") once a client has really
// been served on it, or an empty text when no server could be brought up.
class PrivateXServer {
public:
    PrivateXServer() = default;
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    ~PrivateXServer() { stop(); }

    QString start() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString xdpyinfo = QStandardPaths::findExecutable(QStringLiteral("xdpyinfo"));
        if (xvfb.isEmpty() || xdpyinfo.isEmpty())
            return {};
        // A server that announced its display but does not answer (seen on a
        // loaded machine) is replaced rather than trusted.
        for (int attempt = 0; attempt < 3; ++attempt) {
            // -noreset: by default the server resets when its last client leaves,
            // and refuses the next program that connects during the reset.
            process_.start(xvfb,
                           {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1024x768x24")});
            if (!process_.waitForStarted())
                continue;
            (void)QTest::qWaitFor(
                [&] { return process_.canReadLine() || process_.state() != QProcess::Running; }, 30000);
            if (process_.state() == QProcess::Running && process_.canReadLine()) {
                QString display = QStringLiteral(":") + QString::fromLatin1(process_.readLine()).trimmed();
                if (QTest::qWaitFor([&] { return answers(xdpyinfo, display); }, 10000))
                    return display;
            }
            stop();
        }
        return {};
    }

    void stop() { stopChild(process_); }

private:
    static bool answers(const QString& xdpyinfo, const QString& display) {
        QProcess query;
        query.start(xdpyinfo, {QStringLiteral("-display"), display});
        return query.waitForFinished(5000) && query.exitStatus() == QProcess::NormalExit &&
               query.exitCode() == 0;
    }

    QProcess process_;
};

} // namespace cto::test
