#pragma once

#include <memory>

class TFConexionTulvaOskel;

namespace cto {

class SendClient;
class THTTPRIO;

// A main window's way to its SOAP client, which lives in the send engine: the
// client, and with it the engine, is made on first use.
class SoapClientHandle {
public:
    explicit SoapClientHandle(TFConexionTulvaOskel& window);
    ~SoapClientHandle();
    SoapClientHandle(const SoapClientHandle&) = delete;
    SoapClientHandle& operator=(const SoapClientHandle&) = delete;

    SendClient& client();
    // The SOAP client itself, with its settings and transport.
    THTTPRIO& get();

private:
    TFConexionTulvaOskel& window_;
    std::unique_ptr<SendClient> client_;
};

} // namespace cto
