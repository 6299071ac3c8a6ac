// The program's engine: the module beside the real executable file, loaded
// when the workflow first needs it. Never another folder: a copied program
// without its module must say so, not run some other build's engine.
#include "app/SendEngine.h"
#include "app/loader/SendEngineLoader.h"

#include <QCoreApplication>
#include <QDir>

namespace cto {

SendEngine& sendEngine() {
    // A failed load is tried again by the next caller rather than remembered.
    static SendEngine* engine = nullptr;
    if (!engine)
        engine = &loadSendEngine(QDir(QCoreApplication::applicationDirPath())
                                     .filePath(QString::fromLatin1(kSendEngineModuleName)));
    return *engine;
}

} // namespace cto
