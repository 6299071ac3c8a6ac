#pragma once

#include "common/ByteStream.h"
#include "common/FailureKinds.h"
#include "transport/THTTPReqResp.h"

#include <QString>
#include <QTest>

#include <optional>
#include <string>

namespace cto::test {

struct TransportFailure {
    QString message;
    int statusCode;
};

// The ESOAPHTTPException that the call raises; a test failure when it raises none or another kind.
template <typename Call> std::optional<TransportFailure> transportFailureOf(Call&& call) {
    try {
        call();
    } catch (const ESOAPHTTPException& failure) {
        return TransportFailure{QString::fromStdString(failure.message()), failure.StatusCode()};
    } catch (const Exception& other) {
        QTest::qFail(
            qPrintable(QStringLiteral("raised %1: %2").arg(other.kindName(), other.message().c_str())),
            __FILE__, __LINE__);
        return std::nullopt;
    }
    QTest::qFail("raised nothing", __FILE__, __LINE__);
    return std::nullopt;
}

inline std::string post(THTTPReqResp& transport, const std::string& body) {
    MemoryStream request(body);
    return transport.Execute(request)->bytes();
}

} // namespace cto::test
