#pragma once

// The real program run as a user runs it, for the tests that start the
// executable itself: an X server of the test's own with no window manager,
// the simulated office demanding a client certificate, a test NSS database as
// the user's store, and every window answered from the keyboard with xdotool
// once it holds the focus.
#include "support/PrivateXServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <utility>

namespace cto::test {

inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class OfficeDesktop {
public:
    // Every wait is bounded: a window that never comes fails the test in seconds.
    static constexpr int kWindowTimeoutMs = 20000;

    // simulatedOffice: the office's executable; makeNssdbScript: tests/support/make-test-nssdb.sh.
    OfficeDesktop(QString simulatedOffice, QString makeNssdbScript)
        : simulatedOffice_(std::move(simulatedOffice)), makeNssdbScript_(std::move(makeNssdbScript)) {}
    OfficeDesktop(const OfficeDesktop&) = delete;
    OfficeDesktop& operator=(const OfficeDesktop&) = delete;
    ~OfficeDesktop() { stop(); }

    // Brings everything up below `folder`: the office keeps its state in
    // office/ and what it received and answered in exchanges/; the user's
    // store is nssdb/. Answers what did not come up, or an empty text.
    QString start(const QString& folder) {
        folder_ = folder;
        xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xdotool_.isEmpty())
            return QStringLiteral("Xvfb and xdotool are needed (scripts/install-deps.sh)");
        const QString display = xServer_.start();
        if (display.isEmpty())
            return QStringLiteral("Xvfb did not start");
        desktop_ = QProcessEnvironment::systemEnvironment();
        desktop_.insert(QStringLiteral("DISPLAY"), display);
        desktop_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        desktop_.remove(QStringLiteral("CTO_EXIT_WHEN_SHOWN"));

        const QString state = folder_ + QStringLiteral("/office");
        office_.setProcessChannelMode(QProcess::ForwardedChannels);
        office_.start(simulatedOffice_,
                      {QStringLiteral("--state-dir"), state, QStringLiteral("--record"), exchangesFolder()});
        if (!office_.waitForStarted())
            return QStringLiteral("the simulated office could not be started");
        const QString portFile = state + QStringLiteral("/port");
        // The office creates the file and then writes its line: wait for the whole line.
        (void)QTest::qWaitFor(
            [&] { return contentOf(portFile).endsWith('\n') || office_.state() != QProcess::Running; },
            kWindowTimeoutMs);
        servicePort_ = QString::fromLatin1(contentOf(portFile)).trimmed();
        if (servicePort_.isEmpty())
            return QStringLiteral("the simulated office did not start");
        if (!runTool(QStringLiteral("sh"),
                     {makeNssdbScript_, folder_ + QStringLiteral("/nssdb"), state + QStringLiteral("/ca.pem"),
                      state + QStringLiteral("/ca.key")}))
            return QStringLiteral("the test certificate store could not be made");
        return {};
    }

    void stop() {
        if (office_.state() != QProcess::NotRunning) {
            office_.terminate();
            office_.waitForFinished(5000);
        }
        xServer_.stop();
    }

    QString exchangesFolder() const { return folder_ + QStringLiteral("/exchanges"); }

    // A simulated smart card (tests/support/make-test-token.sh) whose
    // certificates the office's authority issued, registered in the user's
    // store as modutil registers a card; the program then finds it. Answers
    // whether it could be made.
    bool addSmartCard(const QString& makeTokenScript, const QString& label, const QString& pin) {
        const QString card = folder_ + QStringLiteral("/tarjeta");
        const QString state = folder_ + QStringLiteral("/office");
        if (!runTool(QStringLiteral("sh"),
                     {makeTokenScript, QStringLiteral("--label"), label, QStringLiteral("--pin"), pin,
                      QStringLiteral("--register-in"), folder_ + QStringLiteral("/nssdb"), card,
                      state + QStringLiteral("/ca.pem"), state + QStringLiteral("/ca.key")}))
            return false;
        softHsmConfiguration_ = card + QStringLiteral("/softhsm2.conf");
        return true;
    }

    // The program's surroundings: this desktop, the office as its service with
    // the office's authority trusted, the test store as the user's.
    QProcessEnvironment programEnvironment() const {
        QProcessEnvironment environment = desktop_;
        environment.insert(QStringLiteral("CTO_SERVICE_HOST"), QStringLiteral("127.0.0.1:") + servicePort_);
        environment.insert(QStringLiteral("CTO_SERVICE_CA_FILE"), folder_ + QStringLiteral("/office/ca.pem"));
        environment.insert(QStringLiteral("CTO_NSS_DATABASE"), folder_ + QStringLiteral("/nssdb"));
        if (!softHsmConfiguration_.isEmpty())
            environment.insert(QStringLiteral("SOFTHSM2_CONF"), softHsmConfiguration_);
        for (const QString& name : programExtras.keys())
            environment.insert(name, programExtras.value(name));
        return environment;
    }

    // For a test that watches the run: variables added to the program's
    // environment, and a look at each window once it holds the focus, before
    // it is answered (its title as argument).
    QProcessEnvironment programExtras;
    std::function<void(const QString& title)> beforeAnswering;

    bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr) const {
        QProcess tool;
        tool.setProcessEnvironment(desktop_);
        tool.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::ForwardedChannels);
        tool.start(program, arguments);
        const bool finished = tool.waitForFinished(60000);
        if (output)
            *output = QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
        return finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    // Waits until the window with that title holds the keyboard focus, then
    // runs the xdotool command; answers what went wrong, or an empty text.
    QString whenFocused(const QString& title, const QStringList& xdotoolCommand) const {
        QString focused;
        const bool arrived = QTest::qWaitFor(
            [&] {
                return runTool(xdotool_, {QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")},
                               &focused) &&
                       focused == title;
            },
            kWindowTimeoutMs);
        if (!arrived)
            return QStringLiteral("\"%1\" never took the focus; it is on \"%2\"").arg(title, focused);
        if (beforeAnswering)
            beforeAnswering(title);
        if (!runTool(xdotool_, xdotoolCommand))
            return QStringLiteral("xdotool %1 failed").arg(xdotoolCommand.join(QLatin1Char(' ')));
        return {};
    }

    // How the user picks a certificate in the dialog: the xdotool command,
    // and the PIN or password to type when its store asks (none: no prompt).
    struct Choice {
        QStringList keys;
        QString secret;
        // A second xdotool command, run apart from the first (xdotool does
        // not press Alt+A reliably after typing text in the same command).
        QStringList thenKeys = {};
        // The title of the prompt that asks for the secret: a card's names
        // the card; empty for a database's.
        QString prompt = {};
    };
    // Rows: Cliente Prueba (expired), Cliente Prueba, Peña Muñoz. The list
    // holds the focus with no row selected: two steps down select Peña Muñoz.
    static Choice penaMunoz() { return {{"key", "--delay", "100", "Down", "Down", "alt+a"}, {}}; }

    // The run a user makes: starts `program` in `workFolder` on the survey
    // file `surveyName` there, picks a certificate (Peña Muñoz's unless told),
    // accepts the outcome and saves a copy of the answer as `copy`; the
    // program must then end with status 0. Fails the current test otherwise
    // (callers check QTest::currentTestFailed()).
    void sendAsUser(const QString& program, const QString& workFolder, const QString& surveyName,
                    const QString& copy, const Choice& choice = penaMunoz()) const {
        static const QString certificateDialog = QString::fromUtf8("Selección de Certificado");
        static const QString messageCaption = QStringLiteral("Conexiontulvaoskel"); // the application title
        static const QString saveDialog = QStringLiteral("Guardar resultados del envio");
        static const QString passwordDialog = QString::fromUtf8("Contraseña del almacén de certificados");

        QProcess run;
        run.setProcessEnvironment(programEnvironment());
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.setWorkingDirectory(workFolder);
        run.start(program, {surveyName});
        QVERIFY(run.waitForStarted());
        const auto stopRun = qScopeGuard([&] {
            if (run.state() != QProcess::NotRunning) {
                run.kill();
                run.waitForFinished(5000);
            }
        });

        QString problem = whenFocused(certificateDialog, choice.keys);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (!choice.thenKeys.isEmpty())
            QVERIFY(runTool(xdotool_, choice.thenKeys));
        if (!choice.secret.isEmpty()) {
            problem = whenFocused(choice.prompt.isEmpty() ? passwordDialog : choice.prompt,
                                  {"type", "--delay", "20", choice.secret});
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QVERIFY(runTool(xdotool_, {"key", "Return"}));
        }
        problem = whenFocused(messageCaption, {"key", "Return"}); // the outcome
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        problem = whenFocused(saveDialog, {"key", "ctrl+a"});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(runTool(xdotool_, {"type", "--delay", "20", copy}));
        QVERIFY(runTool(xdotool_, {"key", "Return"}));

        QVERIFY2(run.waitForFinished(kWindowTimeoutMs), "the program did not end");
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
    }

private:
    QString simulatedOffice_;
    QString makeNssdbScript_;
    QString folder_;
    PrivateXServer xServer_;
    QProcess office_;
    QProcessEnvironment desktop_;
    QString xdotool_;
    QString servicePort_;
    QString softHsmConfiguration_;
};

} // namespace cto::test
