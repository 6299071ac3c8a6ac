#pragma once

#include "app/windows/SoapClientHandle.h"
#include "app/windows/TSaveDialog.h"
#include "app/windows/WaitingLine.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;

namespace Ui {
class TFConexionTulvaOskel;
}

// The main window: a header band, the progress log Memo1 and the close button
// bFin. Its first activation runs the send workflow enviarXML; nothing else
// waits for the user.
class TFConexionTulvaOskel : public QWidget {
    Q_OBJECT

public:
    explicit TFConexionTulvaOskel(QWidget* parent = nullptr);
    ~TFConexionTulvaOskel() override;

    // The SOAP client (it owns the HTTP transport) and the save dialog; both
    // live as long as the window. The client lives in the send engine, which
    // is loaded when the workflow first needs it.
    cto::SoapClientHandle SoapClient;
    TSaveDialog SaveDialog1;

    // The activation handler: the whole send workflow. It runs at most once
    // per window, whatever activates the window afterwards.
    void enviarXML(QObject* sender);
    // The close button: requests termination; while the exchange runs, offers to stop it.
    void bFinClick();
    // From now on no activation of the window starts anything.
    void detachActivationHandler();
    // The transport's before-send hook: asks for the certificate; answers the
    // chosen certificate (its DER encoding) for the engine to attach, or
    // nothing to send without one.
    std::optional<cto::ChosenCertificate> SoapClientHTTPWebNode1BeforePost();
    // The transport's waiting hook: keeps the window painted and answering;
    // false once the user chose to stop the send.
    bool keepPaintingWhileWaiting();
    // SIGTERM or SIGHUP: the run ends as the user's stop ends it, without
    // waiting on anyone: the exchange stops (nothing is stored, the lock goes),
    // every window's loop ends at once, and the process exits with status 0.
    void endForSignal();

    // The workflow's input: the command-line arguments without the program
    // name, and the folder the response file is stored in. Both default to
    // those of the running process.
    void setArguments(const QStringList& arguments);
    // The survey's name exactly as the caller gave it: a file name is bytes,
    // which need not be text in any encoding.
    void setSurveyName(std::string name);
    void setExecutableFolder(const QString& folder);

    // The progress log. Each new line is also announced to screen readers
    // (see SpokenNotice.h) and becomes the log's accessible description.
    void clearLog();
    void appendLog(const QString& line);
    // Once the certificate dialog has closed: the window is active again,
    // with the keyboard on the log, so that a screen reader announces it and
    // goes on to read the send's progress there.
    void followTheSend();

    bool workflowStarted() const noexcept { return workflowStarted_; }

signals:
    // Emitted when the run asks the application to end (the quit itself is queued).
    void terminationRequested();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void runWorkflow();
    void exchange(const cto::FileStream& survey, const std::string& responsePath);
    // Asks, without stopping the exchange meanwhile, whether to stop it.
    void offerToStop();
    void answerStopQuestion(bool failed);
    void requestTermination();

    std::unique_ptr<Ui::TFConexionTulvaOskel> ui;
    std::function<void(QObject*)> OnActivate;
    QStringList arguments_;
    std::string surveyName_;
    QString executableFolder_;
    bool workflowStarted_ = false;
    bool workflowRunning_ = false;
    bool exchangeRunning_ = false;
    bool stopRequested_ = false;
    QPointer<QMessageBox> stopQuestion_;
    std::unique_ptr<cto::WaitingLine> waitingLine_;
    bool shownBefore_ = false;
};
