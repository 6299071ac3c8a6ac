#pragma once

#include "common/Exception.h"

#include <QString>
#include <QTest>

#include <exception>
#include <optional>
#include <typeinfo>

namespace cto::test {

// Runs the call and answers the message of the failure of kind Kind that it
// raised, or nothing (with a test failure recorded) when it raised none or another.
template <typename Kind, typename Call> std::optional<QString> failureOf(Call&& call) {
    try {
        call();
    } catch (const Kind& failure) {
        return QString::fromStdString(failure.message());
    } catch (const Exception& other) {
        QTest::qFail(qPrintable(QStringLiteral("raised %1: %2")
                                    .arg(QString::fromLatin1(other.kindName()),
                                         QString::fromStdString(other.message()))),
                     __FILE__, __LINE__);
        return std::nullopt;
    }
    QTest::qFail("raised nothing", __FILE__, __LINE__);
    return std::nullopt;
}

} // namespace cto::test

// QCOMPAREs the message of the failure that the expression must raise.
#define CTO_COMPARE_FAILURE(Kind, expression, expectedMessage)                                               \
    do {                                                                                                     \
        const auto cto_message = ::cto::test::failureOf<Kind>([&] { (void)(expression); });                  \
        if (!cto_message)                                                                                    \
            return;                                                                                          \
        QCOMPARE(*cto_message, QString(expectedMessage));                                                    \
    } while (false)
