#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace cto::test {

// Runs a command-line tool to its end (a minute at most); true when it succeeded.
inline bool runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The test NSS database of tests/support/make-test-nssdb.sh in directory, its
// client certificates issued by the given authority (or by one of its own when
// none is given), protected by password when one is given. Empty on failure.
inline QString makeFixtureDatabase(const QString& directory, const QString& password = {},
                                   const QString& caCertificate = {}, const QString& caKey = {}) {
    QStringList arguments{QStringLiteral(CTO_TEST_DATA_DIR "/../support/make-test-nssdb.sh")};
    if (!password.isEmpty())
        arguments << QStringLiteral("--password") << password;
    arguments << directory;
    if (!caCertificate.isEmpty())
        arguments << caCertificate << caKey;
    return runTool(QStringLiteral("sh"), arguments) ? directory : QString();
}

} // namespace cto::test
