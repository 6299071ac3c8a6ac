#pragma once

#include <string>

namespace cto {

// Held by one run at a time for one file: a second run of the same survey
// fails at once instead of sending it again, while runs for other files go on.
// The lock is an advisory lock on a hidden file beside the guarded one, which
// the system releases whenever the process ends; the file is removed when the
// lock is given back.
class RunLock {
public:
    // EFCreateError naming the guarded file when another run holds it or the
    // lock file cannot be made.
    explicit RunLock(const std::string& guardedPath);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    std::string lockPath_;
    int fd_ = -1;
};

} // namespace cto
