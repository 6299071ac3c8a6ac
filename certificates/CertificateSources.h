#pragma once

#include "certificates/NssDatabase.h"
#include "certificates/NssOwners.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace cto::nss {

// One place the user's certificates come from: a database or a token.
struct CertificateSource {
    QString label;                      // "Chromium / escritorio", "Firefox, perfil …", "Tarjeta: <label>"
    Slot slot;                          // the database's token, or the smart card's
    std::shared_ptr<Database> database; // kept open while the source lives; none for a token
};

struct OpenedSources {
    std::vector<CertificateSource> sources;
    // One sentence per source that exists but could not be opened or loaded.
    QStringList failures;
    // One sentence per card module that crashed, hung or failed in its probe,
    // and was left out: worth telling even when other sources are listed.
    QStringList notes;
};

// Opens, read-only, every source of the user's certificates, in this order:
// the databases of plannedDatabases(); then the tokens of the PKCS #11 modules
// that those databases register (in their order) and, unless CTO_NSS_DATABASE
// names a database alone, of the modules that p11-kit registers. A
// registration of p11-kit's proxy module stands for p11-kit's modules; the
// built-in roots modules hold no one's keys and are left out. Each module is
// loaded once, whichever registrations name it, and stays loaded, and only
// after it has loaded and answered in a process of its own (ModuleProbe.h).
// Sources that do not exist are left out without a word.
OpenedSources openCertificateSources();

} // namespace cto::nss
