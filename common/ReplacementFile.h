#pragma once

#include <string>
#include <string_view>

namespace cto {

// A file written beside the file it replaces and put in its place in one step:
// a reader, or a run killed at any moment, finds the old file whole or the new
// one whole, never a part of either. A link at the final path is replaced, not
// followed. Until commit() nothing at the final path changes; a replacement
// dropped before then leaves no trace.
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
    // flushes the folder. EWriteError when any step fails; the old file then stays.
    void commit();

    // Where the new file is written until it is committed.
    const std::string& temporaryPath() const noexcept { return temporaryPath_; }

private:
    [[noreturn]] void failWrite(int error);

    std::string finalPath_;
    std::string temporaryPath_;
    int fd_ = -1;
    bool committed_ = false;
};

// Replaces the file with one holding exactly the bytes.
void replaceWholeFile(const std::string& fileName, std::string_view bytes);

} // namespace cto
