#pragma once

#include <QString>

namespace cto {

// The caption of every message box: the executable's file name cut at its
// first ".", with every character after the first in lower case.
QString applicationTitle(const QString& executableFileName);

} // namespace cto
