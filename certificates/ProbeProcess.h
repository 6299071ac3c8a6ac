#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace cto {

// How a run of the probe ended.
struct ProbeRun {
    bool finished = false; // it exited by itself within the bound
    int exitCode = -1;
    QByteArray output; // what it printed (at most 64 KiB)
    QString ending;    // otherwise: how it ended, in the user's words
    QString refusal;   // the program was not run, because others could have put it there: why
};

// Runs the program with the arguments, its output read through a pipe, its
// input and errors to /dev/null, and kills it once the bound has passed. No
// process outlives the call: the child is always reaped. The program runs
// only when no one but the user or root could have put it there, and the file
// run is the very one checked (common/TrustedFile.h).
// inheritedFd, when given, stays open in the program under its own number
// (for a "/proc/self/fd/N" among the arguments).
ProbeRun runProbe(const QString& program, const QStringList& arguments, std::chrono::milliseconds bound,
                  int inheritedFd = -1);

} // namespace cto
