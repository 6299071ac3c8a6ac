// Kept apart from the NSS code: p11-kit's PKCS #11 header and NSS's define
// the same types differently, so no file may include both.
#include "certificates/ModuleRegistration.h"

#include <p11-kit/p11-kit.h>

#include <cstdlib>
#include <memory>

namespace cto {

namespace {

struct ReleaseModules {
    void operator()(CK_FUNCTION_LIST** modules) const noexcept { p11_kit_modules_release(modules); }
};
struct FreeText {
    void operator()(char* text) const noexcept { std::free(text); }
};
using LoadedModules = std::unique_ptr<CK_FUNCTION_LIST*, ReleaseModules>;
using Text = std::unique_ptr<char, FreeText>;

QString textOf(const Text& text) {
    return text ? QString::fromUtf8(text.get()) : QString();
}

std::vector<ModuleRegistration> readRegistrations() {
    std::vector<ModuleRegistration> registrations;
    // Unmanaged: p11-kit only opens the libraries to read their names, and
    // initialises nothing; NSS loads the ones we keep.
    const LoadedModules modules(p11_kit_modules_load(nullptr, P11_KIT_MODULE_UNMANAGED));
    if (!modules)
        return registrations;
    for (CK_FUNCTION_LIST** module = modules.get(); *module; ++module) {
        const Text trustPolicy(p11_kit_config_option(*module, "trust-policy"));
        const QString trusted = textOf(trustPolicy);
        if (trusted == QLatin1String("yes") || trusted == QLatin1String("true"))
            continue;
        const Text name(p11_kit_module_get_name(*module));
        const Text library(p11_kit_module_get_filename(*module));
        if (library)
            registrations.push_back({textOf(name), textOf(library)});
    }
    return registrations;
}

} // namespace

std::vector<ModuleRegistration> p11KitModules() {
    // Started once, on the one thread that opens stores.
    static const std::vector<ModuleRegistration> registrations = readRegistrations();
    return registrations;
}

} // namespace cto
