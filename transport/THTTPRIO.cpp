#include "transport/THTTPRIO.h"

#include <cstdlib>

namespace cto {

// The service description is only a holder of settings here: nothing ever
// loads it, so a document is just its file name, and the view over it just
// the Service and Port it stores.
struct THTTPRIO::State {
    THTTPReqResp transport;
    std::string wsdlLocation;
    bool hasDocument = false;
    std::string documentFileName;
    bool hasView = false;
    std::string service;
    std::string port;
};

THTTPRIO::THTTPRIO() : state_(std::make_unique<State>()) {}

THTTPRIO::~THTTPRIO() = default;

const std::string& THTTPRIO::WSDLLocation() const {
    return state_->wsdlLocation;
}

void THTTPRIO::setWSDLLocation(const std::string& value) {
    if (!value.empty() && !state_->transport.URL().empty())
        state_->transport.setURL({});
    // The held document is released and a fresh one takes its place.
    state_->hasDocument = true;
    state_->hasView = true;
    state_->wsdlLocation = value;
    state_->documentFileName = value;
    state_->service.clear();
    state_->port.clear();
}

std::string THTTPRIO::Service() const {
    return state_->hasView ? state_->service : std::string();
}

void THTTPRIO::setService(const std::string& value) {
    if (state_->hasView)
        state_->service = value;
}

std::string THTTPRIO::Port() const {
    return state_->hasView ? state_->port : std::string();
}

void THTTPRIO::setPort(const std::string& value) {
    if (state_->hasView)
        state_->port = value;
}

std::string THTTPRIO::URL() const {
    return state_->transport.URL();
}

void THTTPRIO::setURL(const std::string& value) {
    state_->transport.setURL(value);
    if (!value.empty())
        setWSDLLocation({});
}

THTTPReqResp& THTTPRIO::HTTPWebNode() {
    return state_->transport;
}

} // namespace cto
