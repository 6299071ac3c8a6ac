#pragma once

#include "app/SendEngine.h"
#include "common/FileStream.h"

#include <memory>
#include <string>

class TFConexionTulvaOskel;

namespace cto {

// A main window's SOAP client, which lives in the send engine and is made on
// first use. The engine reaches the window only through this handle, as its
// host; the engine's failures are raised again here.
class SoapClientHandle : private SendHost {
public:
    explicit SoapClientHandle(TFConexionTulvaOskel& window);
    ~SoapClientHandle();
    SoapClientHandle(const SoapClientHandle&) = delete;
    SoapClientHandle& operator=(const SoapClientHandle&) = delete;

    // Description location, service, port, URL.
    void configureEndpoint();
    // Posts the survey; the answer waits beside responsePath until stored.
    void execute(const FileStream& survey, const std::string& responsePath);
    Outcome storeResponse();

private:
    SendSession& session();

    bool waiting() noexcept override;
    std::optional<ChosenCertificate> chooseCertificate() noexcept override;
    std::optional<Credentials> askCredentials(const CredentialsRequest& request) noexcept override;
    std::optional<std::string> askStorePassword(const PasswordRequest& request) noexcept override;

    TFConexionTulvaOskel& window_;
    std::unique_ptr<SendSession> session_;
};

} // namespace cto
