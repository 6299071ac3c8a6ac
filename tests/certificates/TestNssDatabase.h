#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace cto::test {

// Builds a fresh NSS database with tests/support/make-test-nssdb.sh (see its
// head for the certificates it holds and the files it leaves in <dir>/pem/).
// Options (--password, --extra) come first, then the directory and the CA's files.
inline void makeTestNssDatabase(const QStringList& arguments) {
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("/bin/sh"),
                 QStringList{QStringLiteral(CTO_MAKE_TEST_NSSDB)} + arguments);
    if (!script.waitForFinished(120000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0)
        throw std::runtime_error("make-test-nssdb.sh failed: " + script.readAll().toStdString());
}

} // namespace cto::test
