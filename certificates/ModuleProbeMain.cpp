// The card-module probe: a short-lived process in which a PKCS #11 module
// proves that it loads and answers before the program loads it into its own
// process. A driver that aborts, crashes or hangs takes only this process
// down. Plain C++ on purpose: no Qt, no NSS, nothing that could fail first.
//
//   ConexionTulvaOskelProbe module <library> [<parameters>]
//       loads the library, initialises the module, asks what NSS asks when
//       it loads one (the module's information, its slots, each slot's and
//       token's information and mechanisms) and finalises it; prints
//       "ok <the library's real path>" and exits 0, or prints why not and
//       exits 1 (3 when the library cannot be opened).
#include <p11-kit/pkcs11.h>

#include "certificates/Pkcs11Results.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Status { kPassed = 0, kFailed = 1, kUsage = 2, kNotOpened = 3 };

// NSS hands a module its library parameters in an extension of the standard
// initialisation arguments; modules that take parameters read them there.
struct InitialisationArguments {
    CK_CREATEMUTEX CreateMutex = nullptr;
    CK_DESTROYMUTEX DestroyMutex = nullptr;
    CK_LOCKMUTEX LockMutex = nullptr;
    CK_UNLOCKMUTEX UnlockMutex = nullptr;
    CK_FLAGS flags = CKF_OS_LOCKING_OK;
    char** LibraryParameters = nullptr;
    void* pReserved = nullptr;
};

int fail(Status status, const std::string& why) {
    std::printf("%s\n", why.c_str());
    return status;
}

int probeModule(const char* library, char* parameters) {
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        return fail(kNotOpened, reason ? reason : "dlopen");
    }
    const auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(handle, "C_GetFunctionList"));
    if (!getFunctionList)
        return fail(kFailed, "no exporta C_GetFunctionList");
    CK_FUNCTION_LIST* functions = nullptr;
    if (const CK_RV answer = getFunctionList(&functions); answer != CKR_OK || !functions)
        return fail(kFailed, "C_GetFunctionList respondió " + cto::pkcs11ResultText(answer));
    InitialisationArguments arguments;
    if (parameters && *parameters)
        arguments.LibraryParameters = reinterpret_cast<char**>(parameters);
    // What NSS calls as it loads a module and reads its slots: a module
    // without one of them would take the program down there.
    if (!functions->C_Initialize || !functions->C_Finalize || !functions->C_GetInfo ||
        !functions->C_GetSlotList || !functions->C_GetSlotInfo || !functions->C_GetTokenInfo ||
        !functions->C_GetMechanismList)
        return fail(kFailed, "le faltan funciones de PKCS #11");
    const CK_RV initialised = functions->C_Initialize(&arguments);
    if (initialised != CKR_OK && initialised != CKR_CRYPTOKI_ALREADY_INITIALIZED)
        return fail(kFailed, "C_Initialize respondió " + cto::pkcs11ResultText(initialised));
    CK_INFO information{};
    if (const CK_RV answer = functions->C_GetInfo(&information); answer != CKR_OK)
        return fail(kFailed, "C_GetInfo respondió " + cto::pkcs11ResultText(answer));
    CK_ULONG count = 0;
    if (const CK_RV listed = functions->C_GetSlotList(CK_FALSE, nullptr, &count); listed != CKR_OK)
        return fail(kFailed, "C_GetSlotList respondió " + cto::pkcs11ResultText(listed));
    std::vector<CK_SLOT_ID> slots(count);
    if (count > 0 && functions->C_GetSlotList(CK_FALSE, slots.data(), &count) != CKR_OK)
        count = 0;
    for (CK_ULONG index = 0; index < count && index < slots.size(); ++index) {
        // Answers other than success are a slot's business; only not coming back matters.
        CK_SLOT_INFO slot{};
        if (functions->C_GetSlotInfo(slots[index], &slot) != CKR_OK || !(slot.flags & CKF_TOKEN_PRESENT))
            continue;
        CK_TOKEN_INFO token{};
        functions->C_GetTokenInfo(slots[index], &token);
        CK_ULONG mechanisms = 0;
        functions->C_GetMechanismList(slots[index], nullptr, &mechanisms);
    }
    functions->C_Finalize(nullptr);
    link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return fail(kFailed, "no se sabe dónde está la biblioteca");
    char* real = ::realpath(map->l_name, nullptr);
    std::printf("ok %s\n", real ? real : map->l_name);
    std::free(real);
    // The module stays loaded: the process ends now, and some modules do not
    // survive being unloaded.
    return kPassed;
}

} // namespace

int main(int argc, char* argv[]) {
    // A driver that hangs here goes when the program goes, however it ends
    // (the program waits for its probes, but a crash or a kill does not).
    const pid_t program = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != program)
        return fail(kFailed, "el programa ya terminó");
    // A driver that crashes here leaves no core file behind it.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (argc >= 3 && std::strcmp(argv[1], "module") == 0)
        return probeModule(argv[2], argc >= 4 ? argv[3] : nullptr);
    return fail(kUsage, "usage: module <library> [<parameters>]");
}
