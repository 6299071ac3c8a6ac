#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace cto::test {

// Runs a command-line tool to its end; throws std::runtime_error with its
// output when it fails.
inline void runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        throw std::runtime_error(program.toStdString() + " failed: " + tool.readAll().toStdString());
}

// Builds a fresh NSS database with tests/support/make-test-nssdb.sh (see its
// head for the certificates it holds and the files it leaves in <dir>/pem/).
// Options (--password, --extra) come first, then the directory and the CA's files.
inline void makeTestNssDatabase(const QStringList& arguments) {
    runTool(QStringLiteral("/bin/sh"), QStringList{QStringLiteral(CTO_MAKE_TEST_NSSDB)} + arguments);
}

// An empty database in directory (created), protected by password when one is given.
inline void makeEmptyNssDatabase(const QString& directory, const QString& password = {}) {
    QDir().mkpath(directory);
    const QString database = QStringLiteral("sql:") + directory;
    if (password.isEmpty()) {
        runTool(QStringLiteral("certutil"), {"-N", "-d", database, "--empty-password"});
        return;
    }
    const QString passwordFile = directory + QStringLiteral("/.password");
    QFile file(passwordFile);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + passwordFile.toStdString());
    file.write(password.toUtf8() + '\n');
    file.close();
    runTool(QStringLiteral("certutil"), {"-N", "-d", database, "-f", passwordFile});
    QFile::remove(passwordFile);
}

// Imports a certificate with its key from a PKCS #12 file, as a user would;
// databasePassword unlocks a protected database.
inline void importPkcs12(const QString& directory, const QString& file, const QString& filePassword,
                         const QString& databasePassword = {}) {
    runTool(QStringLiteral("pk12util"), {"-i", file, "-d", QStringLiteral("sql:") + directory, "-W",
                                         filePassword, "-K", databasePassword});
}

// Adds a certificate (PEM) without any key.
inline void importCertificateOnly(const QString& directory, const QString& pem, const QString& nickname) {
    runTool(QStringLiteral("certutil"),
            {"-A", "-d", QStringLiteral("sql:") + directory, "-n", nickname, "-t", ",,", "-a", "-i", pem});
}

// Builds a SoftHSM2 token standing in for a smart card with
// tests/support/make-test-token.sh (see its head for its keys, certificates
// and options); options come first, then the token's folder and the CA's files.
inline void makeTestToken(const QStringList& arguments) {
    runTool(QStringLiteral("/bin/sh"), QStringList{QStringLiteral(CTO_MAKE_TEST_TOKEN)} + arguments);
}

// Adds to such a token a key that asks for the PIN for every signature, with
// its certificate (tests/support/add-reauthenticating-key.sh).
inline void addReauthenticatingKey(const QString& tokenDirectory, const QString& caCertificate,
                                   const QString& caKey) {
    runTool(QStringLiteral("/bin/sh"),
            {QStringLiteral(CTO_ADD_REAUTHENTICATING_KEY), tokenDirectory, caCertificate, caKey});
}

} // namespace cto::test
