#include "common/RunLock.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SystemErrorText.h"

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cto {
namespace {

std::string lockPathFor(const std::string& guardedPath) {
    const std::filesystem::path path(guardedPath);
    std::string name = path.filename().string();
    name.insert(0, 1, '.'); // hidden beside the file it guards
    name += ".envio";
    return (path.parent_path() / name).string();
}

// Whether fd is still the file at path: a run that gave the lock back removed
// it, and one that took the old file's lock just then holds nothing.
bool stillAt(int fd, const std::string& path) {
    struct stat held {
    }, current{};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
           held.st_ino == current.st_ino;
}

} // namespace

RunLock::RunLock(const std::string& guardedPath) : lockPath_(lockPathFor(guardedPath)) {
    for (;;) {
        fd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            throw EFCreateError(fileFailureMessage("create", guardedPath, errno));
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd_);
            fd_ = -1;
            throw EFCreateError(fileFailureMessage(
                "create", guardedPath,
                error == EWOULDBLOCK
                    ? std::string("Otra ejecución del programa está enviando la misma encuesta")
                    : systemErrorText(error)));
        }
        if (stillAt(fd_, lockPath_))
            return;
        ::close(fd_);
    }
}

RunLock::~RunLock() {
    // Removed while still held, so nobody can take a lock on a file about to go.
    ::unlink(lockPath_.c_str());
    ::close(fd_);
}

} // namespace cto
