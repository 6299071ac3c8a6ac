// PKCS #11 modules that break the way real card drivers do, one per build of
// this file: CTO_BREAK_ABORT aborts in C_GetFunctionList, CTO_BREAK_CONSTRUCTOR
// crashes as the library is loaded, CTO_BREAK_HANG never returns from
// C_Initialize, CTO_BREAK_INITIALIZE refuses to start. Without a CTO_BREAK_*
// it is a module with no slots that does nothing wrong.
#include <p11-kit/pkcs11.h>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

namespace {

CK_RV initialize(void*) {
#if defined(CTO_BREAK_HANG)
    for (;;)
        ::pause();
#elif defined(CTO_BREAK_INITIALIZE)
    return CKR_DEVICE_ERROR;
#else
    return CKR_OK;
#endif
}

CK_RV finalize(void*) {
    return CKR_OK;
}

CK_RV slotList(CK_BBOOL, CK_SLOT_ID*, CK_ULONG* count) {
    *count = 0;
    return CKR_OK;
}

#if defined(CTO_BREAK_CONSTRUCTOR)
__attribute__((constructor)) void crashOnLoad() {
    std::raise(SIGSEGV);
}
#endif

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
#if defined(CTO_BREAK_ABORT)
    std::abort();
#endif
    static CK_FUNCTION_LIST functions{};
    functions.version = {2, 40};
    functions.C_Initialize = initialize;
    functions.C_Finalize = finalize;
    functions.C_GetSlotList = slotList;
    *list = &functions;
    return CKR_OK;
}
