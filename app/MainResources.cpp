#include "app/MainResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void initMainQrc() {
    Q_INIT_RESOURCE(main);
}

void cto::initMainResources() {
    initMainQrc();
}
