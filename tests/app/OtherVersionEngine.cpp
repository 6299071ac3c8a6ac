// An engine module built against another version of the engine interface:
// the program must refuse it before touching anything it would hand over.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t ctoSendEngineEntry(std::uint32_t,
                                                                                   void** engine) {
    if (engine)
        *engine = nullptr;
    return 999;
}
