#pragma once

#include <prerror.h>

#include <string>
#include <string_view>

namespace cto::nss {

// The class identifier that a store library failing to start is reported with.
inline constexpr std::string_view storeClassId = "{78E61E52-0E57-4456-A2F2-517492BCBF8F}";

// What an error code means in Spanish, then NSS's own text for it, less
// trailing full stops, blanks and control characters, in brackets: "la base
// de datos está dañada o no se puede leer (security library: bad database)".
// A code without a Spanish text of ours gives its number and NSS's text;
// "OLE error %.8x" when NSS has no text for it either.
std::string errorText(PRErrorCode code);

// Our Spanish text for an error code of NSS or NSPR that the stores can
// answer; empty for any other.
std::string spanishErrorText(PRErrorCode code);

// The text without its trailing full stops, blanks and control characters.
std::string trimmedDescription(const std::string& text);

// A failed store operation: EOleException with NSS's text for the current
// error, after the context ("context: text") when one is given.
[[noreturn]] void throwStoreFailure(std::string_view context = {});
[[noreturn]] void throwStoreFailure(PRErrorCode code, std::string_view context = {});

// The certificate library could not be started at all: EOleSysError.
[[noreturn]] void throwLibraryFailure(PRErrorCode code);

} // namespace cto::nss
