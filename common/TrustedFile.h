#pragma once

#include <string>

namespace cto {

// A file that the program is about to load or run as the user, open, once it
// is known that no one but the user or root could have put it there. Checked
// as a secure shell checks a user's key files: the file is a regular file, and
// it and every folder above it belong to the user or to root and no one else
// can write them; a folder that others can write passes only with the sticky
// bit (as /tmp), which keeps them from replacing what is not theirs. The
// checks are made on the open file, and the caller then loads or runs that
// same open file (procPath, or fd for fexecve), so that nothing can be swapped
// in between.
class TrustedFile {
public:
    // Opens path, following symbolic links (the folders checked are those of
    // the file they lead to), and checks it.
    explicit TrustedFile(const std::string& path);
    ~TrustedFile();
    TrustedFile(TrustedFile&& other) noexcept;
    TrustedFile& operator=(TrustedFile&&) = delete;
    TrustedFile(const TrustedFile&) = delete;
    TrustedFile& operator=(const TrustedFile&) = delete;

    // Open and trusted.
    bool trusted() const { return fd_ >= 0; }
    // Why not, in Spanish, naming the file or the folder at fault ("otros
    // usuarios pueden modificar el fichero «…» (permisos 0664)"); empty when trusted.
    const std::string& refusal() const { return refusal_; }
    // The errno of a file that could not be opened at all (missing, unreadable); 0 otherwise.
    int openError() const { return openError_; }
    // The open file, close-on-exec; -1 when not trusted.
    int fd() const { return fd_; }
    // "/proc/self/fd/N": the open file under a name that dlopen takes. The
    // dynamic loader remembers a library by the name it was opened by: keep
    // the file open for as long as the library stays loaded, or another file
    // opened later under the same number would be taken for it.
    std::string procPath() const;
    // Gives up the descriptor, for a library that stays loaded until the process ends.
    int release();

private:
    int fd_ = -1;
    int openError_ = 0;
    std::string refusal_;
};

} // namespace cto
