#pragma once

#include <QString>

#include <string>

namespace cto {

// The argument without its extension: with L its length in UTF-16 units, the
// first L - 4 characters counted as code points (a surrogate pair is one).
QString responseStem(const QString& argument);

// Where the response is stored: executableFolder/<stem>-response.xml, as a
// local file name, the stem taken from the argument's last component alone.
std::string responsePath(const QString& executableFolder, const QString& argument);

// Fails with EFCreateError, the message naming responsePath, when the
// response file could not be created there: its folder is missing or not
// writable, the name is taken by a folder or a read-only file, or the
// argument was absolute (it then names no place below the executable's folder).
// Nothing is created or changed.
void checkResponseFileCanBeCreated(const std::string& responsePath, const QString& argument);

} // namespace cto
