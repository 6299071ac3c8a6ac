#include "certificates/CertificateSources.h"

#include "certificates/DatabaseLocations.h"
#include "certificates/LoadedModules.h"
#include "certificates/ModuleProbe.h"
#include "common/Exception.h"
#include "common/FailureKinds.h"

#include <QFileInfo>

#include <cerrno>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

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

// A registration as the user would know it.
QString nameOf(const ModuleRegistration& registration) {
    return registration.name.isEmpty() ? registration.library : registration.name;
}

// Registrations in the order they are named, each library path once.
class ModulePlan {
public:
    void add(const std::vector<ModuleRegistration>& registrations) {
        for (const ModuleRegistration& registration : registrations) {
            const QString& library = registration.library;
            const QString real =
                library.contains(QLatin1Char('/')) ? QFileInfo(library).canonicalFilePath() : QString();
            if (isRootsModule(library) || isRootsModule(real))
                continue;
            if (isP11KitProxy(library) || isP11KitProxy(real)) {
                addP11Kit();
                continue;
            }
            if (named_.insert(real.isEmpty() ? library : real).second)
                modules_.push_back(registration);
        }
    }

    // p11-kit's registrations, each probed alone: its own listing would load
    // them all in one process, and one broken module would hide the others.
    void addP11Kit() {
        if (p11KitAdded_)
            return;
        p11KitAdded_ = true;
        add(p11KitRegistrations(QString::fromLocal8Bit(program_invocation_short_name)));
    }

    std::vector<ModuleRegistration> take() { return std::move(modules_); }

private:
    std::vector<ModuleRegistration> modules_;
    std::set<QString> named_;
    bool p11KitAdded_ = false;
};

std::mutex& cardLoading() {
    static std::mutex mutex;
    return mutex;
}

// What one module gave, in the user's words where it gave nothing.
class CardModuleOpening {
public:
    CardModuleOpening(const ModuleRegistration& registration, std::set<QString>& loaded)
        : registration_(registration), loaded_(loaded) {}

    // Probes the module; the caller holds the loading lock for open().
    void probe() { probed_ = probeModule(registration_); }

    OpenedSources open() {
        OpenedSources opened;
        const QString name = nameOf(registration_);
        switch (probed_.verdict) {
        case ModuleProbeOutcome::Verdict::Passed:
            break;
        case ModuleProbeOutcome::Verdict::Missing:
            opened.notes
                << QStringLiteral("El módulo de tarjeta «%1» no existe (%2)").arg(name, probed_.detail);
            return opened;
        case ModuleProbeOutcome::Verdict::Unresponsive:
            opened.notes << QStringLiteral(
                                "El módulo de tarjeta «%1» no responde; sus certificados no se listan (%2)")
                                .arg(name, probed_.detail);
            return opened;
        case ModuleProbeOutcome::Verdict::Untrusted:
            opened.notes
                << QStringLiteral("El módulo de tarjeta «%1» no se carga: %2").arg(name, probed_.detail);
            return opened;
        case ModuleProbeOutcome::Verdict::ProbeMissing:
            opened.notes << QStringLiteral(
                                "Falta el comprobador de módulos de tarjeta (%1): no se listan los "
                                "certificados de las tarjetas")
                                .arg(probed_.detail);
            return opened;
        case ModuleProbeOutcome::Verdict::ProbeRefused:
            opened.notes << QStringLiteral("No se usa el comprobador de módulos de tarjeta: %1; no se listan "
                                           "los certificados de las tarjetas")
                                .arg(probed_.detail);
            return opened;
        }
        const QString& realPath = probed_.realPath;
        // Another registration reached the same library under a name of its own.
        if (isRootsModule(realPath) || isP11KitProxy(realPath) || !loaded_.insert(realPath).second)
            return opened;
        const LoadedModule& module = loadModuleOnce(registration_, realPath);
        if (!module.module) {
            opened.failures << module.failure;
            return opened;
        }
        for (Slot& slot : tokenSlotsOf(module.module)) {
            const QString label =
                QStringLiteral("Tarjeta: ") + QString::fromUtf8(PK11_GetTokenName(slot.get()));
            opened.sources.push_back({label, std::move(slot), nullptr});
        }
        return opened;
    }

private:
    ModuleRegistration registration_;
    std::set<QString>& loaded_; // real paths, under the loading lock
    ModuleProbeOutcome probed_;
};

QString failureText(const std::exception_ptr& raised) {
    try {
        std::rethrow_exception(raised);
    } catch (const Exception& failure) {
        return QString::fromStdString(failure.message());
    } catch (const std::exception& failure) {
        return QString::fromLocal8Bit(failure.what());
    } catch (...) {
        return QStringLiteral("error desconocido");
    }
}

} // namespace

std::unique_lock<std::mutex> lockCardLoading() {
    return std::unique_lock(cardLoading());
}

OpenedSources openDatabaseSources() {
    OpenedSources opened;
    for (const DatabaseLocation& location : plannedDatabases().databases) {
        try {
            std::shared_ptr<Database> database = Database::open(location.directory, location.label);
            opened.sources.push_back({location.label, Slot(PK11_ReferenceSlot(database->slot())), database});
        } catch (const EOleException& failure) {
            opened.failures << QString::fromStdString(failure.message());
        }
    }
    return opened;
}

std::vector<ModuleRegistration> plannedCardModules() {
    const DatabasePlan plan = plannedDatabases();
    ModulePlan modules;
    for (const DatabaseLocation& location : plan.databases)
        modules.add(modulesRegisteredIn(location.directory));
    if (plan.systemModules)
        modules.addP11Kit();
    return modules.take();
}

void openCardSources(const std::vector<ModuleRegistration>& modules,
                     const std::function<void(std::size_t, OpenedSources)>& opened) {
    std::set<QString> loaded;
    if (modules.empty())
        return;
    // Without the probe no module may be loaded: one sentence says so for all.
    if (const QString probe = moduleProbePath(); !QFileInfo(probe).isExecutable()) {
        CardModuleOpening opening(modules.front(), loaded);
        opening.probe();
        const std::lock_guard lock(cardLoading());
        opened(0, opening.open());
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(modules.size());
    for (std::size_t index = 0; index < modules.size(); ++index) {
        const auto tryModule = [&registration = modules[index], index, &loaded, &opened] {
            // Nothing may leave a thread: the process would end.
            try {
                CardModuleOpening opening(registration, loaded);
                opening.probe();
                const std::lock_guard lock(cardLoading());
                opened(index, opening.open());
            } catch (...) {
                const std::lock_guard lock(cardLoading());
                OpenedSources failed;
                failed.failures << QStringLiteral("No se pudieron leer las tarjetas del módulo «%1»: %2")
                                       .arg(nameOf(registration), failureText(std::current_exception()));
                try {
                    opened(index, std::move(failed));
                } catch (...) {
                    // Nothing more can be said from here.
                }
            }
        };
        try {
            threads.emplace_back(tryModule);
        } catch (const std::system_error&) {
            tryModule(); // no thread to be had: this one waits for it
        }
    }
    for (std::thread& thread : threads)
        thread.join();
}

OpenedSources openCertificateSources() {
    OpenedSources all = openDatabaseSources();
    const std::vector<ModuleRegistration> modules = plannedCardModules();
    // In the modules' order, whichever finished first.
    std::map<std::size_t, OpenedSources> cards;
    openCardSources(
        modules, [&cards](std::size_t index, OpenedSources part) { cards.emplace(index, std::move(part)); });
    for (auto& [index, part] : cards) {
        for (CertificateSource& source : part.sources)
            all.sources.push_back(std::move(source));
        all.failures << part.failures;
        all.notes << part.notes;
    }
    return all;
}

} // namespace cto::nss
