#pragma once

#include <string>
#include <vector>

namespace cto {

// While one exists on a thread, every external entity or DTD that libxml2
// wants to load on that thread is refused and its address recorded; nothing
// is opened. Loads outside a guard go to the loader that was there before.
class ExternalEntityGuard {
public:
    ExternalEntityGuard();
    ~ExternalEntityGuard();
    ExternalEntityGuard(const ExternalEntityGuard&) = delete;
    ExternalEntityGuard& operator=(const ExternalEntityGuard&) = delete;
};

// The addresses refused on this thread since it started (kept so that a test
// can show a load was attempted and refused rather than silently skipped).
const std::vector<std::string>& refusedExternalLoads();

} // namespace cto
