#include "common/ReplacementFile.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SystemErrorText.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cto {
namespace {

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// A name no other file beside it has: hidden, and marked as ours.
std::string temporaryNameFor(const std::string& finalPath, unsigned number) {
    const std::filesystem::path path(finalPath);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", number);
    std::string name = path.filename().string();
    name.insert(0, 1, '.');
    name += ".nuevo-";
    name += suffix;
    return (path.parent_path() / name).string();
}

std::string procPathOf(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return flushed;
}

// The new file without a name in the final path's folder, so that a run
// killed while writing leaves nothing behind; -1 where the file system cannot
// (or /proc, through which it is read and later named, is missing).
int unnamedFileIn(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 && ::access(procPathOf(fd).c_str(), R_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

ReplacementFile::ReplacementFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    // The mode a file created afresh gets (0666 less the umask); commit() keeps the replaced one's.
    fd_ = unnamedFileIn(folderOf(finalPath_));
    if (fd_ >= 0) {
        temporaryPath_ = procPathOf(fd_);
        return;
    }
    const int error = createNamed(O_WRONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw EFCreateError(fileFailureMessage("create", finalPath_, error));
    named_ = true;
}

int ReplacementFile::createNamed(int flags) {
    std::random_device random;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        namedPath_ = temporaryNameFor(finalPath_, random());
        fd_ = ::open(namedPath_.c_str(), flags | O_CREAT | O_EXCL, 0666);
        error = fd_ < 0 ? errno : 0;
    }
    temporaryPath_ = namedPath_;
    return error;
}

// An unnamed file gets its hidden name only now, under the same pattern as a
// named one, so that a run killed between naming and renaming leaves a file
// that the next run of the survey removes.
int ReplacementFile::nameUnnamed() {
    std::random_device random;
    int error = EEXIST;
    const std::string source = procPathOf(fd_);
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        namedPath_ = temporaryNameFor(finalPath_, random());
        error = ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, namedPath_.c_str(), AT_SYMLINK_FOLLOW) == 0
                    ? 0
                    : errno;
    }
    named_ = error == 0;
    return error;
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (named_ && !committed_)
        ::unlink(namedPath_.c_str());
}

void ReplacementFile::failWrite(int error) {
    throw EWriteError("No se puede escribir el fichero \"" + expandFileName(finalPath_) + "\". " +
                      systemErrorText(error));
}

void ReplacementFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failWrite(n < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ReplacementFile::commit() {
    // The file it replaces keeps its permissions, as a program that
    // rewrote it in place would have left them; a link is replaced, not read.
    struct stat replaced {};
    if (::lstat(finalPath_.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode) &&
        ::fchmod(fd_, replaced.st_mode & 07777) != 0)
        failWrite(errno);
    if (::fsync(fd_) != 0)
        failWrite(errno);
    if (!named_)
        if (const int error = nameUnnamed(); error != 0)
            failWrite(error);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        failWrite(errno);
    if (::rename(namedPath_.c_str(), finalPath_.c_str()) != 0)
        failWrite(errno);
    committed_ = true;
    // Without this the rename itself may not survive a power cut. The new
    // content is in place whatever it answers, so a failure here is no
    // failure of the replacement.
    flushFolder(folderOf(finalPath_));
}

std::string ReplacementFile::commitAsNew(const std::function<std::string(int)>& nameFor) {
    if (::fsync(fd_) != 0)
        failWrite(errno);
    // A link, unlike a rename, fails rather than replace what has the name.
    const std::string source = named_ ? namedPath_ : procPathOf(fd_);
    const int follow = named_ ? 0 : AT_SYMLINK_FOLLOW;
    constexpr int kMostNames = 1000;
    std::string name;
    int error = EEXIST;
    for (int number = 1; number <= kMostNames && error == EEXIST; ++number) {
        name = nameFor(number);
        error = ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), follow) == 0 ? 0 : errno;
    }
    if (error != 0)
        failWrite(error);
    committed_ = true;
    if (named_)
        ::unlink(namedPath_.c_str());
    ::close(fd_);
    fd_ = -1;
    flushFolder(folderOf(name));
    return name;
}

void removeLeftoverReplacements(const std::string& finalPath) {
    const std::filesystem::path path(finalPath);
    const std::string prefix = "." + path.filename().string() + ".nuevo-";
    std::error_code error;
    const std::string folder = folderOf(finalPath);
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 8 && name.compare(0, prefix.size(), prefix) == 0 &&
            entry.is_regular_file(error) && !entry.is_symlink(error))
            ::unlink(entry.path().c_str());
    }
}

void replaceWholeFile(const std::string& fileName, std::string_view bytes) {
    ReplacementFile file(fileName);
    file.write(bytes);
    file.commit();
}

void ReplacementSink::seek(std::int64_t position) {
    if (position != written_)
        throw EWriteError("Stream write error");
}

std::size_t ReplacementSink::read(void*, std::size_t) {
    return 0;
}

std::size_t ReplacementSink::write(const void* buffer, std::size_t count) {
    file_.write(std::string_view(static_cast<const char*>(buffer), count));
    written_ += static_cast<std::int64_t>(count);
    return count;
}

} // namespace cto
