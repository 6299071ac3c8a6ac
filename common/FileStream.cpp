#include "FileStream.h"

#include "FailureKinds.h"
#include "SpanishUnits.h"
#include "SystemErrorText.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cto {
namespace {

// Opens and locks (lock is LOCK_SH for reading, LOCK_EX for writing); answers
// the errno of the first step that failed, or 0. Nothing here waits: a FIFO or
// a device opens without blocking and, to be read, is refused by its type; a
// held lock fails at once.
int openLocked(const std::string& fileName, int flags, int lock, int& fd) {
    fd = ::open(fileName.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return errno;
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (lock == LOCK_SH && !S_ISREG(info.st_mode))
        error = kNotRegularFile;
    else if (::flock(fd, lock | LOCK_NB) != 0)
        error = errno;
    else if (const int modes = ::fcntl(fd, F_GETFL);
             modes < 0 || ::fcntl(fd, F_SETFL, modes & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        fd = -1;
    }
    return error;
}

// The reason in the system's words, or in ours where the system has none or
// says too little ("Resource temporarily unavailable" for a lock held).
std::string errorText(int error) {
    if (error == kNotRegularFile)
        return "No es un fichero normal";
    if (error == EWOULDBLOCK)
        return "Otro programa está usando el fichero y lo tiene bloqueado";
    return systemErrorText(error);
}

} // namespace

std::string fileFailureMessage(const char* verb, const std::string& fileName, int error) {
    return fileFailureMessage(verb, fileName, errorText(error));
}

std::string fileFailureMessage(const char* verb, const std::string& fileName, const std::string& reason) {
    return std::string("Cannot ") + verb + " file \"" + expandFileName(fileName) + "\". " + reason;
}

std::string expandFileName(const std::string& fileName) {
    if (fileName.empty())
        return {};
    std::error_code ignored;
    return std::filesystem::absolute(fileName, ignored).lexically_normal().string();
}

FileStream FileStream::openForReading(const std::string& fileName) {
    int fd = -1;
    // Shared: another reader (the program that wrote the survey) does not stop the run.
    if (const int error = openLocked(fileName, O_RDONLY, LOCK_SH, fd); error != 0)
        throw EFOpenError(fileFailureMessage("open", fileName, error));
    return FileStream(fd);
}

FileStream FileStream::create(const std::string& fileName) {
    int fd = -1;
    int error = openLocked(fileName, O_WRONLY | O_CREAT, LOCK_EX, fd);
    // Truncate only once the lock is ours, so a concurrent writer is never cut short.
    struct stat info {};
    if (error == 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
        error = errno;
        ::close(fd);
    }
    if (error != 0)
        throw EFCreateError(fileFailureMessage("create", fileName, error));
    return FileStream(fd);
}

FileStream FileStream::sharing(int descriptor) {
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        throw EFOpenError(fileFailureMessage("open", "/proc/self/fd/" + std::to_string(descriptor), errno));
    return FileStream(fd);
}

FileStream FileStream::createUnnamed(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a hidden name, dropped at once.
        std::string name = folder + "/.ConexionTulvaOskel-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.c_str());
    }
    if (fd < 0)
        throw EFCreateError(fileFailureMessage("create", folder, errno));
    return FileStream(fd);
}

FileStream::FileStream(FileStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), position_(std::exchange(other.position_, 0)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        position_ = std::exchange(other.position_, 0);
    }
    return *this;
}

FileStream::~FileStream() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::int64_t FileStream::size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return 0;
    return info.st_size;
}

void FileStream::seek(std::int64_t position) {
    position_ = position < 0 ? 0 : position;
}

namespace {

// Moves count bytes at position with pread or pwrite, going on after
// interruptions and partial transfers; answers how many moved.
template <typename Buffer, typename Transfer>
std::size_t transferAll(int fd, Buffer* buffer, std::size_t count, std::int64_t& position,
                        Transfer transfer) {
    std::size_t done = 0;
    while (fd >= 0 && done < count) {
        const ssize_t n = transfer(fd, buffer + done, count - done, position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
        position += n;
    }
    return done;
}

} // namespace

std::size_t FileStream::read(void* buffer, std::size_t count) {
    return transferAll(fd_, static_cast<char*>(buffer), count, position_, ::pread);
}

std::size_t FileStream::write(const void* buffer, std::size_t count) {
    return transferAll(fd_, static_cast<const char*>(buffer), count, position_, ::pwrite);
}

void FileStream::close() {
    if (fd_ < 0)
        return;
    const int fd = std::exchange(fd_, -1);
    // A receipt reported as saved must be on the disk: a failed flush is a failed write.
    const bool flushed = ::fsync(fd) == 0 || errno == EINVAL;
    const bool closed = ::close(fd) == 0;
    if (!flushed || !closed)
        throw EWriteError("Stream write error");
}

std::string readWholeFile(const std::string& fileName, std::int64_t largest) {
    FileStream file = FileStream::openForReading(fileName);
    if (largest >= 0 && file.size() > largest)
        throw EFOpenError(fileFailureMessage("open", fileName,
                                             "El fichero ocupa más de " + spanishMebibytes(largest) +
                                                 ", más de lo que puede ser"));
    std::string bytes(static_cast<std::size_t>(file.size()), '\0');
    file.readBuffer(bytes.data(), bytes.size());
    return bytes;
}

void writeWholeFile(const std::string& fileName, std::string_view bytes) {
    FileStream file = FileStream::create(fileName);
    file.writeBuffer(bytes);
    file.close();
}

} // namespace cto
