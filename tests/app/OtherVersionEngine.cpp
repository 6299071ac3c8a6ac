// An engine module built against another version of the engine interface
// that hands over its engine all the same: the program must refuse it by its
// version alone, before touching what it handed over (which is no engine).
#include <cstdint>

namespace {
int notAnEngine = 0;
}

extern "C" __attribute__((visibility("default"))) std::uint32_t ctoSendEngineEntry(std::uint32_t,
                                                                                   void** engine) {
    if (engine)
        *engine = &notAnEngine;
    return 999;
}
