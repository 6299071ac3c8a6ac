#include "app/ShownProbe.h"
#include "app/uFConexionTulvaOskel.h"
#include "app/uFContrasenaAlmacen.h"
#include "app/uFSeleccionCertificado.h"
#include "certificates/CertificateStore.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TFConexionTulvaOskel mainWindow;
    cto::FSeleccionCertificado = new cto::TFSeleccionCertificado(&mainWindow); // hidden; the window owns it
    cto::setPasswordPrompt(cto::askStorePassword);
    cto::exitWhenShownIfAsked(mainWindow);
    mainWindow.show();
    application.exec();
    // The response file is the run's result for the caller; the status never varies.
    return 0;
}
