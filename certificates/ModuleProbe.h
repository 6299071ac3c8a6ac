#pragma once

#include "certificates/ModuleRegistration.h"

#include <QString>

#include <chrono>
#include <optional>
#include <vector>

namespace cto {

// How long a card module may take to load, start and list its slots in the
// probe's process before it is taken for one that hangs.
inline constexpr std::chrono::milliseconds kModuleProbeBound{5000};

// What a module did in the probe's process.
struct ModuleProbeOutcome {
    // ProbeRefused: the probe was not run, as others could have put it there (detail: why).
    enum class Verdict {
        Passed,
        Missing,
        Unresponsive,
        ProbeMissing,
        ProbeRefused,
        Untrusted // the library is not loaded, as others could have put it there (detail: why)
    } verdict = Verdict::Unresponsive;
    QString realPath; // the library's real path, when it passed
    QString detail;   // what the probe saw otherwise (for the user's message, after the sentence)
};

// Loads the registered module in a process of its own, with the bound above,
// unless a probe of the same library file (real path, and the file's
// identity: see ProbeCache.h) and parameters is remembered in the user's
// cache folder, passed or failed. Only a module that passed may be loaded
// into this process. Safe to call from several threads at once.
ModuleProbeOutcome probeModule(const ModuleRegistration& registration);

// The probe executable: by default ConexionTulvaOskelProbe in the folder of
// the program's own executable file. Tests name the build tree's.
void setModuleProbePath(const QString& path);
QString moduleProbePath();

} // namespace cto
