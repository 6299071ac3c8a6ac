#pragma once

#include "ByteStream.h"

#include <functional>
#include <string>
#include <string_view>

namespace cto {

// A file written beside the file it replaces and put in its place in one step:
// a reader, or a run killed at any moment, finds the old file whole or the new
// one whole, never a part of either. A link at the final path is replaced, not
// followed; a regular file there passes its permissions on. Until commit()
// nothing at the final path changes; a replacement dropped before then leaves
// no trace, and where the file system allows it (O_TMPFILE) the new file has
// no name until then, so that not even a killed run leaves one.
class ReplacementFile {
public:
    // Creates the new file in the final path's folder. EFCreateError naming
    // the final path when it cannot.
    explicit ReplacementFile(std::string finalPath);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // EWriteError naming the final path and the system's reason (a full disk,
    // a size limit) when the bytes cannot all be written.
    void write(std::string_view bytes);
    // Flushes the new file to the disk, renames it over the final path and
    // flushes the folder. EWriteError when a step before the rename fails;
    // the old file then stays. Once renamed, the replacement has succeeded.
    void commit();
    // Flushes the new file to the disk and gives it the first of nameFor(1),
    // nameFor(2), … (each in the final path's folder) that no file has yet,
    // in one step that never replaces a file; flushes the folder and answers
    // the name. EWriteError when it cannot be named, even after many tries.
    std::string commitAsNew(const std::function<std::string(int)>& nameFor);

    // Where the new file can be read until it is committed.
    const std::string& temporaryPath() const noexcept { return temporaryPath_; }

private:
    [[noreturn]] void failWrite(int error);
    int createNamed(int flags);
    int nameUnnamed();

    std::string finalPath_;
    std::string temporaryPath_; // the named file, or the unnamed one through /proc
    std::string namedPath_;     // the hidden name beside the final path, once it has one
    int fd_ = -1;
    bool named_ = false;
    bool committed_ = false;
};

// A replacement as a stream that takes bytes at its end and nothing else.
class ReplacementSink final : public ByteStream {
public:
    explicit ReplacementSink(ReplacementFile& file) : file_(file) {}

    std::int64_t size() const override { return written_; }
    std::int64_t position() const override { return written_; }
    // Only to where it stands: EWriteError elsewhere.
    void seek(std::int64_t position) override;
    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;

private:
    ReplacementFile& file_;
    std::int64_t written_ = 0;
};

// Removes the hidden files that replacements of finalPath left when their run
// was killed between naming and renaming. Only for the one run that holds the
// response file's lock: another's replacement in progress would go too.
void removeLeftoverReplacements(const std::string& finalPath);

// Replaces the file with one holding exactly the bytes.
void replaceWholeFile(const std::string& fileName, std::string_view bytes);

} // namespace cto
