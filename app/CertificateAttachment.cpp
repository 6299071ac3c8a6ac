// The main window's before-send hook: the user picks a certificate in the
// certificate dialog, and the one the store finds again by that name goes
// with the pending request from its first byte.
#include "app/uFConexionTulvaOskel.h"

#include "app/PlainMessageBox.h"
#include "app/SendEngine.h"
#include "app/uFSeleccionCertificado.h"

void TFConexionTulvaOskel::SoapClientHTTPWebNode1BeforePost(cto::THTTPReqResp&, cto::HttpRequest& request) {
    // The dialog's closing activates this window again; the run must not start twice.
    detachActivationHandler();

    // Without a certificate dialog (a main window built on its own) there is no one to ask.
    if (!cto::FSeleccionCertificado || cto::FSeleccionCertificado->ShowModal() != cto::mrOk)
        return; // the request leaves without a certificate
    const QString criterion = cto::FSeleccionCertificado->usNombreCertificadoSeleccionado;
    if (!cto::sendEngine().attachCertificate(criterion, request))
        cto::showPlainMessage(this, QStringLiteral("Internet SSL certificate. Something went wrong"));
}
