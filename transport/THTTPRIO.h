#pragma once

#include "THTTPReqResp.h"

#include <memory>
#include <string>

namespace cto {

// The SOAP client: holds the endpoint settings and owns the HTTP transport.
// Only URL survives the workflow's order of writes; the service description is never fetched.
class THTTPRIO {
public:
    THTTPRIO();
    ~THTTPRIO();

    const std::string& WSDLLocation() const;
    void setWSDLLocation(const std::string& value);
    std::string Service() const;
    void setService(const std::string& value);
    std::string Port() const;
    void setPort(const std::string& value);
    std::string URL() const;
    void setURL(const std::string& value);

    THTTPReqResp& HTTPWebNode();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace cto
