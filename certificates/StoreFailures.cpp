#include "certificates/StoreFailures.h"

#include "common/AsciiText.h"
#include "common/FailureKinds.h"
#include "common/Trim.h"

#include <secport.h>

#include <cstdio>

namespace cto::nss {

std::string trimmedDescription(const std::string& text) {
    return std::string(trimRightIf(text, [](char c) { return c == '.' || c == ' ' || isAsciiControl(c); }));
}

std::string errorText(PRErrorCode code) {
    const char* text = code != 0 ? PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT) : nullptr;
    std::string description = trimmedDescription(text ? text : "");
    // NSPR answers unknown codes with a placeholder rather than nothing.
    if (description.empty() || description.starts_with("Unknown code")) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "OLE error %.8x", static_cast<unsigned>(code));
        return fallback;
    }
    return description;
}

void throwStoreFailure(PRErrorCode code, std::string_view context) {
    std::string message = errorText(code);
    if (!context.empty())
        message = std::string(context) + ": " + message;
    throw EOleException(std::move(message));
}

void throwStoreFailure(std::string_view context) {
    throwStoreFailure(PORT_GetError(), context);
}

void throwLibraryFailure(PRErrorCode code) {
    throw EOleSysError(errorText(code) + ", ClassID: " + std::string(storeClassId));
}

} // namespace cto::nss
