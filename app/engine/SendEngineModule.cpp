// The engine module's entry point: the only symbol the module exports.
#include "app/SendEngine.h"

extern "C" __attribute__((visibility("default"))) std::uint32_t
ctoSendEngineEntry(std::uint32_t hostVersion, cto::SendEngine** engine) noexcept {
    if (hostVersion == cto::kSendEngineInterfaceVersion && engine)
        *engine = &cto::linkedSendEngine();
    return cto::kSendEngineInterfaceVersion;
}
