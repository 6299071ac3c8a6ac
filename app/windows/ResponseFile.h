#pragma once

#include "common/FileStream.h"

#include <QString>

#include <cstdint>
#include <string>

namespace cto {

// The argument without its extension: with L its length in UTF-16 units, the
// first L - 4 characters counted as code points (a surrogate pair is one).
QString responseStem(const QString& argument);

// Where the response is stored: executableFolder/<stem>-response.xml, as a
// local file name, the stem taken from the argument's last component alone.
std::string responsePath(const QString& executableFolder, const QString& argument);
// The same from the argument's bytes. Where they are not text in the local
// encoding, the stem is the name less its last four bytes (an extension such
// as ".xml" is ASCII), so that the response file names the survey's own bytes.
std::string responsePath(const QString& executableFolder, const std::string& argument);

// The largest survey the program sends.
inline constexpr std::int64_t kLargestSurvey = std::int64_t{256} * 1024 * 1024;

// The survey file, open for reading in pieces and locked against writers;
// EFOpenError when it cannot be opened, is empty or is larger than kLargestSurvey.
FileStream openSurvey(const std::string& surveyPath);

// Fails with EFCreateError, the message naming responsePath, when the
// response file could not be created there: its folder is missing or not
// writable, the name is taken by a folder or a read-only file, or the
// argument was absolute (it then names no place below the executable's folder).
// Nothing is created or changed.
void checkResponseFileCanBeCreated(const std::string& responsePath, const QString& argument);

} // namespace cto
