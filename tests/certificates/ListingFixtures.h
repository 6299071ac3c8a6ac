#pragma once

// Helpers of the tests that read the user's certificates through the
// engine's listing: files of a test home, the rows as the user tells them
// apart, and a password prompt that records being asked.
#include "app/SendEngine.h"
#include "certificates/CertificateStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace cto::test {

inline void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    file.write(content);
}

inline void appendFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::Append))
        throw std::runtime_error("cannot append to " + path.toStdString());
    file.write(content);
}

// The rows as "location|name".
inline QStringList rowsOf(const CertificateListing& listing) {
    QStringList rows;
    for (const CertificateRow& row : listing.rows)
        rows << row.location + QLatin1Char('|') + row.name;
    return rows;
}

// While it lives, records every password request and answers each store
// with its password in passwords, once (a retry is cancelled), and any other
// store with nothing.
class PromptRecorder {
public:
    explicit PromptRecorder(QMap<QString, QString> passwords = {}) : passwords_(std::move(passwords)) {
        setPasswordPrompt([this](const PasswordRequest& request) -> std::optional<std::string> {
            asked_ << request.storeName;
            const auto password = passwords_.constFind(request.storeName);
            if (password == passwords_.cend() || request.retry)
                return std::nullopt;
            return password->toStdString();
        });
    }
    ~PromptRecorder() { setPasswordPrompt({}); }
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    const QStringList& asked() const { return asked_; }

private:
    QMap<QString, QString> passwords_;
    QStringList asked_;
};

} // namespace cto::test
