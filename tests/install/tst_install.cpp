// The program as a user's machine gets it: this build installed with
// `cmake --install` into a folder of the test's own, and the archive that
// cpack makes, unpacked into another. Each must hold the program and its
// engine module side by side and nothing else (the module is loaded from the
// program's own folder only), link only system libraries with no run path into
// the build tree, and make the whole exchange from where it was put.
#include "support/OfficeDesktop.h"
#include "support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

using cto::test::contentOf;

namespace {

const QString kProgram = QStringLiteral("ConexionTulvaOskel");
const QString kModule = QStringLiteral("libConexionTulvaOskelEngine.so");
const QString kProbe = QStringLiteral("ConexionTulvaOskelProbe");
const QString kBuildDir = QStringLiteral(CTO_BUILD_DIR);
const QString kSourceDir = QStringLiteral(CTO_SOURCE_DIR);

// Runs a command to its end; answers its standard output, or an empty text
// with the failure recorded in `problem`.
QString outputOf(const QString& program, const QStringList& arguments, QString* problem) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        *problem =
            QStringLiteral("%1 %2 failed: %3")
                .arg(program, arguments.join(QLatin1Char(' ')),
                     QString::fromLocal8Bit(tool.readAllStandardError() + tool.readAllStandardOutput()));
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

bool intoBuildTree(const QString& text) {
    return text.contains(kBuildDir) || text.contains(kSourceDir);
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void holdsTheProgramBesideItsModuleAlone_data();
    void holdsTheProgramBesideItsModuleAlone();
    void linksOnlySystemLibraries_data();
    void linksOnlySystemLibraries();
    void readmeInstallLineNamesTheScriptsPackages();
    void exportsOnlyItsEntryPoints_data();
    void exportsOnlyItsEntryPoints();
    // Last: the response file it stores joins the layout checked above.
    void copySendsTheSurveyAndKeepsTheAnswerBesideItself_data();
    void copySendsTheSurveyAndKeepsTheAnswerBesideItself();

private:
    void addCopyRows();

    QTemporaryDir folder_;
    QString installed_; // cmake --install --prefix
    QString unpacked_;  // the cpack archive, unpacked
    cto::test::OfficeDesktop desktop_{QStringLiteral(CTO_SIMULATED_OFFICE),
                                      QStringLiteral(CTO_TESTS_DIR "/support/make-test-nssdb.sh")};
};

void TestInstall::initTestCase() {
    QVERIFY(folder_.isValid());
    QString problem;
    installed_ = folder_.filePath(QStringLiteral("caller"));
    (void)outputOf(QStringLiteral(CTO_CMAKE_COMMAND),
                   {QStringLiteral("--install"), kBuildDir, QStringLiteral("--prefix"), installed_},
                   &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The archive is made in a folder of the test's own, not in the build tree.
    const QString packageFolder = folder_.filePath(QStringLiteral("package"));
    (void)outputOf(QStringLiteral(CTO_CPACK_COMMAND),
                   {QStringLiteral("-G"), QStringLiteral("TGZ"), QStringLiteral("--config"),
                    kBuildDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), packageFolder},
                   &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QStringList archives = QDir(packageFolder).entryList({QStringLiteral("*.tar.gz")}, QDir::Files);
    QCOMPARE(archives.size(), 1);
    unpacked_ = folder_.filePath(QStringLiteral("unpacked"));
    QVERIFY(QDir().mkpath(unpacked_));
    (void)outputOf(QStringLiteral("tar"),
                   {QStringLiteral("-xzf"), packageFolder + QLatin1Char('/') + archives.first(),
                    QStringLiteral("-C"), unpacked_},
                   &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    problem = desktop_.start(folder_.filePath(QStringLiteral("desktop")));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestInstall::cleanupTestCase() {
    desktop_.stop();
}

void TestInstall::addCopyRows() {
    QTest::addColumn<QString>("copy");
    QTest::newRow("cmake --install") << installed_;
    QTest::newRow("unpacked archive") << unpacked_;
}

void TestInstall::holdsTheProgramBesideItsModuleAlone_data() {
    addCopyRows();
}

void TestInstall::holdsTheProgramBesideItsModuleAlone() {
    QFETCH(QString, copy);
    // Everything below the folder, hidden files and folders too: no test
    // program, no simulated office, no benchmark, no stray build file.
    QStringList found;
    QDirIterator entries(copy, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        found << QDir(copy).relativeFilePath(entries.next());
    found.sort();
    QCOMPARE(found, (QStringList{kProgram, kProbe, kModule}));
    QVERIFY(QFileInfo(copy + QLatin1Char('/') + kProgram).isExecutable());
    QVERIFY(QFileInfo(copy + QLatin1Char('/') + kProbe).isExecutable());
}

void TestInstall::linksOnlySystemLibraries_data() {
    QTest::addColumn<QString>("file");
    for (const auto& [name, folder] :
         {std::pair{"cmake --install", installed_}, {"unpacked archive", unpacked_}}) {
        QTest::addRow("%s: program", name) << folder + QLatin1Char('/') + kProgram;
        QTest::addRow("%s: module", name) << folder + QLatin1Char('/') + kModule;
        QTest::addRow("%s: card-module probe", name) << folder + QLatin1Char('/') + kProbe;
    }
}

void TestInstall::linksOnlySystemLibraries() {
    QFETCH(QString, file);
    QString problem;
    const QString dynamic = outputOf(QStringLiteral("readelf"), {QStringLiteral("-d"), file}, &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QRegularExpression runPath(QStringLiteral(R"(\((RPATH|RUNPATH)\).*)"));
    for (auto match = runPath.globalMatch(dynamic); match.hasNext();) {
        const QString entry = match.next().captured();
        QVERIFY2(!intoBuildTree(entry),
                 qPrintable(QStringLiteral("a run path into the build tree: ") + entry));
    }
    // Every library it needs is found, and none in the build tree.
    const QString libraries = outputOf(QStringLiteral("ldd"), {file}, &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(!libraries.contains(QStringLiteral("not found")), qPrintable(libraries));
    QVERIFY2(!intoBuildTree(libraries), qPrintable(libraries));
}

// A user who installs by hand types the README's line: it must bring what
// the script installs for running, no more and no less.
void TestInstall::readmeInstallLineNamesTheScriptsPackages() {
    QString problem;
    const QStringList script = outputOf(kSourceDir + QStringLiteral("/scripts/install-deps.sh"),
                                        {QStringLiteral("--runtime"), QStringLiteral("--list")}, &problem)
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(!script.isEmpty());

    const QString readme = QString::fromUtf8(contentOf(kSourceDir + QStringLiteral("/README.md")));
    const QString command = QStringLiteral("apt-get install --no-install-recommends ");
    const qsizetype start = readme.indexOf(command);
    QVERIFY2(start >= 0, "the README has no hand-typed install line");
    // The command goes on while its lines end in a backslash.
    QString line;
    for (qsizetype at = start + command.size();;) {
        const qsizetype end = readme.indexOf(QLatin1Char('\n'), at);
        QString piece = readme.mid(at, end - at).trimmed();
        const bool continued = piece.endsWith(QLatin1Char('\\'));
        line += QLatin1Char(' ') + (continued ? piece.chopped(1) : piece);
        if (!continued || end < 0)
            break;
        at = end + 1;
    }
    QStringList typed = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList wanted = script;
    typed.sort();
    wanted.sort();
    QCOMPARE(typed, wanted);
}

void TestInstall::exportsOnlyItsEntryPoints_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("exports");
    // The module hands the program its engine through one entry; the program
    // answers GnuTLS's opt-out, which a library the engine brings looks up.
    QTest::newRow("program") << installed_ + QLatin1Char('/') + kProgram << "_gnutls_global_init_skip";
    QTest::newRow("module") << installed_ + QLatin1Char('/') + kModule << "ctoSendEngineEntry";
}

void TestInstall::exportsOnlyItsEntryPoints() {
    QFETCH(QString, file);
    QFETCH(QString, exports);
    QString problem;
    const QString symbols = outputOf(
        QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), file}, &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QStringList names;
    for (const QString& line : symbols.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char(' '), 2);
    QCOMPARE(names.join(QLatin1Char(' ')), exports);
}

void TestInstall::copySendsTheSurveyAndKeepsTheAnswerBesideItself_data() {
    addCopyRows();
}

void TestInstall::copySendsTheSurveyAndKeepsTheAnswerBesideItself() {
    QFETCH(QString, copy);
    const QString tag =
        QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString work = folder_.filePath(QStringLiteral("work-") + tag);
    QVERIFY(QDir().mkpath(work));
    const QString survey = QStringLiteral(CTO_SOURCE_DIR "/tools/simulated_office/encuesta-ejemplo.xml");
    QVERIFY(QFile::copy(survey, work + QStringLiteral("/encuesta.xml")));
    const QString saved = work + QStringLiteral("/copia-guardada.xml");

    // The office numbers its exchanges; this run's is the next one.
    const QDir exchanges(desktop_.exchangesFolder());
    const auto requests = [&] { return exchanges.entryList({QStringLiteral("*-request.xml")}, QDir::Files); };
    const QString stem = QStringLiteral("%1-").arg(requests().size() + 1, 3, 10, QLatin1Char('0'));

    desktop_.sendAsUser(copy + QLatin1Char('/') + kProgram, work, QStringLiteral("encuesta.xml"), saved);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(contentOf(exchanges.filePath(stem + QStringLiteral("request.xml"))), contentOf(survey));
    const QByteArray expected = contentOf(exchanges.filePath(stem + QStringLiteral("expected-response.xml")));
    QVERIFY(expected.startsWith("<RespuestaSolicitudEncuesta"));
    // Beside this copy of the program, so this copy ran and loaded the module beside it.
    QCOMPARE(contentOf(copy + QStringLiteral("/encuesta-response.xml")), expected);
    QCOMPARE(contentOf(saved), expected);
}

CTO_TEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
