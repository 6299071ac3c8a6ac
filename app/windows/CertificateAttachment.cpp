// The main window's before-send hook: the user picks a certificate in the
// certificate dialog, and the engine attaches exactly that one to the pending
// request before its first byte leaves.
#include "app/windows/uFConexionTulvaOskel.h"

#include "app/windows/uFSeleccionCertificado.h"

std::optional<cto::ChosenCertificate> TFConexionTulvaOskel::SoapClientHTTPWebNode1BeforePost() {
    // The dialog's closing activates this window again; the run must not start twice.
    detachActivationHandler();

    // Without a certificate dialog (a main window built on its own) there is no one to ask.
    cto::TFSeleccionCertificado* dialog = cto::certificateDialog();
    if (!dialog)
        return std::nullopt;
    const int answer = dialog->ShowModal();
    followTheSend();
    if (answer != cto::mrOk)
        return std::nullopt; // the request leaves without a certificate
    return cto::ChosenCertificate{dialog->usCertificadoSeleccionado, dialog->usNombreCertificadoSeleccionado,
                                  dialog->usUbicacionCertificadoSeleccionado};
}
