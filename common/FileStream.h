#pragma once

#include "ByteStream.h"

#include <string>

namespace cto {

// A regular file (never a FIFO, device or folder, which could block the run or
// feed it endless bytes), held with a non-blocking advisory lock (flock) for as
// long as it is open: shared for reading, so that readers do not stop each
// other but a writer still in the file does; exclusive for writing, so that
// two runs never write one file at once.
class FileStream final : public ByteStream {
public:
    // An existing regular file, read only. Throws EFOpenError.
    static FileStream openForReading(const std::string& fileName);
    // Created afresh: an existing file is replaced. Throws EFCreateError.
    static FileStream create(const std::string& fileName);
    // A file without a name in the folder, for reading and writing, gone when
    // closed or when the run is killed. Throws EFCreateError naming the folder.
    static FileStream createUnnamed(const std::string& folder);
    // Another stream over the same open file, through a copy of its
    // descriptor: it shares the file's lock, which holds while either is open.
    // Throws EFOpenError.
    static FileStream sharing(int descriptor);

    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream() override;

    std::int64_t size() const override;
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t position) override;
    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;

    // Flushes written data to the disk and closes; a failure is EWriteError.
    void close();

    int descriptor() const noexcept { return fd_; }

private:
    explicit FileStream(int fd) : fd_(fd) {}

    int fd_ = -1;
    std::int64_t position_ = 0;
};

// "Cannot <verb> file "<full path>". <system text for error>" (systemErrorText): the message of
// EFOpenError ("open") and EFCreateError ("create").
std::string fileFailureMessage(const char* verb, const std::string& fileName, int error);
// The same with a reason of our own.
std::string fileFailureMessage(const char* verb, const std::string& fileName, const std::string& reason);

// The error number openForReading reports for a path that is not a regular file.
inline constexpr int kNotRegularFile = -1;

// The name resolved to a full path against the working directory; empty stays empty.
std::string expandFileName(const std::string& fileName);

// The whole file, read as FileStream::openForReading does; a file larger than
// largest bytes (when not negative) is refused with EFOpenError before any is read.
std::string readWholeFile(const std::string& fileName, std::int64_t largest = -1);
// Creates the file afresh and writes the bytes into it.
void writeWholeFile(const std::string& fileName, std::string_view bytes);

} // namespace cto
