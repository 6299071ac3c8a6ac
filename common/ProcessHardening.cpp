#include "common/ProcessHardening.h"

#include <csignal>

#include <sys/prctl.h>
#include <sys/resource.h>

namespace cto {

void keepSecretsInMemoryOnly() {
    const rlimit none{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &none);
#if !defined(__SANITIZE_ADDRESS__)
    // LeakSanitizer examines the process at exit from a helper that attaches
    // to it with ptrace, which a process that is not dumpable refuses to any
    // user without CAP_SYS_PTRACE: the sanitizer build keeps the core limit
    // alone. The process itself still reaches /proc/self/fd/N (the kernel lets
    // a process into its own descriptors whatever their owner), which the
    // response file's replacement relies on, and the programs it starts (the
    // card module probe) are dumpable again once they exec.
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

void failWritesPastTheFileSizeLimit() {
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace cto
