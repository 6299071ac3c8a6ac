#pragma once

// The suites' main: Qt Test's, except that an exception escaping one test
// function fails that function and the suite goes on with the next, instead
// of ending there with the rest unrun. Qt Test itself records the escape as
// that function's failure ("Caught unhandled exception") and then throws it
// on out of QTest::qExec; the suite is run again from the function after it.
// Run with arguments (functions named, options given), it runs as Qt Test's
// own main would.

#include <QCoreApplication>
#include <QFile>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace cto::test {

// The test functions, in the order Qt Test runs them.
inline QStringList testFunctions(const QMetaObject& tests) {
    static const QStringList special{QStringLiteral("initTestCase"), QStringLiteral("cleanupTestCase"),
                                     QStringLiteral("init"), QStringLiteral("cleanup")};
    QStringList names;
    for (int i = 0; i < tests.methodCount(); ++i) {
        const QMetaMethod method = tests.method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private &&
            method.parameterCount() == 0 && method.returnMetaType().id() == QMetaType::Void &&
            !name.endsWith(QLatin1String("_data")) && !special.contains(name))
            names << name;
    }
    return names;
}

inline void reportEscape(const std::exception_ptr& escaped) {
    try {
        std::rethrow_exception(escaped);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "An exception escaped the test function: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "An exception of an unknown kind escaped the test function\n");
    }
}

inline int runContinuingPastExceptions(QObject& tests, int argc, char** argv) {
    if (argc > 1)
        return QTest::qExec(&tests, argc, argv);
    static const QRegularExpression escape(
        QStringLiteral("^FAIL!  : [^ ]*::(\\w+)\\(.*\\) Caught unhandled exception"));
    QStringList remaining = testFunctions(*tests.metaObject());
    int failures = 0;
    for (;;) {
        QTemporaryFile log; // a second copy of the report, to find the function that threw
        if (!log.open())
            return QTest::qExec(&tests, argc, argv);
        QStringList arguments{QString::fromLocal8Bit(argv[0]), QStringLiteral("-o"), QStringLiteral("-,txt"),
                              QStringLiteral("-o"), log.fileName() + QStringLiteral(",txt")};
        try {
            return std::min(127, failures + QTest::qExec(&tests, arguments + remaining));
        } catch (...) {
            reportEscape(std::current_exception());
        }
        QString thrower;
        QFile report(log.fileName());
        if (report.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : report.readAll().split('\n')) {
                failures += line.startsWith("FAIL!  :") ? 1 : 0;
                if (const QRegularExpressionMatch found = escape.match(QString::fromUtf8(line));
                    found.hasMatch())
                    thrower = found.captured(1);
            }
        }
        const qsizetype at = remaining.indexOf(thrower);
        if (at < 0) // before any test function (initTestCase), or past them all
            return std::min(127, std::max(failures, 1));
        remaining = remaining.mid(at + 1);
        if (remaining.isEmpty())
            return std::min(127, failures);
    }
}

} // namespace cto::test

// Qt Test's own main, set up as QTEST_MAIN and QTEST_GUILESS_MAIN set it up.
#define CTO_TEST_MAIN_WRAPPER(TestObject, ...)                                                               \
    int main(int argc, char* argv[]) {                                                                       \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                                   \
        __VA_ARGS__                                                                                          \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return ::cto::test::runContinuingPastExceptions(tc, argc, argv);                                     \
    }

#define CTO_TEST_MAIN(TestObject) CTO_TEST_MAIN_WRAPPER(TestObject, QTEST_MAIN_SETUP())
#define CTO_TEST_GUILESS_MAIN(TestObject)                                                                    \
    CTO_TEST_MAIN_WRAPPER(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
