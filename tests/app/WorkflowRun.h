#pragma once

#include "app/ModalDriver.h"
#include "app/windows/uFConexionTulvaOskel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

namespace cto::test {

// What the user saw of one message box.
struct ShownMessage {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
};

// Answers the next message box with OK, keeping what it showed.
inline std::shared_ptr<std::optional<ShownMessage>> answerNextMessage() {
    auto shown = std::make_shared<std::optional<ShownMessage>>();
    onNextModal<QMessageBox>([shown](QMessageBox* box) {
        *shown = ShownMessage{box->text(), box->windowTitle(), box->icon(), box->buttons().size()};
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        QVERIFY2(ok, qPrintable(QStringLiteral("not a message but a question: ") + box->text()));
        ok->click();
    });
    return shown;
}

// What the save dialog proposed and how it was answered.
struct SaveAnswer {
    QString title;
    QString proposedName;
    QStringList filters;
    QString replaceQuestion; // the question asked before replacing a file; empty when none was
};

// Answers the next save dialog: sets fileName on its name field and confirms,
// or cancels when fileName is empty. When the file exists, the question before
// replacing it is answered with replace; a "no" leaves the dialog open, and
// it is then cancelled.
inline std::shared_ptr<std::optional<SaveAnswer>> answerNextSaveDialog(const QString& fileName,
                                                                       bool replace = true) {
    auto answer = std::make_shared<std::optional<SaveAnswer>>();
    onNextModal<QFileDialog>([answer, fileName, replace](QFileDialog* dialog) {
        auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        *answer = SaveAnswer{dialog->windowTitle(), nameField ? nameField->text() : QString(),
                             dialog->nameFilters(), QString()};
        if (fileName.isEmpty()) {
            dialog->reject();
            return;
        }
        nameField->setText(fileName);
        if (QFileInfo::exists(fileName)) {
            onNextModal<QMessageBox>([answer, replace](QMessageBox* question) {
                (*answer)->replaceQuestion = question->text();
                const QString wanted = replace ? QStringLiteral("&Reemplazar") : QStringLiteral("&No");
                for (QAbstractButton* button : question->buttons())
                    if (button->text() == wanted)
                        button->click();
            });
        }
        static_cast<QDialog*>(dialog)->accept(); // virtual: reads the name field, and asks before replacing
        if (dialog->isVisible())
            dialog->reject();
    });
    return answer;
}

// The main window of one run: shown, and waited for until the run asks to end.
class WorkflowRun {
public:
    WorkflowRun(const QStringList& arguments, const QString& executableFolder) {
        window.setArguments(arguments);
        window.setExecutableFolder(executableFolder);
    }

    // Shows the window and waits for the run's termination request. A modal
    // window that no queued step waits for fails the test with its title
    // within a second, and none outlives the bound: the guard runs inside
    // their nested loops too, where the wait itself cannot return.
    bool showAndWait(int timeoutMs = 30000) {
        QElapsedTimer clock;
        clock.start();
        QElapsedTimer unexpectedSince;
        QString unexpected;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &guard, [&] {
            QWidget* front = QApplication::activeModalWidget();
            const bool awaited =
                !qApp->findChildren<QTimer*>(QStringLiteral("ctoModalStep"), Qt::FindDirectChildrenOnly)
                     .isEmpty();
            if (!front || awaited) {
                unexpectedSince.invalidate();
            } else if (!unexpectedSince.isValid()) {
                unexpectedSince.start();
            } else if (unexpectedSince.elapsed() > 1000) {
                unexpected = describe(front);
                dismiss(front);
            }
            if (front && clock.elapsed() > timeoutMs)
                dismiss(front);
        });
        guard.start(50);
        window.show();
        const bool ended = QTest::qWaitFor([this] { return terminations.count() > 0; }, timeoutMs);
        if (!unexpected.isEmpty())
            QTest::qFail(qPrintable(QStringLiteral("a window no step waited for: ") + unexpected), __FILE__,
                         __LINE__);
        return ended && unexpected.isEmpty();
    }

    QStringList log() const {
        const QString text = window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    TFConexionTulvaOskel window;

    QSignalSpy terminations{&window, &TFConexionTulvaOskel::terminationRequested};

private:
    static QString describe(QWidget* front) {
        QString text =
            QStringLiteral("«%1» (%2)").arg(front->windowTitle(), front->metaObject()->className());
        if (auto* box = qobject_cast<QMessageBox*>(front))
            text += QStringLiteral(": ") + box->text();
        return text;
    }
    static void dismiss(QWidget* front) {
        if (auto* dialog = qobject_cast<QDialog*>(front))
            dialog->reject(); // a question without an escape button ignores close()
        else
            front->close();
    }
};

} // namespace cto::test
