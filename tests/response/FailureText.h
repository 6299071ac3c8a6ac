#pragma once

#include "common/Exception.h"

#include <QFile>
#include <QString>

namespace cto::test {

// "Kind: message" of the failure the call raises, or "no failure"; lets one
// table hold cases that fail with different kinds.
template <typename Call> QString failureText(Call&& call) {
    try {
        call();
    } catch (const Exception& failure) {
        return QString::fromLatin1(failure.kindName()) + ": " + QString::fromStdString(failure.message());
    }
    return QStringLiteral("no failure");
}

inline QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(CTO_TEST_DATA_DIR "/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll();
}

inline std::string bytes(const QByteArray& data) {
    return data.toStdString();
}

} // namespace cto::test
