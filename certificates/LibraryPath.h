#pragma once

#include <QString>

namespace cto {

// The file that loading this shared library would open, with every symbolic
// link resolved: how two registrations of one module are told to be one. A
// path is resolved as it stands; a bare file name as the dynamic loader finds
// it. Empty when there is no such library.
QString libraryRealPath(const QString& library);

} // namespace cto
