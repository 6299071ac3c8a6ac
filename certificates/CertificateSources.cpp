#include "certificates/CertificateSources.h"

#include "certificates/DatabaseLocations.h"
#include "certificates/LoadedModules.h"
#include "certificates/ModuleProbe.h"
#include "certificates/ModuleRegistration.h"
#include "common/FailureKinds.h"

#include <QFileInfo>

#include <set>

namespace cto::nss {

namespace {

// The built-in root authorities, NSS's own and p11-kit's stand-in for it, by
// the name a registration gives or the file it leads to.
bool isRootsModule(const QString& library) {
    const QString file = QFileInfo(library).fileName();
    return file == QLatin1String("libnssckbi.so") || file == QLatin1String("p11-kit-trust.so");
}

// p11-kit's proxy module, which presents every module p11-kit registers as its
// own: a link named so, to p11-kit's library itself.
bool isP11KitProxy(const QString& library) {
    const QString file = QFileInfo(library).fileName();
    return file == QLatin1String("p11-kit-proxy.so") || file.startsWith(QLatin1String("libp11-kit.so"));
}

class SourceOpener {
public:
    void openDatabase(const DatabaseLocation& location) {
        try {
            std::shared_ptr<Database> database = Database::open(location.directory, location.label);
            opened_.sources.push_back({location.label, Slot(PK11_ReferenceSlot(database->slot())), database});
        } catch (const EOleException& failure) {
            opened_.failures << QString::fromStdString(failure.message());
        }
    }

    // Modules in the order they are named; each library once, and only once
    // it has shown in a process of its own that it loads and answers.
    void addModules(const std::vector<ModuleRegistration>& registrations) {
        for (const ModuleRegistration& registration : registrations) {
            // Told by name first: a bare name is found only by loading the library.
            if (isRootsModule(registration.library))
                continue;
            if (isP11KitProxy(registration.library)) {
                addP11KitModules();
                continue;
            }
            const ModuleProbeOutcome probed = probeModule(registration);
            if (!accepted(registration, probed))
                continue;
            const QString& realPath = probed.realPath;
            if (isRootsModule(realPath))
                continue;
            if (isP11KitProxy(realPath))
                addP11KitModules();
            else if (modulesSeen_.insert(realPath).second)
                openTokensOf(registration, realPath);
        }
    }

    // p11-kit loads every module it lists, so the listing runs in the probe's process too.
    void addP11KitModules() {
        if (p11KitAdded_)
            return;
        p11KitAdded_ = true;
        if (const auto listed = p11KitModulesProbed())
            addModules(*listed);
        else
            opened_.notes << QStringLiteral("Los módulos de tarjeta que registra p11-kit no responden; sus "
                                            "certificados no se listan");
    }

    OpenedSources take() { return std::move(opened_); }

private:
    // Whether the probe let the module through; says why not where it did not.
    bool accepted(const ModuleRegistration& registration, const ModuleProbeOutcome& probed) {
        const QString name = registration.name.isEmpty() ? registration.library : registration.name;
        switch (probed.verdict) {
        case ModuleProbeOutcome::Verdict::Passed:
            return true;
        case ModuleProbeOutcome::Verdict::Missing:
            opened_.failures
                << QStringLiteral("El módulo de tarjeta «%1» no existe (%2)").arg(name, probed.detail);
            return false;
        case ModuleProbeOutcome::Verdict::Unresponsive:
            opened_.notes << QStringLiteral(
                                 "El módulo de tarjeta «%1» no responde; sus certificados no se listan (%2)")
                                 .arg(name, probed.detail);
            return false;
        case ModuleProbeOutcome::Verdict::Untrusted:
            opened_.notes
                << QStringLiteral("El módulo de tarjeta «%1» no se carga: %2").arg(name, probed.detail);
            return false;
        case ModuleProbeOutcome::Verdict::ProbeMissing:
            tellProbeUnusable(
                QStringLiteral("Falta el comprobador de módulos de tarjeta (%1): no se listan los "
                               "certificados de las tarjetas")
                    .arg(probed.detail));
            return false;
        case ModuleProbeOutcome::Verdict::ProbeRefused:
            tellProbeUnusable(
                QStringLiteral("No se usa el comprobador de módulos de tarjeta: %1; no se listan "
                               "los certificados de las tarjetas")
                    .arg(probed.detail));
            return false;
        }
        return false;
    }

    // Without the probe no card is listed: said once, whichever module found it so.
    void tellProbeUnusable(const QString& note) {
        if (!probeMissingTold_)
            opened_.notes << note;
        probeMissingTold_ = true;
    }

    void openTokensOf(const ModuleRegistration& registration, const QString& realPath) {
        const LoadedModule& loaded = loadModuleOnce(registration, realPath);
        if (!loaded.module) {
            opened_.failures << loaded.failure;
            return;
        }
        for (Slot& slot : tokenSlotsOf(loaded.module)) {
            const QString label =
                QStringLiteral("Tarjeta: ") + QString::fromUtf8(PK11_GetTokenName(slot.get()));
            opened_.sources.push_back({label, std::move(slot), nullptr});
        }
    }

    OpenedSources opened_;
    std::set<QString> modulesSeen_;
    bool p11KitAdded_ = false;
    bool probeMissingTold_ = false;
};

} // namespace

OpenedSources openCertificateSources() {
    const DatabasePlan plan = plannedDatabases();
    SourceOpener opener;
    for (const DatabaseLocation& location : plan.databases)
        opener.openDatabase(location);
    for (const DatabaseLocation& location : plan.databases)
        opener.addModules(modulesRegisteredIn(location.directory));
    if (plan.systemModules)
        opener.addP11KitModules();
    return opener.take();
}

} // namespace cto::nss
