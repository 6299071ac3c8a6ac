#pragma once

#include <QProcess>

namespace cto::test {

// Ends a server the test started: asked to stop, then killed if it does not.
inline void stopChild(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace cto::test
