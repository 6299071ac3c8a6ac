// PKCS #11 modules that break the way real card drivers do, one per build of
// this file: CTO_BREAK_ABORT aborts in C_GetFunctionList, CTO_BREAK_CONSTRUCTOR
// crashes as the library is loaded, CTO_BREAK_HANG never returns from
// C_Initialize (started with parameters, it first starts a helper process of
// its own that hangs too, and notes the helper's process id in the file they
// name), CTO_BREAK_INITIALIZE refuses to start. Without a CTO_BREAK_*
// it is a module with no slots that does nothing wrong, and that notes the
// parameters it was started with (NSS's way: after the standard arguments)
// in the file they name, a line per start: "<process id> <parameters>".
#include <p11-kit/pkcs11.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// The standard initialisation arguments as NSS extends them: its library
// parameters where the standard's reserved pointer is, and that pointer after.
struct NssInitialisationArguments {
    CK_CREATEMUTEX CreateMutex;
    CK_DESTROYMUTEX DestroyMutex;
    CK_LOCKMUTEX LockMutex;
    CK_UNLOCKMUTEX UnlockMutex;
    CK_FLAGS flags;
    char** LibraryParameters;
    void* pReserved;
};

// NSS passes the parameters' text itself where the pointer to it would be.
[[maybe_unused]] const char* parametersOf(void* arguments) {
    const auto* given = static_cast<const NssInitialisationArguments*>(arguments);
    return given ? reinterpret_cast<const char*>(given->LibraryParameters) : nullptr;
}

CK_RV initialize(void* arguments) {
#if defined(CTO_BREAK_HANG)
    // A driver that hands the card to a helper process: the helper hangs on
    // as long as the driver does, and outlives it unless its group is ended.
    if (const char* parameters = parametersOf(arguments)) {
        const pid_t helper = ::fork();
        if (helper == 0) {
            for (;;)
                ::pause();
        }
        if (std::FILE* notes = helper > 0 ? std::fopen(parameters, "a") : nullptr) {
            std::fprintf(notes, "%d\n", static_cast<int>(helper));
            std::fclose(notes);
        }
    }
    for (;;)
        ::pause();
#elif defined(CTO_BREAK_INITIALIZE)
    (void)arguments;
    return CKR_DEVICE_ERROR;
#else
    if (const char* parameters = parametersOf(arguments)) {
        if (std::FILE* notes = std::fopen(parameters, "a")) {
            std::fprintf(notes, "%d %s\n", static_cast<int>(::getpid()), parameters);
            std::fclose(notes);
        }
    }
    return CKR_OK;
#endif
}

CK_RV finalize(void*) {
    return CKR_OK;
}

CK_RV information(CK_INFO* info) {
    *info = CK_INFO{};
    info->cryptokiVersion = {2, 40};
    return CKR_OK;
}

CK_RV noSlot(CK_SLOT_ID, void*) {
    return CKR_SLOT_ID_INVALID;
}

CK_RV noMechanism(CK_SLOT_ID, CK_MECHANISM_TYPE*, CK_ULONG*) {
    return CKR_SLOT_ID_INVALID;
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
    functions.C_GetInfo = information;
    functions.C_GetSlotInfo = reinterpret_cast<CK_C_GetSlotInfo>(noSlot);
    functions.C_GetTokenInfo = reinterpret_cast<CK_C_GetTokenInfo>(noSlot);
    functions.C_GetMechanismList = noMechanism;
    *list = &functions;
    return CKR_OK;
}
