#include "app/windows/uFConexionTulvaOskel.h"
#include "ui_FConexionTulvaOskel.h"

#include "app/SeamFailure.h"
#include "app/SendEngine.h"
#include "app/windows/PlainMessageBox.h"
#include "app/windows/ReceiptSaving.h"
#include "app/windows/ResponseFile.h"
#include "app/windows/look/AccessibleRoles.h"
#include "app/windows/look/BusyCursor.h"
#include "app/windows/look/DialogLook.h"
#include "app/windows/look/FocusRing.h"
#include "app/windows/look/LegibleSelection.h"
#include "app/windows/look/MainResources.h"
#include "app/windows/look/ScrollAreaFrame.h"
#include "app/windows/look/SharpIcon.h"
#include "app/windows/look/SpokenNotice.h"
#include "app/windows/look/WindowFonts.h"
#include "common/DescriptorRoom.h"
#include "common/Exception.h"
#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/ReplacementFile.h"
#include "common/RunLock.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <exception>
#include <optional>

TFConexionTulvaOskel::TFConexionTulvaOskel(QWidget* parent)
    : QWidget(parent), SoapClient(*this), ui(std::make_unique<Ui::TFConexionTulvaOskel>()),
      arguments_(QCoreApplication::arguments().mid(1)),
      surveyName_(QFile::encodeName(arguments_.value(0)).toStdString()),
      executableFolder_(QCoreApplication::applicationDirPath()) {
    cto::initMainResources();
    cto::installAccessibleRoles();
    ui->setupUi(this);
    waitingLine_ = std::make_unique<cto::WaitingLine>(ui->Memo1);
    setFont(cto::formFont());
    cto::keepSelectionLegible(this);
    cto::decorateHeaderBand(ui->Label18, QStringLiteral(":/images/logo.png"));
    ui->bFin->setFont(cto::buttonFont());
    ui->bFin->setIcon(cto::sharpIcon(QStringLiteral(":/images/tick.png")));
    cto::showKeyboardFocus(ui->bFin);
    cto::keepFrameWhole(ui->Memo1);
    connect(ui->bFin, &QPushButton::clicked, this, &TFConexionTulvaOskel::bFinClick);

    SaveDialog1.Title = QStringLiteral("Guardar resultados del envio");
    SaveDialog1.DefaultExt = QStringLiteral("txt");
    SaveDialog1.Filter = QStringLiteral("*.xml");
    SaveDialog1.FileName = QStringLiteral("ResultadoEnvio.txt");
    SaveDialog1.OverwritePrompt = true;

    OnActivate = [this](QObject* sender) { enviarXML(sender); };
}

TFConexionTulvaOskel::~TFConexionTulvaOskel() = default;

void TFConexionTulvaOskel::setArguments(const QStringList& arguments) {
    arguments_ = arguments;
    surveyName_ = QFile::encodeName(arguments_.value(0)).toStdString();
}

void TFConexionTulvaOskel::setSurveyName(std::string name) {
    surveyName_ = std::move(name);
}

void TFConexionTulvaOskel::setExecutableFolder(const QString& folder) {
    executableFolder_ = folder;
}

void TFConexionTulvaOskel::clearLog() {
    ui->Memo1->clear();
    ui->Memo1->setAccessibleDescription(QString());
}

void TFConexionTulvaOskel::appendLog(const QString& line) {
    ui->Memo1->appendPlainText(line);
    // Screen readers pass over text that a program inserts (they read what
    // the user typed).
    cto::announceLogLine(ui->Memo1, line);
    // The workflow holds the thread: paint the new line now, not when it returns.
    ui->Memo1->viewport()->repaint();
}

void TFConexionTulvaOskel::followTheSend() {
    // Without a window manager nothing would hand the activation back; with
    // one, this is what it does anyway, and a window it has already made
    // active (or a PIN prompt that opened since) keeps it.
    if (!QApplication::activeWindow())
        activateWindow();
    ui->Memo1->setFocus(Qt::ActiveWindowFocusReason);
}

void TFConexionTulvaOskel::detachActivationHandler() {
    OnActivate = nullptr;
}

bool TFConexionTulvaOskel::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate && OnActivate)
        OnActivate(this);
    return handled;
}

void TFConexionTulvaOskel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownBefore_)
        return;
    shownBefore_ = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Without a window manager nothing activates a new window; ask for it once
    // the window is on screen, so the workflow starts everywhere the same way.
    QMetaObject::invokeMethod(
        this, [this] { activateWindow(); }, Qt::QueuedConnection);
}

void TFConexionTulvaOskel::closeEvent(QCloseEvent* event) {
    if (exchangeRunning_)
        offerToStop();
    // The run keeps its window until it ends; during the exchange the user may stop it.
    if (workflowRunning_)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TFConexionTulvaOskel::keyPressEvent(QKeyEvent* event) {
    // bFin is the window's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && ui->bFin->isEnabled()) {
        ui->bFin->animateClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFConexionTulvaOskel::offerToStop() {
    if (stopQuestion_ || stopRequested_)
        return;
    auto* question =
        new QMessageBox(QMessageBox::Question, cto::plainMessageCaption(),
                        QStringLiteral("¿Desea detener el envío?\n\n"
                                       "La oficina puede haber recibido ya la encuesta aunque el "
                                       "envío se detenga."),
                        QMessageBox::NoButton, this);
    QPushButton* stop = question->addButton(QStringLiteral("&Detener el envío"), QMessageBox::YesRole);
    question->setDefaultButton(question->addButton(QStringLiteral("&Seguir esperando"), QMessageBox::NoRole));
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton* button) {
        if (button == stop)
            stopRequested_ = true;
    });
    stopQuestion_ = question;
    question->open(); // the exchange goes on while the user decides
    question->adjustSize();
    cto::centreOver(question, this);
}

bool TFConexionTulvaOskel::keepPaintingWhileWaiting() {
    if (exchangeRunning_)
        waitingLine_->tick();
    // The window answers: Cerrar and the close box offer to stop the send.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !stopRequested_;
}

void TFConexionTulvaOskel::endForSignal() {
    stopRequested_ = true;
    // exit, not quit: no window may hold the end back by refusing to close,
    // and every modal loop, running or yet to run, returns at once.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void TFConexionTulvaOskel::bFinClick() {
    if (exchangeRunning_) {
        offerToStop();
        return;
    }
    requestTermination();
}

void TFConexionTulvaOskel::requestTermination() {
    emit terminationRequested();
    // Queued: a quit made before the event loop runs would be lost.
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

void TFConexionTulvaOskel::enviarXML(QObject*) {
    // Set before any work: the workflow's own modal windows activate this
    // window again while it runs.
    if (workflowStarted_)
        return;
    workflowStarted_ = true;
    workflowRunning_ = true;
    try {
        runWorkflow();
    } catch (const cto::Exception& failure) {
        cto::showPlainMessage(this, QString::fromStdString(cto::failureMessage(failure)));
    } catch (const std::exception& failure) {
        cto::showPlainMessage(this,
                              QString::fromStdString(cto::failureMessage(cto::Exception(failure.what()))));
    } catch (...) {
        // Nothing may escape into the event loop: the run still ends with status 0.
        cto::showPlainMessage(this,
                              QString::fromStdString(cto::failureMessage(cto::Exception("Unknown failure"))));
    }
    workflowRunning_ = false;
    requestTermination();
}

void TFConexionTulvaOskel::runWorkflow() {
    repaint();
    clearLog();
    appendLog(QStringLiteral("Configurando conexión con OSKEL..."));
    // Before anything is opened: short of descriptors, a thread's start or a
    // store's database would fail midway, or end the process.
    cto::checkRoomForDescriptors(cto::kDescriptorsARunNeeds);
    SoapClient.configureEndpoint();
    appendLog(QStringLiteral("Ok"));

    appendLog(QStringLiteral("Cargando fichero XML generado..."));
    const QString argument = QFile::decodeName(QByteArray::fromStdString(surveyName_));
    // Held open, and so locked, until the survey has gone: read in pieces as it goes.
    const cto::FileStream survey = cto::openSurvey(surveyName_);
    appendLog(QStringLiteral("Ok"));

    // Before anything leaves: a receipt that cannot be stored would be lost,
    // and a second run of the same survey would send it twice.
    const std::string responsePath = cto::responsePath(executableFolder_, surveyName_);
    cto::checkResponseFileCanBeCreated(responsePath, argument);
    std::optional<cto::RunLock> oneRun(std::in_place, responsePath);
    cto::removeLeftoverReplacements(responsePath);

    appendLog(QStringLiteral("Enviando fichero XML..."));
    exchange(survey, responsePath);
    appendLog(QStringLiteral("Ok"));

    const cto::Outcome outcome = SoapClient.storeResponse();
    if (!outcome.receiptCopyFailure.isEmpty())
        appendLog(outcome.receiptCopyFailure);
    // The user's copy is made from this run's receipt, even if another run
    // replaces the file once the lock is gone.
    cto::FileStream stored = cto::FileStream::openForReading(outcome.responsePath);
    oneRun.reset();
    cto::reportOutcome(this, SaveDialog1, outcome, stored);
}

void TFConexionTulvaOskel::exchange(const cto::FileStream& survey, const std::string& responsePath) {
    std::exception_ptr failure;
    {
        exchangeRunning_ = true;
        const cto::BusyCursor busy(this);
        try {
            SoapClient.execute(survey, responsePath);
        } catch (...) {
            failure = std::current_exception();
        }
        exchangeRunning_ = false;
        waitingLine_->end();
    }
    if (stopQuestion_)
        answerStopQuestion(failure != nullptr);
    if (failure)
        std::rethrow_exception(failure);
}

// The exchange ended while the user was deciding whether to stop it: the
// question says so in its place, with one button, and the next window waits
// until it is read, so that a press meant for Detener never lands on it.
void TFConexionTulvaOskel::answerStopQuestion(bool failed) {
    QMessageBox* question = stopQuestion_;
    question->setText(
        failed ? QStringLiteral("El envío ya terminó, sin completarse: ya no hay nada que detener.\n\n"
                                "A continuación se muestra el motivo.")
               : QStringLiteral("El envío ya terminó: la oficina respondió antes de que se "
                                "detuviera.\n\nA continuación se muestra su respuesta."));
    // Its answer no longer stops anything.
    disconnect(question, &QMessageBox::buttonClicked, this, nullptr);
    for (QAbstractButton* button : question->buttons()) {
        question->removeButton(button);
        delete button;
    }
    question->setDefaultButton(question->addButton(QStringLiteral("&Aceptar"), QMessageBox::AcceptRole));
    question->adjustSize();
    cto::centreOver(question, this);
    // Qt's box tells a screen reader of its new text only when it is shown.
    QAccessibleEvent changed(question, QAccessible::Alert);
    QAccessible::updateAccessibility(&changed);
    question->exec();
}
