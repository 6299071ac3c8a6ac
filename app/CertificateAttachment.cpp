// The main window's before-send hook: the user picks a certificate in the
// certificate dialog, and the one the store finds again by that name goes
// with the pending request from its first byte.
#include "app/uFConexionTulvaOskel.h"

#include "app/PlainMessageBox.h"
#include "app/uFSeleccionCertificado.h"
#include "certificates/CertificateStore.h"
#include "transport/ClientCertificate.h"

void TFConexionTulvaOskel::SoapClientHTTPWebNode1BeforePost(cto::THTTPReqResp&, cto::HttpRequest& request) {
    // The dialog's closing activates this window again; the run must not start twice.
    detachActivationHandler();

    // Without a certificate dialog (a main window built on its own) there is no one to ask.
    if (!cto::FSeleccionCertificado || cto::FSeleccionCertificado->ShowModal() != cto::mrOk)
        return; // the request leaves without a certificate
    const QString criterion = cto::FSeleccionCertificado->usNombreCertificadoSeleccionado;

    // A store that cannot be opened or read fails the whole run through the workflow.
    const std::unique_ptr<cto::CertificateStore> store =
        cto::CertificateStore::openPersonal(cto::StoreOpenMode::Lookup);
    // The dialog hands over a name, not a certificate: of several certificates
    // that answer to it, the first in the store's order goes.
    const std::vector<cto::StoredCertificate> found = store->findBySubjectName(criterion);
    if (found.empty())
        return;
    // Nothing when the key cannot be had (none in the store, the password not
    // given): the transport cannot use that, and the user hears it the same way.
    const std::shared_ptr<const cto::ClientCertificate> certificate = found.front().toClientCertificate();
    if (!certificate || !request.setClientCertificate(*certificate))
        cto::showPlainMessage(this, QStringLiteral("Internet SSL certificate. Something went wrong"));
}
