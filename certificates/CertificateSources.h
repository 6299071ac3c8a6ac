#pragma once

#include "certificates/ModuleRegistration.h"
#include "certificates/NssDatabase.h"
#include "certificates/NssOwners.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
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
    // One sentence per source that exists but could not be opened or loaded,
    // naming it and saying why.
    QStringList failures;
    // One sentence per card module that crashed, hung or failed in its
    // probe, or whose library does not exist, and was left out.
    QStringList notes;
};

// Opens, read-only, the databases of plannedDatabases(), in that order.
// Those that do not exist are left out without a word. Quick: no card
// module is loaded.
OpenedSources openDatabaseSources();

// The card modules to read, in this order: those that the databases of
// plannedDatabases() register (in their order) and, unless CTO_NSS_DATABASE
// names a database alone, those that p11-kit's configuration registers for
// this program. A registration of p11-kit's proxy module stands for
// p11-kit's modules; the built-in roots modules hold no one's keys and are
// left out. Each library named by the same path once.
std::vector<ModuleRegistration> plannedCardModules();

// Probes the modules side by side, each in a process of its own
// (ModuleProbe.h) started from a thread of its own, and opens the tokens of
// each one that passed, loading it into this process once, whichever
// registrations name it, to stay loaded. Calls opened with each module's
// tokens, or with why it was left out, and its index in modules, as soon as
// that module is done, from the thread that probed it; calls never overlap, and are serialised with
// every other loading of a module in this process, so that opened may read
// the tokens. Returns once every module is done. Never throws from a thread
// of its own: what opened raises there becomes a failure of that module.
void openCardSources(const std::vector<ModuleRegistration>& modules,
                     const std::function<void(std::size_t, OpenedSources)>& opened);

// Every source: the databases, then the cards in the order of
// plannedCardModules(), once every probe has finished.
OpenedSources openCertificateSources();

// Held while this process loads a card module or reads a card's tokens.
std::unique_lock<std::mutex> lockCardLoading();

} // namespace cto::nss
