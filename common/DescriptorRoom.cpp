#include "common/DescriptorRoom.h"

#include "common/FailureKinds.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include <sys/resource.h>

namespace cto {
namespace {

// Enough for any run, and still below FD_SETSIZE for the libraries that
// wait with select().
constexpr rlim_t kComfortableLimit = 1024;

long openDescriptors() {
    std::error_code failure;
    long count = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", failure), end; !failure && entry != end;
         entry.increment(failure))
        ++count;
    // The listing's own descriptor was counted, and is closed again.
    return failure ? -1 : count - 1;
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
    const long open = openDescriptors();
    // Without /proc, the open ones cannot be counted: the limit alone is judged.
    const long room = static_cast<long>(limit.rlim_cur) - std::max(open, 0L);
    if (room >= needed)
        return;
    throw EFOpenError("El sistema deja a este programa " + std::to_string(limit.rlim_cur) +
                      " archivos y conexiones abiertos a la vez (ulimit -n) y ya usa " +
                      std::to_string(std::max(open, 0L)) + "; necesita " + std::to_string(needed) +
                      " más. La encuesta no se ha enviado: suba ese límite y vuelva a enviarla.");
}

} // namespace cto
