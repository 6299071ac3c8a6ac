#pragma once

#include <string>

namespace cto {

// The locale through which the system's error texts are read. The program
// speaks Spanish whatever the user's own language, so these texts come from
// the C library's Spanish messages rather than the process's locale.
inline constexpr const char* kSystemTextsLocale = "es_ES.UTF-8";

// The system's text for an errno value in Spanish ("No existe el fichero o el
// directorio"): the C library's own translation (package libc-l10n), read
// through kSystemTextsLocale. Where that locale is not generated (see
// scripts/install-deps.sh), the C library's text in the process's language.
// The C library follows a LANGUAGE list in the environment before any
// locale's own language (for every locale but C): see
// speakSpanishInSystemTexts.
std::string systemErrorText(int error);
// The same, read through the named locale.
std::string systemErrorText(int error, const char* localeName);

// What a signal does to the process that it ends, in Spanish, with its name:
// "violación de segmento (SIGSEGV)". The C library's own text would follow
// the process's language, or the locale that it cannot use from a thread.
std::string signalText(int signal);

// Sets the process's LANGUAGE list to Spanish alone, so that the system's
// texts follow the program's language: a desktop's LANGUAGE=en would
// otherwise turn them English among the program's Spanish ones. Libraries
// that translate through gettext follow it too. Call at start, while the
// process has one thread (the environment is not safe to change later).
void speakSpanishInSystemTexts();

} // namespace cto
