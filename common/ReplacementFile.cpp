#include "common/ReplacementFile.h"

#include "common/FailureKinds.h"
#include "common/FileStream.h"
#include "common/SystemErrorText.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
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

bool flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return flushed;
}

} // namespace

ReplacementFile::ReplacementFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    std::random_device random;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        temporaryPath_ = temporaryNameFor(finalPath_, random());
        // The mode the final file would get if it were created afresh (0666 less the umask).
        fd_ = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = fd_ < 0 ? errno : 0;
    }
    if (fd_ < 0)
        throw EFCreateError(fileFailureMessage("create", finalPath_, error));
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_)
        ::unlink(temporaryPath_.c_str());
}

void ReplacementFile::failWrite(int error) {
    throw EWriteError("Cannot write file \"" + expandFileName(finalPath_) + "\". " + systemErrorText(error));
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
    if (::fsync(fd_) != 0)
        failWrite(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        failWrite(errno);
    if (::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0)
        failWrite(errno);
    committed_ = true;
    // Without this the rename itself may not survive a power cut.
    if (!flushFolder(folderOf(finalPath_)))
        failWrite(errno);
}

void replaceWholeFile(const std::string& fileName, std::string_view bytes) {
    ReplacementFile file(fileName);
    file.write(bytes);
    file.commit();
}

} // namespace cto
