#pragma once

namespace cto {

// The process holds, at times, a certificate store's password, a card's PIN
// or a proxy's credentials: a crash must not leave them in a core file beside
// the survey, and other processes of the same user must not read its memory.
// Turns core dumps off for good (soft and hard limit 0) and marks the process
// not dumpable, which also keeps out ptrace and /proc/PID/mem of the user's
// other programs. Called first thing in main, before any thread starts.
void keepSecretsInMemoryOnly();

// Under a file-size limit (a quota stands for it), the write that crosses it
// fails with EFBIG, which the run reports and cleans up after, rather than
// killing the process with SIGXFSZ midway through a receipt. Called in main.
void failWritesPastTheFileSizeLimit();

} // namespace cto
