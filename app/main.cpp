#include "app/ShownProbe.h"
#include "app/uFConexionTulvaOskel.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TFConexionTulvaOskel mainWindow;
    cto::exitWhenShownIfAsked(mainWindow);
    mainWindow.show();
    application.exec();
    // The response file is the run's result for the caller; the status never varies.
    return 0;
}
