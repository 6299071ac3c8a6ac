// The system's error texts read in Spanish whatever the process's locale
// (the test runs with LC_ALL=C), and in the C library's own words where the
// Spanish locale is missing. The Spanish cases need the es_ES.UTF-8 locale
// generated, as scripts/install-deps.sh leaves it.
#include "common/SystemErrorText.h"

#include <QTest>

#include <cerrno>

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

QTEST_GUILESS_MAIN(TestSystemErrorText)
#include "tst_system_error_text.moc"
