// What a receipt and a survey must survive: a write cut short, a link where
// the response file should be, two runs of one survey, a user who stops the
// send, a server that never stops answering, a folder the user cannot write,
// and a copy that would replace a file without asking.
#include "OfficeFixture.h"
#include "WorkflowRun.h"

#include "app/windows/ResponseFile.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/ProcessHardening.h"
#include "common/ReplacementFile.h"
#include "common/RunLock.h"
#include "common/SystemErrorText.h"
#include "support/ExpectFailure.h"
#include "support/TestMain.h"
#include "tools/testpeers/TestPki.h"
#include "tools/testpeers/TlsTestServer.h"
#include "transport/THTTPReqResp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using cto::test::answerNextMessage;
using cto::test::answerNextSaveDialog;
using cto::test::contentOf;
using cto::test::Reply;
using cto::test::TlsTestServer;
using cto::test::WorkflowRun;
using cto::test::writeFile;

namespace {

const QByteArray kSurvey = "<Encuesta><Mes>11</Mes></Encuesta>";
const std::string kReceipt = "<RespuestaSolicitudEncuesta><NumeroOrden>2026-9</NumeroOrden>"
                             "<CodigoControl>K</CodigoControl><AcuseEnvio>Recibida</AcuseEnvio>"
                             "</RespuestaSolicitudEncuesta>";

// What inChild answers for a child that did not end within its bound.
constexpr int kChildHung = -1;

// Runs work in a child process and answers its exit status (a signal's number
// plus 128 when one ended it). The child runs no event loop and exits at once.
// A child forked from a process with threads (the test server's) can be stuck
// on a lock that one of them held at the fork: it is killed after 60 s, and
// the comparison with its status fails then, not at CTest's deadline.
int inChild(const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work());
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (waited.elapsed() > 60000) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            qWarning("the child process did not end within 60 s");
            return kChildHung;
        }
        QThread::msleep(5);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A figure of /proc/self/status, in KiB ("VmRSS", "VmHWM").
qint64 statusKiB(const QByteArray& name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

constexpr uid_t kNobody = 65534;

// In the child: from here on the process is an ordinary user, for whom a
// folder's permissions mean something (root may write anywhere).
bool becomeOrdinaryUser() {
    if (::geteuid() != 0)
        return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

} // namespace

class TestIntegrity : public QObject, private cto::test::OfficeFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void earlierReceiptSurvivesAFailedWrite_data();
    void earlierReceiptSurvivesAFailedWrite();
    void linkAtTheResponsePathIsReplacedNotFollowed();
    void oneRunPerResponseFile();
    void secondRunOfTheSameSurveySendsNothing();
    void permissionChecksHoldForAnOrdinaryUser_data();
    void permissionChecksHoldForAnOrdinaryUser();
    void surveyReadWhileAnotherReaderHoldsIt();
    void userStopsTheSend();
    void stopQuestionSaysTheSendEnded_data();
    void stopQuestionSaysTheSendEnded();
    void windowAnswersWhileTheAnswerPoursIn();
    void answerGoesToTheDiskNotToMemory();
    void surveyGoesInPiecesNotIntoMemory();
    void surveyOverTheBoundIsNotSent();
    void surveyNameThatIsNoText();
    void leftoversOfKilledRunsAreRemoved();
    void answerBounds_data();
    void answerBounds();
    void copyIsNotReplacedWithoutConsent();

private:
    // What has reached the response file's replacement of this run so far.
    qint64 receivedSoFar() const;
};

// The replacement has no name until it is complete: it is found among the
// process's open files, in the executable's folder.
qint64 TestIntegrity::receivedSoFar() const {
    const QString folder = QDir(executableFolder_->path()).canonicalPath() + QLatin1Char('/');
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    qint64 bytes = 0;
    for (const QString& descriptor : descriptors.entryList(QDir::Files | QDir::System)) {
        const QString path = descriptors.filePath(descriptor);
        if (QFile::symLinkTarget(path).startsWith(folder))
            bytes += QFileInfo(path).size();
    }
    return bytes;
}

void TestIntegrity::initTestCase() {
    startOffice();
}

void TestIntegrity::init() {
    startRun(kSurvey);
}

void TestIntegrity::cleanup() {
    cto::test::cancelPendingModalSteps();
    endRun();
}

// A size limit stands in for a full disk and for a kill part way: the write
// fails, or the process dies, with most of the new receipt written.
void TestIntegrity::earlierReceiptSurvivesAFailedWrite_data() {
    QTest::addColumn<bool>("killed");
    QTest::newRow("write fails, the failure is told") << false;
    QTest::newRow("process killed mid-write") << true;
}

void TestIntegrity::earlierReceiptSurvivesAFailedWrite() {
    QFETCH(bool, killed);
    const QString path = responseFile();
    writeFile(path, "earlier receipt");
    const std::string target = path.toStdString();
    const int status = inChild([&] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (!killed)
            cto::failWritesPastTheFileSizeLimit(); // as the program does
        try {
            cto::replaceWholeFile(target, std::string(64 * 1024, 'x'));
        } catch (const cto::EWriteError& failure) {
            const std::string expected =
                "No se puede escribir el fichero \"" + target + "\". " + cto::systemErrorText(EFBIG);
            return failure.message() == expected ? 3 : 4;
        }
        return 5;
    });
    QCOMPARE(status, killed ? 128 + SIGXFSZ : 3);
    QCOMPARE(contentOf(path), QByteArray("earlier receipt"));
    // A told failure leaves nothing behind, and neither does a kill: the new
    // file has no name until it is complete.
    QCOMPARE(QDir(executableFolder_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("encuesta-response.xml")});
}

void TestIntegrity::linkAtTheResponsePathIsReplacedNotFollowed() {
    const QString elsewhere = workFolder_->filePath(QStringLiteral("importante.txt"));
    writeFile(elsewhere, "not ours");
    QVERIFY(QFile::link(elsewhere, responseFile()));
    server_->enqueue(Reply::ok(kReceipt));
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QCOMPARE(contentOf(elsewhere), QByteArray("not ours"));
    QVERIFY(!QFileInfo(responseFile()).isSymLink());
    QVERIFY(contentOf(responseFile()).contains("<NumeroOrden>2026-9</NumeroOrden>"));
}

void TestIntegrity::oneRunPerResponseFile() {
    const std::string path = responseFile().toStdString();
    const std::string other =
        QDir(executableFolder_->path()).filePath(QStringLiteral("otra-response.xml")).toStdString();
    {
        const cto::RunLock first(path);
        CTO_COMPARE_FAILURE(
            cto::EFCreateError, cto::RunLock{path},
            QStringLiteral("Cannot create file \"%1\". Otra ejecución del programa está enviando la "
                           "misma encuesta")
                .arg(QString::fromStdString(path)));
        // Another process sees the same.
        QCOMPARE(inChild([&] {
                     try {
                         const cto::RunLock second(path);
                     } catch (const cto::EFCreateError&) {
                         return 0;
                     }
                     return 1;
                 }),
                 0);
        const cto::RunLock otherSurvey(other); // other surveys do not wait
    }
    const cto::RunLock again(path); // given back with the run
    QCOMPARE(QDir(executableFolder_->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// Two runs of one survey at once: the office gets it once. The second starts
// while the first waits for the office's answer.
void TestIntegrity::secondRunOfTheSameSurveySendsNothing() {
    Reply slow = Reply::ok(kReceipt);
    slow.delay = std::chrono::milliseconds(1500);
    server_->enqueue(slow);
    std::shared_ptr<std::optional<cto::test::ShownMessage>> first, second;
    std::unique_ptr<WorkflowRun> other;
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QTimer::singleShot(500, &run.window, [&] {
        second = answerNextMessage();
        other = std::make_unique<WorkflowRun>(QStringList{QStringLiteral("encuesta.xml")},
                                              executableFolder_->path());
        QObject::connect(&other->window, &TFConexionTulvaOskel::terminationRequested, [&] {
            first = answerNextMessage();
            answerNextSaveDialog(QString());
        });
        other->window.show();
    });
    QVERIFY(run.showAndWait());

    QVERIFY(other && other->terminations.count() == 1);
    QVERIFY(second && second->has_value());
    QCOMPARE(
        (*second)->text,
        QStringLiteral("EFCreateError error, con el mensaje : Cannot create file \"%1\". Otra ejecución del "
                       "programa está enviando la misma encuesta")
            .arg(responseFile()));
    QVERIFY(first && first->has_value());
    QVERIFY((*first)->text.startsWith(QStringLiteral("La encuesta con Numero de Orden: 2026-9")));
    QCOMPARE(server_->exchanges().size(), std::size_t(1));
}

void TestIntegrity::permissionChecksHoldForAnOrdinaryUser_data() {
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode"); // 0: no earlier response file
    QTest::addColumn<bool>("refused");
    QTest::newRow("folder not writable") << 0555 << 0 << true;
    QTest::newRow("earlier response read-only") << 0777 << 0444 << true;
    QTest::newRow("writable folder") << 0777 << 0 << false;
}

void TestIntegrity::permissionChecksHoldForAnOrdinaryUser() {
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, refused);
    // Reachable by the ordinary user, owned by whoever runs the tests.
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/cto-permisos-XXXXXX"));
    const QString folder = base.filePath(QStringLiteral("programa"));
    QVERIFY(QDir().mkdir(folder));
    const std::string path = cto::responsePath(folder, QStringLiteral("encuesta.xml"));
    if (fileMode != 0) {
        writeFile(QString::fromStdString(path), "earlier");
        QVERIFY(::chmod(path.c_str(), fileMode) == 0);
    }
    QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), folderMode) == 0);
    const int status = inChild([&] {
        if (!becomeOrdinaryUser())
            return 9;
        try {
            cto::checkResponseFileCanBeCreated(path, QStringLiteral("encuesta.xml"));
        } catch (const cto::EFCreateError& failure) {
            return failure.message() == "Cannot create file \"" + path + "\". " + cto::systemErrorText(EACCES)
                       ? 1
                       : 8;
        }
        return 0;
    });
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QCOMPARE(status, refused ? 1 : 0);
}

// The program that wrote the survey may still have it open for reading.
void TestIntegrity::surveyReadWhileAnotherReaderHoldsIt() {
    QProcess reader;
    // It says when it holds the lock; the run starts only then.
    reader.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("exec 9<\"$0\" && flock -s 9 && echo held && exec sleep 30"),
                  workFolder_->filePath(QStringLiteral("encuesta.xml"))});
    QVERIFY(reader.waitForStarted());
    QVERIFY(reader.waitForReadyRead(5000));
    QCOMPARE(reader.readAllStandardOutput().trimmed(), QByteArray("held"));
    server_->enqueue(Reply::ok(kReceipt));
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    reader.kill();
    reader.waitForFinished();
    QCOMPARE(server_->exchanges().size(), std::size_t(1));
}

// Cerrar while the office is silent: asked, then stopped; no receipt is
// claimed and the earlier one stays.
void TestIntegrity::userStopsTheSend() {
    writeFile(responseFile(), "earlier receipt");
    Reply silent = Reply::ok(kReceipt);
    silent.ending = Reply::Ending::NeverAnswer;
    server_->enqueue(silent);
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QString question;
    // The cursor over the band, the log and Cerrar, while the office is silent and after.
    auto* log = run.window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->viewport();
    auto* close = run.window.findChild<QPushButton*>(QStringLiteral("bFin"));
    const auto cursors = [&] {
        return QList<Qt::CursorShape>{run.window.cursor().shape(), log->cursor().shape(),
                                      close->cursor().shape()};
    };
    QList<Qt::CursorShape> busy;
    std::shared_ptr<std::optional<cto::test::ShownMessage>> failureShown;
    QTimer::singleShot(500, &run.window, [&] {
        busy = cursors();
        run.window.findChild<QPushButton*>(QStringLiteral("bFin"))->click();
        auto* box = run.window.findChild<QMessageBox*>();
        QVERIFY(box && box->isVisible());
        question = box->text();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("&Detener el envío"))
                button->click();
        failureShown = answerNextMessage();
    });
    QVERIFY(run.showAndWait(20000));
    QCOMPARE(busy, QList<Qt::CursorShape>(3, Qt::BusyCursor));
    QVERIFY2(question.startsWith(QStringLiteral("¿Desea detener el envío?")), qPrintable(question));
    QVERIFY(failureShown && failureShown->has_value());
    QCOMPARE((*failureShown)->text, QStringLiteral("EAbort error, con el mensaje : Operation aborted"));
    QCOMPARE(contentOf(responseFile()), QByteArray("earlier receipt"));
    QCOMPARE(cursors(), (QList<Qt::CursorShape>{Qt::ArrowCursor, Qt::IBeamCursor, Qt::PointingHandCursor}));
}

void TestIntegrity::stopQuestionSaysTheSendEnded_data() {
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("next");
    QTest::newRow("the office answered")
        << true
        << QString::fromUtf8("El envío ya terminó: la oficina respondió antes de "
                             "que se detuviera.")
        << QStringLiteral("La encuesta con Numero de Orden: 2026-9");
    QTest::newRow("the send failed") << false
                                     << QString::fromUtf8(
                                            "El envío ya terminó, sin completarse: ya no hay nada "
                                            "que detener.")
                                     << QStringLiteral("ESOAPHTTPException error, con el mensaje : ");
}

// Cerrar while the office is slow, and the office ends the exchange while the
// user decides: the question says in its place that the send ended, with one
// button, and the outcome comes only once that is read, so that a press meant
// for Detener never lands on the outcome.
void TestIntegrity::stopQuestionSaysTheSendEnded() {
    QFETCH(bool, answered);
    QFETCH(QString, said);
    QFETCH(QString, next);
    Reply slow =
        answered ? Reply::ok(kReceipt) : Reply::status("HTTP/1.1 503 Service Unavailable", "", "text/html");
    slow.delay = std::chrono::milliseconds(5000);
    server_->enqueue(slow);
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QPointer<QMessageBox> question;
    QString asked, told;
    QStringList buttons;
    int otherBoxes = -1;
    std::shared_ptr<std::optional<cto::test::ShownMessage>> nextShown;
    // A step the run waits for, as the question stays open for seconds.
    auto* poll = new QTimer(qApp);
    poll->setObjectName(QStringLiteral("ctoModalStep"));
    connect(poll, &QTimer::timeout, poll, [&, poll] {
        if (!question || !question->text().startsWith(QString::fromUtf8("El envío ya terminó")) ||
            QApplication::activeModalWidget() != question)
            return;
        poll->stop();
        poll->deleteLater();
        told = question->text();
        for (QAbstractButton* button : question->buttons())
            buttons << button->text();
        otherBoxes = 0;
        for (QMessageBox* box : run.window.findChildren<QMessageBox*>())
            otherBoxes += box != question && box->isVisible();
        nextShown = answerNextMessage();
        if (answered)
            answerNextSaveDialog(QString());
        question->buttons().constFirst()->click();
    });
    QTimer::singleShot(300, &run.window, [&] {
        run.window.findChild<QPushButton*>(QStringLiteral("bFin"))->click();
        question = run.window.findChild<QMessageBox*>();
        QVERIFY(question && question->isVisible());
        asked = question->text();
        poll->start(20);
    });
    QVERIFY(run.showAndWait(30000));
    QVERIFY2(asked.startsWith(QString::fromUtf8("¿Desea detener el envío?")), qPrintable(asked));
    QVERIFY2(told.startsWith(said), qPrintable(told));
    QCOMPARE(buttons, QStringList{QStringLiteral("&Aceptar")});
    QCOMPARE(otherBoxes, 0);
    QVERIFY(nextShown && nextShown->has_value());
    QVERIFY2((*nextShown)->text.startsWith(next), qPrintable((*nextShown)->text));
}

// An answer that pours in from another process, always waiting to be read,
// never leaves the transfer waiting on the network; the window is served all
// the same, again and again (not once, by chance, when the office fell
// behind): once a good part of it is on the disk, Cerrar asks at once and
// stops the send, long before the answer could reach the program's bound.
void TestIntegrity::windowAnswersWhileTheAnswerPoursIn() {
    QProcess flooding;
    flooding.start(QStringLiteral(CTO_FLOODING_OFFICE),
                   {QString::fromStdString(pki_->serverCertificatePath()),
                    QString::fromStdString(pki_->serverKeyPath())});
    QVERIFY(flooding.waitForStarted() && flooding.waitForReadyRead(30000));
    const QByteArray port = flooding.readLine().trimmed();
    const auto stopFlooding = qScopeGuard([&] {
        qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(server_->hostAndPort()));
        flooding.closeWriteChannel();
        if (!flooding.waitForFinished(10000))
            flooding.kill();
        flooding.waitForFinished();
    });
    qputenv("CTO_SERVICE_HOST", "127.0.0.1:" + port);
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    std::shared_ptr<std::optional<cto::test::ShownMessage>> failureShown;
    QString question;
    // Fires only when the window is served, once at each turn at most.
    auto* pouring = new QTimer(qApp);
    int servedWhilePouring = 0;
    connect(pouring, &QTimer::timeout, pouring, [&, pouring] {
        // By then the office is far ahead of the client.
        if (receivedSoFar() < 32 * 1024 * 1024 || ++servedWhilePouring < 5)
            return;
        pouring->stop();
        pouring->deleteLater();
        run.window.findChild<QPushButton*>(QStringLiteral("bFin"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.window.findChild<QMessageBox*>(), 10000);
        auto* box = run.window.findChild<QMessageBox*>();
        question = box->text();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("&Detener el envío"))
                button->click();
        failureShown = answerNextMessage();
    });
    pouring->start(20);
    const auto stopPolling = qScopeGuard([pouring = QPointer<QTimer>(pouring)] { delete pouring; });
    QVERIFY(run.showAndWait(120000));
    QVERIFY2(question.startsWith(QStringLiteral("¿Desea detener el envío?")), qPrintable(question));
    QVERIFY(failureShown && failureShown->has_value());
    QCOMPARE((*failureShown)->text, QStringLiteral("EAbort error, con el mensaje : Operation aborted"));
}

// The answer reaches the disk as it arrives: one that pours in up to the
// largest the program takes never gathers in memory, and leaves no trace
// once refused.
void TestIntegrity::answerGoesToTheDiskNotToMemory() {
    writeFile(responseFile(), "earlier receipt");
    Reply pouring = Reply::ok(std::string(256 * 1024, 'x'));
    pouring.ending = Reply::Ending::Flood;
    pouring.addContentLength = false;
    // Past the bound by a margin, then ended: a run without the bound ends
    // all the same, taking the whole answer, and fails the test rather than hang.
    pouring.floodBytes = std::uint64_t(272) * 1024 * 1024;
    server_->enqueue(pouring);
    const qint64 before = statusKiB("VmRSS");
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1); // the peak starts again here
    clearRefs.close();
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    const auto failureShown = answerNextMessage();
    QVERIFY(run.showAndWait(120000));
    const qint64 grown = statusKiB("VmHWM") - before;
    QVERIFY(failureShown->has_value());
    QVERIFY2(
        (*failureShown)
            ->text.contains(QStringLiteral("La respuesta ocupa más de los 256 MiB que admite el programa")),
        qPrintable((*failureShown)->text));
    QVERIFY2(before > 0 && grown < 48 * 1024, qPrintable(QStringLiteral("grew %1 KiB").arg(grown)));
    QCOMPARE(contentOf(responseFile()), QByteArray("earlier receipt"));
    QCOMPARE(QDir(executableFolder_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("encuesta-response.xml")});
}

// The survey is read from its file as it goes, 32 KB at a time: however
// large, it never sits whole in memory. The office here keeps only its size.
void TestIntegrity::surveyGoesInPiecesNotIntoMemory() {
    TlsTestServer::Options sizesOnly;
    sizesOnly.recordBodies = false;
    TlsTestServer office(*pki_, sizesOnly);
    qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(office.hostAndPort()));
    const auto back = qScopeGuard(
        [this] { qputenv("CTO_SERVICE_HOST", QByteArray::fromStdString(server_->hostAndPort())); });
    constexpr qint64 kSize = 96 * 1024 * 1024;
    QFile survey(workFolder_->filePath(QStringLiteral("encuesta.xml")));
    QVERIFY(survey.open(QIODevice::ReadWrite) && survey.resize(kSize)); // holes: no memory to write it
    survey.close();
    office.enqueue(Reply::ok(kReceipt));

    const qint64 before = statusKiB("VmRSS");
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1); // the peak starts again here
    clearRefs.close();
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait(120000));
    const qint64 grown = statusKiB("VmHWM") - before;
    QCOMPARE(office.exchanges().size(), std::size_t{1});
    QCOMPARE(office.exchanges().front().bodySize, std::uint64_t(kSize));
    QVERIFY(contentOf(responseFile()).contains("<NumeroOrden>2026-9</NumeroOrden>"));
    QVERIFY2(before > 0 && grown < 48 * 1024, qPrintable(QStringLiteral("grew %1 KiB").arg(grown)));
}

// A survey larger than the program sends is refused before anything leaves,
// by a message that names the bound, without reading it.
void TestIntegrity::surveyOverTheBoundIsNotSent() {
    const QString path = workFolder_->filePath(QStringLiteral("encuesta.xml"));
    QFile survey(path);
    QVERIFY(survey.open(QIODevice::ReadWrite) && survey.resize(cto::kLargestSurvey + 1));
    survey.close();
    const auto shown = answerNextMessage();
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY(shown->has_value());
    QCOMPARE(
        (*shown)->text,
        QStringLiteral("EFOpenError error, con el mensaje : Cannot open file \"%1\". El fichero ocupa más de "
                       "256 MiB, lo más que el programa envía")
            .arg(path));
    QVERIFY(server_->exchanges().empty());
    QVERIFY(!QFile::exists(responseFile()));
}

// A file name is bytes: one that is no UTF-8 is opened as given, and its
// receipt is stored under the same bytes.
void TestIntegrity::surveyNameThatIsNoText() {
    const std::string name = "enc\xffuesta.xml";
    const std::string survey = QFile::encodeName(workFolder_->path()).toStdString() + "/" + name;
    cto::writeWholeFile(survey, kSurvey.toStdString());
    server_->enqueue(Reply::ok(kReceipt));
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("ignored.xml")}, executableFolder_->path());
    run.window.setSurveyName(name);
    QVERIFY(run.showAndWait());
    QCOMPARE(server_->exchanges().size(), std::size_t{1});
    QCOMPARE(QByteArray::fromStdString(server_->exchanges().front().body), kSurvey);
    const std::string stored =
        QFile::encodeName(executableFolder_->path()).toStdString() + "/enc\xffuesta-response.xml";
    QVERIFY(
        QByteArray::fromStdString(cto::readWholeFile(stored)).contains("<NumeroOrden>2026-9</NumeroOrden>"));
}

// A run killed between naming its new response file and renaming it leaves
// that hidden file; the next run of the survey, holding its lock, removes it.
void TestIntegrity::leftoversOfKilledRunsAreRemoved() {
    const QString leftover =
        executableFolder_->filePath(QStringLiteral(".encuesta-response.xml.nuevo-0badcafe"));
    const QString otherSurvey =
        executableFolder_->filePath(QStringLiteral(".otra-response.xml.nuevo-0badcafe"));
    writeFile(leftover, "half a receipt");
    writeFile(otherSurvey, "another survey's");
    writeFile(responseFile(), "earlier receipt");
    QVERIFY(::chmod(QFile::encodeName(responseFile()).constData(), 0640) == 0);
    server_->enqueue(Reply::ok(kReceipt));
    answerNextMessage();
    answerNextSaveDialog(QString());
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY(!QFile::exists(leftover));
    QVERIFY(QFile::exists(otherSurvey));
    QVERIFY(contentOf(responseFile()).contains("<NumeroOrden>2026-9</NumeroOrden>"));
    // The new receipt keeps the permissions the caller gave the old one.
    QCOMPARE(QFileInfo(responseFile()).permissions() & QFileDevice::ReadOther, QFileDevice::Permissions());
    QVERIFY(QFileInfo(responseFile()).permissions() & QFileDevice::ReadGroup);
}

// An answer that never ends, by its size or by its time, is cut off.
void TestIntegrity::answerBounds_data() {
    QTest::addColumn<bool>("drip");
    QTest::addColumn<QString>("message");
    QTest::newRow("larger than allowed")
        << false << "La respuesta ocupa más de los 0,1 MiB que admite el programa - URL:";
    QTest::newRow("dripping for ever")
        << true << "Se agotó el tiempo de espera de la operación (el intercambio duró ";
}

void TestIntegrity::answerBounds() {
    QFETCH(bool, drip);
    QFETCH(QString, message);
    Reply endless = Reply::ok(std::string(drip ? 1000 : 200 * 1024, 'x'));
    if (drip) {
        endless.ending = Reply::Ending::Drip;
        endless.dripInterval =
            std::chrono::milliseconds(20); // never silent long enough for the silence bound
    }
    server_->enqueue(endless);
    cto::THTTPReqResp transport;
    transport.setURL(server_->url("/TULVA/services/ServicioXmlTurismo?"));
    transport.TrustedAuthorities = pki_->caCertificatePath();
    transport.MaxResponseSize = 64 * 1024;
    transport.ExchangeTimeout = 1000;
    cto::MemoryStream request(kSurvey.toStdString());
    // Unbounded, either answer would end in time (the drip after 20 s), and be taken.
    try {
        transport.Execute(request);
        QFAIL("the endless answer was taken");
    } catch (const cto::ESOAPHTTPException& failure) {
        QVERIFY2(QString::fromStdString(failure.message()).startsWith(message), failure.message().c_str());
    }
}

void TestIntegrity::copyIsNotReplacedWithoutConsent() {
    const QString copy = workFolder_->filePath(QStringLiteral("encuesta.xml"));
    server_->enqueue(Reply::ok(kReceipt));
    answerNextMessage();
    auto saved = answerNextSaveDialog(copy, false);
    WorkflowRun run({QStringLiteral("encuesta.xml")}, executableFolder_->path());
    QVERIFY(run.showAndWait());
    QVERIFY(saved->has_value());
    QCOMPARE((*saved)->replaceQuestion,
             QStringLiteral("El fichero «encuesta.xml» ya existe.\n¿Desea reemplazarlo?"));
    QCOMPARE(contentOf(copy), kSurvey);
    QVERIFY(contentOf(responseFile()).contains("<NumeroOrden>2026-9</NumeroOrden>"));
}

CTO_TEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"
