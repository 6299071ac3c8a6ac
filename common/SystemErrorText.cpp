#include "SystemErrorText.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include <locale.h>
#include <stdlib.h>

namespace cto {
namespace {

struct LocaleRelease {
    void operator()(locale_t locale) const noexcept { freelocale(locale); }
};
using LocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleRelease>;

// Messages and character set together: with the messages alone the C
// library hands its translations over in ASCII, every accent a '?'.
LocaleHandle openLocale(const char* name) {
    return LocaleHandle(newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, locale_t{}));
}

std::string textThrough(locale_t locale, int error) {
    return locale ? strerror_l(error, locale) : std::strerror(error);
}

} // namespace

std::string systemErrorText(int error) {
    // Opened once: a failure path may ask many times, and the locale never changes.
    static const LocaleHandle spanish = openLocale(kSystemTextsLocale);
    return textThrough(spanish.get(), error);
}

std::string systemErrorText(int error, const char* localeName) {
    const LocaleHandle locale = openLocale(localeName);
    return textThrough(locale.get(), error);
}

void speakSpanishInSystemTexts() {
    ::setenv("LANGUAGE", "es", 1);
}

} // namespace cto
