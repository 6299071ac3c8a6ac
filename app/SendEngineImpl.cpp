// The send workflow's parts that need the TLS, certificate-store and XML
// libraries, behind the SendEngine interface.
#include "app/SendEngine.h"

#include "app/OutcomeReport.h"
#include "app/ResponseFile.h"
#include "app/ServiceEndpoint.h"
#include "app/uFConexionTulvaOskel.h"
#include "app/uFCredenciales.h"
#include "certificates/CertificateStore.h"
#include "common/FileStream.h"
#include "response/ResponseExtraction.h"
#include "response/RespuestaSolicitud.h"
#include "transport/ClientCertificate.h"
#include "transport/THTTPRIO.h"

namespace cto {
namespace {

class WindowSendClient : public SendClient {
public:
    explicit WindowSendClient(TFConexionTulvaOskel& window) {
        THTTPReqResp& transport = client_.HTTPWebNode();
        transport.UseUTF8InHeader = true;
        transport.InvokeOptions = soIgnoreInvalidCerts | soAutoCheckAccessPointViaUDDI;
        transport.OnWaiting = [&window] { window.keepPaintingWhileWaiting(); };
        transport.OnBeforePost = [&window](THTTPReqResp& sender, HttpRequest& request) {
            window.SoapClientHTTPWebNode1BeforePost(sender, request);
        };
        transport.OnCredentialsNeeded = askCredentials;
    }

    THTTPRIO& soapClient() override { return client_; }
    void configureEndpoint() override { configureServiceEndpoint(client_); }
    std::string execute(MemoryStream& request) override {
        return client_.HTTPWebNode().Execute(request)->takeBytes();
    }

private:
    THTTPRIO client_;
};

class LinkedSendEngine : public SendEngine {
public:
    std::unique_ptr<SendClient> createClient(TFConexionTulvaOskel& window) override {
        return std::make_unique<WindowSendClient>(window);
    }

    void listCertificates(const std::function<void()>& opened,
                          const std::function<void(const QString&, const QDateTime&)>& row) override {
        const std::unique_ptr<CertificateStore> store =
            CertificateStore::openPersonal(StoreOpenMode::Listing);
        opened();
        const int count = store->Count();
        for (int index = 1; index <= count; ++index) {
            const StoredCertificate certificate = store->Item(index);
            if (!certificate.isCertificateAuthority())
                row(certificate.simpleName(), certificate.validTo());
        }
    }

    bool attachCertificate(const QString& name, HttpRequest& request) override {
        // A store that cannot be opened or read fails the whole run through the workflow.
        const std::unique_ptr<CertificateStore> store = CertificateStore::openPersonal(StoreOpenMode::Lookup);
        // The dialog hands over a name, not a certificate: of several certificates
        // that answer to it, the first in the store's order goes.
        const std::vector<StoredCertificate> found = store->findBySubjectName(name);
        if (found.empty())
            return true;
        // Nothing when the key cannot be had (none in the store, the password not
        // given): the transport cannot use that, and the user hears it the same way.
        const std::shared_ptr<const ClientCertificate> certificate = found.front().toClientCertificate();
        return certificate && request.setClientCertificate(*certificate);
    }

    void storeAndReport(QWidget* parent, TSaveDialog& saveDialog, const std::string& responsePath,
                        std::string response) override {
        if (response.empty())
            response = kTestReceipt;
        writeWholeFile(responsePath, response);
        const std::string normalised = extraerRespuesta(responsePath);
        writeWholeFile(responsePath, normalised);
        const auto document = cargarRespuesta(responsePath);
        reportOutcome(parent, saveDialog, *document, normalised);
    }
};

} // namespace

SendEngine& linkedSendEngine() {
    static LinkedSendEngine engine;
    return engine;
}

} // namespace cto
