#pragma once

#include "certificates/ModuleRegistration.h"

#include <QString>

#include <mutex>
#include <optional>
#include <vector>

namespace cto {

// The card modules that passed or failed the probe, remembered in the
// user's cache folder ($XDG_CACHE_HOME, else ~/.cache, then
// ConexionTulvaOskel/modulos-pkcs11), so that later runs start no process
// for them: a module that hung would cost every run its bound again. An
// entry holds until the library file changes (another file at its path, or
// the same file written to, however its modification time was set back) or
// its name leads elsewhere: a driver updated or reinstalled is tried again.
// A failure is remembered only for a library named by its path, the only
// file whose identity is known without loading it. Safe to use from several
// threads at once.
class ProbeCache {
public:
    static ProbeCache& instance();

    struct Remembered {
        bool passed = false;
        QString realPath; // the library's real path
        QString detail;   // what the probe saw, for a failure
    };
    // What this registration did before, if its file has not changed since.
    std::optional<Remembered> recalled(const ModuleRegistration& registration) const;
    // Remembers a pass, or a failure of the library at realPath, and writes
    // the cache file anew (in one step: a reader sees the old file or the new
    // one). A cache that cannot be written is only a cost: the module is
    // probed again next run.
    void rememberPass(const ModuleRegistration& registration, const QString& realPath);
    void rememberFailure(const ModuleRegistration& registration, const QString& realPath,
                         const QString& detail);

    // Where the cache file is.
    static QString filePath();

    // Times in nanoseconds since the epoch.
    struct FileIdentity {
        qint64 device = 0, inode = 0, size = 0, modified = 0, changed = 0;
        friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
    };

private:
    ProbeCache();

    struct Entry {
        QString library, parameters, realPath;
        FileIdentity identity;
        bool passed = true;
        QString detail;
    };
    void remember(Entry entry);

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace cto
