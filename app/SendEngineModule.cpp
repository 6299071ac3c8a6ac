// The entry point of the engine module, loaded by SendEngineLoader.cpp.
#include "app/SendEngine.h"
#include "app/uFContrasenaAlmacen.h"
#include "certificates/CertificateStore.h"

extern "C" __attribute__((visibility("default"))) cto::SendEngine* ctoSendEngine() {
    // The store asks the program's own password dialog.
    cto::setPasswordPrompt(cto::askStorePassword);
    return &cto::linkedSendEngine();
}
