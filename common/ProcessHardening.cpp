#include "common/ProcessHardening.h"

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>

namespace cto {

void keepSecretsInMemoryOnly() {
    const rlimit none{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &none);
    // The process itself still reaches /proc/self/fd/N (the kernel lets a
    // process into its own descriptors whatever their owner), which the
    // response file's replacement and the loading of checked files rely on,
    // and the programs it starts (the card module probe) are dumpable again
    // once they exec.
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

void failWritesPastTheFileSizeLimit() {
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace cto

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer examines the process at exit from a helper that attaches to
// it with ptrace, which a process that is not dumpable refuses: the sanitizer
// build of the program, which is not dumpable like the one users get, looks
// for leaks only when ASAN_OPTIONS asks it to.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name the sanitizer runtime looks up
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
#endif
