// Preloaded into a process that replaces a file: records, in the order they
// succeed, the calls that decide whether the new content survives a power cut
// (each fsync with what its descriptor names, each rename and link), one line
// each, to the file that CTO_DURABILITY_LOG names.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

std::string pathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t size = ::readlink(link, target, sizeof target - 1);
    return size > 0 ? std::string(target, static_cast<std::size_t>(size)) : std::string("?");
}

void record(const std::string& line) {
    const char* log = std::getenv("CTO_DURABILITY_LOG");
    if (!log)
        return;
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}

} // namespace

extern "C" {

int fsync(int fd) {
    static const auto next = real<int (*)(int)>("fsync");
    const int result = next(fd);
    if (result == 0)
        record("fsync " + pathOf(fd));
    return result;
}

int rename(const char* from, const char* to) {
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    const int result = next(from, to);
    if (result == 0)
        record(std::string("rename ") + from + " " + to);
    return result;
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    const int result = next(fromFolder, from, toFolder, to, flags);
    if (result == 0)
        record(std::string("link ") + to);
    return result;
}
}
