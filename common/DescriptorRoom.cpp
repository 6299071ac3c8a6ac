#include "common/DescriptorRoom.h"

#include "common/FailureKinds.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include <dirent.h>
#include <sys/resource.h>

namespace cto {
namespace {

// Enough for any run, and still below FD_SETSIZE for the libraries that
// wait with select().
constexpr rlim_t kComfortableLimit = 1024;

struct DirectoryCloser {
    void operator()(DIR* directory) const noexcept { ::closedir(directory); }
};

// The descriptors open now whose numbers count against the limit (one
// inherited above it takes none of the numbers the kernel hands out).
// Nothing when they cannot be listed: 0 when no descriptor is left even to
// list them, nothing at all without /proc.
std::optional<long> openDescriptors(rlim_t limit, bool& noneLeft) {
    noneLeft = false;
    const std::unique_ptr<DIR, DirectoryCloser> listing(::opendir("/proc/self/fd"));
    if (!listing) {
        noneLeft = errno == EMFILE || errno == ENFILE;
        return std::nullopt;
    }
    const int own = ::dirfd(listing.get());
    long count = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || number == static_cast<unsigned long>(own))
            continue;
        if (number < limit)
            ++count;
    }
    return count;
}

} // namespace

void makeRoomForDescriptors() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kComfortableLimit)
        return;
    limit.rlim_cur = std::min(limit.rlim_max, kComfortableLimit);
    (void)::setrlimit(RLIMIT_NOFILE, &limit);
}

void checkRoomForDescriptors(long needed) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    const long allowed = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1L << 30));
    bool noneLeft = false;
    const std::optional<long> open = openDescriptors(limit.rlim_cur, noneLeft);
    // Without /proc the open ones cannot be counted: the limit alone is judged.
    const long room = noneLeft ? 0 : allowed - open.value_or(0);
    if (room >= needed)
        return;
    std::string message = "El sistema solo permite a este programa tener " + std::to_string(allowed) +
                          " ficheros y conexiones abiertos a la vez (ulimit -n)";
    if (open)
        message += " y ya tiene " + std::to_string(*open) + " abiertos";
    else if (noneLeft)
        message += " y ya no le queda ninguno";
    const long enough = allowed - room + needed;
    message += "; necesita " + std::to_string(needed) +
               " libres más. La encuesta no se ha enviado: suba ese límite a " + std::to_string(enough) +
               " o más y vuelva a enviarla.";
    throw EFOpenError(message);
}

} // namespace cto
