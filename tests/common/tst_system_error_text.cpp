// The system's error texts read in Spanish whatever the process's locale
// (the test runs with LC_ALL=C), and in the C library's own words where the
// Spanish locale is missing. The Spanish cases need the es_ES.UTF-8 locale
// generated, as scripts/install-deps.sh leaves it.
#include "common/SpanishUnits.h"
#include "common/SystemErrorText.h"
#include "support/TestMain.h"

#include <QTest>

#include <cerrno>
#include <csignal>
#include <ctime>

using cto::systemErrorText;

class TestSystemErrorText : public QObject {
    Q_OBJECT

private slots:
    // First: the C library keeps a text once it has looked it up, whatever
    // LANGUAGE says afterwards.
    void desktopLanguageGivesWay();
    void spanish_data();
    void spanish();
    void missingLocaleFallsBack();
    void signalTexts_data();
    void signalTexts();
    void spanishTimes_data();
    void spanishTimes();
};

void TestSystemErrorText::spanish_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("no such file") << ENOENT << QStringLiteral("No existe el fichero o el directorio");
    QTest::newRow("permission") << EACCES << QStringLiteral("Permiso denegado");
    QTest::newRow("lock held") << EWOULDBLOCK << QStringLiteral("Recurso no disponible temporalmente");
    // Accents survive only when the locale's character set is UTF-8 as well.
    QTest::newRow("accented") << EPERM << QStringLiteral("Operación no permitida");
    QTest::newRow("disk full") << ENOSPC << QStringLiteral("No queda espacio en el dispositivo");
    // Not in the table of known errors: the text is made at the call.
    QTest::newRow("unknown number") << 98765 << QStringLiteral("Error desconocido 98765");
}

void TestSystemErrorText::spanish() {
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(systemErrorText(error)), text);
}

void TestSystemErrorText::missingLocaleFallsBack() {
    QCOMPARE(QString::fromStdString(systemErrorText(ENOENT, "xx_XX.UTF-8")),
             QStringLiteral("No such file or directory"));
    QCOMPARE(QString::fromStdString(systemErrorText(EACCES, "xx_XX.UTF-8")),
             QStringLiteral("Permission denied"));
}

// A desktop in English sets LANGUAGE=en, which the C library would follow
// before the Spanish locale; the program's start puts its own language first.
void TestSystemErrorText::desktopLanguageGivesWay() {
    qputenv("LANGUAGE", "en");
    cto::speakSpanishInSystemTexts();
    QCOMPARE(QString::fromStdString(systemErrorText(ENOENT)),
             QStringLiteral("No existe el fichero o el directorio"));
    QCOMPARE(QString::fromStdString(systemErrorText(EPERM)), QStringLiteral("Operación no permitida"));
}

// Our own table, so Spanish under any locale (this test runs under C, where
// the C library says "Aborted"), with the signal's name for the help desk.
void TestSystemErrorText::signalTexts_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("text");
    QTest::newRow("crash") << SIGSEGV << QStringLiteral("violación de segmento (SIGSEGV)");
    QTest::newRow("abort") << SIGABRT << QStringLiteral("abortado (SIGABRT)");
    QTest::newRow("bus") << SIGBUS << QStringLiteral("error de bus (SIGBUS)");
    QTest::newRow("killed at its time bound") << SIGKILL << QStringLiteral("terminado a la fuerza (SIGKILL)");
    QTest::newRow("terminated") << SIGTERM << QStringLiteral("terminado (SIGTERM)");
    QTest::newRow("real-time") << SIGRTMIN + 2 << QStringLiteral("señal de tiempo real 2 (SIGRTMIN+2)");
    QTest::newRow("no such signal") << 200 << QStringLiteral("señal 200");
}

void TestSystemErrorText::signalTexts() {
    QFETCH(int, signal);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(cto::signalText(signal)), text);
}

void TestSystemErrorText::spanishTimes_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("January") << 2025 << 1 << 1 << QStringLiteral("1 ene 2025 09:05:07 UTC");
    QTest::newRow("September") << 2026 << 9 << 30 << QStringLiteral("30 sept 2026 09:05:07 UTC");
    QTest::newRow("December") << 2049 << 12 << 31 << QStringLiteral("31 dic 2049 09:05:07 UTC");
}

void TestSystemErrorText::spanishTimes() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, text);
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = 9;
    utc.tm_min = 5;
    utc.tm_sec = 7;
    QCOMPARE(QString::fromStdString(cto::spanishUtcTime(utc)), text);
}

CTO_TEST_GUILESS_MAIN(TestSystemErrorText)
#include "tst_system_error_text.moc"
