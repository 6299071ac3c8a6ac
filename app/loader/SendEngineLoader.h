#pragma once

#include <QString>

namespace cto {

class SendEngine;

// The engine module's file name; the program looks for it only beside its own executable.
inline constexpr char kSendEngineModuleName[] = "libConexionTulvaOskelEngine.so";

// Loads the engine module at modulePath and answers its engine. EFOpenError,
// with the loader's own words, when it cannot be loaded or is of another
// interface version.
SendEngine& loadSendEngine(const QString& modulePath);

} // namespace cto
