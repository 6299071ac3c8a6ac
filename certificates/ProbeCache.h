#pragma once

#include "certificates/ModuleRegistration.h"

#include <QString>

#include <optional>
#include <vector>

namespace cto {

// The card modules that passed the probe, remembered in the user's cache
// folder ($XDG_CACHE_HOME, else ~/.cache, then ConexionTulvaOskel/
// modulos-pkcs11), so that later runs do not start a process for them. An
// entry holds until the library file changes (another file at its path, or
// the same file written to, however its modification time was set back) or
// its name leads elsewhere. Only passes are remembered: a module
// that failed is probed again next time, as a card plugged in or a driver
// mended may change its answer.
class ProbeCache {
public:
    static ProbeCache& instance();

    // The real path of the library if this registration passed before and
    // its file has not changed since.
    std::optional<QString> passed(const ModuleRegistration& registration) const;
    // Remembers a pass, and writes the cache file anew (in one step: a reader
    // sees the old file or the new one). A cache that cannot be written is
    // only a cost: the module is probed again next run.
    void remember(const ModuleRegistration& registration, const QString& realPath);

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
    };
    std::vector<Entry> entries_;
};

} // namespace cto
