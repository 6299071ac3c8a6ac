#pragma once

#include "app/windows/ResponseFile.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace cto::test {

inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The office's test server, trusted through the test authority, and for each
// test a fresh executable folder and a working folder holding the survey.
class OfficeFixture {
protected:
    void startOffice() {
        pki_ = std::make_unique<TestPki>();
        server_ = std::make_unique<TlsTestServer>(*pki_);
        qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(server_->hostAndPort()));
        qputenv("CTO_SERVICE_CA_FILE", QByteArray::fromStdString(pki_->caCertificatePath()));
        previousFolder_ = QDir::currentPath();
    }

    void startRun(const QByteArray& survey) {
        server_->clearExchanges();
        server_->setResponder(nullptr);
        executableFolder_ = std::make_unique<QTemporaryDir>();
        workFolder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(workFolder_->path()));
        writeFile(workFolder_->filePath(QStringLiteral("encuesta.xml")), survey);
    }

    void endRun() { QDir::setCurrent(previousFolder_); }

    QString responseFile(const QString& argument = QStringLiteral("encuesta.xml")) const {
        return QString::fromStdString(cto::responsePath(executableFolder_->path(), argument));
    }

    std::unique_ptr<TestPki> pki_;
    std::unique_ptr<TlsTestServer> server_;
    std::unique_ptr<QTemporaryDir> executableFolder_;
    std::unique_ptr<QTemporaryDir> workFolder_;
    QString previousFolder_;
};

} // namespace cto::test
