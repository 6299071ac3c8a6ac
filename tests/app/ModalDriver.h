#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace cto::test {

// Queues a step for the next modal window of kind W that opens, before the
// code under test opens it: once that window is shown and active, the step
// runs inside the window's own modal loop; a step whose check fails leaves the
// window closed. When no such window shows within
// the time allowed, the test fails and the window in front is closed, so that
// a stuck modal loop cannot hang the run.
template <typename W> void onNextModal(std::function<void(W*)> step, int timeoutMs = 10000) {
    auto* poll = new QTimer(qApp);
    poll->setObjectName(QStringLiteral("ctoModalStep"));
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, step = std::move(step), timeoutMs] {
        QWidget* front = QApplication::activeModalWidget();
        W* window = qobject_cast<W*>(front);
        if (window && window->isVisible() && QApplication::activeWindow() == window) {
            poll->stop();
            poll->deleteLater();
            const QPointer<W> answered(window);
            step(window);
            // A check that failed inside the step returned before answering:
            // close the window, or its loop would hold the test until the watchdog.
            if (QTest::currentTestFailed() && answered && answered->isVisible())
                answered->close();
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            poll->stop();
            poll->deleteLater();
            QTest::qFail(
                qPrintable(QStringLiteral("no %1 opened in time").arg(W::staticMetaObject.className())),
                __FILE__, __LINE__);
            if (front)
                front->close();
        }
    });
    poll->start(10);
}

// Drops the steps still waiting for their window, so that a test that failed
// half-way leaves nothing behind to answer the next test's windows.
inline void cancelPendingModalSteps() {
    const auto pending =
        qApp->findChildren<QTimer*>(QStringLiteral("ctoModalStep"), Qt::FindDirectChildrenOnly);
    for (QTimer* poll : pending) {
        poll->stop();
        poll->deleteLater();
    }
}

// Sends a key to whatever holds the focus in the window, as a user's key press would arrive.
inline void pressKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target && target->window() == window ? target : window, key, modifiers);
}

} // namespace cto::test
