#pragma once

namespace cto::nss {

// Starts NSS once for the whole process, read-only, without any database of
// its own and without the built-in root certificates, and routes NSS's password
// requests to the installed PasswordPrompt. NSS then stays up: shutting it down
// while any certificate is still referenced would break a later start.
// Raises EOleSysError when NSS cannot be started.
void ensureStarted();

} // namespace cto::nss
