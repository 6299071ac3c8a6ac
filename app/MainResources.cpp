#include "app/MainResources.h"

#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void initMainQrc() {
    Q_INIT_RESOURCE(main);
}

QIcon cto::programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/images/window-icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

void cto::initMainResources() {
    initMainQrc();
    // Once: every window without an icon of its own takes the application's.
    static const bool iconSet = [] {
        QGuiApplication::setWindowIcon(programIcon());
        return true;
    }();
    Q_UNUSED(iconSet);
}
