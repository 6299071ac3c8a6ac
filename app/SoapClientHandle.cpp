#include "app/SoapClientHandle.h"

#include "app/SendEngine.h"

namespace cto {

SoapClientHandle::SoapClientHandle(TFConexionTulvaOskel& window) : window_(window) {}

SoapClientHandle::~SoapClientHandle() = default;

SendClient& SoapClientHandle::client() {
    if (!client_)
        client_ = sendEngine().createClient(window_);
    return *client_;
}

THTTPRIO& SoapClientHandle::get() {
    return client().soapClient();
}

} // namespace cto
