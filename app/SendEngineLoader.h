#pragma once

#include <QStringList>

namespace cto {

class SendEngine;

// Loads the engine module from the first of the folders that holds it, and
// answers its engine. EFOpenError, with the loader's own words, when it
// cannot be loaded.
SendEngine& loadSendEngine(const QStringList& folders);

} // namespace cto
